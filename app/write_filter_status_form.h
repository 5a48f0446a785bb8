// The Write Filter Status window, opened from the main window's system menu:
// a thin shell over TWriteFilterStatus, which decides what it says and does.
#pragma once

#include <windows.h>

#include <string>

#include "app/write_filter_status.h"
#include "ui/forms_win32.h"

class TWriteFilterStatusForm : public TForm {
 public:
  // windowsFolder ends with a backslash.
  TWriteFilterStatusForm(HWND mainWindow, TOs& os, TDialogs& dialogs, TVersionInfo& FileVersionInfo,
                         const std::string& windowsFolder);

 private:
  void FormShow() override;
  void ControlClick(int id) override;
  bool HandleKey(const MSG& msg) override;
  void RefreshButtonClick();
  void CommandButtonClick(ManagerCommand command);
  void ShowView();

  TWriteFilterStatus Status_;
};
