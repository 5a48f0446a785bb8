// Keyboard and focus for the forms: tab order, Enter, Escape, access keys,
// and where the focus goes when a form becomes active.
//
// IsDialogMessage is not used: it asks the window for its default button
// with DM_GETDEFID, which only DefDlgProc answers, not a form's own window
// procedure; it tabs in z-order, where the frames lie beneath their
// controls, not in each table's order per frame; and Escape would send
// IDCANCEL rather than press the first cancel button (the main window has
// two).
#include <algorithm>

#include "ui/forms_win32.h"

namespace {

// The access key of a caption ("&Yes" gives 'Y'), or 0.
char AccessKey(const char* caption) {
  for (const char* p = caption; p && *p; ++p) {
    if (*p != '&') continue;
    if (p[1] != '&') return p[1];
    ++p;
  }
  return 0;
}

char UpperCase(char c) {
  return static_cast<char>(reinterpret_cast<UINT_PTR>(CharUpperA(reinterpret_cast<LPSTR>(static_cast<BYTE>(c)))));
}

bool IsPressable(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::LinkLabel;
}

}  // namespace

// Tab order is kept per parent, as the table gives it; a frame's buttons
// follow one another where the frame stands in its parent's order.
void TForm::BuildTabOrder(int parentId) {
  // Tables are short: each tab position is looked for in turn, and equal
  // positions keep the table's order.
  int last = -1;
  for (const Placed& control : *this) {
    if (control.Definition->Parent == parentId) last = std::max(last, int(control.Definition->TabOrder));
  }
  for (int position = 0; position <= last; ++position) {
    for (const Placed& child : *this) {
      if (child.Definition->Parent != parentId || child.Definition->TabOrder != position) continue;
      if (child.Definition->Kind == ControlKind::GroupBox) {
        BuildTabOrder(child.Definition->Id);
      } else if ((IsPressable(child.Definition->Kind) || child.Definition->Kind == ControlKind::TextBox) &&
                 child.Window) {
        TabOrder_[TabCount_++] = child.Window;
      }
    }
  }
}

void TForm::RestoreFocus() {
  HWND target = nullptr;
  if (LastFocus_ && IsWindow(LastFocus_) && IsChild(Window_, LastFocus_) && IsWindowEnabled(LastFocus_) &&
      IsWindowVisible(LastFocus_)) {
    target = LastFocus_;
  }
  // The first button, not a link: Enter then presses what it would have.
  for (int i = 0; !target && i < TabCount_; ++i) {
    const Placed* control = Find(TabOrder_[i]);
    if (control->Definition->Kind == ControlKind::Button && IsWindowEnabled(TabOrder_[i]) &&
        IsWindowVisible(TabOrder_[i])) {
      target = TabOrder_[i];
    }
  }
  if (target) SetFocus(target);
}

// The focused button looks like the default one, as in any dialog; with
// the focus elsewhere, the form's default button does.
void TForm::ShowAsDefault(HWND focusedButton) {
  for (const Placed& control : *this) {
    if (control.Definition->Kind != ControlKind::Button || !control.Window) continue;
    bool isDefault = focusedButton ? control.Window == focusedButton : &control == DefaultButton_;
    LONG type = GetWindowLongA(control.Window, GWL_STYLE) & BS_TYPEMASK;
    LONG wanted = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if (type != wanted) SendMessageA(control.Window, BM_SETSTYLE, wanted | BS_NOTIFY, TRUE);
  }
}

// From the focused button to the next (or previous) one that can take the
// focus, round the end; with the focus elsewhere, from before the first (or
// after the last).
void TForm::MoveFocus(bool backwards) {
  if (TabCount_ == 0) return;
  int current = backwards ? TabCount_ : -1;
  HWND focus = GetFocus();
  for (int i = 0; i < TabCount_; ++i) {
    if (TabOrder_[i] == focus && IsWindowEnabled(focus) && IsWindowVisible(focus)) current = i;
  }
  const int step = backwards ? TabCount_ - 1 : 1;
  for (int tried = 0, i = current; tried < TabCount_; ++tried) {
    i = (i + step) % TabCount_;
    if (IsWindowEnabled(TabOrder_[i]) && IsWindowVisible(TabOrder_[i])) {
      SetFocus(TabOrder_[i]);
      return;
    }
  }
}

void TForm::Press(const Placed* button) {
  if (!button || !button->Window || !IsWindowEnabled(button->Window)) return;
  SendMessageA(Window_, WM_COMMAND, MAKEWPARAM(button->Definition->Id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button->Window));
}

bool TForm::HandleCommonKey(const MSG& msg) {
  const Placed* focused = Find(GetFocus());
  bool focusOnButton = focused && focused->Definition->Kind == ControlKind::Button;
  if (msg.message == WM_KEYDOWN) {
    switch (msg.wParam) {
      case VK_TAB:
        if (GetKeyState(VK_CONTROL) < 0) return false;
        MoveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
      case VK_RETURN:
        Press(focused && IsPressable(focused->Definition->Kind) ? focused : DefaultButton_);
        return true;
      case VK_ESCAPE:
        Press(CancelButton_);
        return true;
      default:
        return false;
    }
  }
  // Access keys: Alt+key anywhere, the plain key while a button has the focus.
  if (msg.message == WM_SYSCHAR || (msg.message == WM_CHAR && (focusOnButton || !focused))) {
    char key = UpperCase(char(msg.wParam));
    for (const Placed& control : *this) {
      if (control.Definition->Kind != ControlKind::Button || !control.Window) continue;
      char accessKey = AccessKey(control.Definition->Text);
      if (accessKey && UpperCase(accessKey) == key) {
        SetFocus(control.Window);
        Press(&control);
        return true;
      }
    }
  }
  return false;
}

bool TForm::PreTranslateMessage(MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (!root || GetClassLongA(root, GCW_ATOM) != RegisteredClass()) return false;
  TForm* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(root, GWLP_USERDATA));
  if (!form || !IsWindowEnabled(root)) return false;
  return form->HandleKey(msg) || form->HandleCommonKey(msg);
}

int RunMessageLoop(void (*firstIdle)(void*), void* context) {
  MSG msg{};
  for (;;) {
    // Windows asks for WM_PAINT only once nothing else waits, so an empty
    // queue means every window is drawn.
    if (firstIdle && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      firstIdle(context);
      firstIdle = nullptr;
    }
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    if (!TForm::PreTranslateMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return int(msg.wParam);
}
