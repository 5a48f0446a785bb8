#include "app/about_form.h"

#include <string>

#include "services/concat.h"
#include "services/shell.h"

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

enum ControlId { Image1 = 101, Label1, Label2, Label5, Label3, Label4, Button1 };

const char kContactAddress[] = "stillvane@example.org";

const FormSpec kAboutForm = {"About", 443, 198, FormKind::Dialog, FormPosition::OwnerCenter, nullptr};

const char kAttribution[] = "Written by the Stillvane team";
const char kGuideCredit[] = "Follows the published guide to EWF on Windows XP";
const char kSendReportsText[] = "Send any bug reports, comments or suggestions regarding this tool to:";

// No cancel button: Escape leaves the dialog open; Enter presses OK, which
// has the focus first although the link comes before it in reading order.
const ControlSpec kAboutControls[] = {
    {Image1, Image, 0, {8, 8, 32, 32}, TopLeft, -1, None, 0, "MAINICON"},
    {Label1, Label, 0, {48, 28, 156, 13}, TopLeft, -1, Bold, 0, "Stillvane Version 1.0 (BETA)"},
    {Label2, Label, 0, {48, 64, 159, 13}, TopLeft, -1, None, 0, kAttribution},
    {Label5, Label, 0, {48, 88, 291, 13}, TopLeft, -1, None, 0, kGuideCredit},
    {Label3, Label, 0, {48, 120, 339, 13}, TopLeft, -1, None, 0, kSendReportsText},
    {Label4, LinkLabel, 0, {48, 136, 126, 13}, TopLeft, 0, None, 0, kContactAddress},
    {Button1, Button, 0, {360, 166, 75, 25}, BottomRight, 1, Default, IDOK, "OK"},
};

}  // namespace

TAboutForm::TAboutForm(HWND mainWindow, TOs& os) : TForm(mainWindow, kAboutForm, kAboutControls), Os_(os) {}

void TAboutForm::ControlClick(int id) {
  if (id == Label4) Label4Click();
}

void TAboutForm::Label4Click() {
  ShellOpen(Os_, Handle(), Concat({"mailto:", kContactAddress, "?subject=Stillvane"}));
}
