#include "services/privilege.h"

TEnabledPrivilege::TEnabledPrivilege(TOs& os, const char* name) : Os_(os) {
  HANDLE opened = nullptr;
  // The previous state can only be read back through TOKEN_QUERY.
  if (!os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
    Error_ = FailureCode(os);
    return;
  }
  Token_.reset(opened);
  TOKEN_PRIVILEGES enabled = {};
  enabled.PrivilegeCount = 1;
  enabled.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!os.LookupPrivilegeValueA(nullptr, name, &enabled.Privileges[0].Luid)) {
    Error_ = FailureCode(os);
    return;
  }
  DWORD previousSize = 0;
  // It answers TRUE for a privilege the account lacks: only the last error tells.
  os.SetLastError(ERROR_SUCCESS);
  const BOOL adjusted =
      os.AdjustTokenPrivileges(Token_.get(), FALSE, &enabled, sizeof Previous_, &Previous_, &previousSize);
  Error_ = adjusted ? os.GetLastError() : FailureCode(os);
}

TEnabledPrivilege::~TEnabledPrivilege() {
  if (Error_ == ERROR_SUCCESS) (void)Os_.AdjustTokenPrivileges(Token_.get(), FALSE, &Previous_, 0, nullptr, nullptr);
}
