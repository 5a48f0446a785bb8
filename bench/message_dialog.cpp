#include "message_dialog.h"

#include <cstdlib>

namespace {

const char kDialogClass[] = "MinimalDialog";

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

}  // namespace

bool RegisterWindowClass(const char* name, WNDPROC windowProc, UINT style) {
  WNDCLASSA windowClass{};
  windowClass.style = style;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass) != 0;
}

bool PrepareMessageDialog() {
  if (__argc >= 3) {
    dialogWidth = std::atoi(__argv[1]);
    dialogHeight = std::atoi(__argv[2]);
  }
  return RegisterWindowClass(kDialogClass, DialogProc);
}

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
