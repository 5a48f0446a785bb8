// The registry of TFakeOs: a tree of keys under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER with typed values, an owner and a DACL per key, handles
// that remember the access they were opened with, and "restrictive" keys that
// refuse write access at and below them until their DACL is opened up.
// The caller is an administrator: each key's own DACL is checked against
// Everyone and Administrators on every open, create and delete.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/win_types.h"
#include "support/case_insensitive.h"

struct RegistryValue {
  DWORD Type;
  std::vector<BYTE> Data;
  bool operator==(const RegistryValue& other) const { return Type == other.Type && Data == other.Data; }
};

class TFakeRegistry {
 public:
  TFakeRegistry();

  // Set-up and inspection. Paths are "A\B\C" below a predefined root.
  void CreateKey(HKEY root, const std::string& path);
  bool KeyExists(HKEY root, const std::string& path) const;
  void DeleteKey(HKEY root, const std::string& path);  // with everything below it
  void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, std::vector<BYTE> data);
  std::optional<RegistryValue> Value(HKEY root, const std::string& path, const std::string& name) const;
  std::vector<std::string> ValueNames(HKEY root, const std::string& path) const;
  std::vector<BYTE> Security(HKEY root, const std::string& path) const;
  void SetSecurity(HKEY root, const std::string& path, std::vector<BYTE> descriptor);
  // Keys belong to Administrators unless given another owner (a SID's bytes).
  std::vector<BYTE> Owner(HKEY root, const std::string& path) const;
  void SetOwner(HKEY root, const std::string& path, std::vector<BYTE> owner);
  // Whether the caller's token has SeTakeOwnershipPrivilege and
  // SeRestorePrivilege enabled (TFakeOs keeps them so).
  void SetPrivileges(bool takeOwnership, bool restore) {
    TakeOwnership_ = takeOwnership;
    Restore_ = restore;
  }
  // Creates the key if needed and protects it: opening or creating it or any
  // key below it with write access fails with ERROR_ACCESS_DENIED unless its
  // DACL is NULL (as after RegSetKeySecurity with a blank descriptor).
  void MarkRestrictive(HKEY root, const std::string& path);
  int OpenKeyCount() const { return static_cast<int>(Handles_.size()); }
  // Closes every handle, as when the process ends.
  void CloseAll() { Handles_.clear(); }
  // "HKLM\A\B" for a handle, for the call log.
  std::string Describe(HKEY key) const;

  // The calls, with their Win32 results.
  // `descriptor`, when given, becomes the DACL of the key the call creates
  // (not of a key that exists), as RegCreateKeyEx's documentation says.
  // Wine ignores it, so only TFakeOs shows it.
  LONG Create(HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result, LPDWORD disposition,
              const void* descriptor = nullptr);
  LONG Open(HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result);
  LONG QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size);
  LONG SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size);
  LONG Close(HKEY key);
  LONG EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize) const;
  // As on Windows NT: a key with subkeys is refused (ERROR_ACCESS_DENIED).
  LONG DeleteSubKey(HKEY parent, LPCSTR subKey);
  LONG DeleteValue(HKEY key, LPCSTR name);
  LONG Flush(HKEY key) const;
  LONG GetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size);
  LONG SetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);

 private:
  struct Key {
    std::string Name;
    std::weak_ptr<Key> Parent;
    std::map<std::string, std::shared_ptr<Key>, CaseInsensitiveLess> Subkeys;
    std::map<std::string, RegistryValue, CaseInsensitiveLess> Values;
    std::vector<BYTE> Security;
    std::vector<BYTE> Owner;
    bool Restrictive = false;
    bool Deleted = false;
  };
  struct Handle {
    std::shared_ptr<Key> Opened;
    REGSAM Access;
  };

  // The key a handle stands for, with the access it grants, or an error.
  LONG Resolve(HKEY key, REGSAM needed, std::shared_ptr<Key>* out) const;
  std::shared_ptr<Key> Find(HKEY root, const std::string& path) const;
  std::shared_ptr<Key> FindOrCreate(HKEY root, const std::string& path);
  static bool WriteRefused(const std::shared_ptr<Key>& key);
  // Whether the key's own owner and DACL let the caller have `access`.
  bool Allows(const Key& key, REGSAM access) const;
  std::shared_ptr<Key> NewKey(const std::shared_ptr<Key>& parent, const std::string& name) const;
  HKEY NewHandle(std::shared_ptr<Key> key, REGSAM access);

  std::shared_ptr<Key> Machine_;
  std::shared_ptr<Key> User_;
  std::map<HKEY, Handle> Handles_;
  uintptr_t NextHandle_ = 0x10000;
  bool TakeOwnership_ = false;
  bool Restore_ = false;
};
