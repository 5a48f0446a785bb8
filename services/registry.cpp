#include "services/registry.h"

#include <cstring>

namespace {

constexpr REGSAM kReadOnlyMasks[] = {KEY_READ, READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
                                     KEY_QUERY_VALUE};

// Where an OpenKey path leads: a leading backslash starts from the root,
// anything else from the current key when one is open.
struct KeyTarget {
  HKEY Parent;
  std::string SubKey;
  std::string PathOnceOpen;
};

KeyTarget ResolveKeyPath(const std::string& path, HKEY rootKey, HKEY currentKey, const std::string& currentPath) {
  if (!path.empty() && path[0] == '\\') return {rootKey, path.substr(1), path.substr(1)};
  if (!currentKey) return {rootKey, path, path};
  if (currentPath.empty()) return {currentKey, path, path};
  if (path.empty()) return {currentKey, path, currentPath};
  return {currentKey, path, Concat({currentPath, "\\", path})};
}

}  // namespace

TRegistry::TRegistry(TOs& os) : Os_(os), RootKey_(HKEY_CURRENT_USER) {}

TRegistry::~TRegistry() {
  CloseKey();
}

void TRegistry::SetRootKey(HKEY rootKey) {
  if (rootKey == RootKey_) return;
  CloseKey();
  RootKey_ = rootKey;
}

LONG TRegistry::Open(const std::string& path, bool canCreate) {
  KeyTarget target = ResolveKeyPath(path, RootKey_, CurrentKey_.get(), CurrentPath_);
  UniqueKey opened(Os_);
  // An empty path names the parent itself, which can only be opened.
  const LONG result = (canCreate && !target.SubKey.empty())
                          ? Os_.RegCreateKeyExA(target.Parent, target.SubKey.c_str(), 0, nullptr,
                                                REG_OPTION_NON_VOLATILE, Access_, nullptr, opened.put(), nullptr)
                          : Os_.RegOpenKeyExA(target.Parent, target.SubKey.c_str(), 0, Access_, opened.put());
  if (result != ERROR_SUCCESS) return result;

  CurrentKey_ = std::move(opened);
  CurrentPath_ = std::move(target.PathOnceOpen);
  return ERROR_SUCCESS;
}

LONG TRegistry::OpenReadOnly(const std::string& path) {
  KeyTarget target = ResolveKeyPath(path, RootKey_, CurrentKey_.get(), CurrentPath_);
  LONG result = ERROR_SUCCESS;
  for (REGSAM mask : kReadOnlyMasks) {
    UniqueKey opened(Os_);
    result = Os_.RegOpenKeyExA(target.Parent, target.SubKey.c_str(), 0, mask, opened.put());
    if (result != ERROR_SUCCESS) continue;

    CurrentKey_ = std::move(opened);
    CurrentPath_ = std::move(target.PathOnceOpen);
    Access_ = mask;
    return ERROR_SUCCESS;
  }
  return result;
}

void TRegistry::CloseKey() {
  CurrentKey_.reset();
  CurrentPath_.clear();
}

namespace {

LONG SetText(TOs& os, HKEY key, const std::string& name, const std::string& value) {
  const auto* data = reinterpret_cast<const BYTE*>(value.c_str());
  return os.RegSetValueExA(key, name.c_str(), 0, REG_SZ, data, static_cast<DWORD>(value.size() + 1));
}

LONG SetNumber(TOs& os, HKEY key, const std::string& name, DWORD value) {
  const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                        static_cast<BYTE>(value >> 24)};
  return os.RegSetValueExA(key, name.c_str(), 0, REG_DWORD, data, sizeof data);
}

}  // namespace

std::string ValueWriteFailure(const std::string& name) {
  return Concat({"Failed to set data for '", name, "'"});
}

void TRegistry::WriteStringValue(const std::string& name, const std::string& value) {
  if (SetText(Os_, CurrentKey_.get(), name, value) != ERROR_SUCCESS) throw ERegistryError(ValueWriteFailure(name));
}

void TRegistry::WriteDwordValue(const std::string& name, DWORD value) {
  if (SetNumber(Os_, CurrentKey_.get(), name, value) != ERROR_SUCCESS) throw ERegistryError(ValueWriteFailure(name));
}

LONG TRegistry::SetValue(const RegistryValueRow& row) {
  return row.Type == REG_SZ ? SetText(Os_, CurrentKey_.get(), row.ValueName, row.Text)
                            : SetNumber(Os_, CurrentKey_.get(), row.ValueName, row.Number);
}

std::string MachineKeyName(const char* key) {
  return Concat({"HKEY_LOCAL_MACHINE", key[0] == '\\' ? "" : "\\", key});
}

LONG ReadRegistryValue(TOs& os, HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data) {
  // The value may grow between asking its size and reading it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    DWORD readType = REG_NONE;
    LONG result = os.RegQueryValueExA(key, name, nullptr, &readType, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    std::vector<BYTE> read(size + 1, 0);
    result = os.RegQueryValueExA(key, name, nullptr, &readType, read.data(), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return result;
    read.resize(size);
    *type = readType;
    *data = std::move(read);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

bool FlushKey(TOs& os, HKEY key, const std::string& keyName, TStepLog& log) {
  // Until the hive is on disk, a power cut takes back what was written.
  const LONG error = os.RegFlushKey(key);
  if (error != ERROR_SUCCESS)
    log.Failed(Concat({"Writing the registry key ", keyName, " to disk failed."}), static_cast<DWORD>(error));
  return error == ERROR_SUCCESS;
}

std::vector<SkippedKey> WriteRegistryRows(TRegistry& registry, std::span<const RegistryValueRow> rows, TStepLog& log) {
  std::vector<SkippedKey> skipped;
  for (size_t first = 0; first < rows.size();) {
    size_t end = first + 1;
    while (end < rows.size() && std::strcmp(rows[end].Key, rows[first].Key) == 0) ++end;
    if (const LONG error = registry.Open(rows[first].Key, true)) {
      skipped.push_back({&rows[first], error});
    } else {
      for (size_t row = first; row < end; ++row) {
        if (registry.SetValue(rows[row]) != ERROR_SUCCESS) {
          log.ValueNotWritten(ValueWriteFailure(rows[row].ValueName));
          registry.CloseKey();
          return skipped;
        }
      }
      // Durable before the next step relies on it, whatever happens to the
      // machine next; Windows would otherwise write the hive when it pleases.
      FlushKey(registry.Os(), registry.CurrentKey(), MachineKeyName(rows[first].Key), log);
      registry.CloseKey();
    }
    first = end;
  }
  return skipped;
}

namespace {

// Key names are at most 255 characters.
constexpr DWORD kKeyNameSize = 256;

LONG DeleteKeyAndBelow(TOs& os, HKEY root, const std::string& path, std::string* failedKey) {
  *failedKey = path;
  for (;;) {
    UniqueKey key(os);
    LONG error = os.RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put());
    if (error == ERROR_FILE_NOT_FOUND) break;  // the deletion below tells whether it is there
    if (error != ERROR_SUCCESS) return error;
    char name[kKeyNameSize];
    DWORD size = kKeyNameSize;
    error = os.RegEnumKeyExA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    key.reset();
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error != ERROR_SUCCESS) return error;
    if ((error = DeleteKeyAndBelow(os, root, Concat({path, "\\", name}), failedKey)) != ERROR_SUCCESS) {
      return error;
    }
  }
  *failedKey = path;
  const LONG error = os.RegDeleteKeyA(root, path.c_str());
  return error == ERROR_FILE_NOT_FOUND ? static_cast<LONG>(ERROR_SUCCESS) : error;
}

}  // namespace

LONG DeleteKeyTree(TOs& os, HKEY root, const std::string& path, std::string* failedKey) {
  std::string failed;
  if (!failedKey) failedKey = &failed;
  if (const LONG error = DeleteKeyAndBelow(os, root, path, failedKey)) return error;
  *failedKey = path;
  UniqueKey parent(os);
  LONG error = os.RegOpenKeyExA(root, path.substr(0, path.rfind('\\')).c_str(), 0, KEY_QUERY_VALUE, parent.put());
  // Without its parent the key was never there: nothing to write to disk.
  if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (error == ERROR_SUCCESS) error = os.RegFlushKey(parent.get());
  return error;
}

LONG OpenKeyForSecurity(TOs& os, const char* path, SECURITY_INFORMATION info, UniqueKey& key) {
  const REGSAM access = ((info & DACL_SECURITY_INFORMATION) ? WRITE_DAC : 0) |
                        ((info & OWNER_SECURITY_INFORMATION) ? WRITE_OWNER : 0) | KEY_QUERY_VALUE;
  return os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, key.put());
}

SecurityWrite WriteKeySecurity(TOs& os, const char* path, SECURITY_INFORMATION info, const void* descriptor,
                               LONG& error) {
  UniqueKey key(os);
  if ((error = OpenKeyForSecurity(os, path, info, key)) != ERROR_SUCCESS) return SecurityWrite::NotOpened;
  // RegSetKeySecurity only reads the descriptor.
  if ((error = os.RegSetKeySecurity(key.get(), info, const_cast<void*>(descriptor))) != ERROR_SUCCESS) {
    return SecurityWrite::NotSet;
  }
  if ((error = os.RegFlushKey(key.get())) != ERROR_SUCCESS) return SecurityWrite::NotFlushed;
  return SecurityWrite::Done;
}

LONG ReadKeySecurity(TOs& os, HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>& descriptor) {
  // Asked without a buffer, Windows answers with the size it needs.
  DWORD size = 0;
  os.RegGetKeySecurity(key, info, nullptr, &size);
  std::vector<BYTE> read(size);
  if (const LONG error = os.RegGetKeySecurity(key, info, read.data(), &size)) return error;
  read.resize(size);
  descriptor = std::move(read);
  return ERROR_SUCCESS;
}
