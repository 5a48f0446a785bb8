#include "app/write_filter_status_form.h"

#include "app/message_dialog_win32.h"

namespace {

using enum ControlKind;
using enum Anchor;
using enum ControlFlag;

enum ControlId {
  Image1 = 101,
  Label1,
  GroupBox1,
  Memo1,
  GroupBox2,
  Label2,
  Memo2,
  Label3,
  EnableButton,
  CommitButton,
  CommitAndDisableButton,
  RefreshButton,
  CloseButton,
};

const char kCaption[] = "Write Filter Status";
const FormSpec kStatusForm = {kCaption, 560, 479, FormKind::Dialog, FormPosition::OwnerCenter, nullptr};

// The sentence has room for five lines, the note above the buttons for
// three and the lines on the service, the overlay and HORM for three; the
// checks (those to act on first) and the report scroll.
// Escape and Enter press Close; the focus starts on Refresh.
const ControlSpec kStatusControls[] = {
    {Image1, Image, 0, {8, 8, 32, 32}, TopLeft, -1, None, 0, nullptr},
    {Label1, WrappedLabel, 0, {48, 8, 504, 66}, TopSides, -1, Bold, 0, ""},
    {GroupBox1, GroupBox, 0, {8, 82, 544, 137}, TopSides, 0, None, 0, "What the installation left"},
    {Memo1, TextBox, GroupBox1, {8, 18, 528, 111}, All, 0, None, 0, ""},
    {GroupBox2, GroupBox, 0, {8, 225, 544, 213}, TopSides, 1, None, 0, "The write filter now"},
    {Label2, WrappedLabel, GroupBox2, {8, 18, 528, 42}, TopSides, -1, None, 0, ""},
    {Memo2, TextBox, GroupBox2, {8, 62, 528, 71}, All, 0, FixedPitch, 0, ""},
    {Label3, WrappedLabel, GroupBox2, {8, 137, 528, 39}, TopSides, -1, None, 0, ""},
    {EnableButton, Button, GroupBox2, {206, 180, 90, 25}, BottomRight, 1, None, 0, "&Enable"},
    {CommitButton, Button, GroupBox2, {302, 180, 90, 25}, BottomRight, 2, None, 0, "Co&mmit"},
    {CommitAndDisableButton, Button, GroupBox2, {398, 180, 130, 25}, BottomRight, 3, None, 0, "Commit and &Disable"},
    {RefreshButton, Button, 0, {366, 446, 90, 25}, BottomRight, 2, None, 0, "&Refresh"},
    {CloseButton, Button, 0, {462, 446, 90, 25}, BottomRight, 3, Default | Cancel, IDCANCEL, "Close"},
};

constexpr int kCommandButtons[kManagerCommandCount] = {EnableButton, CommitButton, CommitAndDisableButton};

}  // namespace

TWriteFilterStatusForm::TWriteFilterStatusForm(HWND mainWindow, TOs& os, TDialogs& dialogs,
                                               TVersionInfo& FileVersionInfo, const std::string& windowsFolder)
    : TForm(mainWindow, kStatusForm, kStatusControls), Status_(os, dialogs, FileVersionInfo, windowsFolder) {}

// Read before it is shown, so that it is drawn once, as read; while the
// manager runs the main window is still drawn.
void TWriteFilterStatusForm::FormShow() {
  RefreshButtonClick();
  FocusControl(RefreshButton);
}

void TWriteFilterStatusForm::ControlClick(int id) {
  for (int i = 0; i < kManagerCommandCount; ++i)
    if (id == kCommandButtons[i]) return CommandButtonClick(static_cast<ManagerCommand>(i));
  if (id == RefreshButton) RefreshButtonClick();
}

void TWriteFilterStatusForm::RefreshButtonClick() {
  Status_.Refresh();
  ShowView();
}

// Clicks and keys that come while the manager runs are dropped, so the
// buttons need not be disabled meanwhile.
void TWriteFilterStatusForm::CommandButtonClick(ManagerCommand command) {
  if (!Status_.ConfirmCommand(command)) return;
  Status_.RunCommand(command);
  ShowView();
  Status_.FinishCommand();
}

void TWriteFilterStatusForm::ShowView() {
  const StatusView& view = Status_.View();
  SetImage(Image1, LoadIconA(nullptr, MAKEINTRESOURCEA(static_cast<int>(IconOf(view.Status)))));
  SetText(Label1, view.Sentence.c_str());
  SetText(Memo1, view.Checks.c_str());
  SetText(Label2, view.Now.c_str());
  SetText(Memo2, view.Report.c_str());
  SetText(Label3, view.CommandsNote.c_str());
  for (int i = 0; i < kManagerCommandCount; ++i) EnableControl(kCommandButtons[i], view.Applies[i]);
  // A button disabled under the focus leaves it nowhere.
  const HWND focus = GetFocus();
  if (!focus || !IsWindowEnabled(focus)) FocusControl(RefreshButton);
}

// Ctrl+C, with Ctrl as the only modifier, copies the whole window as text,
// unless text is selected in a box: then the box copies that.
bool TWriteFilterStatusForm::HandleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != 'C') return false;
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
  // Only a text box answers this; a button leaves both at 0.
  DWORD start = 0, end = 0;
  SendMessageA(GetFocus(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start != end) return false;
  MessageBeep(0);
  CopyTextToClipboard(Handle(), Status_.ClipboardText(kCaption));
  return true;
}
