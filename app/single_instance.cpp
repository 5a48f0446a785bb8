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

namespace {

// Only an object of another kind under the name means that a program holds it.
const char* WhyRefused(DWORD error) {
  if (error == ERROR_INVALID_HANDLE) return "Another program holds that name.";
  if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY || error == ERROR_NO_SYSTEM_RESOURCES) {
    return "Windows was short of memory.";
  }
  return "Windows gave no reason beyond the error code.";
}

}  // namespace

std::string InstanceRefusedMessage(DWORD error) {
  return Concat({WithErrorCode("Stillvane cannot start, because Windows did not let it claim the name that keeps a "
                               "second copy from running at the same time.",
                               error),
                 "\r\r", WhyRefused(error), "  Restart Windows, then start Stillvane again."});
}
