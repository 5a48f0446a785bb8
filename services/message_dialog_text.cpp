#include "services/message_dialog_text.h"

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

std::vector<MessageDialogButton> MessageDialogButtons(MessageButtons buttons) {
  if (buttons == MessageButtons::YesNo) {
    return {{"&Yes", DialogResult::Yes, true, false}, {"&No", DialogResult::No, false, true}};
  }
  return {{"OK", DialogResult::Ok, true, true}};
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
                                       const std::vector<std::string>& buttonCaptions) {
  const std::string rule(27, '-');
  const std::string lineEnd = "\r\n";
  std::string text = rule + lineEnd + caption + lineEnd + rule + lineEnd + message + lineEnd + rule + lineEnd;
  for (const std::string& button : buttonCaptions) text += WithoutAccessKeys(button) + "   ";
  return text + lineEnd + rule + lineEnd;
}
