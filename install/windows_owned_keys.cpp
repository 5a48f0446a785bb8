#include "install/windows_owned_keys.h"

#include "services/handles.h"
#include "services/key_security.h"
#include "services/privilege.h"
#include "services/registry.h"
#include "services/step_failure.h"

namespace {

constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

}  // namespace

LONG TWindowsOwnedKeys::TakeKey(const std::string& path) {
  UniqueKey key(Os_);
  SavedKey saved{path, {}};
  LONG error = Os_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL, key.put());
  if (error == ERROR_SUCCESS) error = ReadKeySecurity(Os_, key.get(), kOwnerAndDacl, saved.Security);
  if (error != ERROR_SUCCESS) return error;
  const std::vector<BYTE> taken = AdministratorsOwnedKeySecurity();
  {
    // "Ownership of Objects": the privilege lets an administrator take
    // ownership whatever the DACL says, and the owner may then set the DACL.
    const TEnabledPrivilege takeOwnership(Os_, SE_TAKE_OWNERSHIP_NAME);
    if ((error = static_cast<LONG>(takeOwnership.Error())) != ERROR_SUCCESS) return error;
    const SecurityWrite step = WriteKeySecurity(Os_, path.c_str(), OWNER_SECURITY_INFORMATION, taken.data(), error);
    if (step == SecurityWrite::NotOpened || step == SecurityWrite::NotSet) return error;  // still Windows'
  }
  Saved_.push_back(std::move(saved));
  if (error == ERROR_SUCCESS) (void)WriteKeySecurity(Os_, path.c_str(), DACL_SECURITY_INFORMATION, taken.data(), error);
  return error;
}

LONG TWindowsOwnedKeys::TakeTree(const std::string& path, std::string& failedKey) {
  failedKey = path;
  UniqueKey key(Os_);
  LONG error = Os_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put());
  if (error == ERROR_ACCESS_DENIED && (error = TakeKey(path)) == ERROR_SUCCESS) {
    error = Os_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.put());
  }
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  for (DWORD index = 0; error == ERROR_SUCCESS; ++index) {
    char name[256];  // key names are at most 255 characters
    DWORD size = sizeof name;
    error = Os_.RegEnumKeyExA(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) error = TakeTree(Concat({path, "\\", name}), failedKey);
  }
  return error;
}

void TWindowsOwnedKeys::Take(const char* path, TStepLog& log) {
  std::string failedKey;
  if (const LONG error = TakeTree(path, failedKey)) {
    log.Failed(Concat({"Taking ownership of the registry key ", MachineKeyName(failedKey.c_str()), " failed."}),
               static_cast<DWORD>(error));
  }
}

void TWindowsOwnedKeys::PutBack(const char* path, const char* purpose, TStepLog* log) {
  if (Saved_.empty()) return;
  LONG firstError = ERROR_SUCCESS;
  std::string failedKey;
  bool givenBack = false;
  for (; !Saved_.empty(); Saved_.pop_back()) {
    const SavedKey& saved = Saved_.back();
    // "Privilege Constants", SE_RESTORE_NAME: only with it may the owner be
    // the System account, a SID the caller is not.
    const TEnabledPrivilege restore(Os_, SE_RESTORE_NAME);
    LONG error = static_cast<LONG>(restore.Error());
    if (error == ERROR_SUCCESS)
      (void)WriteKeySecurity(Os_, saved.Path.c_str(), kOwnerAndDacl, saved.Security.data(), error);
    if (error == ERROR_SUCCESS) givenBack = true;
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND || firstError) continue;
    firstError = error;
    failedKey = saved.Path;
  }
  if (!log) return;
  log->Done(
      Concat({"The registry key ", MachineKeyName(path), " belonged to Windows, so Stillvane took ownership of it ",
              purpose, givenBack && !firstError ? ", then gave it back its owner and permissions." : "."}));
  if (firstError) {
    log->Failed(Concat({"Giving the registry key ", MachineKeyName(failedKey.c_str()), " back to Windows failed."}),
                static_cast<DWORD>(firstError));
  }
}
