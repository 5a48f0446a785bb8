// TDialogs for tests: remembers everything shown, in order, and answers
// message dialogs from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "install/driver_checks.h"

struct RecordedMessage {
  std::string Text;
  MessageKind Kind;
  MessageButtons Buttons;
};

class TRecordingDialogs : public TInstallDialogs {
 public:
  // Answers for the coming message dialogs, in order. Once they run out a
  // question is answered No (nothing goes ahead unasked) and OK is pressed.
  void QueueAnswer(DialogResult answer) { Answers_.push_back(answer); }
  int UnusedAnswers() const { return static_cast<int>(Answers_.size()); }

  DialogResult ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) override;
  void ReportError(const std::string& message) override;
  void ShowMissingFilesDialog() override;

  std::vector<RecordedMessage> Messages;
  std::vector<std::string> ErrorReports;
  int MissingFilesDialogs = 0;
  // Everything shown, in order: "message: <text>", "report: <text>", "missing files".
  std::vector<std::string> Shown;

 private:
  std::deque<DialogResult> Answers_;
};
