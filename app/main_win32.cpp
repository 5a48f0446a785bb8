// Start-up: the application title, the main window and then the three
// dialogs, all hidden; then the main window is shown and the program waits
// for the user until it closes. The dialogs get their windows when first
// needed, except the missing-files one: it is what Install EWF Support shows
// first on a machine without the driver files, so its window is made as soon
// as the main window is up, before the user can click.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/about_form.h"
#include "app/main_form.h"
#include "app/make_os.h"
#include "app/tips_form.h"
#include "app/win32_dialogs.h"
#include "install/missing_files_form_win32.h"
#include "install/security_bracket.h"

namespace {
const char kApplicationTitle[] = "Stillvane";
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  // Buttons and frames take the theme's look (comctl32 6 through the manifest).
  InitCommonControls();

  const std::unique_ptr<Os> os = MakeOs();
  Win32Dialogs dialogs(kApplicationTitle);
  TMainForm mainForm(*os, dialogs);
  if (!mainForm.Handle()) return 1;
  dialogs.SetMainWindow(mainForm.Handle());

  TTipsForm tipsForm(mainForm.Handle());
  TAboutForm aboutForm(mainForm.Handle(), *os);
  TMissingFilesForm missingFilesForm(mainForm.Handle(), *os);
  mainForm.SetDialogs(&tipsForm, &aboutForm);
  dialogs.SetMissingFilesForm(&missingFilesForm);

  mainForm.ShowMainWindow(showCommand);
  // An installation killed while Enum\Root was open left it open to everyone.
  OfferRootKeySecurityRepair(*os, dialogs);
  missingFilesForm.Handle();
  return RunMessageLoop();
}
