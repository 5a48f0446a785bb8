#include "services/restart.h"

#include "services/handles.h"

DWORD RestartComputer(TOs& os) {
  HANDLE opened = nullptr;
  if (!os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
    return FailureCode(os);
  }
  const UniqueKernelObject token(os, opened);
  TOKEN_PRIVILEGES enabled = {};
  enabled.PrivilegeCount = 1;
  enabled.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!os.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &enabled.Privileges[0].Luid)) return FailureCode(os);
  TOKEN_PRIVILEGES previous = {};
  DWORD previousSize = 0;
  // It answers TRUE for a privilege the account lacks: only the last error tells.
  os.SetLastError(ERROR_SUCCESS);
  if (!os.AdjustTokenPrivileges(token.get(), FALSE, &enabled, sizeof previous, &previous, &previousSize)) {
    return FailureCode(os);
  }
  if (const DWORD error = os.GetLastError()) return error;
  // A planned restart by the user: Windows logs it so, without asking why.
  const BOOL restarting =
      os.ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED);
  const DWORD error = restarting ? static_cast<DWORD>(ERROR_SUCCESS) : FailureCode(os);
  (void)os.AdjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);
  return error;
}
