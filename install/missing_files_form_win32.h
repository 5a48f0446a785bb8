// "Driver files not found": which files the installation needs, and where
// to get them.
#pragma once

#include <windows.h>

#include "services/os.h"
#include "ui/forms_win32.h"

class TMissingFilesForm : public TForm {
 public:
  TMissingFilesForm(HWND mainWindow, TOs& os);

 private:
  void ControlClick(int id) override;
  void Label6Click();

  TOs& Os_;
};
