// Where this computer starts from and which partition Windows runs from.
// They need not be the first partition of the first disk, nor the same one:
// OEM machines often keep a utility partition first, and the active
// partition that holds ntldr and boot.ini (C:) may not be the one holding
// Windows (D:). Windows records both when it starts.
#pragma once

#include <string>

#include "services/os.h"

// What the machine gives no better answer than.
inline constexpr char kFirstPartitionArcName[] = "multi(0)disk(0)rdisk(0)partition(1)";

struct BootVolumes {
  // The root of the partition the computer starts from (ntldr, boot.ini,
  // resmany.dat), ending with a backslash.
  std::string BootLoaderFolder;
  // The ARC name of the partition Windows runs from: what the write filter protects.
  std::string ProtectedArcName;
  // For the completion message: both named, when either differs from the
  // usual layout (%SystemDrive% and the first partition), and a system
  // partition without a drive letter; else empty.
  std::string Note;
  // When Windows could not say (a read that failed other than with "not
  // found"): the step and its error code, in the user's words. The other
  // members are then not to be relied on.
  std::string Failure;
};

// Whether the text is an ARC name of one partition: multi(n), scsi(n) or
// signature(hex), then disk(n)rdisk(n)partition(n) with n of at least 1.
bool IsPartitionArcName(const std::string& text);

// SystemBootDevice under HKLM\SYSTEM\CurrentControlSet\Control when it holds
// a partition's ARC name; else kFirstPartitionArcName. Not finding out is
// not finding: then `failure` is set as in BootVolumes.
std::string FindProtectedArcName(Os& os, std::string* failure);
// The drive letter whose device is SystemPartition under HKLM\SYSTEM\Setup,
// as "D:\"; else systemDriveFolder, with `failure` set when Windows could
// not say.
std::string FindBootLoaderFolder(Os& os, const std::string& systemDriveFolder, std::string* failure);
BootVolumes FindBootVolumes(Os& os, const std::string& systemDriveFolder);
