// The main window: the three tasks, each in its own frame, the way to the
// About and Reducing disk writes dialogs, and Write Filter Status and Remove
// EWF Support in its system menu.
#pragma once

#include <string>

#include "install/install_dialogs.h"
#include "services/os.h"
#include "services/version_info.h"
#include "ui/forms_win32.h"

class TTipsForm;
class TAboutForm;

class TMainForm : public TForm {
 public:
  // Creates the controls and the version reader, then runs FormCreate.
  TMainForm(TOs& os, TInstallDialogs& dialogs);

  // The dialogs this window opens; they are created after it.
  void SetDialogs(TTipsForm* tipsForm, TAboutForm* aboutForm);
  // Shows the window; the first time, FormShow runs before it is drawn.
  void ShowMainWindow(int showCommand);

 private:
  void ControlClick(int id) override;
  void SystemMenuCommand(UINT id) override;
  void FormCreate();
  void FormShow() override;
  void InstallEWFButtonClick();
  void WriteFilterStatusClick();
  void RemoveEWFSupportClick();
  void MinimizeDiskWritesButtonClick();
  void EnableHORMButtonClick();
  void Label4Click();
  void AboutButtonClick();
  void CloseButtonClick();

  TOs& Os_;
  TInstallDialogs& Dialogs_;
  TVersionInfo FileVersionInfo_{Os_};
  std::string SourceFolder_;  // each folder ends with one backslash
  std::string WindowsFolder_;
  std::string SystemDriveFolder_;
  TTipsForm* TipsForm_ = nullptr;
  TAboutForm* AboutForm_ = nullptr;
  bool Shown_ = false;
};
