#include "e2e/machine_state.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>

#include "e2e/app_driver.h"

const char kEnumRootKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
const char kLegacyEwfKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";
const char kEwfServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ewf";
const char kInstallationRecordKey[] = "SOFTWARE\\Stillvane";
const char kVolumeClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";

namespace {
const char kUpperFilters[] = "UpperFilters";
}

std::string SystemDriveRoot() {
  char drive[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("SystemDrive", drive, sizeof drive)) return "C:\\";
  return std::string(drive) + "\\";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

void TSystemDriveRootFiles::Remove() {
  for (const char* name : {"ntldr", "ntldr.bak", "ntldr.bak.1", "ntldr.bak.2", "ntldr.ewf", "resmany.dat"}) {
    for (const char* suffix : {"", ".stillvane-new"}) {
      const std::string path = SystemDriveRoot() + name + suffix;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
      DeleteFileA(path.c_str());
      RemoveDirectoryA(path.c_str());
    }
  }
}

THeldFile::THeldFile(const std::string& path)
    : File_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
  EXPECT_NE(File_, INVALID_HANDLE_VALUE) << "cannot hold " << path << ": " << GetLastError();
}

THeldFile::~THeldFile() {
  if (File_ != INVALID_HANDLE_VALUE) CloseHandle(File_);
}

bool ReadOnlyFilesRefuseWrites() {
  char folder[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "stillvane-read-only-probe";
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteWholeFile(path, "probe");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
  return file == INVALID_HANDLE_VALUE;
}

bool MachineKeyExists(const std::string& keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::vector<BYTE> ReadMachineKeyDacl(const std::string& keyPath) {
  std::vector<BYTE> descriptor;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS) return descriptor;
  DWORD size = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  descriptor.assign(size, 0xcd);
  if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS) {
    descriptor.clear();
  } else {
    descriptor.resize(size);
  }
  RegCloseKey(key);
  return descriptor;
}

namespace {

const SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

LONG SetMachineKeySecurity(const std::string& keyPath, REGSAM access, SECURITY_INFORMATION what,
                           PSECURITY_DESCRIPTOR descriptor) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, access, &key);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetKeySecurity(key, what, descriptor);
  RegCloseKey(key);
  return result;
}

}  // namespace

void GiveMachineKeyToWindows(const std::string& keyPath) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << keyPath;
  char name[256];
  for (DWORD index = 0, size = sizeof name;
       RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, size = sizeof name) {
    GiveMachineKeyToWindows(keyPath + "\\" + name);
  }
  RegCloseKey(key);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("O:SYD:(A;CI;KA;;;SY)(A;CI;KR;;;WD)(A;;WO;;;BA)",
                                                                   SDDL_REVISION_1, &descriptor, nullptr));
  EXPECT_EQ(SetMachineKeySecurity(keyPath, WRITE_OWNER | WRITE_DAC, kOwnerAndDacl, descriptor), ERROR_SUCCESS)
      << keyPath;
  LocalFree(descriptor);
}

TMachineKeySecurity::TMachineKeySecurity(const std::string& keyPath, const char* sddl) : KeyPath_(keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, READ_CONTROL, &key) == ERROR_SUCCESS) {
    DWORD size = 0;
    RegGetKeySecurity(key, kOwnerAndDacl, nullptr, &size);
    Original_.assign(size, 0);
    if (!size || RegGetKeySecurity(key, kOwnerAndDacl, Original_.data(), &size) != ERROR_SUCCESS) Original_.clear();
    RegCloseKey(key);
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (Original_.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    ADD_FAILURE() << "cannot read the security of " << keyPath << " or make " << sddl;
    Original_.clear();
    return;
  }
  EXPECT_EQ(SetMachineKeySecurity(keyPath, WRITE_OWNER | WRITE_DAC, kOwnerAndDacl, descriptor), ERROR_SUCCESS)
      << keyPath << ": " << sddl;
  LocalFree(descriptor);
}

TMachineKeySecurity::~TMachineKeySecurity() {
  if (Original_.empty()) return;
  // Once its owner again, the test may change the DACL whatever it says.
  EXPECT_EQ(SetMachineKeySecurity(KeyPath_, WRITE_OWNER, OWNER_SECURITY_INFORMATION, Original_.data()), ERROR_SUCCESS)
      << "cannot take back " << KeyPath_;
  EXPECT_EQ(SetMachineKeySecurity(KeyPath_, WRITE_DAC, DACL_SECURITY_INFORMATION, Original_.data()), ERROR_SUCCESS)
      << "cannot restore the DACL of " << KeyPath_;
}

void WriteMachineValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                       const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << keyPath;
  EXPECT_EQ(RegSetValueExA(key, valueName.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS)
      << valueName;
  RegCloseKey(key);
}

TMachineValueSet::TMachineValueSet(const std::string& keyPath, const std::string& valueName, DWORD type,
                                   const std::vector<BYTE>& data)
    : KeyPath_(keyPath), ValueName_(valueName) {
  const RegistryValue original = ReadMachineValue(keyPath, valueName);
  WasPresent_ = original.Present;
  Type_ = original.Type;
  Data_ = original.Data;
  WriteMachineValue(keyPath, valueName, type, data);
}

TMachineValueSet::~TMachineValueSet() {
  if (WasPresent_) {
    WriteMachineValue(KeyPath_, ValueName_, Type_, Data_);
  } else {
    DeleteMachineValue(KeyPath_, ValueName_);
  }
}

void DeleteMachineKey(const std::string& keyPath) {
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

namespace {

std::string Hex(const BYTE* data, DWORD size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (DWORD i = 0; i < size; ++i) text += std::string{digits[data[i] >> 4], digits[data[i] & 15], ' '};
  return text;
}

void DumpKey(HKEY parent, const std::string& name, const std::string& path, std::map<std::string, std::string>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  out[path] = "";
  std::vector<char> valueName(16384);
  std::vector<BYTE> data(65536);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = DWORD(valueName.size()), type = 0, size = DWORD(data.size());
    if (RegEnumValueA(key, index, valueName.data(), &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      break;
    out[path + " [" + valueName.data() + "]"] = std::to_string(type) + ": " + Hex(data.data(), size);
  }
  char child[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof child;
    if (RegEnumKeyExA(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DumpKey(key, child, path + "\\" + child, out);
  }
  RegCloseKey(key);
}

}  // namespace

std::map<std::string, std::string> DumpMachineKey(const std::string& keyPath) {
  std::map<std::string, std::string> dump;
  DumpKey(HKEY_LOCAL_MACHINE, keyPath, keyPath, dump);
  return dump;
}

std::vector<BYTE> MultiString(const std::vector<std::string>& names) {
  std::vector<BYTE> data;
  for (const std::string& name : names) {
    data.insert(data.end(), name.begin(), name.end());
    data.push_back(0);
  }
  data.push_back(0);
  return data;
}

TInstallationRegistry::TInstallationRegistry() {
  RootDacl_ = ReadMachineKeyDacl(kEnumRootKey);
  EXPECT_FALSE(RootDacl_.empty()) << "cannot read the DACL of " << kEnumRootKey;
  VolumeClassExisted_ = MachineKeyExists(kVolumeClassKey);
  const RegistryValue filters = ReadMachineValue(kVolumeClassKey, kUpperFilters);
  FiltersExisted_ = filters.Present;
  FiltersType_ = filters.Type;
  Filters_ = filters.Data;
  DeleteMachineKey(kLegacyEwfKey);
  DeleteMachineKey(kEwfServiceKey);
  DeleteMachineKey(kInstallationRecordKey);
}

TInstallationRegistry::~TInstallationRegistry() {
  if (!RootDacl_.empty() && ReadMachineKeyDacl(kEnumRootKey) != RootDacl_) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumRootKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, RootDacl_.data());
      RegCloseKey(key);
    }
  }
  DeleteMachineKey(kLegacyEwfKey);
  DeleteMachineKey(kEwfServiceKey);
  DeleteMachineKey(kInstallationRecordKey);
  if (!VolumeClassExisted_) {
    DeleteMachineKey(kVolumeClassKey);
  } else if (FiltersExisted_) {
    WriteMachineValue(kVolumeClassKey, kUpperFilters, FiltersType_, Filters_);
  } else {
    DeleteMachineValue(kVolumeClassKey, kUpperFilters);
  }
}
