// The registry object: one open key at a time under a chosen root, opened by
// absolute ("\A\B") or relative path, with values written through TOs.
#pragma once

#include <exception>
#include <span>
#include <string>
#include <vector>

#include "services/handles.h"
#include "services/os.h"
#include "services/step_log.h"

// One value of a table of registry settings.
struct RegistryValueRow {
  const char* Key;  // as Open takes it: a leading backslash starts at the root
  const char* ValueName;
  DWORD Type;  // REG_SZ: `text` is written; REG_DWORD: `number`
  const char* Text;
  DWORD Number;
};

// "A\B" for a key given as "\A\B" (as Open takes it) or "A\B": the path
// below a root, as RegOpenKeyExA takes it.
inline const char* BelowRoot(const char* key) {
  return key[0] == '\\' ? key + 1 : key;
}

// "HKEY_LOCAL_MACHINE\A\B" for a key given as "\A\B" or "A\B".
std::string MachineKeyName(const char* key);

// The value's type and data. ERROR_FILE_NOT_FOUND when there is none; on any
// error `type` and `data` are left as they were.
[[nodiscard]] LONG ReadRegistryValue(TOs& os, HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data);

// Raised when a value cannot be written; its message names the value.
// (Not a std::runtime_error: that one keeps a second, copy-on-write string
// implementation in the exe.)
class ERegistryError : public std::exception {
 public:
  explicit ERegistryError(std::string message) : Message_(std::move(message)) {}
  const char* what() const noexcept override { return Message_.c_str(); }

 private:
  std::string Message_;
};

class TRegistry {
 public:
  explicit TRegistry(TOs& os);
  ~TRegistry();  // closes the current key
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return RootKey_; }
  // Closes the current key when the root changes.
  void SetRootKey(HKEY rootKey);
  HKEY CurrentKey() const { return CurrentKey_.get(); }
  const std::string& CurrentPath() const { return CurrentPath_; }
  REGSAM Access() const { return Access_; }

  // What Windows answered to opening (or creating) the key; on failure the
  // object is unchanged.
  [[nodiscard]] LONG Open(const std::string& path, bool canCreate);
  // Tries KEY_READ, then 0x20009, then KEY_QUERY_VALUE; the mask that worked
  // becomes Access(). What Windows answered to the last try; on failure the
  // object is unchanged.
  [[nodiscard]] LONG OpenReadOnly(const std::string& path);
  // As Open and OpenReadOnly, for callers that need no code: true on success.
  [[nodiscard]] bool OpenKey(const std::string& path, bool canCreate) { return Open(path, canCreate) == ERROR_SUCCESS; }
  [[nodiscard]] bool OpenKeyReadOnly(const std::string& path) { return OpenReadOnly(path) == ERROR_SUCCESS; }
  void CloseKey();
  TOs& Os() const { return Os_; }

  // Throw ERegistryError(ValueWriteFailure(name)) when the write fails.
  void WriteStringValue(const std::string& name, const std::string& value);
  void WriteDwordValue(const std::string& name, DWORD value);
  // The row's value, with the write its type calls for: what Windows answered.
  [[nodiscard]] LONG SetValue(const RegistryValueRow& row);

 private:
  TOs& Os_;
  HKEY RootKey_;
  UniqueKey CurrentKey_{Os_};
  std::string CurrentPath_;
  REGSAM Access_ = KEY_ALL_ACCESS;
};

// "Failed to set data for '<name>'": what the user reads of a value that
// could not be written.
std::string ValueWriteFailure(const std::string& name);

// Writes the rows in order under the registry's root. Rows of one key follow
// each other: the key is opened (created when missing) once for them, and
// flushed to disk and closed after them. A key that cannot be opened is
// skipped with its rows; the keys skipped are returned, in order. A key that
// cannot be flushed is a failed step in `log`. A value that cannot be
// written ends the rows there (`log`'s ValueWriteReport names it).
struct SkippedKey {
  const RegistryValueRow* FirstRow;
  LONG Error;  // what Windows answered to opening or creating it
};
[[nodiscard]] std::vector<SkippedKey> WriteRegistryRows(TRegistry& registry, std::span<const RegistryValueRow> rows,
                                                        TStepLog& log);

// Writes the open key's hive to disk; a failure is a failed step in `log`,
// naming `keyName`. True when it was written.
bool FlushKey(TOs& os, HKEY key, const std::string& keyName, TStepLog& log);

// Deletes the key with everything below it, deepest keys first, then writes
// its parent's hive to disk. ERROR_SUCCESS when it is gone, or was never
// there; else what Windows answered to the step that failed (the keys
// already deleted stay deleted), and in `failedKey` the key it was about.
[[nodiscard]] LONG DeleteKeyTree(TOs& os, HKEY root, const std::string& path, std::string* failedKey = nullptr);

// HKEY_LOCAL_MACHINE\<path> opened to change the parts of its permissions
// `info` names (WRITE_DAC, WRITE_OWNER), and with KEY_QUERY_VALUE, which
// RegFlushKey needs ("RegFlushKey function"). What Windows answered.
[[nodiscard]] LONG OpenKeyForSecurity(TOs& os, const char* path, SECURITY_INFORMATION info, UniqueKey& key);

// The step of WriteKeySecurity that failed.
enum class SecurityWrite { Done, NotOpened, NotSet, NotFlushed };

// Opens the key as OpenKeyForSecurity does, sets the parts of `descriptor`
// `info` names, and writes the hive to disk, so that a power cut right after
// cannot bring the old permissions back. Windows' answer in `error`.
[[nodiscard]] SecurityWrite WriteKeySecurity(TOs& os, const char* path, SECURITY_INFORMATION info,
                                             const void* descriptor, LONG& error);

// The parts of the open key's descriptor `info` names, self-relative.
// ERROR_SUCCESS or Windows' answer; `descriptor` is left as it was on failure.
[[nodiscard]] LONG ReadKeySecurity(TOs& os, HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>& descriptor);
