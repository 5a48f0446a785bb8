#include "ui/forms_win32.h"

#include <algorithm>

namespace {

const char kFormClassName[] = "StillvaneForm";
const COLORREF kLinkColour = RGB(0, 0, 202);
// What the tables keep between a control and its parent's edges, at 96 DPI;
// a control grown for its text keeps it too.
const int kMargin = 8;

HINSTANCE ModuleInstance() {
  return GetModuleHandleA(nullptr);
}

ATOM FormClass(WNDPROC windowProc) {
  static ATOM atom = 0;
  if (!atom && windowProc) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClassName;
    atom = RegisterClassExA(&windowClass);
  }
  return atom;
}

// Keeps a control's distances to the anchored sides of its parent.
void KeepAnchored(unsigned anchors, unsigned nearSide, unsigned farSide, int growth, int& position, int& extent) {
  bool nearAnchored = (anchors & nearSide) != 0;
  bool farAnchored = (anchors & farSide) != 0;
  if (nearAnchored && farAnchored) {
    extent += growth;
  } else if (farAnchored) {
    position += growth;
  } else if (!nearAnchored) {
    position += growth / 2;
  }
}

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

enum FontStyle { kRegular, kBold, kUnderlined };

// The system's link colour where high contrast is on, or where the face
// colour is too dark for the usual blue.
COLORREF LinkColour() {
  HIGHCONTRASTA highContrast{};
  highContrast.cbSize = sizeof highContrast;
  const bool on = SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
                  (highContrast.dwFlags & HCF_HIGHCONTRASTON);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const bool darkFace = GetRValue(face) + GetGValue(face) + GetBValue(face) < 3 * 128;
  return on || darkFace ? GetSysColor(COLOR_HOTLIGHT) : kLinkColour;
}

bool Overlap(int firstLow, int firstHigh, int secondLow, int secondHigh) {
  return firstLow < secondHigh && secondLow < firstHigh;
}

}  // namespace

struct TForm::Placed {
  const ControlSpec* definition;
  HWND hwnd;           // null for an image, which the form draws
  UniqueIcon ownIcon;  // an image's icon from the resources
  HICON shownIcon;     // what an image shows: its own icon or one set by SetImage
  SIZE shownSize;      // and at what size
  int parentIndex;     // index into controls_, or -1 for the window
  RECT base;           // in the parent's client area at the smallest window size
  RECT bounds;         // where the control is now, in the window's client area
  bool resized;        // since the last layout
};

TForm::Placed* TForm::begin() const {
  return controls_.get();
}

TForm::Placed* TForm::end() const {
  return controls_.get() + controlCount_;
}

TForm::TForm(HWND ownerWindow, const FormSpec& form, ControlList controls, HFONT font)
    : form_(form),
      ownerWindow_(ownerWindow),
      controlCount_(controls.count),
      controls_(new Placed[controls.count]()),
      tabOrder_(new HWND[controls.count]),
      callersFont_(font) {
  for (int i = 0; i < controlCount_; ++i) {
    controls_[i].definition = &controls.items[i];
    controls_[i].parentIndex = -1;
  }
  if (form_.kind == FormKind::MainWindow) CreateWindowAndControls();
}

HWND TForm::Handle() {
  if (!created_) CreateWindowAndControls();
  return hwnd_;
}

// 8 points at the system's DPI (11 pixels at 96), or the caller's font.
void TForm::CreateFonts() {
  if (callersFont_) {
    fonts_[kRegular] = fonts_[kBold] = fonts_[kUnderlined] = callersFont_;
    return;
  }
  dpi_ = GetDeviceCaps(WindowDC(nullptr).get(), LOGPIXELSY);
  LOGFONTA logFont{};
  logFont.lfHeight = -MulDiv(8, dpi_, 72);
  logFont.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(logFont.lfFaceName, "Tahoma", LF_FACESIZE);
  for (int style = kRegular; style <= kUnderlined; ++style) {
    logFont.lfWeight = style == kBold ? FW_BOLD : FW_NORMAL;
    logFont.lfUnderline = style == kUnderlined;
    ownFonts_[style].reset(CreateFontIndirectA(&logFont));
    fonts_[style] = ownFonts_[style].get();
  }
}

void TForm::CreateWindowAndControls() {
  created_ = true;
  CreateFonts();
  PlaceControls();
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  DWORD exStyle = WS_EX_DLGMODALFRAME;
  if (form_.kind == FormKind::MainWindow) {
    style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    exStyle = 0;
  }
  RECT frame{0, 0, baseClientSize_.cx, baseClientSize_.cy};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  minimumWindowSize_ = SIZE{frame.right - frame.left, frame.bottom - frame.top};
  // Made where it will be shown, so that showing it need not move it.
  const POINT origin = CentredOrigin(minimumWindowSize_);
  CreateWindowExA(exStyle, reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(FormClass(WindowProc))), form_.caption, style,
                  origin.x, origin.y, minimumWindowSize_.cx, minimumWindowSize_.cy, ownerWindow_, nullptr,
                  ModuleInstance(), this);
  if (!hwnd_) return;

  // Some themes draw frames that AdjustWindowRectEx does not know of: make
  // the client area exact whatever the frame.
  RECT client{};
  GetClientRect(hwnd_, &client);
  const SIZE missing{baseClientSize_.cx - client.right, baseClientSize_.cy - client.bottom};
  if (missing.cx || missing.cy) {
    minimumWindowSize_.cx += missing.cx;
    minimumWindowSize_.cy += missing.cy;
    SetWindowPos(hwnd_, nullptr, 0, 0, minimumWindowSize_.cx, minimumWindowSize_.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  if (form_.kind == FormKind::Dialog) {
    HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}) DeleteMenu(systemMenu, command, MF_BYCOMMAND);
  }
  if (form_.iconResource) {
    bigIcon_.reset(static_cast<HICON>(LoadImageA(ModuleInstance(), form_.iconResource, IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(LoadImageA(ModuleInstance(), form_.iconResource, IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  }
  CreateControls();
  if (form_.kind == FormKind::MainWindow) Centre();
}

void TForm::AddSystemMenuCommand(UINT id, const char* text) {
  HMENU systemMenu = GetSystemMenu(Handle(), FALSE);
  AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, id, text);
}

// The fonts and icons outlive the window that shows them.
TForm::~TForm() {
  if (hwnd_) DestroyWindow(hwnd_);
}

// Each control is made in its place: a frame before the controls in it, so
// that their places follow from the frame's.
void TForm::CreateControls() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  for (Placed& control : *this) {
    control.bounds = BoundsIn(control, client.right, client.bottom);
    control.hwnd = CreateControl(control);
  }
  // Frames lie beneath the controls drawn inside them.
  for (const Placed& control : *this) {
    if (control.definition->kind == ckGroupBox && control.hwnd) {
      SetWindowPos(control.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  for (const Placed& control : *this) {
    if (!defaultButton_ && (control.definition->flags & cfDefault)) defaultButton_ = &control;
    if (!cancelButton_ && (control.definition->flags & cfCancel)) cancelButton_ = &control;
  }
  BuildTabOrder(0);
}

HWND TForm::CreateControl(Placed& placed) {
  const ControlSpec& definition = *placed.definition;
  const char* windowClass = "STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE;
  HFONT font = fonts_[(definition.flags & cfBold) ? kBold : kRegular];
  switch (definition.kind) {
    case ckGroupBox:
      windowClass = "BUTTON";
      style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
      break;
    case ckLabel:
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case ckWrappedLabel:
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ckLinkLabel:  // drawn by the form, focusable and pressed like a button
      windowClass = "BUTTON";
      style |= BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP;
      font = fonts_[kUnderlined];
      break;
    case ckImage:  // drawn by the form: no window, only the icon
      if (definition.text) {
        placed.shownSize = SIZE{Scale(definition.rect.width), Scale(definition.rect.height)};
        placed.ownIcon.reset(static_cast<HICON>(
            LoadImageA(ModuleInstance(), definition.text, IMAGE_ICON, placed.shownSize.cx, placed.shownSize.cy, 0)));
        placed.shownIcon = placed.ownIcon.get();
      }
      return nullptr;
    case ckButton:
      windowClass = "BUTTON";
      style |= ((definition.flags & cfDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_NOTIFY | WS_TABSTOP;
      break;
  }
  const char* text = definition.text ? definition.text : "";
  const RECT& at = placed.bounds;
  HWND control =
      CreateWindowExA(0, windowClass, text, style, at.left, at.top, at.right - at.left, at.bottom - at.top, hwnd_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(definition.id)), ModuleInstance(), nullptr);
  if (!control) return nullptr;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// Tab order is kept per parent, as the table gives it; a frame's buttons
// follow one another where the frame stands in its parent's order.
void TForm::BuildTabOrder(int parentId) {
  // Tables are short: each tab position is looked for in turn, and equal
  // positions keep the table's order.
  int last = -1;
  for (const Placed& control : *this) {
    if (control.definition->parent == parentId) last = std::max(last, control.definition->tabOrder);
  }
  for (int position = 0; position <= last; ++position) {
    for (const Placed& child : *this) {
      if (child.definition->parent != parentId || child.definition->tabOrder != position) continue;
      if (child.definition->kind == ckGroupBox) {
        BuildTabOrder(child.definition->id);
      } else if ((child.definition->kind == ckButton || child.definition->kind == ckLinkLabel) && child.hwnd) {
        tabOrder_[tabCount_++] = child.hwnd;
      }
    }
  }
}

RECT TForm::BoundsIn(const Placed& control, int clientWidth, int clientHeight) const {
  const ControlSpec& definition = *control.definition;
  int parentLeft = 0, parentTop = 0;
  int widthGrowth = clientWidth - baseClientSize_.cx;
  int heightGrowth = clientHeight - baseClientSize_.cy;
  if (control.parentIndex >= 0) {
    const Placed& parent = controls_[control.parentIndex];
    parentLeft = parent.bounds.left;
    parentTop = parent.bounds.top;
    widthGrowth = (parent.bounds.right - parent.bounds.left) - (parent.base.right - parent.base.left);
    heightGrowth = (parent.bounds.bottom - parent.bounds.top) - (parent.base.bottom - parent.base.top);
  }
  const RECT& base = control.base;
  int left = base.left, width = base.right - base.left;
  int top = base.top, height = base.bottom - base.top;
  KeepAnchored(definition.anchors, akLeft, akRight, widthGrowth, left, width);
  KeepAnchored(definition.anchors, akTop, akBottom, heightGrowth, top, height);
  return RECT{parentLeft + left, parentTop + top, parentLeft + left + width, parentTop + top + height};
}

void TForm::PlaceControls() {
  baseClientSize_ = SIZE{Scale(form_.clientWidth), Scale(form_.clientHeight)};
  for (Placed& control : *this) {
    for (const Placed& earlier : *this) {
      if (&earlier == &control) break;
      if (control.definition->parent != 0 && earlier.definition->id == control.definition->parent) {
        control.parentIndex = int(&earlier - begin());
      }
    }
    const ControlRect& rect = control.definition->rect;
    control.base =
        RECT{Scale(rect.left), Scale(rect.top), Scale(rect.left + rect.width), Scale(rect.top + rect.height)};
  }
  WindowDC screen(nullptr);
  for (Placed& control : *this) {
    if (control.definition->kind != ckGroupBox && control.definition->kind != ckImage) FitText(screen.get(), control);
  }
}

// The room a control's text needs, in the font and with the wrapping it is
// drawn with: a wrapped label keeps its width.
SIZE TForm::TextExtent(HDC dc, const Placed& control) const {
  const ControlSpec& definition = *control.definition;
  const FontStyle style = definition.kind == ckLinkLabel ? kUnderlined : (definition.flags & cfBold) ? kBold : kRegular;
  SelectedObject selected(dc, fonts_[style]);
  RECT text{0, 0, control.base.right - control.base.left, 0};
  UINT format = DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX;
  if (definition.kind == ckWrappedLabel) format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
  if (definition.kind == ckButton) format = DT_CALCRECT | DT_SINGLELINE;
  DrawTextA(dc, definition.text ? definition.text : "", -1, &text, format);
  SIZE extent{text.right, text.bottom};
  if (definition.kind == ckButton) {
    // The button's edges and focus rectangle, with a little space either side.
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    extent.cx += metrics.tmAveCharWidth + 4;
    extent.cy += 8;
  }
  return extent;
}

// Single-line labels and links grow to the right, wrapped labels downwards,
// buttons (anchored right) to the left, pushing the buttons beside them;
// where that leaves no room, the parent grows.
void TForm::FitText(HDC dc, Placed& control) {
  const SIZE need = TextExtent(dc, control);
  RECT& box = control.base;
  const int parent = control.parentIndex;
  const int margin = Scale(kMargin);
  const int dx = need.cx - (box.right - box.left);
  if (dx > 0 && control.definition->kind == ckButton) {
    int leftmost = box.left - dx, limit = margin;
    for (Placed& other : *this) {
      if (&other == &control || other.parentIndex != parent || other.base.right > box.left) continue;
      if (!Overlap(other.base.top, other.base.bottom, box.top, box.bottom)) continue;
      if (other.definition->kind == ckButton) {
        other.base.left -= dx;
        other.base.right -= dx;
        leftmost = std::min(leftmost, int(other.base.left));
      } else if (other.definition->kind != ckGroupBox) {
        limit = std::max(limit, int(other.base.right));
      }
    }
    box.left -= dx;
    if (leftmost < limit) Widen(parent, limit - leftmost);
  } else if (dx > 0 && control.definition->kind != ckWrappedLabel) {
    int limit = ParentSize(parent).cx - margin;
    for (const Placed& other : *this) {
      if (&other == &control || other.parentIndex != parent || other.base.left < box.right) continue;
      if (Overlap(other.base.top, other.base.bottom, box.top, box.bottom))
        limit = std::min(limit, int(other.base.left));
    }
    box.right += dx;
    if (box.right > limit) Widen(parent, box.right - limit);
  }
  // Downwards into the free space before whatever lies below, then pushing
  // that down.
  const int bottom = box.top + need.cy;
  if (bottom <= box.bottom) return;
  int obstacle = ParentSize(parent).cy - margin;
  for (const Placed& other : *this) {
    if (&other == &control || other.parentIndex != parent || other.base.top <= box.top) continue;
    if (Overlap(other.base.left, other.base.right, box.left, box.right)) {
      obstacle = std::min(obstacle, int(other.base.top));
    }
  }
  const int room = std::max(obstacle, int(box.bottom));
  const int y = std::min(obstacle, int(box.bottom));
  box.bottom = bottom;
  if (bottom > room) InsertRows(parent, y, bottom - room, &control);
}

SIZE TForm::ParentSize(int parentIndex) const {
  if (parentIndex < 0) return baseClientSize_;
  const RECT& base = controls_[parentIndex].base;
  return SIZE{base.right - base.left, base.bottom - base.top};
}

void TForm::Resize(int parentIndex, int dx, int dy) {
  if (parentIndex < 0) {
    baseClientSize_.cx += dx;
    baseClientSize_.cy += dy;
  } else {
    controls_[parentIndex].base.right += dx;
    controls_[parentIndex].base.bottom += dy;
  }
  for (Placed& child : *this) {
    if (child.parentIndex != parentIndex) continue;
    RECT& base = child.base;
    int left = base.left, width = base.right - base.left, top = base.top, height = base.bottom - base.top;
    KeepAnchored(child.definition->anchors, akLeft, akRight, dx, left, width);
    KeepAnchored(child.definition->anchors, akTop, akBottom, dy, top, height);
    const int childDx = width - (base.right - base.left), childDy = height - (base.bottom - base.top);
    base = RECT{left, top, left + width - childDx, top + height - childDy};  // moved, not yet resized
    if (child.definition->kind == ckGroupBox) {
      Resize(int(&child - begin()), childDx, childDy);
    } else {
      base.right += childDx;
      base.bottom += childDy;
    }
  }
}

void TForm::Widen(int parentIndex, int dx) {
  if (parentIndex < 0) return Resize(parentIndex, dx, 0);
  const Placed& frame = controls_[parentIndex];
  const unsigned anchors = frame.definition->anchors;
  if ((anchors & akLeft) && (anchors & akRight)) return Widen(frame.parentIndex, dx);
  Resize(parentIndex, dx, 0);
  const int overflow = frame.base.right - (ParentSize(frame.parentIndex).cx - Scale(kMargin));
  if (overflow > 0) Widen(frame.parentIndex, overflow);
}

void TForm::InsertRows(int parentIndex, int y, int dy, const Placed* grown) {
  for (Placed& child : *this) {
    if (child.parentIndex != parentIndex || &child == grown) continue;
    const unsigned anchors = child.definition->anchors;
    if (child.base.top >= y) {
      child.base.top += dy;
      child.base.bottom += dy;
    } else if (child.base.bottom > y && (anchors & akTop) && (anchors & akBottom)) {
      child.base.bottom += dy;
    }
  }
  if (parentIndex < 0) {
    baseClientSize_.cy += dy;
    return;
  }
  Placed& frame = controls_[parentIndex];
  const int frameBottom = frame.base.bottom;
  frame.base.bottom += dy;
  InsertRows(frame.parentIndex, frameBottom, dy, &frame);
}

// Moves only the controls whose place changed: a window is told its size
// when it is first shown, not only when it is resized.
void TForm::LayOut(int clientWidth, int clientHeight) {
  HDWP positions = nullptr;
  for (Placed& control : *this) {
    const RECT bounds = BoundsIn(control, clientWidth, clientHeight);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    const bool moved = bounds.left != control.bounds.left || bounds.top != control.bounds.top ||
                       bounds.right != control.bounds.right || bounds.bottom != control.bounds.bottom;
    control.resized =
        width != control.bounds.right - control.bounds.left || height != control.bounds.bottom - control.bounds.top;
    control.bounds = bounds;
    if (!moved || !control.hwnd) continue;
    if (!positions) positions = BeginDeferWindowPos(controlCount_);
    if (positions) {
      positions = DeferWindowPos(positions, control.hwnd, nullptr, bounds.left, bounds.top, width, height,
                                 SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (positions) EndDeferWindowPos(positions);
  // Word-wrapped text and frame edges are drawn for the size they have: a
  // control that changed size is drawn afresh.
  for (const Placed& control : *this) {
    if (control.resized && control.hwnd) InvalidateRect(control.hwnd, nullptr, TRUE);
  }
}

void TForm::Centre() {
  RECT window{};
  GetWindowRect(hwnd_, &window);
  const POINT origin = CentredOrigin(SIZE{window.right - window.left, window.bottom - window.top});
  if (origin.x != window.left || origin.y != window.top) {
    SetWindowPos(hwnd_, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

POINT TForm::CentredOrigin(SIZE size) const {
  const int width = size.cx, height = size.cy;
  // Within the work area, clear of the taskbar; a window larger than that
  // starts at its top left.
  RECT workArea{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
  RECT area = workArea;
  if (form_.position == FormPosition::OwnerCenter && ownerWindow_ && IsWindowVisible(ownerWindow_) &&
      !IsIconic(ownerWindow_)) {
    GetWindowRect(ownerWindow_, &area);
  }
  int left = area.left + (area.right - area.left - width) / 2;
  int top = area.top + (area.bottom - area.top - height) / 2;
  left = std::max(int(workArea.left), std::min(left, int(workArea.right) - width));
  top = std::max(int(workArea.top), std::min(top, int(workArea.bottom) - height));
  return POINT{left, top};
}

const TForm::Placed* TForm::Find(HWND control) const {
  if (!control) return nullptr;
  for (const Placed& placed : *this) {
    if (placed.hwnd == control) return &placed;
  }
  return nullptr;
}

const TForm::Placed* TForm::Find(int id) const {
  for (const Placed& placed : *this) {
    if (placed.definition->id == id) return &placed;
  }
  return nullptr;
}

void TForm::SetImage(int id, HICON icon) {
  if (!Handle()) return;
  for (Placed& control : *this) {
    if (control.definition->id != id || control.definition->kind != ckImage) continue;
    control.shownIcon = icon;
    control.shownSize = SIZE{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    InvalidateRect(hwnd_, &control.bounds, TRUE);
  }
}

// Underlined, in the link colour, with a focus rectangle while it has the focus.
void TForm::DrawLink(const DRAWITEMSTRUCT& item) const {
  const Placed* control = Find(item.hwndItem);
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, LinkColour());
  SelectedObject font(item.hDC, fonts_[kUnderlined]);
  DrawTextA(item.hDC, control->definition->text, -1, &area, DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

// Each centred in its place.
void TForm::DrawIcons(HDC dc) const {
  for (const Placed& control : *this) {
    if (control.definition->kind != ckImage || !control.shownIcon) continue;
    const RECT& at = control.bounds;
    const SIZE& size = control.shownSize;
    DrawIconEx(dc, (at.left + at.right - size.cx) / 2, (at.top + at.bottom - size.cy) / 2, control.shownIcon, size.cx,
               size.cy, 0, nullptr, DI_NORMAL);
  }
}

void TForm::Show(int showCommand) {
  if (!Handle()) return;
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
}

int TForm::ShowModal() {
  if (!Handle()) return IDCANCEL;
  // Only an owner this run disabled is enabled again afterwards.
  bool ownerDisabledHere = ownerWindow_ && !EnableWindow(ownerWindow_, FALSE);
  modal_ = true;
  modalResult_ = 0;
  lastFocus_ = nullptr;
  Centre();
  ShowWindow(hwnd_, SW_SHOW);
  MSG msg;
  while (modalResult_ == 0 && hwnd_) {
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      PostQuitMessage(int(msg.wParam));
      break;
    }
    if (!PreTranslateMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  if (modalResult_ == 0) modalResult_ = IDCANCEL;
  // Enabled before this one hides, so that the owner becomes active again.
  if (ownerDisabledHere) EnableWindow(ownerWindow_, TRUE);
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
  modal_ = false;
  return modalResult_;
}

void TForm::SetModalResult(int result) {
  modalResult_ = result;
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(IDCANCEL);
  } else if (form_.kind == FormKind::MainWindow) {
    if (hwnd_) DestroyWindow(hwnd_);
  } else if (hwnd_) {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

void TForm::ControlClicked(int id) {
  const Placed* control = Find(id);
  if (!control) return;
  if (control->definition->modalResult && modal_) SetModalResult(control->definition->modalResult);
  ControlClick(id);
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  TForm* form = nullptr;
  if (message == WM_NCCREATE) {
    form = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  } else {
    form = reinterpret_cast<TForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Destroying the main window destroys the dialogs it owns as well.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    form->hwnd_ = nullptr;
    for (Placed& control : *form) control.hwnd = nullptr;
    form->tabCount_ = 0;
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
        ControlClicked(control->definition->id);
      } else if (HIWORD(wParam) == BN_SETFOCUS) {
        ShowAsDefault(control->definition->kind == ckButton ? control->hwnd : nullptr);
      }
      return 0;
    }
    case WM_SYSCOMMAND:
      // The low four bits are Windows' own.
      if ((wParam & 0xFFF0) >= 0xF000) break;
      SystemMenuCommand(static_cast<UINT>(wParam & 0xFFF0));
      return 0;
    case WM_CTLCOLORSTATIC: {
      LRESULT brush = DefWindowProcA(hwnd_, message, wParam, lParam);
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
      const Placed* control = Find(reinterpret_cast<HWND>(wParam));
      if (control && control->definition->kind == ckLinkLabel && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
        return TRUE;
      }
      break;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (HDC dc = BeginPaint(hwnd_, &paint)) {
        DrawIcons(dc);
        EndPaint(hwnd_, &paint);
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
      if (minimumWindowSize_.cx > 0) {
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{minimumWindowSize_.cx, minimumWindowSize_.cy};
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
      }
      break;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      if (form_.kind == FormKind::MainWindow) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}

void TForm::RestoreFocus() {
  HWND target = nullptr;
  if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_) && IsWindowEnabled(lastFocus_) &&
      IsWindowVisible(lastFocus_)) {
    target = lastFocus_;
  }
  // The first button, not a link: Enter then presses what it would have.
  for (int i = 0; !target && i < tabCount_; ++i) {
    const Placed* control = Find(tabOrder_[i]);
    if (control->definition->kind == ckButton && IsWindowEnabled(tabOrder_[i]) && IsWindowVisible(tabOrder_[i])) {
      target = tabOrder_[i];
    }
  }
  if (target) SetFocus(target);
}

// The focused button looks like the default one, as in any dialog; with
// the focus elsewhere, the form's default button does.
void TForm::ShowAsDefault(HWND focusedButton) {
  for (const Placed& control : *this) {
    if (control.definition->kind != ckButton || !control.hwnd) continue;
    bool isDefault = focusedButton ? control.hwnd == focusedButton : &control == defaultButton_;
    LONG type = GetWindowLongA(control.hwnd, GWL_STYLE) & BS_TYPEMASK;
    LONG wanted = isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if (type != wanted) SendMessageA(control.hwnd, BM_SETSTYLE, wanted | BS_NOTIFY, TRUE);
  }
}

// From the focused button to the next (or previous) one that can take the
// focus, round the end; with the focus elsewhere, from before the first (or
// after the last).
void TForm::MoveFocus(bool backwards) {
  if (tabCount_ == 0) return;
  int current = backwards ? tabCount_ : -1;
  HWND focus = GetFocus();
  for (int i = 0; i < tabCount_; ++i) {
    if (tabOrder_[i] == focus && IsWindowEnabled(focus) && IsWindowVisible(focus)) current = i;
  }
  const int step = backwards ? tabCount_ - 1 : 1;
  for (int tried = 0, i = current; tried < tabCount_; ++tried) {
    i = (i + step) % tabCount_;
    if (IsWindowEnabled(tabOrder_[i]) && IsWindowVisible(tabOrder_[i])) {
      SetFocus(tabOrder_[i]);
      return;
    }
  }
}

void TForm::Press(const Placed* button) {
  if (!button || !button->hwnd || !IsWindowEnabled(button->hwnd)) return;
  SendMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(button->definition->id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button->hwnd));
}

bool TForm::HandleCommonKey(const MSG& msg) {
  const Placed* focused = Find(GetFocus());
  bool focusOnButton = focused && focused->definition->kind == ckButton;
  if (msg.message == WM_KEYDOWN) {
    switch (msg.wParam) {
      case VK_TAB:
        if (GetKeyState(VK_CONTROL) < 0) return false;
        MoveFocus(GetKeyState(VK_SHIFT) < 0);
        return true;
      case VK_RETURN:
        Press(focusOnButton || (focused && focused->definition->kind == ckLinkLabel) ? focused : defaultButton_);
        return true;
      case VK_ESCAPE:
        Press(cancelButton_);
        return true;
      default:
        return false;
    }
  }
  // Access keys: Alt+key anywhere, the plain key while a button has the focus.
  if (msg.message == WM_SYSCHAR || (msg.message == WM_CHAR && (focusOnButton || !focused))) {
    char key = UpperCase(char(msg.wParam));
    for (const Placed& control : *this) {
      if (control.definition->kind != ckButton || !control.hwnd) continue;
      char accessKey = AccessKey(control.definition->text);
      if (accessKey && UpperCase(accessKey) == key) {
        SetFocus(control.hwnd);
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
  ATOM formClass = FormClass(nullptr);
  if (!root || !formClass || GetClassLongA(root, GCW_ATOM) != formClass) return false;
  TForm* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(root, GWLP_USERDATA));
  if (!form || !IsWindowEnabled(root)) return false;
  return form->HandleKey(msg) || form->HandleCommonKey(msg);
}

int RunMessageLoop() {
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TForm::PreTranslateMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return int(msg.wParam);
}
