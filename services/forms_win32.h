// A small forms toolkit: a window is a table of controls plus a few click
// handlers. The toolkit creates the controls in Tahoma 8 pt, scales them for
// the system DPI, keeps their anchors when the window is resized, and runs
// the window modally with dialog-style keyboard handling.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "services/component.h"

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

struct FormSpec {
  const char* caption;
  int clientWidth, clientHeight;  // 96-DPI pixels; also the minimum client size
  FormKind kind;
  FormPosition position;
  const char* iconResource;  // the window's icon, or null
};

class TForm : public TComponent {
 public:
  // Creates the window hidden, with all its controls. ownerWindow is the
  // window disabled while this one is modal (null for the main window). With
  // font null the form uses Tahoma 8 pt and scales every coordinate for the
  // DPI; with a font of its own all coordinates are device pixels.
  TForm(TComponent* owner, HWND ownerWindow, const FormSpec& form, std::vector<ControlSpec> controls,
        const LOGFONTA* font = nullptr);
  ~TForm() override;

  HWND Handle() const { return hwnd_; }
  HWND Control(int id) const;
  // Runs after a button's modal result is set, or on a link label's click.
  void OnClick(int id, std::function<void()> handler);
  // Shows an icon the form does not own (a system icon, for example).
  void SetImage(int id, HICON icon);

  void Show(int showCommand);
  // Shows the window modally and returns the modal result: a button's, or
  // IDCANCEL when the window is closed by its close box or Alt+F4.
  int ShowModal();
  void SetModalResult(int result);
  // Ends a modal run with IDCANCEL, or closes a main window (ending the program).
  void Close();

  // Tab, Enter, Escape and access keys for whichever form the message is for.
  // True when the message was handled and must not be dispatched.
  static bool PreTranslateMessage(MSG& msg);

 protected:
  // A form's own keys, looked at before the common ones.
  virtual bool HandleKey(const MSG&) { return false; }
  int Scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

 private:
  struct Placed {
    ControlSpec spec;
    HWND hwnd;
    int parentIndex;  // index into controls_, or -1 for the window
    RECT bounds;      // where the control is now, in the window's client area
  };

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateFonts(const LOGFONTA* font);
  void CreateControls();
  HWND CreateControl(const ControlSpec& spec);
  void BuildTabOrder(int parentId);
  void LayOut(int clientWidth, int clientHeight);
  void Centre();

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
  int dpi_ = 96;
  std::vector<Placed> controls_;
  std::vector<HWND> tabOrder_;
  std::vector<std::pair<int, std::function<void()>>> clickHandlers_;
  const Placed* defaultButton_ = nullptr;
  const Placed* cancelButton_ = nullptr;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  HFONT linkFont_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  std::vector<HICON> ownedIcons_;
  SIZE minimumWindowSize_{0, 0};
  HWND lastFocus_ = nullptr;
  bool modal_ = false;
  int modalResult_ = 0;
};

// The application's message loop; returns the exit code of WM_QUIT.
int RunMessageLoop();
