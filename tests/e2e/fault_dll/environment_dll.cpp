// Loaded by the test driver into Stillvane.exe before the program's own code
// runs (the process is started suspended): sets "SystemDrive" to the value of
// STILLVANE_SYSTEMDRIVE, or removes it when that value is "<unset>". Wine
// puts SystemDrive=C: into every new process whatever environment block its
// parent passed, so only the program's own process can change it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char value[4096];
  const DWORD length = GetEnvironmentVariableA("STILLVANE_SYSTEMDRIVE", value, sizeof value);
  if (length >= sizeof value) return FALSE;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return TRUE;
  const bool unset = lstrcmpA(value, "<unset>") == 0;
  return SetEnvironmentVariableA("SystemDrive", unset ? nullptr : value);
}
