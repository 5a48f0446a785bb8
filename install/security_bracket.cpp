#include "install/security_bracket.h"

#include <cstring>
#include <string>
#include <vector>

#include "services/key_security.h"
#include "services/registry.h"
#include "services/step_failure.h"

const char* const kRootKeySecurityPath = "SYSTEM\\CurrentControlSet\\Enum\\Root";

namespace {

const char kDisabling[] = "An error occured while disabling security in the registry - ";
const char kRestoring[] = "An error occured while restoring security in the registry - ";
// What ReadDacl answers when the block could not be allocated.
constexpr DWORD kNoMemory = ERROR_NOT_ENOUGH_MEMORY;
const char kOutOfMemory[] = "there was not enough memory to read the registry key security attributes.";
const char kStandardPermissions[] =
    "The System account should have full access, and the Everyone group should only have Read access.";

void ShowError(TDialogs& dialogs, const std::string& text) {
  dialogs.ShowMessageDialog(text, MessageKind::Error, MessageButtons::Ok);
}

void ShowError(TDialogs& dialogs, const std::string& text, DWORD error) {
  ShowError(dialogs, WithErrorCode(text, error));
}

std::string RootKeyName() {
  return MachineKeyName(kRootKeySecurityPath);
}

// The key's DACL as RegGetKeySecurity gives it, in a LocalAlloc'ed block, and
// its size. ERROR_SUCCESS or the Windows error code; on failure `block` and
// `size` are left as they were.
[[nodiscard]] DWORD ReadDacl(TOs& os, HKEY key, SavedKeySecurity& block, DWORD& size) {
  // Asked without a buffer, Windows answers ERROR_INSUFFICIENT_BUFFER and the
  // size; any other trouble shows up again in the second call, with its code.
  DWORD needed = 0;
  os.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &needed);
  SavedKeySecurity read(os, os.LocalAlloc(LMEM_FIXED, needed));
  if (!read) return kNoMemory;
  if (const LONG error = os.RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, read.get(), &needed)) {
    return static_cast<DWORD>(error);
  }
  block = std::move(read);
  size = needed;
  return ERROR_SUCCESS;
}

// The standard permissions in a LocalAlloc'ed block, as a saved DACL is kept;
// empty when there is no memory.
SavedKeySecurity StandardSecurityBlock(TOs& os) {
  const std::vector<BYTE> standard = StandardKeySecurity();
  SavedKeySecurity block(os, os.LocalAlloc(LMEM_FIXED, standard.size()));
  if (block) std::memcpy(block.get(), standard.data(), standard.size());
  return block;
}

}  // namespace

std::string RootKeyRestoreAdvice() {
  return Concat({"the original security attributes on the registry key: \r\r", RootKeyName(),
                 "\r\rWhilst this is not a major problem, you should use regedit to check the key's permissions.  ",
                 kStandardPermissions});
}

std::string OpenDaclNote(bool standardPermissionsWritten) {
  if (standardPermissionsWritten) {
    return Concat(
        {"The registry key ", RootKeyName(),
         " gave everyone full control when the installation began, as an interrupted installation leaves it, so "
         "it was given the standard permissions instead: the System account has full access, and the Everyone "
         "group only Read access."});
  }
  return Concat({"The registry key ", RootKeyName(),
                 " gives everyone full control, as an interrupted installation leaves it, and its permissions were not "
                 "changed.  Start Stillvane again and let it put the standard permissions back."});
}

bool SaveRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved, bool& replacedOpenDacl) {
  saved.reset();
  replacedOpenDacl = false;
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyReadOnly(kRootKeySecurityPath)) {
    ShowError(dialogs, Concat({kDisabling, "the registry key could not be opened for read access."}));
    return false;
  }

  SavedKeySecurity block(os);
  DWORD size = 0;
  if (const DWORD error = ReadDacl(os, registry.CurrentKey(), block, size)) {
    ShowError(dialogs,
              Concat({kDisabling,
                      error == kNoMemory ? kOutOfMemory : "unable to query the registry key security attributes."}),
              error);
    return false;
  }
  if (LeavesKeyOpen(static_cast<const BYTE*>(block.get()), size)) {
    // Putting an open DACL back would leave the key open for good, and report success.
    block = StandardSecurityBlock(os);
    if (!block) {
      ShowError(dialogs, Concat({kDisabling, kOutOfMemory}), kNoMemory);
      return false;
    }
    replacedOpenDacl = true;
  }
  saved = std::move(block);
  return true;
}

bool PrepareRootKeySecurityChange(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved, RootKeySecurityChange& change) {
  // Saved into a local first: `saved` only ever holds a DACL that is to be
  // put back, so the guard stays quiet on every failure below.
  SavedKeySecurity original(os);
  if (!SaveRootKeySecurity(os, dialogs, original, change.ReplacedOpenDacl)) return false;

  if (const LONG error = OpenKeyForSecurity(os, kRootKeySecurityPath, DACL_SECURITY_INFORMATION, change.Key)) {
    ShowError(dialogs, Concat({kDisabling, "the registry key could not be opened for write access."}), error);
    return false;
  }

  ULONG blankSize = 0;
  PSECURITY_DESCRIPTOR built = nullptr;
  const DWORD buildError =
      os.BuildSecurityDescriptorA(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, &blankSize, &built);
  if (buildError != ERROR_SUCCESS) {
    ShowError(dialogs, Concat({kDisabling, "failed to create a blank security descriptor."}), buildError);
    return false;
  }
  change.Blank.reset(built);
  saved = std::move(original);
  return true;
}

bool ApplyRootKeySecurityChange(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved,
                                const RootKeySecurityChange& change) {
  if (const LONG error = os.RegSetKeySecurity(change.Key.get(), DACL_SECURITY_INFORMATION, change.Blank.get())) {
    ShowError(dialogs, Concat({kDisabling, "failed to reset the security of the registry key."}), error);
    saved.reset();
    return false;
  }
  return true;
}

bool DisableRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved) {
  RootKeySecurityChange change(os);
  return PrepareRootKeySecurityChange(os, dialogs, saved, change) &&
         ApplyRootKeySecurityChange(os, dialogs, saved, change);
}

bool RestoreRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved) {
  // By the step that failed; put back but not on disk, a power cut would bring the blank one back.
  static const char* const kFailures[] = {nullptr, "could not open the key for write access.",
                                          "could not restore the original security descriptor.",
                                          "the restored security descriptor could not be written to disk."};
  LONG error = ERROR_SUCCESS;
  const SecurityWrite failed =
      WriteKeySecurity(os, kRootKeySecurityPath, DACL_SECURITY_INFORMATION, saved.get(), error);
  saved.reset();
  if (failed != SecurityWrite::Done) {
    ShowError(dialogs, Concat({kRestoring, kFailures[static_cast<int>(failed)]}), static_cast<DWORD>(error));
  }
  return failed == SecurityWrite::Done;
}

bool RootKeyIsLeftOpen(TOs& os) {
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.OpenKeyReadOnly(kRootKeySecurityPath)) return false;
  SavedKeySecurity current(os);
  DWORD size = 0;
  return ReadDacl(os, registry.CurrentKey(), current, size) == ERROR_SUCCESS &&
         LeavesKeyOpen(static_cast<const BYTE*>(current.get()), size);
}

void OfferRootKeySecurityRepair(TOs& os, TDialogs& dialogs) {
  if (!RootKeyIsLeftOpen(os)) return;

  const std::string question =
      Concat({"The permissions of this registry key let everyone change it, or take it over:\r\r", RootKeyName(),
              "\r\rAn installation that was interrupted while the key was open leaves it so.  Do you want to put the "
              "standard permissions back?  The System account will have full access, and the Everyone group only Read "
              "access."});
  if (dialogs.ShowMessageDialog(question, MessageKind::Warning, MessageButtons::YesNo) != DialogResult::Yes) return;

  LONG error = ERROR_SUCCESS;
  if (WriteKeySecurity(os, kRootKeySecurityPath, DACL_SECURITY_INFORMATION, StandardKeySecurity().data(), error) !=
      SecurityWrite::Done) {
    ShowError(dialogs,
              Concat({"The standard permissions could not be put back on the registry key:\r\r", RootKeyName(),
                      "\r\rUse regedit to set them.  ", kStandardPermissions}),
              static_cast<DWORD>(error));
    return;
  }
  dialogs.ShowMessageDialog(Concat({"The standard permissions were put back on the registry key:\r\r", RootKeyName()}),
                            MessageKind::Information, MessageButtons::Ok);
}

TRootKeySecurityGuard::~TRootKeySecurityGuard() {
  if (!Saved_) return;
  // Runs while an error is on its way to the report: nothing may escape.
  try {
    // The error on its way names a value, not the key left open.
    if (!RestoreRootKeySecurity(Os_, Dialogs_, Saved_)) {
      ShowError(Dialogs_, Concat({"An error has occurred while restoring ", RootKeyRestoreAdvice()}));
    }
  } catch (...) {
    Saved_.reset();
  }
}
