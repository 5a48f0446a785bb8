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

}  // namespace

DialogResult ShowMessageDialog(HWND owner, const std::string& text, MessageKind kind, MessageButtons buttons) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const LOGFONTA& messageFont = metrics.lfMessageFont;

  const char* caption = MessageDialogCaption(kind);
  const std::vector<MessageDialogButton> buttonSet = MessageDialogButtons(buttons);
  const std::string drawnText = MessageDisplayText(text);

  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontIndirectA(&messageFont);
  HGDIOBJ previousFont = SelectObject(dc, font);
  TEXTMETRICA textMetrics{};
  GetTextMetricsA(dc, &textMetrics);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE alphabet{};
  GetTextExtentPoint32A(dc, kAlphabet, 52, &alphabet);
  const FontMeasure unit{(alphabet.cx / 26 + 1) / 2, textMetrics.tmHeight};
  RECT textRect{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(dc, drawnText.c_str(), -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  int buttonWidth = unit.X(50);
  for (const MessageDialogButton& button : buttonSet) {
    std::string label = WithoutAccessKeys(button.caption);
    SIZE extent{};
    GetTextExtentPoint32A(dc, label.c_str(), int(label.size()), &extent);
    buttonWidth = std::max(buttonWidth, int(extent.cx) + unit.X(8));
  }
  SelectObject(dc, previousFont);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);

  const int margin = unit.X(8), verticalMargin = unit.Y(8);
  const int iconSize = 32, iconSpacing = unit.X(10), buttonSpacing = unit.X(4);
  const int buttonHeight = unit.Y(14), verticalSpacing = unit.Y(10);
  const int textWidth = textRect.right, textHeight = textRect.bottom;
  const int count = int(buttonSet.size());
  const int buttonsWidth = count * buttonWidth + (count - 1) * buttonSpacing;
  const int textLeft = margin + iconSize + iconSpacing;
  const int clientWidth = 2 * margin + std::max(iconSize + iconSpacing + textWidth, buttonsWidth);
  const int bodyHeight = std::max(iconSize, textHeight);
  const int buttonTop = verticalMargin + bodyHeight + verticalSpacing;
  const int clientHeight = buttonTop + buttonHeight + verticalMargin;

  std::vector<ControlSpec> controls = {
      {kIconId, ckImage, 0, {margin, verticalMargin, iconSize, iconSize}, akTopLeft, -1, cfNone, 0, nullptr},
      {kTextId,
       ckWrappedLabel,
       0,
       {textLeft, verticalMargin, textWidth, textHeight},
       akTopLeft,
       -1,
       cfNone,
       0,
       drawnText.c_str()},
  };
  std::vector<std::string> buttonCaptions;
  int left = (clientWidth - buttonsWidth) / 2;
  for (int i = 0; i < count; ++i) {
    const MessageDialogButton& button = buttonSet[size_t(i)];
    unsigned flags = (button.isDefault ? cfDefault : cfNone) | (button.isCancel ? cfCancel : cfNone);
    int result = int(button.result);
    controls.push_back({result,
                        ckButton,
                        0,
                        {left, buttonTop, buttonWidth, buttonHeight},
                        akTopLeft,
                        i,
                        flags,
                        result,
                        button.caption});
    buttonCaptions.push_back(button.caption);
    left += buttonWidth + buttonSpacing;
  }

  FormSpec form{caption, clientWidth, clientHeight, FormKind::Dialog, FormPosition::ScreenCenter, nullptr};
  TMessageDialog dialog(owner, form, std::move(controls), messageFont,
                        MessageDialogClipboardText(caption, text, buttonCaptions));
  dialog.SetImage(kIconId, LoadIconA(nullptr, SystemIcon(kind)));
  return static_cast<DialogResult>(dialog.ShowModal());
}

void ShowErrorReport(HWND owner, const std::string& applicationTitle, const std::string& message) {
  MessageBoxA(owner, ErrorReportText(message).c_str(), applicationTitle.c_str(), MB_OK | MB_ICONERROR);
}
