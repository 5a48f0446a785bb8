#include "app/win32_dialogs.h"

#include "install/missing_files_form_win32.h"
#include "services/message_dialog_win32.h"

DialogResult Win32Dialogs::ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) {
  return ::ShowMessageDialog(ModalOwner(), text, kind, buttons);
}

void Win32Dialogs::ReportError(const std::string& message) {
  ShowErrorReport(mainWindow_, applicationTitle_, message);
}

void Win32Dialogs::ShowMissingFilesDialog() {
  if (missingFilesForm_) missingFilesForm_->ShowModal();
}

// A message belongs to the window the user is working in; before the main
// window is first shown (the platform warning) it stands on its own, so that
// it gets a taskbar button.
HWND Win32Dialogs::ModalOwner() const {
  if (HWND active = GetActiveWindow()) return active;
  if (mainWindow_ && IsWindowVisible(mainWindow_)) return mainWindow_;
  return nullptr;
}
