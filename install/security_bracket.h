// The bracket around the installation's writes under Enum\Root: the DACL of
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
extern const char* const kRootKeySecurityPath;

// How the messages about a failed restore end: "the original security
// attributes on the registry key: ", the key's full name, and what to check
// with regedit (paragraphs split by CR CR).
std::string RootKeyRestoreAdvice();

// For the closing message when the saved DACL left the key open to everyone
// and the standard permissions were saved in its place: whether they were
// written back, or the key was never touched and is still open (with what to
// do then).
std::string OpenDaclNote(bool standardPermissionsWritten);

// Reads the key's DACL into `saved` (replacing what it held). A DACL that
// leaves the key open to everyone (none, or NULL: what an interrupted run
// leaves behind) is never taken for the original: the standard permissions
// are saved instead, and `replacedOpenDacl` says so. False after its message;
// `saved` is then empty.
[[nodiscard]] bool SaveRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved, bool& replacedOpenDacl);

// Disabling security in two halves, so that everything that can fail without
// changing the machine fails before anything else is done: Prepare saves the
// DACL, opens the key for WRITE_DAC and builds the blank descriptor; Apply
// sets it on the key.
struct RootKeySecurityChange {
  explicit RootKeySecurityChange(TOs& os) : Key(os), Blank(os) {}
  UniqueKey Key;
  UniqueSecurityDescriptor Blank;
  bool ReplacedOpenDacl = false;  // the saved DACL is the standard one, see SaveRootKeySecurity
};

// True when `saved` holds the DACL to restore and `change` is ready; false
// after its message, with `saved` empty. Changes nothing.
[[nodiscard]] bool PrepareRootKeySecurityChange(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved,
                                                RootKeySecurityChange& change);
// True when the blank descriptor is on the key; false after its message, with
// the key unchanged and `saved` empty.
[[nodiscard]] bool ApplyRootKeySecurityChange(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved,
                                              const RootKeySecurityChange& change);

// Both halves at once. True when the DACL was replaced and `saved` holds the
// one to restore; false after its message, with the key unchanged and `saved` empty.
[[nodiscard]] bool DisableRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved);

// Puts the DACL in `saved` back on the key (call only while it holds one) and
// writes the hive to disk. True when it was written back and is on disk;
// false after its message. `saved` is empty afterwards in both cases.
[[nodiscard]] bool RestoreRootKeySecurity(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved);

// Whether the key is open to everyone (no DACL, or a NULL one); false when
// its permissions cannot be read.
[[nodiscard]] bool RootKeyIsLeftOpen(TOs& os);

// At start-up: when the key is open to everyone (no DACL, or a NULL one, left
// by an installation that was killed or lost its power while the key was
// open), offers to put the standard permissions back. Says nothing when the
// key is as it should be, or when its permissions cannot be read.
void OfferRootKeySecurityRepair(TOs& os, TDialogs& dialogs);

// Armed before security is disabled: leaving the scope while `saved` still
// holds a descriptor (an error escaped before the restore) puts it back, so
// the key is never left open; when that fails, the user is told which key to
// check. After RestoreRootKeySecurity it does nothing.
class TRootKeySecurityGuard {
 public:
  TRootKeySecurityGuard(TOs& os, TDialogs& dialogs, SavedKeySecurity& saved)
      : Os_(os), Dialogs_(dialogs), Saved_(saved) {}
  ~TRootKeySecurityGuard();
  TRootKeySecurityGuard(const TRootKeySecurityGuard&) = delete;
  TRootKeySecurityGuard& operator=(const TRootKeySecurityGuard&) = delete;

 private:
  TOs& Os_;
  TDialogs& Dialogs_;
  SavedKeySecurity& Saved_;
};

// The bracket of one click, owned by the action: Prepare saves the DACL and
// gets everything ready (changing nothing), Open puts the blank descriptor
// on the key, Close puts the saved one back. Leaving the scope while the key
// is open, by any path, puts it back too. Each failure shows its message.
class TRootKeySecurityBracket {
 public:
  TRootKeySecurityBracket(TOs& os, TDialogs& dialogs) : Os_(os), Dialogs_(dialogs) {}
  // A key never opened up is left alone; the guard puts back an open one.
  ~TRootKeySecurityBracket() {
    if (!Opened_) Saved_.reset();
  }
  TRootKeySecurityBracket(const TRootKeySecurityBracket&) = delete;
  TRootKeySecurityBracket& operator=(const TRootKeySecurityBracket&) = delete;

  [[nodiscard]] bool Prepare() { return PrepareRootKeySecurityChange(Os_, Dialogs_, Saved_, Change_); }
  [[nodiscard]] bool Open() { return Opened_ = ApplyRootKeySecurityChange(Os_, Dialogs_, Saved_, Change_); }
  [[nodiscard]] bool Close() { return RestoreRootKeySecurity(Os_, Dialogs_, Saved_); }
  // The key was found open to everyone, and the standard permissions are
  // what Close puts back.
  bool ReplacedOpenDacl() const { return Change_.ReplacedOpenDacl; }

 private:
  TOs& Os_;
  TDialogs& Dialogs_;
  SavedKeySecurity Saved_{Os_};
  RootKeySecurityChange Change_{Os_};
  bool Opened_ = false;
  TRootKeySecurityGuard Guard_{Os_, Dialogs_, Saved_};  // last: it goes first
};
