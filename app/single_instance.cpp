#include "app/single_instance.h"

#include "services/step_failure.h"

InstanceClaim ClaimSingleInstance(TOs& os, DWORD* error) {
  const HANDLE mutex = os.CreateMutexA(nullptr, FALSE, kSingleInstanceMutex);
  *error = os.GetLastError();
  if (!mutex) {
    // An event, semaphore or section of that name answers ERROR_INVALID_HANDLE.
    return *error == ERROR_ACCESS_DENIED ? InstanceClaim::AlreadyRuns : InstanceClaim::Refused;
  }
  if (*error == ERROR_ALREADY_EXISTS) {
    os.CloseHandle(mutex);
    return InstanceClaim::AlreadyRuns;
  }
  // Held, never closed: Windows closes it when the process ends, however it ends.
  return InstanceClaim::First;
}

std::string AlreadyRunningMessage() {
  return "Stillvane is already running, perhaps in another user's session.  Only one copy can run at a time, "
         "because two could change the boot loader and the same registry keys at once."
         "\r\r"
         "Use the copy that is running, or close it and start Stillvane again.  A copy in another user's session "
         "can be closed by that user.";
}

std::string InstanceRefusedMessage(DWORD error) {
  return WithErrorCode(
             "Stillvane cannot start, because Windows did not let it claim the name that keeps a second "
             "copy from running at the same time.",
             error) +
         "\r\r"
         "Another program holds that name.  Restart Windows, then start Stillvane again.";
}
