#include "ui/forms_win32.h"

#include <algorithm>

namespace {

const COLORREF kLinkColor = RGB(0, 0, 202);

HINSTANCE ModuleInstance() {
  return GetModuleHandleA(nullptr);
}

enum FontStyle { Regular, Bold, Underlined, FixedPitch };

FontStyle StyleOf(const ControlSpec& control) {
  if (control.Kind == ControlKind::LinkLabel) return Underlined;
  if (Has(control.Flags, ControlFlag::FixedPitch)) return FixedPitch;
  return Has(control.Flags, ControlFlag::Bold) ? Bold : Regular;
}

bool HasFixedPitchText(ControlList controls) {
  for (int i = 0; i < controls.Count; ++i)
    if (Has(controls.Items[i].Flags, ControlFlag::FixedPitch)) return true;
  return false;
}

bool IsWaitCursorShown() {
  return GetCursor() == LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
}

// The system's link colour where high contrast is on, or where the face
// colour is too dark for the usual blue.
COLORREF LinkColor() {
  HIGHCONTRASTA highContrast{};
  highContrast.cbSize = sizeof highContrast;
  const bool on = SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
                  (highContrast.dwFlags & HCF_HIGHCONTRASTON);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const bool darkFace = GetRValue(face) + GetGValue(face) + GetBValue(face) < 3 * 128;
  return on || darkFace ? GetSysColor(COLOR_HOTLIGHT) : kLinkColor;
}

}  // namespace

// Text measured in the font and with the flags it is drawn with.
class TForm::TFontMeasurer : public TTextMeasurer {
 public:
  TFontMeasurer(HDC dc, const HFONT (&fonts)[4]) : Dc_(dc), Fonts_(fonts) {}

  Extent Measure(const ControlSpec& control, int width) const override {
    TSelectedObject selected(Dc_, Fonts_[StyleOf(control)]);
    RECT text{0, 0, width, 0};
    UINT format = DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX;
    if (control.Kind == ControlKind::WrappedLabel) format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
    if (control.Kind == ControlKind::Button) format = DT_CALCRECT | DT_SINGLELINE;
    DrawTextA(Dc_, control.Text ? control.Text : "", -1, &text, format);
    Extent extent{text.right, text.bottom};
    if (control.Kind == ControlKind::Button) {
      // The button's edges and focus rectangle, with a little space either side.
      TEXTMETRICA metrics{};
      GetTextMetricsA(Dc_, &metrics);
      extent.Width += metrics.tmAveCharWidth + 4;
      extent.Height += 8;
    }
    return extent;
  }

 private:
  HDC Dc_;
  const HFONT (&Fonts_)[4];
};

ATOM TForm::RegisteredClass() {
  static ATOM atom = 0;
  if (!atom) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClassName;
    atom = RegisterClassExA(&windowClass);
  }
  return atom;
}

TForm::Placed* TForm::begin() const {
  return Placed_.get();
}

TForm::Placed* TForm::end() const {
  return Placed_.get() + Controls_.Count;
}

TForm::TForm(HWND ownerWindow, const FormSpec& form, ControlList controls, HFONT font)
    : Form_(form),
      Controls_(controls),
      OwnerWindow_(ownerWindow),
      Placed_(new Placed[controls.Count]()),
      TabOrder_(new HWND[controls.Count]),
      CallersFont_(font) {
  for (int i = 0; i < controls.Count; ++i) Placed_[i].Definition = &controls.Items[i];
  if (Form_.Kind == FormKind::MainWindow) CreateWindowAndControls();
}

HWND TForm::Handle() {
  if (!Created_) CreateWindowAndControls();
  return Window_;
}

// 8 points at the system's DPI (11 pixels at 96), or the caller's font;
// text boxes in a fixed pitch, at 9 points, only for a form that has one.
void TForm::CreateFonts() {
  if (CallersFont_) {
    Fonts_[Regular] = Fonts_[Bold] = Fonts_[Underlined] = Fonts_[FixedPitch] = CallersFont_;
    return;
  }
  Dpi_ = GetDeviceCaps(TWindowDC(nullptr).get(), LOGPIXELSY);
  LOGFONTA logFont{};
  logFont.lfHeight = -MulDiv(8, Dpi_, 72);
  logFont.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(logFont.lfFaceName, "Tahoma", LF_FACESIZE);
  for (int style = Regular; style <= Underlined; ++style) {
    logFont.lfWeight = style == Bold ? FW_BOLD : FW_NORMAL;
    logFont.lfUnderline = style == Underlined;
    OwnFonts_[style].reset(CreateFontIndirectA(&logFont));
    Fonts_[style] = OwnFonts_[style].get();
  }
  Fonts_[FixedPitch] = Fonts_[Regular];
  if (!HasFixedPitchText(Controls_)) return;
  logFont.lfHeight = -MulDiv(9, Dpi_, 72);
  logFont.lfWeight = FW_NORMAL;
  logFont.lfUnderline = FALSE;
  // Whichever TrueType face the system has for it (Courier New on XP):
  // asking for one by name costs a search where it is missing.
  logFont.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  logFont.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  logFont.lfFaceName[0] = '\0';
  OwnFonts_[FixedPitch].reset(CreateFontIndirectA(&logFont));
  if (OwnFonts_[FixedPitch]) Fonts_[FixedPitch] = OwnFonts_[FixedPitch].get();
}

HFONT TForm::FontFor(const ControlSpec& control) const {
  return Fonts_[StyleOf(control)];
}

void TForm::CreateWindowAndControls() {
  Created_ = true;
  CreateFonts();
  // Each control's place at the smallest size, scaled, then grown where its
  // text needs more room.
  Layout_.emplace(Form_, Controls_, Dpi_);
  Layout_->FitText(TFontMeasurer(TWindowDC(nullptr).get(), Fonts_));
  const Extent clientSize = Layout_->MinimumClientSize();
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  DWORD exStyle = WS_EX_DLGMODALFRAME;
  if (Form_.Kind == FormKind::MainWindow) {
    style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    exStyle = 0;
  }
  RECT frame{0, 0, clientSize.Width, clientSize.Height};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  MinimumWindowSize_ = SIZE{frame.right - frame.left, frame.bottom - frame.top};
  // Made where it will be shown, so that showing it need not move it.
  const POINT origin = CenteredOrigin(MinimumWindowSize_);
  CreateWindowExA(exStyle, reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(RegisteredClass())), Form_.Caption, style,
                  origin.x, origin.y, MinimumWindowSize_.cx, MinimumWindowSize_.cy, OwnerWindow_, nullptr,
                  ModuleInstance(), this);
  if (!Window_) return;

  // Some themes draw frames that AdjustWindowRectEx does not know of: make
  // the client area exact whatever the frame.
  RECT client{};
  GetClientRect(Window_, &client);
  const SIZE missing{clientSize.Width - client.right, clientSize.Height - client.bottom};
  if (missing.cx || missing.cy) {
    MinimumWindowSize_.cx += missing.cx;
    MinimumWindowSize_.cy += missing.cy;
    SetWindowPos(Window_, nullptr, 0, 0, MinimumWindowSize_.cx, MinimumWindowSize_.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  if (Form_.Kind == FormKind::Dialog) {
    HMENU systemMenu = GetSystemMenu(Window_, FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}) DeleteMenu(systemMenu, command, MF_BYCOMMAND);
  }
  if (Form_.IconResource) {
    BigIcon_.reset(static_cast<HICON>(LoadImageA(ModuleInstance(), Form_.IconResource, IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    SmallIcon_.reset(static_cast<HICON>(LoadImageA(ModuleInstance(), Form_.IconResource, IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageA(Window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(BigIcon_.get()));
    SendMessageA(Window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon_.get()));
  }
  CreateControls();
  if (Form_.Kind == FormKind::MainWindow) Center();
}

void TForm::AddSystemMenuCommand(UINT id, const char* text, bool afterSeparator) {
  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  if (afterSeparator) AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, id, text);
}

// The fonts and icons outlive the window that shows them.
TForm::~TForm() {
  if (Window_) DestroyWindow(Window_);
}

// Each control is made in its place.
void TForm::CreateControls() {
  RECT client{};
  GetClientRect(Window_, &client);
  Layout_->Arrange(client.right, client.bottom);
  for (int i = 0; i < Controls_.Count; ++i) {
    Placed_[i].Shown = Layout_->Bounds(i);
    Placed_[i].Window = CreateControl(i);
  }
  // Frames lie beneath the controls drawn inside them.
  for (const Placed& control : *this) {
    if (control.Definition->Kind == ControlKind::GroupBox && control.Window) {
      SetWindowPos(control.Window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  for (const Placed& control : *this) {
    if (!DefaultButton_ && Has(control.Definition->Flags, ControlFlag::Default)) DefaultButton_ = &control;
    if (!CancelButton_ && Has(control.Definition->Flags, ControlFlag::Cancel)) CancelButton_ = &control;
  }
  BuildTabOrder(0);
}

HWND TForm::CreateControl(int index) {
  Placed& placed = Placed_[index];
  const ControlSpec& definition = *placed.Definition;
  const char* windowClass = "STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  switch (definition.Kind) {
    case ControlKind::GroupBox:
      windowClass = "BUTTON";
      style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
      break;
    case ControlKind::Label:
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case ControlKind::WrappedLabel:
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::LinkLabel:  // drawn by the form, focusable and pressed like a button
      windowClass = "BUTTON";
      style |= BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP;
      break;
    case ControlKind::Image:  // drawn by the form: no window, only the icon
      if (definition.Text) {
        placed.ShownSize = SIZE{Layout_->Scale(definition.Rect.Width), Layout_->Scale(definition.Rect.Height)};
        placed.OwnIcon.reset(static_cast<HICON>(
            LoadImageA(ModuleInstance(), definition.Text, IMAGE_ICON, placed.ShownSize.cx, placed.ShownSize.cy, 0)));
        placed.ShownIcon = placed.OwnIcon.get();
      }
      return nullptr;
    case ControlKind::Button:
      windowClass = "BUTTON";
      style |=
          (Has(definition.Flags, ControlFlag::Default) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_NOTIFY | WS_TABSTOP;
      break;
    case ControlKind::TextBox:
      windowClass = "EDIT";
      style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP | WS_CLIPSIBLINGS;
      if (Has(definition.Flags, ControlFlag::FixedPitch)) style |= ES_AUTOHSCROLL | WS_HSCROLL;
      break;
  }
  const Box& at = Layout_->Bounds(index);
  HWND control =
      CreateWindowExA(definition.Kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0, windowClass,
                      definition.Text ? definition.Text : "", style, at.Left, at.Top, at.Width(), at.Height(), Window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(definition.Id)), ModuleInstance(), nullptr);
  if (!control) return nullptr;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(definition)), FALSE);
  return control;
}

// Moves only the controls whose place changed: a window is told its size
// when it is first shown, not only when it is resized.
void TForm::LayOut(int clientWidth, int clientHeight) {
  Layout_->Arrange(clientWidth, clientHeight);
  HDWP positions = nullptr;
  for (int i = 0; i < Controls_.Count; ++i) {
    Placed& control = Placed_[i];
    const Box& bounds = Layout_->Bounds(i);
    control.Resized = bounds.Width() != control.Shown.Width() || bounds.Height() != control.Shown.Height();
    const bool moved = bounds != control.Shown;
    control.Shown = bounds;
    if (!moved || !control.Window) continue;
    if (!positions) positions = BeginDeferWindowPos(Controls_.Count);
    if (positions) {
      positions = DeferWindowPos(positions, control.Window, nullptr, bounds.Left, bounds.Top, bounds.Width(),
                                 bounds.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (positions) EndDeferWindowPos(positions);
  // Word-wrapped text and frame edges are drawn for the size they have: a
  // control that changed size is drawn afresh.
  for (const Placed& control : *this) {
    if (control.Resized && control.Window) InvalidateRect(control.Window, nullptr, TRUE);
  }
}

void TForm::Center() {
  RECT window{};
  GetWindowRect(Window_, &window);
  const POINT origin = CenteredOrigin(SIZE{window.right - window.left, window.bottom - window.top});
  if (origin.x != window.left || origin.y != window.top) {
    SetWindowPos(Window_, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

POINT TForm::CenteredOrigin(SIZE size) const {
  const int width = size.cx, height = size.cy;
  // Within the work area; a window larger than that starts at its top left.
  const RECT workArea = WorkArea();
  RECT area = workArea;
  if (Form_.Position == FormPosition::OwnerCenter && OwnerWindow_ && IsWindowVisible(OwnerWindow_) &&
      !IsIconic(OwnerWindow_)) {
    GetWindowRect(OwnerWindow_, &area);
  }
  int left = area.left + (area.right - area.left - width) / 2;
  int top = area.top + (area.bottom - area.top - height) / 2;
  left = std::max(int(workArea.left), std::min(left, int(workArea.right) - width));
  top = std::max(int(workArea.top), std::min(top, int(workArea.bottom) - height));
  return POINT{left, top};
}

RECT WorkArea() {
  RECT workArea{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
  return workArea;
}

const TForm::Placed* TForm::Find(HWND control) const {
  if (!control) return nullptr;
  for (const Placed& placed : *this) {
    if (placed.Window == control) return &placed;
  }
  return nullptr;
}

const TForm::Placed* TForm::Find(int id) const {
  for (const Placed& placed : *this) {
    if (placed.Definition->Id == id) return &placed;
  }
  return nullptr;
}

void TForm::SetImage(int id, HICON icon) {
  if (!Handle()) return;
  for (Placed& control : *this) {
    if (control.Definition->Id != id || control.Definition->Kind != ControlKind::Image) continue;
    control.ShownIcon = icon;
    control.ShownSize = SIZE{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    const Box& at = control.Shown;
    const RECT area{at.Left, at.Top, at.Right, at.Bottom};
    InvalidateRect(Window_, &area, TRUE);
  }
}

// Underlined, in the link colour, with a focus rectangle while it has the focus.
void TForm::DrawLink(const DRAWITEMSTRUCT& item) const {
  const Placed* control = Find(item.hwndItem);
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, LinkColor());
  TSelectedObject font(item.hDC, Fonts_[Underlined]);
  DrawTextA(item.hDC, control->Definition->Text, -1, &area, DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

// Each centred in its place.
void TForm::DrawIcons(HDC dc) const {
  for (const Placed& control : *this) {
    if (control.Definition->Kind != ControlKind::Image || !control.ShownIcon) continue;
    const Box& at = control.Shown;
    const SIZE& size = control.ShownSize;
    DrawIconEx(dc, (at.Left + at.Right - size.cx) / 2, (at.Top + at.Bottom - size.cy) / 2, control.ShownIcon, size.cx,
               size.cy, 0, nullptr, DI_NORMAL);
  }
}

void TForm::Show(int showCommand) {
  if (!Handle()) return;
  ShowWindow(Window_, showCommand);
  UpdateWindow(Window_);
}

int TForm::ShowModal() {
  if (!Handle()) return IDCANCEL;
  // Only an owner this run disabled is enabled again afterwards.
  bool ownerDisabledHere = OwnerWindow_ && !EnableWindow(OwnerWindow_, FALSE);
  Modal_ = true;
  ModalResult_ = 0;
  LastFocus_ = nullptr;
  Center();
  FormShow();
  ShowWindow(Window_, SW_SHOW);
  MSG msg;
  while (ModalResult_ == 0 && Window_) {
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      PostQuitMessage(int(msg.wParam));
      break;
    }
    if (!PreTranslateMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (ModalResult_ == 0) ModalResult_ = IDCANCEL;
  // Enabled before this one hides, so that the owner becomes active again.
  if (ownerDisabledHere) EnableWindow(OwnerWindow_, TRUE);
  if (Window_) ShowWindow(Window_, SW_HIDE);
  Modal_ = false;
  return ModalResult_;
}

void TForm::SetModalResult(int result) {
  ModalResult_ = result;
}

void TForm::SetText(int id, const char* text) {
  const Placed* control = Find(id);
  if (control && control->Window) SetWindowTextA(control->Window, text);
}

void TForm::EnableControl(int id, bool enabled) {
  const Placed* control = Find(id);
  if (control && control->Window) EnableWindow(control->Window, enabled);
}

void TForm::FocusControl(int id) {
  const Placed* control = Find(id);
  if (!control || !control->Window) return;
  LastFocus_ = control->Window;
  if (GetActiveWindow() == Window_) SetFocus(control->Window);
}

void TForm::Close() {
  if (Modal_) {
    SetModalResult(IDCANCEL);
  } else if (Form_.Kind == FormKind::MainWindow) {
    if (Window_) DestroyWindow(Window_);
  } else if (Window_) {
    ShowWindow(Window_, SW_HIDE);
  }
}

void TForm::ControlClicked(int id) {
  const Placed* control = Find(id);
  if (!control) return;
  if (control->Definition->ModalResult && Modal_) SetModalResult(control->Definition->ModalResult);
  ControlClick(id);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  TForm* form = nullptr;
  if (message == WM_NCCREATE) {
    form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->Window_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  } else {
    form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Destroying the main window destroys the dialogs it owns as well.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    form->Window_ = nullptr;
    for (Placed& control : *form) control.Window = nullptr;
    form->TabCount_ = 0;
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  return form->HandleMessage(message, wParam, lParam);
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const Placed* control = Find(reinterpret_cast<HWND>(lParam));
      if (!control) break;
      // BN_CLICKED and a link's STN_CLICKED are both 0.
      if (HIWORD(wParam) == BN_CLICKED) {
        ControlClicked(control->Definition->Id);
      } else if (HIWORD(wParam) == BN_SETFOCUS) {
        ShowAsDefault(control->Definition->Kind == ControlKind::Button ? control->Window : nullptr);
      }
      return 0;
    }
    case WM_SYSCOMMAND:
      // The low four bits are Windows' own.
      if ((wParam & 0xFFF0) >= 0xF000) break;
      SystemMenuCommand(static_cast<UINT>(wParam & 0xFFF0));
      return 0;
    case WM_CTLCOLORSTATIC: {
      // A read-only text box draws over its own background as it scrolls.
      const Placed* control = Find(reinterpret_cast<HWND>(lParam));
      if (control && control->Definition->Kind == ControlKind::TextBox) break;
      LRESULT brush = DefWindowProcA(Window_, message, wParam, lParam);
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return brush;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.CtlType != ODT_BUTTON || !Find(item.hwndItem)) break;
      DrawLink(item);
      return TRUE;
    }
    case WM_SETCURSOR: {
      // While the program waits for another one, the wait cursor it set stays.
      if (IsWaitCursorShown()) return TRUE;
      const Placed* control = Find(reinterpret_cast<HWND>(wParam));
      if (control && control->Definition->Kind == ControlKind::LinkLabel && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (HDC dc = BeginPaint(Window_, &paint)) {
        DrawIcons(dc);
        EndPaint(Window_, &paint);
      }
      return 0;
    }
    case WM_PRINTCLIENT:
      if (lParam & PRF_CLIENT) DrawIcons(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) LayOut(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_GETMINMAXINFO:
      if (MinimumWindowSize_.cx > 0) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{MinimumWindowSize_.cx, MinimumWindowSize_.cy};
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(Window_, focus)) LastFocus_ = focus;
      }
      break;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      if (Form_.Kind == FormKind::MainWindow) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(Window_, message, wParam, lParam);
}
