// A small forms toolkit: a window is a table of controls plus a few click
// handlers. The toolkit creates the controls in Tahoma 8 pt, scales them for
// the system DPI, grows those whose text needs more room (ui/layout.h), keeps
// their anchors when the window is resized, and runs the window modally with
// dialog-style keyboard handling (ui/form_keys_win32.cpp). Link labels take
// the focus like buttons: Enter or Space opens them.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "ui/layout.h"
#include "ui/owners_win32.h"

// The window class every form registers; a second copy of the program finds
// the running one's main window by it.
inline constexpr char kFormClassName[] = "StillvaneForm";

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
  // What the program puts in a control after it is made: its text, whether
  // it can be used, the focus (given when the window is next active, if it
  // is not now).
  void SetText(int id, const char* text);
  void EnableControl(int id, bool enabled);
  void FocusControl(int id);
  // Ends a modal run with IDCANCEL, or closes a main window (ending the program).
  void Close();
  // A command of the window's own at the end of its system menu, after a
  // separator unless it follows another of its own; choosing it calls
  // SystemMenuCommand. Ids are multiples of 16 below 0xF000, where Windows'
  // own commands begin.
  void AddSystemMenuCommand(UINT id, const char* text, bool afterSeparator = true);

  // Tab, Enter, Escape and access keys for whichever form the message is for.
  // True when the message was handled and must not be dispatched.
  static bool PreTranslateMessage(MSG& msg);

 protected:
  // A click on a control: a button (after its modal result is set) or a
  // link label.
  virtual void ControlClick(int /*id*/) {}
  virtual void SystemMenuCommand(UINT /*id*/) {}
  // In a modal run, just before the window is shown: what it shows first
  // is drawn once.
  virtual void FormShow() {}
  // A form's own keys, looked at before the common ones.
  virtual bool HandleKey(const MSG&) { return false; }

 private:
  // A control's window, or what an image shows; index for index with the
  // layout's controls.
  struct Placed {
    const ControlSpec* Definition;
    HWND Window;         // null for an image, which the form draws
    UniqueIcon OwnIcon;  // an image's icon from the resources
    HICON ShownIcon;     // what an image shows: its own icon or one set by SetImage
    SIZE ShownSize;      // and at what size
    Box Shown;           // where the control is, in the window's client area
    bool Resized;        // since the layout before
  };
  class TFontMeasurer;

  static ATOM RegisteredClass();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateWindowAndControls();
  void CreateFonts();
  void CreateControls();
  HWND CreateControl(int index);
  HFONT FontFor(const ControlSpec& control) const;
  void LayOut(int clientWidth, int clientHeight);
  void DrawIcons(HDC dc) const;
  void DrawLink(const DRAWITEMSTRUCT& item) const;
  void Center();
  POINT CenteredOrigin(SIZE windowSize) const;

  Placed* begin() const;
  Placed* end() const;
  const Placed* Find(HWND control) const;
  const Placed* Find(int id) const;

  // Keyboard and focus (ui/form_keys_win32.cpp).
  void BuildTabOrder(int parentId);
  bool HandleCommonKey(const MSG& msg);
  void MoveFocus(bool backwards);
  void Press(const Placed* button);
  void ShowAsDefault(HWND focusedButton);
  void RestoreFocus();
  void ControlClicked(int id);

  FormSpec Form_;
  ControlList Controls_;
  HWND OwnerWindow_;
  HWND Window_ = nullptr;
  bool Created_ = false;  // the window was made, or tried
  int Dpi_ = 96;
  std::unique_ptr<Placed[]> Placed_;
  std::optional<TFormLayout> Layout_;
  int TabCount_ = 0;
  std::unique_ptr<HWND[]> TabOrder_;  // the buttons, in tab order
  const Placed* DefaultButton_ = nullptr;
  const Placed* CancelButton_ = nullptr;
  // Regular, bold, underlined and fixed-pitch: the form's own, or the
  // caller's font four times.
  HFONT CallersFont_;
  UniqueFont OwnFonts_[4];
  HFONT Fonts_[4] = {};
  UniqueIcon BigIcon_;
  UniqueIcon SmallIcon_;
  SIZE MinimumWindowSize_{0, 0};
  HWND LastFocus_ = nullptr;
  bool Modal_ = false;
  int ModalResult_ = 0;
};

// The screen's work area: the screen clear of the taskbar.
RECT WorkArea();

// The application's message loop; returns the exit code of WM_QUIT.
// `firstIdle` runs once, when the queue is first empty: after the windows
// are drawn, before anything the user does is taken off the queue.
int RunMessageLoop(void (*firstIdle)(void*) = nullptr, void* context = nullptr);
