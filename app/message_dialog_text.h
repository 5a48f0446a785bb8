// The message dialog's words: its captions and buttons, its text as drawn,
// and the text block that Ctrl+C copies.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "services/dialogs.h"
#include "ui/layout.h"

struct MessageDialogButton {
  const char* Caption;  // "&" marks the access key
  DialogResult Result;
  bool IsDefault;  // pressed by Enter
  bool IsCancel;   // pressed by Escape
};

// One or two buttons, from left to right.
struct MessageDialogButtonSet {
  MessageDialogButton Items[2];
  int Count;
  std::size_t size() const { return std::size_t(Count); }
  const MessageDialogButton& operator[](std::size_t i) const { return Items[i]; }
};

// "Warning", "Error", "Information" or "Confirm".
const char* MessageDialogCaption(MessageKind kind);
MessageDialogButtonSet MessageDialogButtons(MessageButtons buttons);

// The message with its line breaks as drawing needs them: a lone CR or LF
// becomes CR LF, so two CRs in a row leave an empty line.
std::string MessageDisplayText(const std::string& message);

// The box the message's text is shown in: all the room the text needs where
// that fits in `room` (what the screen's work area leaves beside the icon and
// above the buttons); otherwise no more than the room, and the text scrolls
// within it, the box `scrollBar` wider for its scroll bar and edges. A long
// listing never pushes the buttons off the screen.
struct MessageTextBox {
  Extent Size;
  bool Scrolls;
};
MessageTextBox FitMessageText(Extent text, Extent room, int scrollBar);

// A caption without its access-key marks: "&Yes" gives "Yes", "&&" gives "&".
std::string WithoutAccessKeys(const std::string& caption);

// What Ctrl+C copies: a rule of 27 hyphens, the caption, a rule, the message,
// a rule, each button caption followed by three spaces, a final rule; each
// part ends with CR LF.
std::string MessageDialogClipboardText(const std::string& caption, const std::string& message,
                                       std::initializer_list<const char*> buttonCaptions);
