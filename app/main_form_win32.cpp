#include "app/main_form.h"

#include "app/about_form.h"
#include "app/startup.h"
#include "app/tips_form.h"
#include "app/write_filter_status_form.h"
#include "install/installation.h"
#include "install/removal.h"
#include "services/error_report.h"
#include "tuning/disk_writes.h"
#include "tuning/horm.h"

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

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

// In the system menu: the window itself stays as it is. Size has S as
// well: the arrow keys reach Write Filter Status.
constexpr UINT kStatusCommand = 0x0110;
const char kStatusCaption[] = "Write Filter &Status...";
constexpr UINT kRemoveCommand = 0x0100;
// E: the letters of the standard commands (Restore, Move, Size, ...) are taken.
const char kRemoveCaption[] = "Remove &EWF Support...";

const FormSpec kMainForm = {"Stillvane", 550, 458, FormKind::MainWindow, FormPosition::ScreenCenter, "MAINICON"};

const char kInstallDescription[] =
    "Configures your system to support write protection of your system partition by installing the EWF (Enhanced "
    "Write Filter) driver and configuration tools.";
const char kDiskWritesDescription[] =
    "Enables settings in the Windows Registry that minimize or prevent unnecessary disk writes.  This helps to keep "
    "the RAM overlay used by the EWF filter from growing too large, and also increases the performance of your "
    "system.  This step is optional, but highly recommended.";
const char kHormDescription[] =
    "Enables Hibernate Once Resume Many support.  HORM allows you to restore your system to the exact same state "
    "every time you start your computer.  Unlike conventional hibernation, HORM resumes from the same hibernation "
    "file each time.  This step is optional.";
// The second frame and its button share a caption.
const char kDiskWritesTask[] = "Minimize Disk Writes";
const char kOtherWaysLink[] = "Other ways to increase performance and reduce disk writes";

// Escape presses the first cancel button in this order: Close. The link
// follows its frame's button, which stands above it.
const ControlSpec kMainControls[] = {
    {GroupBox1, GroupBox, 0, {8, 8, 534, 121}, TopSides, 0, None, 0, "Install EWF Driver"},
    {Image1, Image, GroupBox1, {16, 24, 32, 32}, TopLeft, -1, None, 0, "TASKINSTALLICON"},
    {Label1, WrappedLabel, GroupBox1, {64, 24, 454, 57}, All, -1, None, 0, kInstallDescription},
    {InstallEWFButton, Button, GroupBox1, {413, 80, 113, 33}, BottomRight, 0, None, 0, "Install EWF Support"},

    {GroupBox2, GroupBox, 0, {8, 136, 534, 121}, TopSides, 1, None, 0, kDiskWritesTask},
    {Image2, Image, GroupBox2, {16, 24, 32, 32}, TopLeft, -1, None, 0, "TASKDISKWRITESICON"},
    {Label2, WrappedLabel, GroupBox2, {64, 24, 454, 57}, All, -1, None, 0, kDiskWritesDescription},
    {Label4, LinkLabel, GroupBox2, {64, 96, 286, 13}, TopLeft, 1, None, 0, kOtherWaysLink},
    {MinimizeDiskWritesButton, Button, GroupBox2, {413, 80, 113, 33}, BottomRight, 0, None, 0, kDiskWritesTask},

    {GroupBox3, GroupBox, 0, {8, 264, 534, 121}, TopSides, 2, None, 0, "HORM"},
    {Image3, Image, GroupBox3, {16, 24, 32, 32}, TopLeft, -1, None, 0, "TASKHORMICON"},
    {Label3, WrappedLabel, GroupBox3, {64, 24, 454, 57}, All, -1, None, 0, kHormDescription},
    {EnableHORMButton, Button, GroupBox3, {413, 80, 113, 33}, BottomRight, 0, None, 0, "Enable HORM"},

    {CloseButton, Button, 0, {448, 424, 89, 27}, BottomRight, 3, Cancel, 0, "Close"},
    {AboutButton, Button, 0, {352, 424, 89, 27}, BottomRight, 4, Cancel, 0, "About"},
};

}  // namespace

TMainForm::TMainForm(TOs& os, TInstallDialogs& dialogs)
    : TForm(nullptr, kMainForm, kMainControls), Os_(os), Dialogs_(dialogs) {
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
  if (id == kStatusCommand) WriteFilterStatusClick();
  if (id == kRemoveCommand) RemoveEWFSupportClick();
}

void TMainForm::SetDialogs(TTipsForm* tipsForm, TAboutForm* aboutForm) {
  TipsForm_ = tipsForm;
  AboutForm_ = aboutForm;
}

void TMainForm::ShowMainWindow(int showCommand) {
  if (!Shown_) {
    Shown_ = true;
    AddSystemMenuCommand(kStatusCommand, kStatusCaption);
    AddSystemMenuCommand(kRemoveCommand, kRemoveCaption, false);
    FormShow();
  }
  Show(showCommand);
}

void TMainForm::FormCreate() {
  ProgramFolders folders = ReadProgramFolders(Os_);
  SourceFolder_ = std::move(folders.SourceFolder);
  WindowsFolder_ = std::move(folders.WindowsFolder);
  SystemDriveFolder_ = std::move(folders.SystemDriveFolder);
}

void TMainForm::FormShow() {
  WarnOutsideNtFamily(Os_, Dialogs_);
}

void TMainForm::InstallEWFButtonClick() {
  RunAction(Dialogs_, [this] {
    InstallEwfSupport({Os_, Dialogs_, FileVersionInfo_, SourceFolder_, WindowsFolder_, SystemDriveFolder_});
  });
}

void TMainForm::WriteFilterStatusClick() {
  RunAction(Dialogs_,
            [this] { TWriteFilterStatusForm(Handle(), Os_, Dialogs_, FileVersionInfo_, WindowsFolder_).ShowModal(); });
}

void TMainForm::RemoveEWFSupportClick() {
  RunAction(Dialogs_, [this] { RemoveEwfSupport({Os_, Dialogs_, SourceFolder_, WindowsFolder_, SystemDriveFolder_}); });
}

void TMainForm::MinimizeDiskWritesButtonClick() {
  RunAction(Dialogs_, [this] { MinimizeDiskWrites(Os_, Dialogs_, WindowsFolder_); });
}

void TMainForm::EnableHORMButtonClick() {
  RunAction(Dialogs_, [this] { EnableHorm(Os_, Dialogs_); });
}

void TMainForm::Label4Click() {
  if (TipsForm_) TipsForm_->ShowModal();
}

void TMainForm::AboutButtonClick() {
  if (AboutForm_) AboutForm_->ShowModal();
}

void TMainForm::CloseButtonClick() {
  Close();
}
