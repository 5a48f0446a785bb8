#include "support/recording_dialogs.h"

DialogResult TRecordingDialogs::ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) {
  Messages.push_back({text, kind, buttons});
  Shown.push_back("message: " + text);
  if (Answers_.empty()) return buttons == MessageButtons::YesNo ? DialogResult::No : DialogResult::Ok;
  const DialogResult answer = Answers_.front();
  Answers_.pop_front();
  return answer;
}

void TRecordingDialogs::ReportError(const std::string& message) {
  ErrorReports.push_back(message);
  Shown.push_back("report: " + message);
}

void TRecordingDialogs::ShowMissingFilesDialog() {
  ++MissingFilesDialogs;
  Shown.push_back("missing files");
}
