#include "app/main_form.h"

#include "app/about_form.h"
#include "app/startup.h"
#include "app/tips_form.h"
#include "install/installation.h"
#include "install/removal.h"
#include "services/error_report.h"
#include "tuning/disk_writes.h"
#include "tuning/horm.h"

namespace {

enum ControlId {
  GroupBox1 = 101,
  Image1,
  Label1,
  InstallEWFButton,
  GroupBox2,
  Image2,
  Label2,
  Label4,
  MinimizeDiskWritesButton,
  GroupBox3,
  Image3,
  Label3,
  EnableHORMButton,
  CloseButton,
  AboutButton,
};

// In the system menu: the window itself stays as it is.
constexpr UINT kRemoveCommand = 0x0100;
// E: the letters of the standard commands (Restore, Move, Size, ...) are taken.
const char kRemoveCaption[] = "Remove &EWF Support...";

const FormSpec kMainForm = {"Stillvane", 550, 458, FormKind::MainWindow, FormPosition::ScreenCenter, "MAINICON"};

const char kLabel1Text[] =
    "Configures your system to support write protection of your system partition by installing the EWF (Enhanced "
    "Write Filter) driver and configuration tools.";
const char kLabel2Text[] =
    "Enables settings in the Windows Registry that minimize or prevent unnecessary disk writes.  This helps to keep "
    "the RAM overlay used by the EWF filter from growing too large, and also increases the performance of your "
    "system.  This step is optional, but highly recommended.";
const char kLabel3Text[] =
    "Enables Hibernate Once Resume Many support.  HORM allows you to restore your system to the exact same state "
    "every time you start your computer.  Unlike conventional hibernation, HORM resumes from the same hibernation "
    "file each time.  This step is optional.";
// The second frame and its button share a caption.
const char kTask2[] = "Minimize Disk Writes";
const char kLabel4Text[] = "Other ways to increase performance and reduce disk writes";

// Escape presses the first cancel button in this order: Close. The link
// follows its frame's button, which stands above it.
const ControlSpec kMainControls[] = {
    {GroupBox1, ckGroupBox, 0, {8, 8, 534, 121}, akTopSides, 0, cfNone, 0, "Install EWF Driver"},
    {Image1, ckImage, GroupBox1, {16, 24, 32, 32}, akTopLeft, -1, cfNone, 0, "TASKINSTALLICON"},
    {Label1, ckWrappedLabel, GroupBox1, {64, 24, 454, 57}, akAll, -1, cfNone, 0, kLabel1Text},
    {InstallEWFButton, ckButton, GroupBox1, {413, 80, 113, 33}, akBottomRight, 0, cfNone, 0, "Install EWF Support"},

    {GroupBox2, ckGroupBox, 0, {8, 136, 534, 121}, akTopSides, 1, cfNone, 0, kTask2},
    {Image2, ckImage, GroupBox2, {16, 24, 32, 32}, akTopLeft, -1, cfNone, 0, "TASKDISKWRITESICON"},
    {Label2, ckWrappedLabel, GroupBox2, {64, 24, 454, 57}, akAll, -1, cfNone, 0, kLabel2Text},
    {Label4, ckLinkLabel, GroupBox2, {64, 96, 286, 13}, akTopLeft, 1, cfNone, 0, kLabel4Text},
    {MinimizeDiskWritesButton, ckButton, GroupBox2, {413, 80, 113, 33}, akBottomRight, 0, cfNone, 0, kTask2},

    {GroupBox3, ckGroupBox, 0, {8, 264, 534, 121}, akTopSides, 2, cfNone, 0, "HORM"},
    {Image3, ckImage, GroupBox3, {16, 24, 32, 32}, akTopLeft, -1, cfNone, 0, "TASKHORMICON"},
    {Label3, ckWrappedLabel, GroupBox3, {64, 24, 454, 57}, akAll, -1, cfNone, 0, kLabel3Text},
    {EnableHORMButton, ckButton, GroupBox3, {413, 80, 113, 33}, akBottomRight, 0, cfNone, 0, "Enable HORM"},

    {CloseButton, ckButton, 0, {448, 424, 89, 27}, akBottomRight, 3, cfCancel, 0, "Close"},
    {AboutButton, ckButton, 0, {352, 424, 89, 27}, akBottomRight, 4, cfCancel, 0, "About"},
};

}  // namespace

TMainForm::TMainForm(Os& os, InstallDialogs& dialogs)
    : TForm(nullptr, kMainForm, kMainControls), os_(os), dialogs_(dialogs) {
  FormCreate();
}

void TMainForm::ControlClick(int id) {
  switch (id) {
    case InstallEWFButton:
      return InstallEWFButtonClick();
    case MinimizeDiskWritesButton:
      return MinimizeDiskWritesButtonClick();
    case EnableHORMButton:
      return EnableHORMButtonClick();
    case Label4:
      return Label4Click();
    case AboutButton:
      return AboutButtonClick();
    case CloseButton:
      return CloseButtonClick();
  }
}

void TMainForm::SystemMenuCommand(UINT id) {
  if (id == kRemoveCommand) RemoveEWFSupportClick();
}

void TMainForm::SetDialogs(TTipsForm* tipsForm, TAboutForm* aboutForm) {
  tipsForm_ = tipsForm;
  aboutForm_ = aboutForm;
}

void TMainForm::ShowMainWindow(int showCommand) {
  if (!shown_) {
    shown_ = true;
    AddSystemMenuCommand(kRemoveCommand, kRemoveCaption);
    FormShow();
  }
  Show(showCommand);
}

void TMainForm::FormCreate() {
  ProgramFolders folders = ReadProgramFolders(os_);
  SourceFolder_ = std::move(folders.SourceFolder);
  WindowsFolder_ = std::move(folders.WindowsFolder);
  SystemDriveFolder_ = std::move(folders.SystemDriveFolder);
}

void TMainForm::FormShow() {
  WarnOutsideNtFamily(os_, dialogs_);
}

void TMainForm::InstallEWFButtonClick() {
  RunAction(dialogs_, [this] {
    InstallEwfSupport(
        {os_, dialogs_, FileVersionInfo_, SourceFolder_, WindowsFolder_, SystemDriveFolder_, SavedRootKeySecurity_});
  });
}

void TMainForm::RemoveEWFSupportClick() {
  RunAction(dialogs_, [this] {
    RemoveEwfSupport({os_, dialogs_, SourceFolder_, WindowsFolder_, SystemDriveFolder_, SavedRootKeySecurity_});
  });
}

void TMainForm::MinimizeDiskWritesButtonClick() {
  RunAction(dialogs_, [this] { MinimizeDiskWrites(os_, dialogs_, WindowsFolder_); });
}

void TMainForm::EnableHORMButtonClick() {
  RunAction(dialogs_, [this] { EnableHorm(os_, dialogs_); });
}

void TMainForm::Label4Click() {
  if (tipsForm_) tipsForm_->ShowModal();
}

void TMainForm::AboutButtonClick() {
  if (aboutForm_) aboutForm_->ShowModal();
}

void TMainForm::CloseButtonClick() {
  Close();
}
