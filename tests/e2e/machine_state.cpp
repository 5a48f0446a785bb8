#include "e2e/machine_state.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>

#include "e2e/app_driver.h"

const char kEnumRootKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
const char kLegacyEwfKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";
const char kEwfServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ewf";
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

void SystemDriveRootFiles::Remove() {
  for (const char* name : {"ntldr", "ntldr.bak", "resmany.dat"}) DeleteFileA((SystemDriveRoot() + name).c_str());
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

void DeleteMachineKey(const std::string& keyPath) {
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str());
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

InstallationRegistry::InstallationRegistry() {
  rootDacl_ = ReadMachineKeyDacl(kEnumRootKey);
  EXPECT_FALSE(rootDacl_.empty()) << "cannot read the DACL of " << kEnumRootKey;
  volumeClassExisted_ = MachineKeyExists(kVolumeClassKey);
  const RegistryValue filters = ReadMachineValue(kVolumeClassKey, kUpperFilters);
  filtersExisted_ = filters.present;
  filtersType_ = filters.type;
  filters_ = filters.data;
  DeleteMachineKey(kLegacyEwfKey);
  DeleteMachineKey(kEwfServiceKey);
}

InstallationRegistry::~InstallationRegistry() {
  if (!rootDacl_.empty() && ReadMachineKeyDacl(kEnumRootKey) != rootDacl_) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumRootKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
      RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, rootDacl_.data());
      RegCloseKey(key);
    }
  }
  DeleteMachineKey(kLegacyEwfKey);
  DeleteMachineKey(kEwfServiceKey);
  if (!volumeClassExisted_) {
    DeleteMachineKey(kVolumeClassKey);
  } else if (filtersExisted_) {
    WriteMachineValue(kVolumeClassKey, kUpperFilters, filtersType_, filters_);
  } else {
    DeleteMachineValue(kVolumeClassKey, kUpperFilters);
  }
}
