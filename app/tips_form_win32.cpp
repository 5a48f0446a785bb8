#include "app/tips_form.h"

namespace {

enum ControlId { Label4 = 101, Label1, Label2, Label3, Button1 };

const FormSpec kTipsForm = {"Reducing disk writes", 450, 193, FormKind::Dialog, FormPosition::OwnerCenter, nullptr};

const char kLabel4Text[] =
    "There are some settings that this tool cannot currently change.  It is highly recommended that you manually "
    "make changes to the following settings:";
const char kLabel3Text[] = "Use FAT32 partitions instead of NTFS (unless you require file security)";

// Enter presses OK as the focused button, Escape as the cancel button.
const ControlSpec kTipsControls[] = {
    {Label4, ckWrappedLabel, 0, {16, 16, 417, 26}, akTopSides, -1, cfNone, 0, kLabel4Text},
    {Label1, ckLabel, 0, {40, 64, 138, 13}, akTopLeft, -1, cfBold, 0, "Turn off System Restore"},
    {Label2, ckLabel, 0, {40, 88, 114, 13}, akTopLeft, -1, cfBold, 0, "Disable the page file"},
    {Label3, ckLabel, 0, {40, 112, 392, 13}, akTopLeft, -1, cfBold, 0, kLabel3Text},
    {Button1, ckButton, 0, {363, 158, 75, 25}, akBottomRight, 0, cfCancel, IDOK, "OK"},
};

}  // namespace

TTipsForm::TTipsForm(HWND mainWindow) : TForm(mainWindow, kTipsForm, kTipsControls) {}
