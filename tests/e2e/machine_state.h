// What "Install EWF Support" and "Enable HORM" change outside the scratch
// folder: files in the root of the system drive (Wine gives every program the
// test prefix's C:, whatever "SystemDrive" says) and keys under
// HKEY_LOCAL_MACHINE of the test prefix. Helpers to plant, read and put back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The root of the system drive as the program sees it, with its backslash.
std::string SystemDriveRoot();
// Names of the plain files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);
void WriteWholeFile(const std::string& path, const std::string& content);

// Removes ntldr, ntldr.bak and resmany.dat from the root of the system drive
// on construction and again on destruction.
class SystemDriveRootFiles {
 public:
  SystemDriveRootFiles() { Remove(); }
  ~SystemDriveRootFiles() { Remove(); }
  SystemDriveRootFiles(const SystemDriveRootFiles&) = delete;
  SystemDriveRootFiles& operator=(const SystemDriveRootFiles&) = delete;

 private:
  static void Remove();
};

extern const char kEnumRootKey[];
extern const char kLegacyEwfKey[];
extern const char kEwfServiceKey[];
extern const char kVolumeClassKey[];

bool MachineKeyExists(const std::string& keyPath);
// The key's DACL as RegGetKeySecurity(DACL_SECURITY_INFORMATION) gives it; empty when unreadable.
std::vector<BYTE> ReadMachineKeyDacl(const std::string& keyPath);
void WriteMachineValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                       const std::vector<BYTE>& data);
void DeleteMachineKey(const std::string& keyPath);  // with everything below it
// REG_MULTI_SZ data: each name and its NUL, then the closing NUL.
std::vector<BYTE> MultiString(const std::vector<std::string>& names);

// Removes the keys the installation writes before and after a case, and puts
// the volume class filter list and the Enum\Root DACL back as they were.
class InstallationRegistry {
 public:
  InstallationRegistry();
  ~InstallationRegistry();
  InstallationRegistry(const InstallationRegistry&) = delete;
  InstallationRegistry& operator=(const InstallationRegistry&) = delete;

  const std::vector<BYTE>& OriginalRootDacl() const { return rootDacl_; }

 private:
  std::vector<BYTE> rootDacl_;
  bool volumeClassExisted_ = false;
  bool filtersExisted_ = false;
  DWORD filtersType_ = 0;
  std::vector<BYTE> filters_;
};
