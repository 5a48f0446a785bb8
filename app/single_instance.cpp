#include "app/single_instance.h"

InstanceClaim ClaimSingleInstance(Os& os) {
  const HANDLE mutex = os.CreateMutexA(nullptr, FALSE, kSingleInstanceMutex);
  const DWORD error = os.GetLastError();
  if (!mutex) return error == ERROR_ACCESS_DENIED ? InstanceClaim::AlreadyRuns : InstanceClaim::First;
  if (error == ERROR_ALREADY_EXISTS) {
    os.CloseHandle(mutex);
    return InstanceClaim::AlreadyRuns;
  }
  // Held, never closed: Windows closes it when the process ends, however it ends.
  return InstanceClaim::First;
}
