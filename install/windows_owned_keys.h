// Keys of the installation that Windows has taken over. Once a legacy driver
// has loaded, Windows' Plug and Play manager owns its device keys under
// Enum\Root (LEGACY_<driver> and the keys below it): owner the System
// account, which has full control, and Everyone read. An administrator may
// change or delete such a key only once it is his: he may always take
// ownership (with SeTakeOwnershipPrivilege enabled), and an owner may always
// change the DACL. Taken only inside the security bracket, and put back.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"
#include "services/step_log.h"

class TWindowsOwnedKeys {
 public:
  explicit TWindowsOwnedKeys(TOs& os) : Os_(os) {}
  // Whatever is still taken is put back, without a word.
  ~TWindowsOwnedKeys() { PutBack(nullptr, nullptr, nullptr); }
  TWindowsOwnedKeys(const TWindowsOwnedKeys&) = delete;
  TWindowsOwnedKeys& operator=(const TWindowsOwnedKeys&) = delete;

  // Each key of the tree at HKEY_LOCAL_MACHINE\<path> that refuses an
  // administrator full access is made his: its owner and DACL are saved, it
  // is given the Administrators group as owner, then the System account and
  // Administrators full control. A failure is a failed step in `log`; the
  // keys taken before it stay taken, to be put back.
  void Take(const char* path, TStepLog& log);
  // Gives each key taken its saved owner and DACL back, the last taken
  // first, and says in `log` that the tree was taken over `purpose` ("to
  // write it") and whether it was given back. Keys deleted since are gone.
  void PutBack(const char* path, const char* purpose, TStepLog& log) { PutBack(path, purpose, &log); }

 private:
  [[nodiscard]] LONG TakeTree(const std::string& path, std::string& failedKey);
  [[nodiscard]] LONG TakeKey(const std::string& path);
  // Without a log, without a word.
  void PutBack(const char* path, const char* purpose, TStepLog* log);

  struct SavedKey {
    std::string Path;
    std::vector<BYTE> Security;  // owner and DACL, self-relative
  };
  TOs& Os_;
  std::vector<SavedKey> Saved_;
};
