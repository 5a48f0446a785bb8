// What "Install EWF Support" and "Enable HORM" change outside the scratch
// folder: files in the root of the system drive (Wine gives every program the
// test prefix's C:, whatever "SystemDrive" says) and keys under
// HKEY_LOCAL_MACHINE of the test prefix. Helpers to plant, read and put back.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The root of the system drive as the program sees it, with its backslash.
std::string SystemDriveRoot();
// Names of the plain files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);
void WriteWholeFile(const std::string& path, const std::string& content);

// Removes ntldr, its backups, their temporary copies, the ntldr.ewf the
// guide's recovery leaves and resmany.dat from the root of the system drive
// on construction and again on destruction.
class TSystemDriveRootFiles {
 public:
  TSystemDriveRootFiles() { Remove(); }
  ~TSystemDriveRootFiles() { Remove(); }
  TSystemDriveRootFiles(const TSystemDriveRootFiles&) = delete;
  TSystemDriveRootFiles& operator=(const TSystemDriveRootFiles&) = delete;

 private:
  static void Remove();
};

// Holds a file open without sharing, as another program might, until destroyed.
class THeldFile {
 public:
  explicit THeldFile(const std::string& path);
  ~THeldFile();
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;

 private:
  HANDLE File_;
};

// Whether writing to a read-only file is refused here. Wine running as root
// writes it all the same: root passes the Unix permission check that stands
// for the attribute.
bool ReadOnlyFilesRefuseWrites();

extern const char kEnumRootKey[];
extern const char kLegacyEwfKey[];
extern const char kEwfServiceKey[];
extern const char kVolumeClassKey[];
extern const char kInstallationRecordKey[];

bool MachineKeyExists(const std::string& keyPath);
// The key's DACL as RegGetKeySecurity(DACL_SECURITY_INFORMATION) gives it; empty when unreadable.
std::vector<BYTE> ReadMachineKeyDacl(const std::string& keyPath);
void WriteMachineValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                       const std::vector<BYTE>& data);
void DeleteMachineKey(const std::string& keyPath);  // with everything below it
// Every key and value below the key (the key included), as "path" and
// "path [value]" -> type and data; Enum\Root's DACL is read apart.
std::map<std::string, std::string> DumpMachineKey(const std::string& keyPath);
// REG_MULTI_SZ data: each name and its NUL, then the closing NUL.
std::vector<BYTE> MultiString(const std::vector<std::string>& names);

// Sets a value under HKEY_LOCAL_MACHINE while it lives, then puts back what
// was there (or removes it).
class TMachineValueSet {
 public:
  TMachineValueSet(const std::string& keyPath, const std::string& valueName, DWORD type, const std::vector<BYTE>& data);
  ~TMachineValueSet();
  TMachineValueSet(const TMachineValueSet&) = delete;
  TMachineValueSet& operator=(const TMachineValueSet&) = delete;

 private:
  std::string KeyPath_;
  std::string ValueName_;
  bool WasPresent_;
  DWORD Type_;
  std::vector<BYTE> Data_;
};

// Gives the key and every key below it to Windows, as its Plug and Play
// manager leaves a loaded driver's device key: owner the System account,
// which has full control, and Everyone read. Nothing puts them back. Wine
// grants WRITE_OWNER for no privilege, so Administrators get it in the DACL,
// standing in for the SeTakeOwnershipPrivilege they hold on Windows.
void GiveMachineKeyToWindows(const std::string& keyPath);

// Gives a key under HKEY_LOCAL_MACHINE the owner and DACL of an SDDL text
// ("O:SYD:(A;;KR;;;WD)...") while it lives; then takes the key back and
// restores both. The DACL must leave Administrators WRITE_OWNER for that.
class TMachineKeySecurity {
 public:
  TMachineKeySecurity(const std::string& keyPath, const char* sddl);
  ~TMachineKeySecurity();
  TMachineKeySecurity(const TMachineKeySecurity&) = delete;
  TMachineKeySecurity& operator=(const TMachineKeySecurity&) = delete;

 private:
  std::string KeyPath_;
  std::vector<BYTE> Original_;  // owner and DACL
};

// Removes the keys the installation writes (its record included) before and after a case, and puts
// the volume class filter list and the Enum\Root DACL back as they were.
class TInstallationRegistry {
 public:
  TInstallationRegistry();
  ~TInstallationRegistry();
  TInstallationRegistry(const TInstallationRegistry&) = delete;
  TInstallationRegistry& operator=(const TInstallationRegistry&) = delete;

  const std::vector<BYTE>& OriginalRootDacl() const { return RootDacl_; }

 private:
  std::vector<BYTE> RootDacl_;
  bool VolumeClassExisted_ = false;
  bool FiltersExisted_ = false;
  DWORD FiltersType_ = 0;
  std::vector<BYTE> Filters_;
};
