// The empty-window yardstick of the start-up benchmark: about the least a
// Win32 program can do and still be comparable with Stillvane. One window
// class, one window of Stillvane's size (558 by 490), one button whose click
// shows the message dialog (bench/message_dialog.h).
#include <windows.h>

#include "message_dialog.h"

namespace {

const char kWindowClass[] = "MinimalWindow";
enum { KShowButton = 100 };

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  if (!PrepareMessageDialog() || !RegisterWindowClass(kWindowClass, WindowProc)) return 1;
  const int width = 558, height = 490;
  HWND window = CreateWindowExA(
      0, kWindowClass, "Minimal window", WS_OVERLAPPEDWINDOW, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  CreateWindowExA(0, "BUTTON", "Show message", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 413, 80, 113, 33, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(KShowButton)), instance, nullptr);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return int(msg.wParam);
}
