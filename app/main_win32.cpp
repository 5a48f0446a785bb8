// Start-up: the application title, the main window and then the three
// dialogs, all hidden; then the main window is shown and the program waits
// for the user until it closes. The dialogs get their windows when first
// needed, except the missing-files one: it is what Install EWF Support shows
// first on a machine without the driver files, so its window is made once
// the main window is drawn, before the first click is taken. Before all that,
// the current folder leaves the DLL search path, and a second start hands
// over to the copy already running.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/about_form.h"
#include "app/main_form.h"
#include "app/make_os.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "app/tips_form.h"
#include "app/win32_dialogs.h"
#include "install/missing_files_form_win32.h"
#include "install/security_bracket.h"

namespace {

const char kApplicationTitle[] = "Stillvane";

// Brings the running copy's main window to the front (restored when it is
// minimised), with the dialog it shows, if any, on top. That copy may still
// be starting, so its window is waited for a few seconds. False when no
// window of it is found in this session.
bool BringRunningCopyToFront() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    // The main window is captioned with the application title.
    const HWND found = FindWindowA(kFormClassName, kApplicationTitle);
    const HWND mainWindow = found ? GetAncestor(found, GA_ROOTOWNER) : nullptr;
    if (mainWindow && IsWindowVisible(mainWindow)) {
      if (IsIconic(mainWindow)) ShowWindow(mainWindow, SW_RESTORE);
      SetForegroundWindow(GetLastActivePopup(mainWindow));
      return true;
    }
    Sleep(100);
  }
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  const std::unique_ptr<TOs> os = MakeOs();
  // Libraries loaded from here on (shell32, powrprof: by full path anyway)
  // and those they pull in are never looked for in the current folder.
  os->SetDllDirectoryA("");

  // Buttons and frames take the theme's look (comctl32 6 through the manifest).
  InitCommonControls();

  TWin32Dialogs dialogs(kApplicationTitle);
  DWORD claimError = ERROR_SUCCESS;
  switch (ClaimSingleInstance(*os, &claimError)) {
    case InstanceClaim::First:
      break;
    case InstanceClaim::AlreadyRuns:
      if (!BringRunningCopyToFront()) {
        dialogs.ShowMessageDialog(AlreadyRunningMessage(), MessageKind::Information, MessageButtons::Ok);
      }
      return 0;
    case InstanceClaim::Refused:
      dialogs.ShowMessageDialog(InstanceRefusedMessage(claimError), MessageKind::Error, MessageButtons::Ok);
      return 1;
  }
  if (!ProgramFolderCanBeNamed(*os, dialogs)) return 1;
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
  return RunMessageLoop([](void* form) { static_cast<TMissingFilesForm*>(form)->Handle(); }, &missingFilesForm);
}
