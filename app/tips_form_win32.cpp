#include "app/tips_form.h"

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

enum ControlId { Label4 = 101, Label1, Label2, Label3, Button1 };

const FormSpec kTipsForm = {"Reducing disk writes", 450, 193, FormKind::Dialog, FormPosition::OwnerCenter, nullptr};

const char kTipsIntroduction[] =
    "There are some settings that this tool cannot currently change.  It is highly recommended that you manually "
    "make changes to the following settings:";
const char kFat32Tip[] = "Use FAT32 partitions instead of NTFS (unless you require file security)";

// Enter presses OK as the focused button, Escape as the cancel button.
const ControlSpec kTipsControls[] = {
    {Label4, WrappedLabel, 0, {16, 16, 417, 26}, TopSides, -1, None, 0, kTipsIntroduction},
    {Label1, Label, 0, {40, 64, 138, 13}, TopLeft, -1, Bold, 0, "Turn off System Restore"},
    {Label2, Label, 0, {40, 88, 114, 13}, TopLeft, -1, Bold, 0, "Disable the page file"},
    {Label3, Label, 0, {40, 112, 392, 13}, TopLeft, -1, Bold, 0, kFat32Tip},
    {Button1, Button, 0, {363, 158, 75, 25}, BottomRight, 0, Cancel, IDOK, "OK"},
};

}  // namespace

TTipsForm::TTipsForm(HWND mainWindow) : TForm(mainWindow, kTipsForm, kTipsControls) {}
