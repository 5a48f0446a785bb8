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
  // Whether both are where they usually are: %SystemDrive% and the first partition.
  bool UsualLayout = true;
  // The device Windows names as the partition the computer starts from when
  // no drive letter stands for it (BootLoaderFolder is then %SystemDrive%,
  // which the computer may not start from); else empty.
  std::string UnmappedDevice;
  // When Windows could not say (a read that failed other than with "not
  // found", or a value that holds something other than a name): the step
  // and its error code, or the value and its data and what to do, in the
  // user's words. The other members are then not to be relied on.
  std::string Failure;
};

// Whether the text is an ARC name of one partition: multi(n), scsi(n) or
// signature(hex), then disk(n)rdisk(n)partition(n) with n of at least 1.
bool IsPartitionArcName(const std::string& text);

// SystemBootDevice under HKLM\SYSTEM\CurrentControlSet\Control; when it is
// missing or empty, kFirstPartitionArcName. Not finding out is not finding:
// a read that fails, or a value that is not a partition's ARC name, sets
// `failure` as in BootVolumes.
std::string FindProtectedArcName(TOs& os, std::string* failure);
// The drive letter whose device is SystemPartition under HKLM\SYSTEM\Setup,
// as "D:\"; else systemDriveFolder: when the value is missing or empty, when
// no letter stands for its device (then `unmappedDevice` names it), or with
// `failure` set as above.
std::string FindBootLoaderFolder(TOs& os, const std::string& systemDriveFolder, std::string* unmappedDevice,
                                 std::string* failure);
BootVolumes FindBootVolumes(TOs& os, const std::string& systemDriveFolder);
