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

TFakeRegistry::TFakeRegistry() : Machine_(NewKey(nullptr, "HKLM")), User_(NewKey(nullptr, "HKCU")) {}

std::shared_ptr<TFakeRegistry::Key> TFakeRegistry::NewKey(const std::shared_ptr<Key>& parent,
                                                          const std::string& name) const {
  auto key = std::make_shared<Key>();
  key->Name = name;
  key->Parent = parent;
  key->Security = OpenSecurityDescriptor();
  key->Owner = AdministratorsSid();
  return key;
}

bool TFakeRegistry::Allows(const Key& key, REGSAM access) const {
  constexpr REGSAM kNotRights = KEY_WOW64_64KEY | KEY_WOW64_32KEY | MAXIMUM_ALLOWED;
  DWORD granted = GrantedAccess(key.Security, {EveryoneSid(), AdministratorsSid()});
  // "Ownership of Objects": the owner may always read and change the DACL.
  if (key.Owner == AdministratorsSid()) granted |= READ_CONTROL | WRITE_DAC;
  // "Privilege Constants", SE_TAKE_OWNERSHIP_NAME: WRITE_OWNER whatever the DACL says.
  if (TakeOwnership_) granted |= WRITE_OWNER;
  const DWORD needed = MapGenericKeyRights(access) & ~kNotRights;
  return (granted & needed) == needed;
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
  if (found->second.Opened->Deleted) return ERROR_KEY_DELETED;
  if ((found->second.Access & needed) != needed) return ERROR_ACCESS_DENIED;
  *out = found->second.Opened;
  return ERROR_SUCCESS;
}

bool TFakeRegistry::WriteRefused(const std::shared_ptr<Key>& key) {
  for (std::shared_ptr<Key> at = key; at; at = at->Parent.lock()) {
    if (at->Restrictive && !HasNullDacl(at->Security)) return true;
  }
  return false;
}

LONG TFakeRegistry::Create(HKEY parent, LPCSTR subKey, REGSAM access, PHKEY result, LPDWORD disposition,
                           const void* descriptor) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::shared_ptr<Key> key;
  if (const LONG error = Resolve(parent, 0, &key)) return error;
  std::vector<std::string> names;
  if (!SplitKeyPath(subKey ? subKey : "", &names)) return ERROR_BAD_PATHNAME;

  bool created = false;
  for (const std::string& name : names) {
    auto& child = key->Subkeys[name];
    if (!child) {
      // "RegCreateKeyEx function": a new key needs KEY_CREATE_SUB_KEY on its parent.
      if (WriteRefused(key) || !Allows(*key, KEY_CREATE_SUB_KEY)) {
        key->Subkeys.erase(name);
        return ERROR_ACCESS_DENIED;
      }
      child = NewKey(key, name);
      created = true;
    }
    key = child;
  }
  if (created && descriptor) key->Security = DaclOnlyDescriptor(descriptor);
  // An existing key is opened as RegOpenKeyEx would: its own DACL decides.
  if (((access & kWriteAccess) && WriteRefused(key)) || (!created && !Allows(*key, access))) {
    return ERROR_ACCESS_DENIED;
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(key, MapGenericKeyRights(access));
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
    const auto found = key->Subkeys.find(name);
    if (found == key->Subkeys.end()) return ERROR_FILE_NOT_FOUND;
    key = found->second;
  }
  if (((access & kWriteAccess) && WriteRefused(key)) || !Allows(*key, access)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(key, MapGenericKeyRights(access));
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::QueryValue(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_QUERY_VALUE, &at)) return error;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const auto found = at->Values.find(name ? name : "");
  if (found == at->Values.end()) return ERROR_FILE_NOT_FOUND;
  const RegistryValue& value = found->second;
  if (type) *type = value.Type;
  if (!size) return ERROR_SUCCESS;
  const DWORD available = *size;
  *size = static_cast<DWORD>(value.Data.size());
  if (!data) return ERROR_SUCCESS;
  if (available < value.Data.size()) return ERROR_MORE_DATA;
  if (!value.Data.empty()) std::memcpy(data, value.Data.data(), value.Data.size());
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_SET_VALUE, &at)) return error;
  if (size && !data) return ERROR_INVALID_PARAMETER;
  at->Values[name ? name : ""] = {type, std::vector<BYTE>(data, data + size)};
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
  if (index >= at->Subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto entry = at->Subkeys.begin();
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
    const auto found = key->Subkeys.find(name);
    if (found == key->Subkeys.end()) return ERROR_FILE_NOT_FOUND;
    key = found->second;
  }
  // "RegDeleteKey function": the key itself is opened for DELETE.
  if (!key->Subkeys.empty() || WriteRefused(key) || !Allows(*key, DELETE)) return ERROR_ACCESS_DENIED;
  key->Deleted = true;
  key->Parent.lock()->Subkeys.erase(key->Name);
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::DeleteValue(HKEY key, LPCSTR name) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, KEY_SET_VALUE, &at)) return error;
  return at->Values.erase(name ? name : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// "RegFlushKey function": the key must have been opened with KEY_QUERY_VALUE.
LONG TFakeRegistry::Flush(HKEY key) const {
  std::shared_ptr<Key> at;
  return Resolve(key, KEY_QUERY_VALUE, &at);
}

// The owner and DACL are kept per key; group and SACL are not modelled.
LONG TFakeRegistry::GetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  std::shared_ptr<Key> at;
  if (const LONG error = Resolve(key, READ_CONTROL, &at)) return error;
  if (!size) return ERROR_INVALID_PARAMETER;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  std::vector<BYTE> answer = (info & DACL_SECURITY_INFORMATION) ? at->Security : DescriptorWithoutParts();
  if (info & OWNER_SECURITY_INFORMATION) answer = WithOwner(std::move(answer), at->Owner);
  const DWORD available = *size;
  *size = static_cast<DWORD>(answer.size());
  if (!descriptor || available < answer.size()) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(descriptor, answer.data(), answer.size());
  return ERROR_SUCCESS;
}

LONG TFakeRegistry::SetSecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
  std::shared_ptr<Key> at;
  const REGSAM needed =
      ((info & DACL_SECURITY_INFORMATION) ? WRITE_DAC : 0) | ((info & OWNER_SECURITY_INFORMATION) ? WRITE_OWNER : 0);
  if (const LONG error = Resolve(key, needed, &at)) return error;
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  // Windows also takes absolute descriptors; nothing here builds one.
  if (SelfRelativeLength(descriptor) == 0) return ERROR_INVALID_SECURITY_DESCR;
  const std::vector<BYTE> owner = OwnerSid(descriptor);
  if (info & OWNER_SECURITY_INFORMATION) {
    if (owner.empty()) return ERROR_INVALID_SECURITY_DESCR;
    // "Privilege Constants", SE_RESTORE_NAME: only with it may the owner be
    // any SID but one of the caller's own (here Administrators).
    if (owner != AdministratorsSid() && !Restore_) return ERROR_INVALID_OWNER;
    at->Owner = owner;
  }
  if (info & DACL_SECURITY_INFORMATION) at->Security = DaclOnlyDescriptor(descriptor);
  return ERROR_SUCCESS;
}

std::shared_ptr<TFakeRegistry::Key> TFakeRegistry::Find(HKEY root, const std::string& path) const {
  std::shared_ptr<Key> key = root == HKEY_LOCAL_MACHINE ? Machine_ : root == HKEY_CURRENT_USER ? User_ : nullptr;
  std::vector<std::string> names;
  if (!key || !SplitKeyPath(path, &names)) return nullptr;
  for (const std::string& name : names) {
    const auto found = key->Subkeys.find(name);
    if (found == key->Subkeys.end()) return nullptr;
    key = found->second;
  }
  return key;
}

std::shared_ptr<TFakeRegistry::Key> TFakeRegistry::FindOrCreate(HKEY root, const std::string& path) {
  std::shared_ptr<Key> key = root == HKEY_LOCAL_MACHINE ? Machine_ : User_;
  std::vector<std::string> names;
  SplitKeyPath(path, &names);
  for (const std::string& name : names) {
    auto& child = key->Subkeys[name];
    if (!child) child = NewKey(key, name);
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
  const std::shared_ptr<Key> parent = key ? key->Parent.lock() : nullptr;
  if (!parent) return;
  std::vector<std::shared_ptr<Key>> doomed{key};
  while (!doomed.empty()) {
    std::shared_ptr<Key> at = doomed.back();
    doomed.pop_back();
    at->Deleted = true;
    for (auto& child : at->Subkeys) doomed.push_back(child.second);
  }
  parent->Subkeys.erase(key->Name);
}

void TFakeRegistry::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                             std::vector<BYTE> data) {
  FindOrCreate(root, path)->Values[name] = {type, std::move(data)};
}

std::optional<RegistryValue> TFakeRegistry::Value(HKEY root, const std::string& path, const std::string& name) const {
  const std::shared_ptr<Key> key = Find(root, path);
  if (!key) return std::nullopt;
  const auto found = key->Values.find(name);
  if (found == key->Values.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> TFakeRegistry::ValueNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  if (const std::shared_ptr<Key> key = Find(root, path)) {
    for (const auto& value : key->Values) names.push_back(value.first);
  }
  return names;
}

std::vector<BYTE> TFakeRegistry::Security(HKEY root, const std::string& path) const {
  const std::shared_ptr<Key> key = Find(root, path);
  return key ? key->Security : std::vector<BYTE>();
}

void TFakeRegistry::SetSecurity(HKEY root, const std::string& path, std::vector<BYTE> descriptor) {
  FindOrCreate(root, path)->Security = std::move(descriptor);
}

std::vector<BYTE> TFakeRegistry::Owner(HKEY root, const std::string& path) const {
  const std::shared_ptr<Key> key = Find(root, path);
  return key ? key->Owner : std::vector<BYTE>();
}

void TFakeRegistry::SetOwner(HKEY root, const std::string& path, std::vector<BYTE> owner) {
  FindOrCreate(root, path)->Owner = std::move(owner);
}

void TFakeRegistry::MarkRestrictive(HKEY root, const std::string& path) {
  const std::shared_ptr<Key> key = FindOrCreate(root, path);
  key->Restrictive = true;
  key->Security = ProtectedSecurityDescriptor();
}

std::string TFakeRegistry::Describe(HKEY key) const {
  std::shared_ptr<Key> at;
  if (key == HKEY_LOCAL_MACHINE) return "HKLM";
  if (key == HKEY_CURRENT_USER) return "HKCU";
  const auto found = Handles_.find(key);
  if (found == Handles_.end()) return key ? "<bad key>" : "NULL";
  std::string path;
  for (at = found->second.Opened; at; at = at->Parent.lock()) path = path.empty() ? at->Name : at->Name + "\\" + path;
  return path;
}
