// The registry object: one open key at a time under a chosen root, opened by
// absolute ("\A\B") or relative path, with values written through Os.
#pragma once

#include <exception>
#include <string>

#include "services/os.h"

// Raised when a value cannot be written; its message names the value.
// (Not a std::runtime_error: that one keeps a second, copy-on-write string
// implementation in the exe.)
class ERegistryError : public std::exception {
 public:
  explicit ERegistryError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class TRegistry {
 public:
  explicit TRegistry(Os& os);
  ~TRegistry();  // closes the current key
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  HKEY RootKey() const { return rootKey_; }
  // Closes the current key when the root changes.
  void SetRootKey(HKEY rootKey);
  HKEY CurrentKey() const { return currentKey_; }
  const std::string& CurrentPath() const { return currentPath_; }
  REGSAM Access() const { return access_; }

  // True on success. On failure the object is unchanged but for LastOpenResult().
  bool OpenKey(const std::string& path, bool canCreate);
  // Tries KEY_READ, then 0x20009, then KEY_QUERY_VALUE; the mask that worked
  // becomes Access(). True on success; on failure the object is unchanged.
  bool OpenKeyReadOnly(const std::string& path);
  void CloseKey();
  // What Windows answered to the last OpenKey or OpenKeyReadOnly (for
  // OpenKeyReadOnly: to its last try); ERROR_SUCCESS before any.
  LONG LastOpenResult() const { return lastOpenResult_; }

  // Throw ERegistryError("Failed to set data for '<name>'") when the write fails.
  void WriteStringValue(const std::string& name, const std::string& value);
  void WriteDwordValue(const std::string& name, DWORD value);

 private:
  Os& os_;
  HKEY rootKey_;
  HKEY currentKey_ = nullptr;
  std::string currentPath_;
  REGSAM access_ = KEY_ALL_ACCESS;
  LONG lastOpenResult_ = ERROR_SUCCESS;
};
