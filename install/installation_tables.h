// What "Install EWF Support" puts on the machine: the files it places and the
// registry entries it writes, in the order it handles them.
#pragma once

#include "services/win_types.h"

enum class InstallFolder { Windows, SystemDrive };

struct DriverFileCopy {
  const char* source;  // in the program's folder
  InstallFolder folder;
  const char* target;  // below `folder`
  bool failIfExists;   // an installed copy is never replaced
  const char* backup;  // when set, an existing target is first renamed to this (in `folder`)
};

inline constexpr DriverFileCopy DriverFileCopies[] = {
    {"ewf.sys", InstallFolder::Windows, "system32\\drivers\\ewf.sys", true, nullptr},
    {"ewfmgr.exe", InstallFolder::Windows, "system32\\ewfmgr.exe", true, nullptr},
    {"ewfntldr", InstallFolder::SystemDrive, "ntldr", false, "ntldr.bak"},
};

// The copy whose target must be in place before the driver is registered.
inline constexpr const DriverFileCopy& DriverFileOfService = DriverFileCopies[0];

// Renamed when present, after the copies.
struct FileMovedAside {
  InstallFolder folder;
  const char* name;
  const char* newName;
};

inline constexpr FileMovedAside FilesMovedAside[] = {
    {InstallFolder::Windows, "bootstat.dat", "bootstat.bak"},
};

// One value under HKEY_LOCAL_MACHINE. Rows of one key follow each other; the
// key is opened (created when missing) once for them and closed after them.
struct RegistryEntry {
  const char* key;  // as OpenKey takes it: a leading backslash starts at the root
  const char* valueName;
  DWORD type;  // REG_SZ: `text`, or the protected partition's ARC name when NULL; REG_DWORD: `number`; REG_MULTI_SZ:
               // the volume filter list (UpperFiltersWithEwf)
  const char* text;
  DWORD number;
  const char* onlyAfterKey;  // when set, the key is left alone unless that key was opened in this run
};

inline constexpr const char* EwfServiceKey = "\\SYSTEM\\CurrentControlSet\\Services\\ewf";

inline constexpr RegistryEntry RegistryEntries[] = {
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF", "NextInstance", REG_DWORD, nullptr, 1, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Service", REG_SZ, "EWF", 0, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Legacy", REG_DWORD, nullptr, 1, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "ConfigFlags", REG_DWORD, nullptr, 0x20, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Class", REG_SZ, "LegacyDriver", 0, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "ClassGUID", REG_SZ,
     "{8ECC055D-047F-11D1-A537-0000F8753ED1}", 0, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "DeviceDesc", REG_SZ, "EWF", 0, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Capabilities", REG_DWORD, nullptr, 0, nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000\\Control", "ActiveService", REG_SZ, "EWF", 0, nullptr},
    // Service codes: normal error control, boot start, kernel driver.
    {EwfServiceKey, "ErrorControl", REG_DWORD, nullptr, 1, nullptr},
    {EwfServiceKey, "Group", REG_SZ, "System Bus Extender", 0, nullptr},
    {EwfServiceKey, "Start", REG_DWORD, nullptr, 0, nullptr},
    {EwfServiceKey, "Type", REG_DWORD, nullptr, 1, nullptr},
    // A filter without its service would leave the volumes without a driver.
    {"\\SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}", "UpperFilters",
     REG_MULTI_SZ, nullptr, 0, EwfServiceKey},
    {"\\SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0", "Type", REG_DWORD, nullptr, 1,
     nullptr},
    {"\\SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0", "ArcName", REG_SZ, nullptr, 0,
     nullptr},
};
