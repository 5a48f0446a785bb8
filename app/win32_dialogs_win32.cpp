#include "app/win32_dialogs.h"

#include "app/message_dialog_win32.h"
#include "install/missing_files_form_win32.h"

DialogResult TWin32Dialogs::ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) {
  return ::ShowMessageDialog(ModalOwner(), text, kind, buttons);
}

void TWin32Dialogs::ReportError(const std::string& message) {
  ShowErrorReport(MainWindow_, ApplicationTitle_, message);
}

void TWin32Dialogs::ShowMissingFilesDialog() {
  if (MissingFilesForm_) MissingFilesForm_->ShowModal();
}

// A message belongs to the window the user is working in; before the main
// window is first shown (the platform warning) it stands on its own, so that
// it gets a taskbar button.
HWND TWin32Dialogs::ModalOwner() const {
  if (HWND active = GetActiveWindow()) return active;
  if (MainWindow_ && IsWindowVisible(MainWindow_)) return MainWindow_;
  return nullptr;
}
