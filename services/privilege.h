// One privilege of the process's token enabled for one request: Windows
// honours SeShutdownPrivilege, SeTakeOwnershipPrivilege or SeRestorePrivilege
// only while it is enabled, and an administrator holds them disabled. Put
// back as it was when the object goes.
#pragma once

#include "services/handles.h"
#include "services/os.h"

class TEnabledPrivilege {
 public:
  TEnabledPrivilege(TOs& os, const char* name);
  ~TEnabledPrivilege();
  TEnabledPrivilege(const TEnabledPrivilege&) = delete;
  TEnabledPrivilege& operator=(const TEnabledPrivilege&) = delete;

  // ERROR_SUCCESS once it is enabled, else why not: ERROR_NOT_ALL_ASSIGNED
  // when the account does not hold it.
  DWORD Error() const { return Error_; }

 private:
  TOs& Os_;
  UniqueKernelObject Token_{Os_};
  TOKEN_PRIVILEGES Previous_ = {};
  DWORD Error_ = ERROR_SUCCESS;
};
