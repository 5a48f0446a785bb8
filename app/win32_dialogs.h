// The Dialogs the running program uses: real Win32 windows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "install/driver_checks.h"

class TMissingFilesForm;

class Win32Dialogs : public InstallDialogs {
 public:
  explicit Win32Dialogs(std::string applicationTitle) : applicationTitle_(std::move(applicationTitle)) {}

  // The main window owns the error report; the missing-files form is created
  // after it, at start-up.
  void SetMainWindow(HWND mainWindow) { mainWindow_ = mainWindow; }
  void SetMissingFilesForm(TMissingFilesForm* form) { missingFilesForm_ = form; }

  DialogResult ShowMessageDialog(const std::string& text, MessageKind kind, MessageButtons buttons) override;
  void ReportError(const std::string& message) override;
  void ShowMissingFilesDialog() override;

 private:
  HWND ModalOwner() const;

  std::string applicationTitle_;
  HWND mainWindow_ = nullptr;
  TMissingFilesForm* missingFilesForm_ = nullptr;
};
