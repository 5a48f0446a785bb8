// The bracket around the installation's registry writes: the DACL of
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\Root is saved and replaced
// by a blank descriptor ("disabling security"), then put back ("restoring").
// Every failure shows one error message that names the failed step.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/handles.h"
#include "services/os.h"

// The saved DACL-only descriptor as RegGetKeySecurity returns it, in a block
// from LocalAlloc(LMEM_FIXED). The main window owns it; empty when nothing is
// saved. Whatever it still holds is freed with LocalFree when it goes.
using SavedKeySecurity = UniqueSecurityDescriptor;

// "SYSTEM\CurrentControlSet\Enum\Root" below HKEY_LOCAL_MACHINE.
extern const char* const RootKeySecurityPath;

// How the messages about a failed restore end: "the original security
// attributes on the registry key: ", the key's full name, and what to check
// with regedit (paragraphs split by CR CR).
std::string RootKeyRestoreAdvice();

// Reads the key's DACL into `saved` (replacing what it held). False after its
// message; `saved` is then empty.
bool SaveRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved);

// Saves the DACL, then sets a blank descriptor on the key. True when the DACL
// was replaced and `saved` holds the original; false after its message, with
// the key unchanged and `saved` empty.
bool DisableRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved);

// Puts the DACL in `saved` back on the key (call only while it holds one).
// True when it was written back; false after its message. `saved` is empty
// afterwards in both cases.
bool RestoreRootKeySecurity(Os& os, Dialogs& dialogs, SavedKeySecurity& saved);

// Armed before security is disabled: leaving the scope while `saved` still
// holds a descriptor (an error escaped before the restore) puts it back, so
// the key is never left open; when that fails, the user is told which key to
// check. After RestoreRootKeySecurity it does nothing.
class RootKeySecurityGuard {
 public:
  RootKeySecurityGuard(Os& os, Dialogs& dialogs, SavedKeySecurity& saved) : os_(os), dialogs_(dialogs), saved_(saved) {}
  ~RootKeySecurityGuard();
  RootKeySecurityGuard(const RootKeySecurityGuard&) = delete;
  RootKeySecurityGuard& operator=(const RootKeySecurityGuard&) = delete;

 private:
  Os& os_;
  Dialogs& dialogs_;
  SavedKeySecurity& saved_;
};
