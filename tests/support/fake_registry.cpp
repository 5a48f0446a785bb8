#include "support/fake_registry.h"

#include <cstring>
#include <iterator>

#include "support/security_descriptor_bytes.h"

namespace {

// Access that changes a key or its children; WRITE_DAC is left out on purpose:
// administrators may change a protected key's permissions, which is how the
// installation gets in.
constexpr REGSAM kWriteAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_OWNER | GENERIC_WRITE | 0x10000000;

// Splits "A\B\C" into its names. Repeated and trailing backslashes are
// ignored, as Windows does; a leading one is refused.
bool SplitKeyPath(const std::string& path, std::vector<std::string>* names) {
  if (!path.empty() && path[0] == '\\') return false;
  std::string name;
  for (char c : path + "\\") {
    if (c != '\\') {
      name += c;
    } else if (!name.empty()) {
      names->push_back(name);
      name.clear();
    }
  }
  return true;
}

}  // namespace

TFakeRegistry::TFakeRegistry() : Machine_(std::make_shared<Key>()), User_(std::make_shared<Key>()) {
  Machine_->name = "HKLM";
  User_->name = "HKCU";
  Machine_->security = OpenSecurityDescriptor();
  User_->security = OpenSecurityDescriptor();
}

HKEY TFakeRegistry::NewHandle(std::shared_ptr<Key> key, REGSAM access) {
  const HKEY handle = reinterpret_cast<HKEY>(NextHandle_);
  NextHandle_ += 4;
  Handles_[handle] = {std::move(key), access};
  return handle;
}

LONG TFakeRegistry::Resolve(HKEY key, REGSAM needed, std::shared_ptr<Key>* out) const {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) {
    *out = key == HKEY_LOCAL_MACHINE ? Machine_ : User_;
    return ERROR_SUCCESS;
  }
  const auto found = Handles_.find(key);
  if (found == Handles_.end()) return ERROR_INVALID_HANDLE;
  if (found->second.key->deleted) return ERROR_KEY_DELETED;
  if ((found->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
  *out = found->second.key;
  return ERROR_SUCCESS;
}

bool TFakeRegistry::WriteRefused(const std::shared_ptr<Key>& key) {
  for (std::shared_ptr<Key> at = key; at; at = at->parent.lock()) {
    if (at->restrictive && !HasNullDacl(at->security)) return true;
  }
  return false;
}

LONG TFakeRegistry::Create(HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<Key> key;
  if (const LONG error = Resolve(parent, 0, &key)) return error;
  std::vector<std::string> names;
  if (!SplitKeyPath(subKey ? subKey : "", &names)) return ERROR_BAD_PATHNAME;

  bool created = false;
  for (const std::string& name : names) {
    auto& child = key->subkeys[name];
    if (!child) {
      if (WriteRefused(key)) {
        key->subkeys.erase(name);
        return ERROR_ACCESS_DENIED;
      }
      child = std::make_shared<Key>();
      child->name = name;
      child->parent = key;
      child->security = OpenSecurityDescriptor();
      created = true;
    }
    key = child;
  }
  if ((access & kWriteAccess) && WriteRefused(key)) return ERROR_ACCESS_DENIED;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(key, access);
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::Open(HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<Key> key;
  if (const LONG error = Resolve(parent, 0, &key)) return error;
  std::vector<std::string> names;
  if (!SplitKeyPath(subKey ? subKey : "", &names)) return ERROR_BAD_PATHNAME;
  for (const std::string& name : names) {
    const auto found = key->subkeys.find(name);
    if (found == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    key = found->second;
  }
  if ((access & kWriteAccess) && WriteRefused(key)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(key, access);
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_QUERY_VALUE, &at)) return error;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const auto found = at->values.find(name ? name : "");
  if (found == at->values.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& value = found->second;
  if (type) *type = value.type;
  if (!size) return ERROR_SUCCESS;
  const DWORD available = *size;
  *size = static_cast<DWORD>(value.data.size());
  if (!data) return ERROR_SUCCESS;
  if (available < value.data.size()) return ERROR_MORE_DATA;
  if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_SET_VALUE, &at)) return error;
  if (size && !data) return ERROR_INVALID_PARAMETER;
  at->values[name ? name : ""] = {type, std::vector<BYTE>(data, data + size)};
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::Close(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return Handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG TFakeRegistry::EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize) const {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_ENUMERATE_SUB_KEYS, &at)) return error;
  if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
  if (index >= at->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto entry = at->subkeys.begin();
  std::advance(entry, index);
  const std::string& found = entry->first;
  if (*nameSize <= found.size()) return ERROR_MORE_DATA;
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::DeleteSubKey(HKEY parent, LPCSTR subKey) {
  std::shared_ptr<Key> key;
  if (const LONG error = Resolve(parent, 0, &key)) return error;
  std::vector<std::string> names;
  if (!subKey || !SplitKeyPath(subKey, &names) || names.empty()) return ERROR_BAD_PATHNAME;
  for (const std::string& name : names) {
    const auto found = key->subkeys.find(name);
    if (found == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
    key = found->second;
  }
  if (!key->subkeys.empty() || WriteRefused(key)) return ERROR_ACCESS_DENIED;
  key->deleted = true;
  key->parent.lock()->subkeys.erase(key->name);
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::DeleteValue(HKEY key, LPCSTR name) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_SET_VALUE, &at)) return error;
  return at->values.erase(name ? name : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG TFakeRegistry::Flush(HKEY key) const {
  std::shared_ptr<Key> at;
  return Resolve(key, 0, &at);
}

// Only the DACL is kept per key; owner, group and SACL are not modelled.
LONG TFakeRegistry::GetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, READ_CONTROL, &at)) return error;
  if (!size) return ERROR_INVALID_PARAMETER;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  const std::vector<BYTE> answer = (info & DACL_SECURITY_INFORMATION) ? at->security : DescriptorWithoutParts();
  const DWORD available = *size;
  *size = static_cast<DWORD>(answer.size());
  if (!descriptor || available < answer.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(descriptor, answer.data(), answer.size());
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::SetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, (info & DACL_SECURITY_INFORMATION) ? WRITE_DAC : 0, &at)) return error;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  // Windows also takes absolute descriptors; nothing here builds one.
  if (SelfRelativeLength(descriptor) == 0) return ERROR_INVALID_SECURITY_DESCR;
  if (info & DACL_SECURITY_INFORMATION) at->security = DaclOnlyDescriptor(descriptor);
  return ERROR_SUCCESS;
}

std::shared_ptr<TFakeRegistry::Key> TFakeRegistry::Find(HKEY root, const std::string& path) const {
  std::shared_ptr<Key> key = root == HKEY_LOCAL_MACHINE ? Machine_ : root == HKEY_CURRENT_USER ? User_ : nullptr;
  std::vector<std::string> names;
  if (!key || !SplitKeyPath(path, &names)) return nullptr;
  for (const std::string& name : names) {
    const auto found = key->subkeys.find(name);
    if (found == key->subkeys.end()) return nullptr;
    key = found->second;
  }
  return key;
}

std::shared_ptr<TFakeRegistry::Key> TFakeRegistry::FindOrCreate(HKEY root, const std::string& path) {
  std::shared_ptr<Key> key = root == HKEY_LOCAL_MACHINE ? Machine_ : User_;
  std::vector<std::string> names;
  SplitKeyPath(path, &names);
  for (const std::string& name : names) {
    auto& child = key->subkeys[name];
    if (!child) {
      child = std::make_shared<Key>();
      child->name = name;
      child->parent = key;
      child->security = OpenSecurityDescriptor();
    }
    key = child;
  }
  return key;
}

void TFakeRegistry::CreateKey(HKEY root, const std::string& path) {
  FindOrCreate(root, path);
}

bool TFakeRegistry::KeyExists(HKEY root, const std::string& path) const {
  return Find(root, path) != nullptr;
}

void TFakeRegistry::DeleteKey(HKEY root, const std::string& path) {
  const std::shared_ptr<Key> key = Find(root, path);
  const std::shared_ptr<Key> parent = key ? key->parent.lock() : nullptr;
  if (!parent) return;
  std::vector<std::shared_ptr<Key>> doomed{key};
  while (!doomed.empty()) {
    std::shared_ptr<Key> at = doomed.back();
    doomed.pop_back();
    at->deleted = true;
    for (auto& child : at->subkeys) doomed.push_back(child.second);
  }
  parent->subkeys.erase(key->name);
}

void TFakeRegistry::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                             std::vector<BYTE> data) {
  FindOrCreate(root, path)->values[name] = {type, std::move(data)};
}

std::optional<RegistryValue> TFakeRegistry::Value(HKEY root, const std::string& path, const std::string& name) const {
  const std::shared_ptr<Key> key = Find(root, path);
  if (!key) return std::nullopt;
  const auto found = key->values.find(name);
  if (found == key->values.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> TFakeRegistry::ValueNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  if (const std::shared_ptr<Key> key = Find(root, path)) {
    for (const auto& value : key->values) names.push_back(value.first);
  }
  return names;
}

std::vector<BYTE> TFakeRegistry::Security(HKEY root, const std::string& path) const {
  const std::shared_ptr<Key> key = Find(root, path);
  return key ? key->security : std::vector<BYTE>();
}

void TFakeRegistry::SetSecurity(HKEY root, const std::string& path, std::vector<BYTE> descriptor) {
  FindOrCreate(root, path)->security = std::move(descriptor);
}

void TFakeRegistry::MarkRestrictive(HKEY root, const std::string& path) {
  const std::shared_ptr<Key> key = FindOrCreate(root, path);
  key->restrictive = true;
  key->security = ProtectedSecurityDescriptor();
}

std::string TFakeRegistry::Describe(HKEY key) const {
  std::shared_ptr<Key> at;
  if (key == HKEY_LOCAL_MACHINE) return "HKLM";
  if (key == HKEY_CURRENT_USER) return "HKCU";
  const auto found = Handles_.find(key);
  if (found == Handles_.end()) return key ? "<bad key>" : "NULL";
  std::string path;
  for (at = found->second.key; at; at = at->parent.lock()) path = path.empty() ? at->name : at->name + "\\" + path;
  return path;
}
