#include "install/missing_files_form_win32.h"

#include "services/shell.h"

namespace {

enum ControlId { Image1 = 101, Label1, Label2, Label3, Label4, Label5, Label6, Label7, OKButton };

// Where the Windows XP Embedded evaluation can be had.
const char kEvaluationPage[] = "http://www.microsoft.com/windows/embedded/eval/";

const FormSpec kMissingFilesForm = {"Driver files not found",  563,    250, FormKind::Dialog,
                                    FormPosition::OwnerCenter, nullptr};

const char kLabel1Text[] =
    "Unable to locate all of the required EWF driver files.  Due to copyright restrictions, the EWF driver files are "
    "not bundled with this program.  You must obtain the files and put them in the same folder as this program.  "
    "The files you require are:";
const char kLabel2Text[] = "ewf.sys (file version 2.0.927.0 or greator)";
const char kLabel3Text[] = "ewfmgr.exe (file version 2.0.927.0 or greator)";
const char kLabel4Text[] = "ewfntldr (from the same directory as the above files)";
const char kLabel5Text[] =
    "You can obtain the files from the Repositories directory after you install the Windows XP Embedded SP2 Trail "
    "which is available at the following website:";
const char kLabel7Text[] =
    "IMPORTANT NOTE: The Repositories directory contains multiple versions of the above files, so you must make "
    "sure you copy the newest versions of the files as the older versions are known to cause problems.";

const ControlSpec kMissingFilesControls[] = {
    {Image1, ckImage, 0, {8, 8, 32, 32}, akTopLeft, -1, cfNone, 0, "WARNINGICON"},
    {Label1, ckWrappedLabel, 0, {48, 8, 505, 41}, akTopSides, -1, cfNone, 0, kLabel1Text},
    {Label2, ckLabel, 0, {72, 54, 204, 13}, akTopLeft, -1, cfNone, 0, kLabel2Text},
    {Label3, ckLabel, 0, {72, 70, 224, 13}, akTopLeft, -1, cfNone, 0, kLabel3Text},
    {Label4, ckLabel, 0, {72, 86, 254, 13}, akTopLeft, -1, cfNone, 0, kLabel4Text},
    {Label5, ckWrappedLabel, 0, {48, 109, 505, 29}, akTopSides, -1, cfNone, 0, kLabel5Text},
    {Label6, ckLinkLabel, 0, {72, 143, 317, 13}, akTopLeft, 0, cfNone, 0, kEvaluationPage},
    {Label7, ckWrappedLabel, 0, {48, 168, 505, 25}, akTopSides, -1, cfNone, 0, kLabel7Text},
    {OKButton, ckButton, 0, {244, 217, 75, 25}, akBottomRight, 1, cfDefault | cfCancel, IDOK, "OK"},
};

}  // namespace

TMissingFilesForm::TMissingFilesForm(HWND mainWindow, Os& os)
    : TForm(mainWindow, kMissingFilesForm, kMissingFilesControls), os_(os) {}

void TMissingFilesForm::ControlClick(int id) {
  if (id == Label6) Label6Click();
}

void TMissingFilesForm::Label6Click() {
  ShellOpen(os_, Handle(), kEvaluationPage);
}
