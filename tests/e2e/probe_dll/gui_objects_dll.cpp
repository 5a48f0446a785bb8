// Loaded by the test driver into a running Stillvane.exe to count the
// program's GDI and USER objects from inside, for Wine, whose GetGuiResources
// answers 0. Each export is a thread routine whose exit code is the count.
//
// Wine takes a handle's low word alone as naming whatever object lives in
// that slot of the process's table, so every slot can be asked in turn.
#include <windows.h>

namespace {

using GetCursorFrameInfoFunction = HCURSOR(WINAPI*)(HCURSOR, DWORD, DWORD, DWORD*, DWORD*);

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<DWORD*>(count);
  return TRUE;
}

BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM count) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<DWORD*>(count);
  EnumChildWindows(window, CountChild, count);  // all descendants
  return TRUE;
}

DWORD CountWindows() {
  DWORD count = 0;
  EnumWindows(CountWindowAndChildren, reinterpret_cast<LPARAM>(&count));
  for (HWND window = nullptr; (window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr));)
    CountWindowAndChildren(window, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI CountGdiObjects(LPVOID) {
  DWORD count = 0;
  for (ULONG_PTR slot = 0; slot <= 0xffff; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++count;
  return count;
}

// Windows, menus, and cursors and icons: the USER objects a program makes.
extern "C" __declspec(dllexport) DWORD WINAPI CountUserObjects(LPVOID) {
  const auto cursorFrameInfo = reinterpret_cast<GetCursorFrameInfoFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetCursorFrameInfo")));
  DWORD count = CountWindows();
  for (ULONG_PTR slot = 0x20; slot <= 0xffef; slot += 2) {
    DWORD rate = 0, steps = 0;
    if (IsMenu(reinterpret_cast<HMENU>(slot)) ||
        (cursorFrameInfo && cursorFrameInfo(reinterpret_cast<HCURSOR>(slot), 0, 0, &rate, &steps))) {
      ++count;
    }
  }
  return count;
}

namespace {

// The room a control's text needs in the control's own font, with the
// wrapping it is drawn with, left as the window property kTextExtentProperty
// (width in the low word, height in the high) for the driver to read.
const char kTextExtentProperty[] = "StillvaneTextExtent";

BOOL CALLBACK MeasureControl(HWND control, LPARAM measured) {
  char className[16] = "", text[1024] = "";
  GetClassNameA(control, className, sizeof className);
  GetWindowTextA(control, text, sizeof text);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const bool isStatic = lstrcmpiA(className, "Static") == 0, isButton = lstrcmpiA(className, "Button") == 0;
  if ((!isStatic && !isButton) || !text[0] || (isButton && (style & BS_TYPEMASK) == BS_GROUPBOX)) return TRUE;
  RECT client{};
  GetClientRect(control, &client);
  UINT format = DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX;
  if (isStatic && (style & SS_TYPEMASK) == SS_LEFT) format = DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
  if (isButton && (style & BS_TYPEMASK) != BS_OWNERDRAW) format = DT_CALCRECT | DT_SINGLELINE;
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
  RECT extent{0, 0, client.right, 0};
  DrawTextA(dc, text, -1, &extent, format);
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  SetPropA(control, kTextExtentProperty,
           reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(MAKELONG(extent.right, extent.bottom))));
  ++*reinterpret_cast<DWORD*>(measured);
  return TRUE;
}

BOOL CALLBACK MeasureWindow(HWND window, LPARAM measured) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == GetCurrentProcessId()) EnumChildWindows(window, MeasureControl, measured);
  return TRUE;
}

}  // namespace

// Measures the texts of the controls of every window of the program; the
// number of controls measured.
extern "C" __declspec(dllexport) DWORD WINAPI MeasureTexts(LPVOID) {
  DWORD measured = 0;
  EnumWindows(MeasureWindow, reinterpret_cast<LPARAM>(&measured));
  return measured;
}
