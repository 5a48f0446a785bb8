// Loaded into a running Stillvane.exe by the test driver: makes the program's
// RegSetValueExA fail with ERROR_ACCESS_DENIED for one value name, read from
// the environment variable STILLVANE_FAIL_VALUE, so that the error path of a
// failed value write can be seen on the real program; or never return for the
// value named by STILLVANE_HANG_VALUE, so that the program can be killed at
// that instant as a user ends a program that stopped responding.
#include <windows.h>

#include <cstring>

namespace {

char failingValue[256];
char hangingValue[256];
decltype(&RegSetValueExA) realRegSetValueExA;

LONG WINAPI FailingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  if (name && failingValue[0] && lstrcmpiA(name, failingValue) == 0) return ERROR_ACCESS_DENIED;
  if (name && hangingValue[0] && lstrcmpiA(name, hangingValue) == 0) Sleep(INFINITE);
  return realRegSetValueExA(key, name, reserved, type, data, size);
}

void PatchImport(HMODULE module, const char* dllName, FARPROC original, FARPROC replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (; descriptor->Name; ++descriptor) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + descriptor->Name), dllName) != 0) continue;
    auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
    for (; thunk->u1.Function; ++thunk) {
      if (reinterpret_cast<FARPROC>(thunk->u1.Function) != original) continue;
      DWORD oldProtection = 0;
      VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, PAGE_READWRITE, &oldProtection);
      thunk->u1.Function = reinterpret_cast<decltype(thunk->u1.Function)>(replacement);
      VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, oldProtection, &oldProtection);
    }
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const bool failing = GetEnvironmentVariableA("STILLVANE_FAIL_VALUE", failingValue, sizeof failingValue) != 0;
  const bool hanging = GetEnvironmentVariableA("STILLVANE_HANG_VALUE", hangingValue, sizeof hangingValue) != 0;
  if (!failing && !hanging) return TRUE;
  FARPROC original = GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegSetValueExA");
  realRegSetValueExA = reinterpret_cast<decltype(&RegSetValueExA)>(reinterpret_cast<void*>(original));
  PatchImport(GetModuleHandleA(nullptr), "advapi32.dll", original,
              reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FailingRegSetValueExA)));
  return TRUE;
}
