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
    if (IsMenu(reinterpret_cast<HMENU>(slot))) {
      ++count;
    } else if (cursorFrameInfo && cursorFrameInfo(reinterpret_cast<HCURSOR>(slot), 0, 0, &rate, &steps)) {
      ++count;
    }
  }
  return count;
}
