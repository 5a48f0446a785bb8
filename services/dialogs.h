// What the user sees, as the actions need it: the modal message dialog, the
// error report. The real implementation draws
// Win32 windows; tests record what was shown and answer from a script.
#pragma once

#include <string>

enum class MessageKind { Warning, Error, Information, Confirmation };
enum class MessageButtons { Ok, YesNo };

// The button that closed a message dialog. Closing it by its title-bar close
// box or Alt+F4 gives Cancel, which callers treat as No.
enum class DialogResult { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  virtual DialogResult ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) = 0;
  // Shows an error that escaped an action, captioned with the application title.
  virtual void ReportError(const std::string& message) = 0;
};
