#include "install/missing_files_form_win32.h"

#include "services/shell.h"

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

enum ControlId { Image1 = 101, Label1, Label2, Label3, Label4, Label5, Label6, Label7, OKButton };

// Where the Windows XP Embedded evaluation can be had.
const char kEvaluationPage[] = "http://www.microsoft.com/windows/embedded/eval/";

const FormSpec kMissingFilesForm = {"Driver files not found",  563,    250, FormKind::Dialog,
                                    FormPosition::OwnerCenter, nullptr};

const char kFilesNotBundled[] =
    "Unable to locate all of the required EWF driver files.  Due to copyright restrictions, the EWF driver files are "
    "not bundled with this program.  You must obtain the files and put them in the same folder as this program.  "
    "The files you require are:";
const char kEwfSysVersion[] = "ewf.sys (file version 2.0.927.0 or greator)";
const char kEwfMgrVersion[] = "ewfmgr.exe (file version 2.0.927.0 or greator)";
const char kEwfNtldrSource[] = "ewfntldr (from the same directory as the above files)";
const char kWhereToObtain[] =
    "You can obtain the files from the Repositories directory after you install the Windows XP Embedded SP2 Trail "
    "which is available at the following website:";
const char kNewestVersionsNote[] =
    "IMPORTANT NOTE: The Repositories directory contains multiple versions of the above files, so you must make "
    "sure you copy the newest versions of the files as the older versions are known to cause problems.";

const ControlSpec kMissingFilesControls[] = {
    {Image1, Image, 0, {8, 8, 32, 32}, TopLeft, -1, None, 0, "WARNINGICON"},
    {Label1, WrappedLabel, 0, {48, 8, 505, 41}, TopSides, -1, None, 0, kFilesNotBundled},
    {Label2, Label, 0, {72, 54, 204, 13}, TopLeft, -1, None, 0, kEwfSysVersion},
    {Label3, Label, 0, {72, 70, 224, 13}, TopLeft, -1, None, 0, kEwfMgrVersion},
    {Label4, Label, 0, {72, 86, 254, 13}, TopLeft, -1, None, 0, kEwfNtldrSource},
    {Label5, WrappedLabel, 0, {48, 109, 505, 29}, TopSides, -1, None, 0, kWhereToObtain},
    {Label6, LinkLabel, 0, {72, 143, 317, 13}, TopLeft, 0, None, 0, kEvaluationPage},
    {Label7, WrappedLabel, 0, {48, 168, 505, 25}, TopSides, -1, None, 0, kNewestVersionsNote},
    {OKButton, Button, 0, {244, 217, 75, 25}, BottomRight, 1, Default | Cancel, IDOK, "OK"},
};

}  // namespace

TMissingFilesForm::TMissingFilesForm(HWND mainWindow, TOs& os)
    : TForm(mainWindow, kMissingFilesForm, kMissingFilesControls), Os_(os) {}

void TMissingFilesForm::ControlClick(int id) {
  if (id == Label6) Label6Click();
}

void TMissingFilesForm::Label6Click() {
  ShellOpen(Os_, Handle(), kEvaluationPage);
}
