#include "services/restart.h"

#include "services/privilege.h"

DWORD RestartComputer(TOs& os) {
  const TEnabledPrivilege shutdown(os, SE_SHUTDOWN_NAME);
  if (shutdown.Error()) return shutdown.Error();
  // Not ExitWindowsEx: it ends the caller's logon session, so for a program
  // run as another user (Run as...) it answers success and nothing restarts
  // ("ExitWindowsEx function", Remarks). This restarts the computer for
  // whoever is in front of it, at once, and planned by the user.
  const BOOL restarting =
      os.InitiateSystemShutdownExA(nullptr, nullptr, 0, FALSE, TRUE,
                                   SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED);
  return restarting ? static_cast<DWORD>(ERROR_SUCCESS) : FailureCode(os);
}
