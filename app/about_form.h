// The About dialog: version, makers, and where to send reports.
#pragma once

#include <windows.h>

#include "services/os.h"
#include "ui/forms_win32.h"

class TAboutForm : public TForm {
 public:
  TAboutForm(HWND mainWindow, TOs& os);

 private:
  void ControlClick(int id) override;
  void Label4Click();

  TOs& Os_;
};
