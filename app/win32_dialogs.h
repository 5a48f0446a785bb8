// The TDialogs the running program uses: real Win32 windows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "install/install_dialogs.h"

class TMissingFilesForm;

class TWin32Dialogs : public TInstallDialogs {
 public:
  explicit TWin32Dialogs(std::string applicationTitle) : ApplicationTitle_(std::move(applicationTitle)) {}

  // The main window owns the error report; the missing-files form is created
  // after it, at start-up.
  void SetMainWindow(HWND mainWindow) { MainWindow_ = mainWindow; }
  void SetMissingFilesForm(TMissingFilesForm* form) { MissingFilesForm_ = form; }

  DialogResult ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) override;
  void ReportError(const std::string& message) override;
  void ShowMissingFilesDialog() override;

 private:
  HWND ModalOwner() const;

  std::string ApplicationTitle_;
  HWND MainWindow_ = nullptr;
  TMissingFilesForm* MissingFilesForm_ = nullptr;
};
