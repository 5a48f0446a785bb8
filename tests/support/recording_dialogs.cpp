#include "support/recording_dialogs.h"

DialogResult TRecordingDialogs::ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) {
  messages.push_back({text, kind, buttons});
  shown.push_back("message: " + text);
  if (Answers_.empty()) return buttons == MessageButtons::YesNo ? DialogResult::No : DialogResult::Ok;
  const DialogResult answer = Answers_.front();
  Answers_.pop_front();
  return answer;
}

void TRecordingDialogs::ReportError(const std::string& message) {
  errorReports.push_back(message);
  shown.push_back("report: " + message);
}

void TRecordingDialogs::ShowMissingFilesDialog() {
  ++missingFilesDialogs;
  shown.push_back("missing files");
}
