// "The same window in raw Win32", the yardstick the start-up benchmark's
// targets are set against: Stillvane's main window as it is drawn (the
// three framed sections with their pictures, word-wrapped texts and buttons,
// the link, About and Close; Tahoma 8 pt; the chip icon on the title bar;
// the two commands of the system menu), made with plain Win32 calls and
// fixed coordinates instead of the forms toolkit, and with Stillvane's
// manifest and icons (bench/raw_main_window.rc). Its three task buttons
// show the message dialog, like the empty window's one button. The
// coordinates are for 96 DPI, the benchmark display's.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "message_dialog.h"

namespace {

const char kWindowClass[] = "RawMainWindow";
const COLORREF kLinkColor = RGB(0, 0, 202);
const int kClientWidth = 550, kClientHeight = 458;

enum ControlId {
  Label1 = 103,
  InstallEWFButton,
  Label2 = 107,
  Label4,
  MinimizeDiskWritesButton,
  Label3 = 112,
  EnableHORMButton,
  CloseButton,
  AboutButton,
};

struct Control {
  int Id;
  const char* Class;
  DWORD Style;
  int Left, Top, Width, Height;  // in the window's client area
  const char* Text;
};

const DWORD kFrame = BS_GROUPBOX | WS_CLIPSIBLINGS;
const DWORD kWrapped = SS_LEFT | SS_NOPREFIX;
const DWORD kLink = BS_OWNERDRAW | BS_NOTIFY | WS_TABSTOP;
const DWORD kPush = BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP;

// In Stillvane's order; each section's controls at its frame's offset, and
// the middle button as wide as Stillvane makes it for its text.
const Control kControls[] = {
    {0, "BUTTON", kFrame, 8, 8, 534, 121, "Install EWF Driver"},
    {Label1, "STATIC", kWrapped, 72, 32, 454, 57,
     "Configures your system to support write protection of your system partition by installing the EWF (Enhanced "
     "Write Filter) driver and configuration tools."},
    {InstallEWFButton, "BUTTON", kPush, 421, 88, 113, 33, "Install EWF Support"},
    {0, "BUTTON", kFrame, 8, 136, 534, 121, "Minimize Disk Writes"},
    {Label2, "STATIC", kWrapped, 72, 160, 454, 57,
     "Enables settings in the Windows Registry that minimize or prevent unnecessary disk writes.  This helps to keep "
     "the RAM overlay used by the EWF filter from growing too large, and also increases the performance of your "
     "system.  This step is optional, but highly recommended."},
    {Label4, "BUTTON", kLink, 72, 232, 286, 13, "Other ways to increase performance and reduce disk writes"},
    {MinimizeDiskWritesButton, "BUTTON", kPush, 416, 216, 118, 33, "Minimize Disk Writes"},
    {0, "BUTTON", kFrame, 8, 264, 534, 121, "HORM"},
    {Label3, "STATIC", kWrapped, 72, 288, 454, 57,
     "Enables Hibernate Once Resume Many support.  HORM allows you to restore your system to the exact same state "
     "every time you start your computer.  Unlike conventional hibernation, HORM resumes from the same hibernation "
     "file each time.  This step is optional."},
    {EnableHORMButton, "BUTTON", kPush, 421, 344, 113, 33, "Enable HORM"},
    {CloseButton, "BUTTON", kPush, 448, 424, 89, 27, "Close"},
    {AboutButton, "BUTTON", kPush, 352, 424, 89, 27, "About"},
};

struct Picture {
  const char* Resource;
  int Left, Top;
  HICON Icon;
};
Picture pictures[] = {
    {"TASKINSTALLICON", 24, 32, nullptr},
    {"TASKDISKWRITESICON", 24, 160, nullptr},
    {"TASKHORMICON", 24, 288, nullptr},
};

HFONT font = nullptr;
HFONT linkFont = nullptr;

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

void DrawPictures(HDC dc) {
  for (const Picture& picture : pictures)
    DrawIconEx(dc, picture.Left, picture.Top, picture.Icon, 32, 32, 0, nullptr, DI_NORMAL);
}

void DrawLink(const DRAWITEMSTRUCT& item) {
  RECT area = item.rcItem;
  FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, kLinkColor);
  HGDIOBJ old = SelectObject(item.hDC, linkFont);
  char text[128];
  GetWindowTextA(item.hwndItem, text, sizeof text);
  DrawTextA(item.hDC, text, -1, &area, DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return 0;
      if (LOWORD(wParam) == CloseButton) DestroyWindow(window);
      if (LOWORD(wParam) == InstallEWFButton || LOWORD(wParam) == MinimizeDiskWritesButton ||
          LOWORD(wParam) == EnableHORMButton) {
        ShowMessageDialog(window);
      }
      return 0;
    case WM_CTLCOLORSTATIC: {
      LRESULT brush = DefWindowProcA(window, message, wParam, lParam);
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return brush;
    }
    case WM_DRAWITEM:
      DrawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (HDC dc = BeginPaint(window, &paint)) {
        DrawPictures(dc);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case WM_PRINTCLIENT:
      if (lParam & PRF_CLIENT) DrawPictures(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SETFOCUS: {
      // Like Stillvane: the first button in tab order has the focus, drawn as the default.
      HWND first = GetDlgItem(window, InstallEWFButton);
      SendMessageA(first, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      SetFocus(first);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HICON LoadIconSized(const char* name, int width, int height) {
  return static_cast<HICON>(LoadImageA(Instance(), name, IMAGE_ICON, width, height, 0));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  InitCommonControls();
  if (!PrepareMessageDialog() || !RegisterWindowClass(kWindowClass, WindowProc, CS_HREDRAW | CS_VREDRAW)) return 1;

  LOGFONTA logFont{};
  HDC screen = GetDC(nullptr);
  logFont.lfHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  logFont.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(logFont.lfFaceName, "Tahoma", LF_FACESIZE);
  font = CreateFontIndirectA(&logFont);
  logFont.lfUnderline = TRUE;
  linkFont = CreateFontIndirectA(&logFont);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HWND window =
      CreateWindowExA(0, kWindowClass, "Raw window", style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  SendMessageA(
      window, WM_SETICON, ICON_BIG,
      reinterpret_cast<LPARAM>(LoadIconSized("MAINICON", GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON))));
  SendMessageA(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(
                   LoadIconSized("MAINICON", GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON))));
  for (Picture& picture : pictures) picture.Icon = LoadIconSized(picture.Resource, 32, 32);
  for (const Control& control : kControls) {
    HWND child = CreateWindowExA(0, control.Class, control.Text, WS_CHILD | WS_VISIBLE | control.Style, control.Left,
                                 control.Top, control.Width, control.Height, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id)), instance, nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // Frames lie beneath the controls drawn inside them.
    if (control.Style == kFrame) SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  HMENU systemMenu = GetSystemMenu(window, FALSE);
  AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(systemMenu, MF_STRING, 0x0110, "Write Filter &Status...");
  AppendMenuA(systemMenu, MF_STRING, 0x0100, "Remove &EWF Support...");

  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return int(msg.wParam);
}
