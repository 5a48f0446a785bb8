#include "app/message_dialog_text.h"

#include <algorithm>

const char* MessageDialogCaption(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return "Warning";
    case MessageKind::Error:
      return "Error";
    case MessageKind::Information:
      return "Information";
    case MessageKind::Confirmation:
      return "Confirm";
  }
  return "";
}

MessageDialogButtonSet MessageDialogButtons(MessageButtons buttons) {
  if (buttons == MessageButtons::YesNo) {
    return {{{"&Yes", DialogResult::Yes, true, false}, {"&No", DialogResult::No, false, true}}, 2};
  }
  return {{{"OK", DialogResult::Ok, true, true}}, 1};
}

std::string MessageDisplayText(const std::string& message) {
  std::string text;
  text.reserve(message.size() + message.size() / 8);
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
      text += "\r\n";
      ++i;
    } else if (c == '\r' || c == '\n') {
      text += "\r\n";
    } else {
      text += c;
    }
  }
  return text;
}

MessageTextBox FitMessageText(Extent text, Extent room, int scrollBar) {
  if (text.Width <= room.Width && text.Height <= room.Height) return {text, false};
  return {{std::min(text.Width + scrollBar, room.Width), std::min(text.Height, room.Height)}, true};
}

std::string WithoutAccessKeys(const std::string& caption) {
  std::string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      text += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      text += '&';
      ++i;
    }
  }
  return text;
}

std::string MessageDialogClipboardText(const std::string& caption, const std::string& message,
                                       std::initializer_list<const char*> buttonCaptions) {
  const char kRule[] = "---------------------------\r\n";
  std::string text = kRule;
  text.append(caption).append("\r\n").append(kRule).append(message).append("\r\n").append(kRule);
  for (const char* button : buttonCaptions) text.append(WithoutAccessKeys(button)).append("   ");
  return text.append("\r\n").append(kRule);
}
