#include "install/security_bracket.h"

#include <string>

#include "services/registry.h"

const char* const RootKeySecurityPath = "SYSTEM\\CurrentControlSet\\Enum\\Root";

namespace {

const char kDisabling[] = "An error occured while disabling security in the registry - ";
const char kRestoring[] = "An error occured while restoring security in the registry - ";
const char kRootKeyName[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\Root";
const char kCheckPermissions[] =
    "Whilst this is not a major problem, you should use regedit to check the key's permissions.  The System account "
    "should have full access, and the Everyone group should only have Read access.";

void ShowError(Dialogs& dialogs, const std::string& text) {
  dialogs.ShowMessageDialog(text, MessageKind::Error, MessageButtons::Ok);
}

void ShowError(Dialogs& dialogs, const std::string& text, DWORD error) {
  ShowError(dialogs, text + "  Error " + std::to_string(error));
}

}  // namespace

std::string RootKeyRestoreAdvice() {
  return std::string("the original security attributes on the registry key: ") + "\r\r" + kRootKeyName + "\r\r" +
         kCheckPermissions;
}

bool SaveRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved) {
  saved.reset();
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyReadOnly(RootKeySecurityPath)) {
    ShowError(dialogs, std::string(kDisabling) + "the registry key could not be opened for read access.");
    return false;
  }

  // Asked without a buffer, Windows answers ERROR_INSUFFICIENT_BUFFER and the
  // size; any other trouble shows up again in the second call, with its code.
  DWORD size = 0;
  os.RegGetKeySecurity(registry.CurrentKey(), DACL_SECURITY_INFORMATION, nullptr, &size);

  SavedKeySecurity block(os, os.LocalAlloc(LMEM_FIXED, size));
  const DWORD error = block ? static_cast<DWORD>(os.RegGetKeySecurity(registry.CurrentKey(), DACL_SECURITY_INFORMATION,
                                                                      block.get(), &size))
                            : os.GetLastError();
  if (error != ERROR_SUCCESS) {
    ShowError(dialogs, std::string(kDisabling) + "unable to query the registry key security attributes.", error);
    return false;
  }
  saved = std::move(block);
  return true;
}

bool DisableRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved) {
  if (!SaveRootKeySecurity(os, dialogs, saved)) return false;

  UniqueKey key(os);
  if (const LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, RootKeySecurityPath, 0, WRITE_DAC, key.put())) {
    ShowError(dialogs, std::string(kDisabling) + "the registry key could not be opened for write access.", error);
    saved.reset();
    return false;
  }

  UniqueSecurityDescriptor blank(os);
  ULONG blankSize = 0;
  PSECURITY_DESCRIPTOR built = nullptr;
  const DWORD buildError =
      os.BuildSecurityDescriptorA(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, &blankSize, &built);
  if (buildError != ERROR_SUCCESS) {
    ShowError(dialogs, std::string(kDisabling) + "failed to create a blank security descriptor.", buildError);
    saved.reset();
    return false;
  }
  blank.reset(built);

  if (const LONG error = os.RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, blank.get())) {
    ShowError(dialogs, std::string(kDisabling) + "failed to reset the security of the registry key.", error);
    saved.reset();
    return false;
  }
  return true;
}

bool RestoreRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved) {
  UniqueKey key(os);
  if (const LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, RootKeySecurityPath, 0, WRITE_DAC, key.put())) {
    ShowError(dialogs, std::string(kRestoring) + "could not open the key for write access.", error);
    saved.reset();
    return false;
  }

  const LONG error = os.RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved.get());
  if (error != ERROR_SUCCESS) {
    ShowError(dialogs, std::string(kRestoring) + "could not restore the original security descriptor.", error);
  }
  saved.reset();
  return error == ERROR_SUCCESS;
}

RootKeySecurityGuard::~RootKeySecurityGuard() {
  if (!saved_) return;
  // Runs while an error is on its way to the report: nothing may escape.
  try {
    // The error on its way names a value, not the key left open.
    if (!RestoreRootKeySecurity(os_, dialogs_, saved_)) {
      ShowError(dialogs_, "An error has occured while restoring " + RootKeyRestoreAdvice());
    }
  } catch (...) {
    saved_.reset();
  }
}
