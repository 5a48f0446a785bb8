// A small forms toolkit: a window is a table of controls plus a few click
// handlers. The toolkit creates the controls in Tahoma 8 pt, scales them for
// the system DPI, grows those whose text needs more room, keeps their anchors
// when the window is resized, and runs the window modally with dialog-style
// keyboard handling. Link labels take the focus like buttons: Enter or Space
// opens them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "ui/owners_win32.h"

// ckImage: an icon the window draws itself, from the module's resources
// (named by the text) or given by SetImage. Having no window of its own, it
// costs next to nothing to make; a frame over it draws it again through
// WM_PRINTCLIENT when its theme paints the window's background.
enum ControlKind { ckGroupBox, ckLabel, ckWrappedLabel, ckLinkLabel, ckImage, ckButton };

// The sides of its parent a control keeps its distance to when the parent is
// resized; anchored to both opposite sides, it stretches.
enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
constexpr unsigned akTopLeft = akLeft | akTop;
constexpr unsigned akTopSides = akLeft | akTop | akRight;
constexpr unsigned akBottomRight = akRight | akBottom;
constexpr unsigned akAll = akLeft | akTop | akRight | akBottom;

enum ControlFlag : unsigned {
  cfNone = 0,
  cfBold = 1,
  cfDefault = 2,  // pressed by Enter when the focus is not on a button
  cfCancel = 4,   // pressed by Escape; the first such control in the table wins
};

struct ControlRect {
  int left, top, width, height;
};

struct ControlSpec {
  int id;  // the control id, stable for anyone finding or driving the control
  ControlKind kind;
  // 0: the window; otherwise the id of a group box listed earlier. Controls in
  // a group box are still children of the window, placed at the box's offset,
  // so their notifications and colour requests reach the window directly.
  int parent;
  ControlRect rect;  // in the parent's client area, 96-DPI pixels
  unsigned anchors;
  int tabOrder;  // among the parent's children; -1: the control takes no focus
  unsigned flags;
  int modalResult;   // a button that ends a modal run with this result; 0: none
  const char* text;  // caption; for an image, the icon's resource name or null
};

enum class FormKind {
  MainWindow,  // sizeable, minimise box, centred on the screen; closing it ends the program
  Dialog,      // fixed dialog border, no minimise or maximise box
};
enum class FormPosition { ScreenCenter, OwnerCenter };

// A form's controls: a table that outlives the form.
struct ControlList {
  template <std::size_t N>
  constexpr ControlList(const ControlSpec (&table)[N]) : items(table), count(int(N)) {}
  constexpr ControlList(const ControlSpec* table, int size) : items(table), count(size) {}
  const ControlSpec* items;
  int count;
};

struct FormSpec {
  const char* caption;
  int clientWidth, clientHeight;  // 96-DPI pixels; also the minimum client size
  FormKind kind;
  FormPosition position;
  const char* iconResource;  // the window's icon, or null
};

class TForm {
 public:
  // A main window is made at once, hidden, with all its controls; a dialog
  // the first time it is needed (shown, or asked for its window), so that
  // dialogs the user may never open cost nothing at start-up. ownerWindow is
  // the window disabled while this one is modal (null for the main window). With
  // font null the form uses Tahoma 8 pt and scales every coordinate for the
  // DPI; with a font of the caller's (alive as long as the form) it draws
  // every control in that font, and all coordinates are device pixels.
  // Either way a control whose text needs more room than its box grows, and
  // the window with it where there is no room.
  TForm(HWND ownerWindow, const FormSpec& form, ControlList controls, HFONT font = nullptr);
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // The window, made first if it is not yet; null if it could not be made.
  HWND Handle();
  // Shows an icon the form does not own (a system icon, for example) in an
  // image, at the system's icon size.
  void SetImage(int id, HICON icon);

  void Show(int showCommand);
  // Shows the window modally and returns the modal result: a button's, or
  // IDCANCEL when the window is closed by its close box or Alt+F4.
  int ShowModal();
  void SetModalResult(int result);
  // Ends a modal run with IDCANCEL, or closes a main window (ending the program).
  void Close();
  // A command of the window's own at the end of its system menu, after a
  // separator; choosing it calls SystemMenuCommand. Ids are multiples of 16
  // below 0xF000, where Windows' own commands begin.
  void AddSystemMenuCommand(UINT id, const char* text);

  // Tab, Enter, Escape and access keys for whichever form the message is for.
  // True when the message was handled and must not be dispatched.
  static bool PreTranslateMessage(MSG& msg);

 protected:
  // A click on a control: a button (after its modal result is set) or a
  // link label.
  virtual void ControlClick(int /*id*/) {}
  virtual void SystemMenuCommand(UINT /*id*/) {}
  // A form's own keys, looked at before the common ones.
  virtual bool HandleKey(const MSG&) { return false; }
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

 private:
  struct Placed;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateWindowAndControls();
  void CreateFonts();
  void CreateControls();
  HWND CreateControl(Placed& control);
  void BuildTabOrder(int parentId);
  // Each control's place at the smallest size, scaled, then grown where its
  // text needs more room.
  void PlaceControls();
  void FitText(HDC dc, Placed& control);
  SIZE TextExtent(HDC dc, const Placed& control) const;
  // Grows a parent (-1: the window) at its smallest size, its children
  // following their anchors.
  void Resize(int parentIndex, int dx, int dy);
  // Widens a parent, or its parent when it stretches with that.
  void Widen(int parentIndex, int dx);
  // Pushes everything in the parent at or below y further down, growing
  // the parent; `grown` keeps the height it was given.
  void InsertRows(int parentIndex, int y, int dy, const Placed* grown);
  SIZE ParentSize(int parentIndex) const;
  // Where a control goes in a client area of that size; its frame, listed
  // before it, must have its bounds already.
  RECT BoundsIn(const Placed& control, int clientWidth, int clientHeight) const;
  void LayOut(int clientWidth, int clientHeight);
  void DrawIcons(HDC dc) const;
  void DrawLink(const DRAWITEMSTRUCT& item) const;
  void Centre();
  POINT CentredOrigin(SIZE windowSize) const;

  Placed* begin() const;
  Placed* end() const;
  const Placed* Find(HWND control) const;
  const Placed* Find(int id) const;
  bool HandleCommonKey(const MSG& msg);
  void MoveFocus(bool backwards);
  void Press(const Placed* button);
  void ShowAsDefault(HWND focusedButton);
  void RestoreFocus();
  void ControlClicked(int id);

  FormSpec form_;
  HWND ownerWindow_;
  HWND hwnd_ = nullptr;
  bool created_ = false;  // the window was made, or tried
  int dpi_ = 96;
  int controlCount_;
  std::unique_ptr<Placed[]> controls_;
  int tabCount_ = 0;
  std::unique_ptr<HWND[]> tabOrder_;  // the buttons, in tab order
  const Placed* defaultButton_ = nullptr;
  const Placed* cancelButton_ = nullptr;
  // Regular, bold and underlined: Tahoma of the form's own, or the caller's
  // font three times.
  HFONT callersFont_;
  UniqueFont ownFonts_[3];
  HFONT fonts_[3] = {};
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  SIZE baseClientSize_{0, 0};  // the smallest client area, text fitted
  SIZE minimumWindowSize_{0, 0};
  HWND lastFocus_ = nullptr;
  bool modal_ = false;
  int modalResult_ = 0;
};

// The application's message loop; returns the exit code of WM_QUIT.
int RunMessageLoop();
