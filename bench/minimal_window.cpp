// The yardstick of the start-up benchmark: about the least a Win32 program
// can do and still be comparable with Stillvane. One window class, one window
// of Stillvane's size (558 by 490), one button whose click shows a modal
// message dialog; the dialog's outer size comes from the command line
// ("minimal_window.exe WIDTH HEIGHT"), so that it matches Stillvane's.
#include <windows.h>

#include <cstdlib>

namespace {

const char kWindowClass[] = "MinimalWindow";
const char kDialogClass[] = "MinimalDialog";
enum { KShowButton = 100 };

int dialogWidth = 240;
int dialogHeight = 120;

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((message == WM_COMMAND && LOWORD(wParam) == IDOK) || message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A message dialog of the least kind: a text, an OK button, a modal loop.
void ShowMessageDialog(HWND owner) {
  RECT ownerRect{};
  GetWindowRect(owner, &ownerRect);
  const int left = (ownerRect.left + ownerRect.right - dialogWidth) / 2;
  const int top = (ownerRect.top + ownerRect.bottom - dialogHeight) / 2;
  HWND dialog = CreateWindowExA(WS_EX_DLGMODALFRAME, kDialogClass, "Information", WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                left, top, dialogWidth, dialogHeight, owner, nullptr, Instance(), nullptr);
  if (!dialog) return;
  RECT client{};
  GetClientRect(dialog, &client);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND text = CreateWindowExA(0, "STATIC", "Changes successfully applied.", WS_CHILD | WS_VISIBLE, 12, 12,
                              client.right - 24, 16, dialog, nullptr, Instance(), nullptr);
  HWND ok = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                            (client.right - 75) / 2, client.bottom - 35, 75, 23, dialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), Instance(), nullptr);
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageA(ok, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOW);
  SetFocus(ok);
  MSG msg;
  while (IsWindow(dialog) && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  EnableWindow(owner, TRUE);
  SetActiveWindow(owner);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == KShowButton) ShowMessageDialog(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool RegisterWindowClass(const char* name, WNDPROC windowProc) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  if (__argc >= 3) {
    dialogWidth = std::atoi(__argv[1]);
    dialogHeight = std::atoi(__argv[2]);
  }
  if (!RegisterWindowClass(kWindowClass, WindowProc) || !RegisterWindowClass(kDialogClass, DialogProc)) return 1;
  const int width = 558, height = 490;
  HWND window = CreateWindowExA(
      0, kWindowClass, "Minimal window", WS_OVERLAPPEDWINDOW, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, Instance(), nullptr);
  if (!window) return 1;
  CreateWindowExA(0, "BUTTON", "Show message", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 413, 80, 113, 33, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(KShowButton)), Instance(), nullptr);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return int(msg.wParam);
}
