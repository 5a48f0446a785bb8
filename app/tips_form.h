// "Reducing disk writes": settings the program cannot change itself.
#pragma once

#include <windows.h>

#include "ui/forms_win32.h"

class TTipsForm : public TForm {
 public:
  explicit TTipsForm(HWND mainWindow);
};
