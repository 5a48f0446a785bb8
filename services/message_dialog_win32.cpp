#include "services/message_dialog_win32.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "services/error_report.h"
#include "services/forms_win32.h"
#include "services/message_dialog_text.h"

namespace {

enum ControlId { kIconId = 100, kTextId = 101 };

LPCSTR SystemIcon(MessageKind kind) {
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

void CopyToClipboard(HWND owner, const std::string& text) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory) {
    if (void* data = GlobalLock(memory)) {
      std::memcpy(data, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      // The clipboard owns the memory once it has taken it.
      if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

class TMessageDialog : public TForm {
 public:
  TMessageDialog(HWND owner, const FormSpec& form, std::vector<ControlSpec> controls, const LOGFONTA& font,
                 std::string clipboardText)
      : TForm(nullptr, owner, form, std::move(controls), &font), clipboardText_(std::move(clipboardText)) {}

 protected:
  // Ctrl+C, with Ctrl as the only modifier, copies the whole dialog as text.
  bool HandleKey(const MSG& msg) override {
    if (msg.message != WM_KEYDOWN || msg.wParam != 'C') return false;
    if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
    MessageBeep(0);
    CopyToClipboard(Handle(), clipboardText_);
    return true;
  }

 private:
  std::string clipboardText_;
};

// Sizes in the message font: dialog units converted the way Windows does.
struct FontMeasure {
  int averageWidth;
  int height;
  int X(int dialogUnits) const { return MulDiv(dialogUnits, averageWidth, 4); }
  int Y(int dialogUnits) const { return MulDiv(dialogUnits, height, 8); }
};

// Where everything goes, in pixels of the message font: the icon at the
// left, the text beside it, the buttons centred below.
struct MessageLayout {
  ControlRect icon;
  ControlRect text;
  std::vector<ControlRect> buttons;
  int clientWidth;
  int clientHeight;
};

// The system's message-box font; should the query fail, the zeroed font
// still gives the system's default one.
LOGFONTA MessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics.lfMessageFont;
}

MessageLayout LayOutMessage(const LOGFONTA& messageFont, const std::string& drawnText,
                            const std::vector<MessageDialogButton>& buttons) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectA(&messageFont);
  HGDIOBJ previousFont = SelectObject(dc, font);
  TEXTMETRICA textMetrics{};
  GetTextMetricsA(dc, &textMetrics);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE alphabet{};
  GetTextExtentPoint32A(dc, kAlphabet, 52, &alphabet);
  const FontMeasure unit{(alphabet.cx / 26 + 1) / 2, textMetrics.tmHeight};
  // The same flags as the word-wrapped label that draws the text.
  RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(dc, drawnText.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  int buttonWidth = unit.X(50);
  for (const MessageDialogButton& button : buttons) {
    std::string label = WithoutAccessKeys(button.caption);
    SIZE extent{};
    GetTextExtentPoint32A(dc, label.c_str(), int(label.size()), &extent);
    buttonWidth = std::max(buttonWidth, int(extent.cx) + unit.X(8));
  }
  SelectObject(dc, previousFont);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);

  const int margin = unit.X(8), verticalMargin = unit.Y(8), iconSize = 32, iconSpacing = unit.X(10);
  const int buttonSpacing = unit.X(4), buttonHeight = unit.Y(14), verticalSpacing = unit.Y(10);
  const int count = int(buttons.size());
  const int buttonsWidth = count * buttonWidth + (count - 1) * buttonSpacing;

  MessageLayout layout;
  layout.icon = ControlRect{margin, verticalMargin, iconSize, iconSize};
  layout.text = ControlRect{margin + iconSize + iconSpacing, verticalMargin, textRect.right, textRect.bottom};
  layout.clientWidth = 2 * margin + std::max(iconSize + iconSpacing + int(textRect.right), buttonsWidth);
  const int buttonTop = verticalMargin + std::max(iconSize, int(textRect.bottom)) + verticalSpacing;
  layout.clientHeight = buttonTop + buttonHeight + verticalMargin;
  int left = (layout.clientWidth - buttonsWidth) / 2;
  for (int i = 0; i < count; ++i) {
    layout.buttons.push_back(ControlRect{left, buttonTop, buttonWidth, buttonHeight});
    left += buttonWidth + buttonSpacing;
  }
  return layout;
}

}  // namespace

DialogResult ShowMessageDialog(HWND owner, const std::string& text, MessageKind kind, MessageButtons buttons) {
  const LOGFONTA font = MessageFont();
  const char* caption = MessageDialogCaption(kind);
  const std::vector<MessageDialogButton> buttonSet = MessageDialogButtons(buttons);
  const std::string drawnText = MessageDisplayText(text);
  const MessageLayout layout = LayOutMessage(font, drawnText, buttonSet);

  std::vector<ControlSpec> controls = {
      {kIconId, ckImage, 0, layout.icon, akTopLeft, -1, cfNone, 0, nullptr},
      {kTextId, ckWrappedLabel, 0, layout.text, akTopLeft, -1, cfNone, 0, drawnText.c_str()},
  };
  std::vector<std::string> buttonCaptions;
  for (size_t i = 0; i < buttonSet.size(); ++i) {
    const MessageDialogButton& button = buttonSet[i];
    unsigned flags = (button.isDefault ? cfDefault : cfNone) | (button.isCancel ? cfCancel : cfNone);
    int result = int(button.result);
    controls.push_back({result, ckButton, 0, layout.buttons[i], akTopLeft, int(i), flags, result, button.caption});
    buttonCaptions.push_back(button.caption);
  }

  FormSpec form{caption,          layout.clientWidth,         layout.clientHeight,
                FormKind::Dialog, FormPosition::ScreenCenter, nullptr};
  TMessageDialog dialog(owner, form, std::move(controls), font,
                        MessageDialogClipboardText(caption, text, buttonCaptions));
  dialog.SetImage(kIconId, LoadIconA(nullptr, SystemIcon(kind)));
  return static_cast<DialogResult>(dialog.ShowModal());
}

void ShowErrorReport(HWND owner, const std::string& applicationTitle, const std::string& message) {
  MessageBoxA(owner, ErrorReportText(message).c_str(), applicationTitle.c_str(), MB_OK | MB_ICONERROR);
}
