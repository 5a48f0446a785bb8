#include "app/message_dialog_win32.h"

#include <algorithm>
#include <cstring>

#include "app/message_dialog_text.h"
#include "services/error_report.h"
#include "ui/forms_win32.h"
#include "ui/owners_win32.h"

namespace {

enum ControlId { IconId = 100, TextId = 101 };

class TMessageDialog : public TForm {
 public:
  // The message and buttons are the caller's, alive as long as the dialog.
  TMessageDialog(HWND owner, const FormSpec& form, ControlList controls, HFONT font, const std::string& message,
                 const MessageDialogButtonSet& buttons)
      : TForm(owner, form, controls, font), Caption_(form.Caption), Message_(message), Buttons_(buttons) {}

 protected:
  // Ctrl+C, with Ctrl as the only modifier, copies the whole dialog as text.
  bool HandleKey(const MSG& msg) override {
    if (msg.message != WM_KEYDOWN || msg.wParam != 'C') return false;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
    MessageBeep(0);
    CopyTextToClipboard(Handle(),
                        Buttons_.Count == 2
                            ? MessageDialogClipboardText(Caption_, Message_, {Buttons_[0].Caption, Buttons_[1].Caption})
                            : MessageDialogClipboardText(Caption_, Message_, {Buttons_[0].Caption}));
    return true;
  }

 private:
  const char* Caption_;
  const std::string& Message_;
  const MessageDialogButtonSet& Buttons_;
};

// Sizes in the message font: dialog units converted the way Windows does.
struct FontMeasure {
  int AverageWidth;
  int Height;
  int X(int dialogUnits) const { return MulDiv(dialogUnits, AverageWidth, 4); }
  int Y(int dialogUnits) const { return MulDiv(dialogUnits, Height, 8); }
};

// Where everything goes, in pixels of the message font: the icon at the
// left, the text beside it, the buttons centred below.
struct MessageLayout {
  ControlRect Icon;
  ControlRect Text;
  ControlRect Buttons[2];
  bool TextScrolls;
  int ClientWidth;
  int ClientHeight;
};

// The system's message-box font; should the query fail, the zeroed font
// still gives the system's default one.
UniqueFont CreateMessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return UniqueFont(CreateFontIndirectA(&metrics.lfMessageFont));
}

// A place within the screen, which a short holds.
ControlRect Place(int left, int top, int width, int height) {
  return {short(left), short(top), short(width), short(height)};
}

MessageLayout LayOutMessage(HFONT font, const std::string& drawnText, const MessageDialogButtonSet& buttons) {
  TWindowDC screen(nullptr);
  const HDC dc = screen.get();
  TSelectedObject selected(dc, font);
  TEXTMETRICA textMetrics{};
  GetTextMetricsA(dc, &textMetrics);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE alphabet{};
  GetTextExtentPoint32A(dc, kAlphabet, 52, &alphabet);
  const FontMeasure unit{(alphabet.cx / 26 + 1) / 2, textMetrics.tmHeight};
  // The same flags as the word-wrapped label that draws the text.
  RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(dc, drawnText.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  // An average character of slack, so that a font measuring a little
  // narrower than it draws never cuts the last character of a line.
  textRect.right += textMetrics.tmAveCharWidth;
  int buttonWidth = unit.X(50);
  for (int i = 0; i < buttons.Count; ++i) {
    std::string label = WithoutAccessKeys(buttons[i].Caption);
    SIZE extent{};
    GetTextExtentPoint32A(dc, label.c_str(), int(label.size()), &extent);
    buttonWidth = std::max(buttonWidth, int(extent.cx) + unit.X(8));
  }

  const int margin = unit.X(8), verticalMargin = unit.Y(8), iconSize = 32, iconSpacing = unit.X(10);
  const int buttonSpacing = unit.X(4), buttonHeight = unit.Y(14), verticalSpacing = unit.Y(10);
  const int count = buttons.Count;
  const int buttonsWidth = count * buttonWidth + (count - 1) * buttonSpacing;

  // What the work area leaves for the text beside the icon and above the
  // buttons, in a dialog's frame.
  const RECT workArea = WorkArea();
  RECT frame{};
  AdjustWindowRectEx(&frame, WS_CAPTION, FALSE, WS_EX_DLGMODALFRAME);
  const Extent room{
      int(workArea.right - workArea.left - frame.right + frame.left) - 2 * margin - iconSize - iconSpacing,
      int(workArea.bottom - workArea.top - frame.bottom + frame.top) - 2 * verticalMargin - verticalSpacing -
          buttonHeight};
  const MessageTextBox text = FitMessageText({int(textRect.right), int(textRect.bottom)}, room,
                                             GetSystemMetrics(SM_CXVSCROLL) + 4 * GetSystemMetrics(SM_CXEDGE));

  MessageLayout layout;
  layout.Icon = Place(margin, verticalMargin, iconSize, iconSize);
  layout.Text = Place(margin + iconSize + iconSpacing, verticalMargin, text.Size.Width, text.Size.Height);
  layout.TextScrolls = text.Scrolls;
  layout.ClientWidth = 2 * margin + std::max(iconSize + iconSpacing + text.Size.Width, buttonsWidth);
  const int buttonTop = verticalMargin + std::max(iconSize, text.Size.Height) + verticalSpacing;
  layout.ClientHeight = buttonTop + buttonHeight + verticalMargin;
  int left = (layout.ClientWidth - buttonsWidth) / 2;
  for (int i = 0; i < count; ++i) {
    layout.Buttons[i] = Place(left, buttonTop, buttonWidth, buttonHeight);
    left += buttonWidth + buttonSpacing;
  }
  return layout;
}

}  // namespace

LPCSTR MessageKindIcon(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return IDI_EXCLAMATION;
    case MessageKind::Error:
      return IDI_HAND;
    case MessageKind::Information:
      return IDI_ASTERISK;
    case MessageKind::Confirmation:
      return IDI_QUESTION;
  }
  return IDI_ASTERISK;
}

void CopyTextToClipboard(HWND owner, const std::string& text) {
  TOpenClipboard clipboard(owner);
  if (!clipboard) return;
  EmptyClipboard();
  UniqueGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  void* data = memory ? GlobalLock(memory.get()) : nullptr;
  if (!data) return;
  std::memcpy(data, text.c_str(), text.size() + 1);
  GlobalUnlock(memory.get());
  // The clipboard owns the memory once it has taken it.
  if (SetClipboardData(CF_TEXT, memory.get())) memory.release();
}

DialogResult ShowMessageDialog(HWND owner, const std::string& text, MessageKind kind, MessageButtons buttons) {
  const MessageDialogButtonSet buttonSet = MessageDialogButtons(buttons);
  const std::string drawnText = MessageDisplayText(text);
  const UniqueFont font = CreateMessageFont();
  const MessageLayout layout = LayOutMessage(font.get(), drawnText, buttonSet);

  ControlSpec controls[4] = {
      {IconId, ControlKind::Image, 0, layout.Icon, Anchor::TopLeft, -1, ControlFlag::None, 0, nullptr},
      // A text that scrolls is reached with Tab after the buttons, for the keys that scroll it.
      {TextId, layout.TextScrolls ? ControlKind::TextBox : ControlKind::WrappedLabel, 0, layout.Text, Anchor::TopLeft,
       static_cast<signed char>(layout.TextScrolls ? 2 : -1), ControlFlag::None, 0, drawnText.c_str()},
  };
  for (int i = 0; i < buttonSet.Count; ++i) {
    const MessageDialogButton& button = buttonSet[i];
    const ControlFlag flags = (button.IsDefault ? ControlFlag::Default : ControlFlag::None) |
                              (button.IsCancel ? ControlFlag::Cancel : ControlFlag::None);
    const short result = short(button.Result);
    controls[2 + i] = {result,          ControlKind::Button,         0,     layout.Buttons[i],
                       Anchor::TopLeft, static_cast<signed char>(i), flags, result,
                       button.Caption};
  }

  FormSpec form{MessageDialogCaption(kind), layout.ClientWidth,         layout.ClientHeight,
                FormKind::Dialog,           FormPosition::ScreenCenter, nullptr};
  TMessageDialog dialog(owner, form, ControlList(controls, 2 + buttonSet.Count), font.get(), text, buttonSet);
  dialog.SetImage(IconId, LoadIconA(nullptr, MessageKindIcon(kind)));
  // The text a window is made with goes through a string counted in 16 bits
  // on Wine, which cuts a long one: set afterwards, it is whole.
  if (layout.TextScrolls) dialog.SetText(TextId, drawnText.c_str());
  return static_cast<DialogResult>(dialog.ShowModal());
}

void ShowErrorReport(HWND owner, const std::string& applicationTitle, const std::string& message) {
  MessageBoxA(owner, ErrorReportText(message).c_str(), applicationTitle.c_str(), MB_OK | MB_ICONERROR);
}
