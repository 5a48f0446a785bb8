// What "Install EWF Support" writes besides the driver files (install/driver_checks.h):
// the file it moves aside and the registry entries, in the order it handles them.
#pragma once

#include "install/driver_checks.h"
#include "services/boot_volumes.h"
#include "services/registry.h"

// Renamed when present, after the copies.
struct FileMovedAside {
  InstallFolder Folder;
  const char* Name;
  const char* NewName;
};

inline constexpr FileMovedAside kFilesMovedAside[] = {
    {InstallFolder::Windows, "bootstat.dat", "bootstat.bak"},
};

// The keys the installation creates for the driver, which the removal deletes.
inline constexpr char kEnumRootDeviceKey[] = "\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";
inline constexpr char kServiceKey[] = "\\SYSTEM\\CurrentControlSet\\Services\\ewf";

// The registry entries, all under HKEY_LOCAL_MACHINE. Rows of one key follow
// each other; the key is opened (created when missing) once for them.

// Written while the permissions of Enum\Root are opened up: the only entries
// that need it.
inline constexpr RegistryValueRow kEnumRootEntries[] = {
    {kEnumRootDeviceKey, "NextInstance", REG_DWORD, nullptr, 1},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Service", REG_SZ, "EWF", 0},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Legacy", REG_DWORD, nullptr, 1},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "ConfigFlags", REG_DWORD, nullptr, 0x20},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Class", REG_SZ, "LegacyDriver", 0},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "ClassGUID", REG_SZ,
     "{8ECC055D-047F-11D1-A537-0000F8753ED1}", 0},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "DeviceDesc", REG_SZ, "EWF", 0},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000", "Capabilities", REG_DWORD, nullptr, 0},
    {"\\SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000\\Control", "ActiveService", REG_SZ, "EWF", 0},
};

inline constexpr const char* kProtectedVolumeArcName = "ArcName";

// Written once the permissions are back: the service, then the volume it
// protects. Service codes: normal error control, boot start, kernel driver.
inline constexpr RegistryValueRow kServiceEntries[] = {
    {kServiceKey, "ErrorControl", REG_DWORD, nullptr, 1},
    {kServiceKey, "Group", REG_SZ, "System Bus Extender", 0},
    {kServiceKey, "Start", REG_DWORD, nullptr, 0},
    {kServiceKey, "Type", REG_DWORD, nullptr, 1},
    {"\\SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0", "Type", REG_DWORD, nullptr, 1},
    // The installation writes the partition Windows runs from here; the text
    // is what it falls back to.
    {"\\SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0", kProtectedVolumeArcName, REG_SZ,
     kFirstPartitionArcName, 0},
};

// The switch that puts the driver under every volume, written last of all and
// only when the driver file and every service entry are in place: a filter
// without its driver or service would stop Windows from starting. The write
// filter is merged into the list already there (REG_MULTI_SZ).
inline constexpr const char* kVolumeClassKey =
    "\\SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
inline constexpr const char* kVolumeFiltersValue = "UpperFilters";
