#include "services/boot_volumes.h"

#include <cstring>
#include <vector>

#include "services/handles.h"
#include "services/registry.h"

namespace {

// Longer than any ARC or device name the two values can hold.
constexpr DWORD kLongestName = 256;

// A REG_SZ under HKEY_LOCAL_MACHINE up to its first NUL; empty when it is
// missing, of another type, or too long to be a name. When Windows cannot
// say (other than that it is missing, and for a key that every Windows has,
// even that), empty too, and `failure` tells why.
std::string ReadMachineName(Os& os, const char* keyPath, bool keyMayBeMissing, const char* valueName,
                            std::string* failure) {
  UniqueKey key(os);
  const LONG opened = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, key.put());
  if (opened != ERROR_SUCCESS) {
    if (opened != ERROR_FILE_NOT_FOUND || !keyMayBeMissing) {
      *failure = "Opening the registry key " + MachineKeyName(keyPath) + " failed.  Error " + std::to_string(opened);
    }
    return {};
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  const LONG read = ReadRegistryValue(os, key.get(), valueName, &type, &data);
  if (read != ERROR_SUCCESS) {
    if (read != ERROR_FILE_NOT_FOUND) {
      *failure = "Reading the \"" + std::string(valueName) + "\" value of " + MachineKeyName(keyPath) +
                 " failed.  Error " + std::to_string(read);
    }
    return {};
  }
  if (type != REG_SZ || data.size() > kLongestName) return {};
  // Stored with or without its NUL.
  const std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

// ARC and device names are plain ASCII, whatever the code page.
char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The digit's value in the base (10 or 16), or -1.
int DigitValue(char c, int base) {
  const char lower = AsciiLower(c);
  if (lower >= '0' && lower <= '9') return lower - '0';
  if (base == 16 && lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Reads "name(number)" at `at`: at most 8 digits in the given base.
bool ReadComponent(const std::string& text, size_t& at, const char* name, int base, unsigned long* number) {
  const size_t length = std::strlen(name);
  if (!SameText(text.substr(at, length), name) || text.compare(at + length, 1, "(") != 0) return false;
  const size_t digits = at + length + 1;
  size_t end = digits;
  *number = 0;
  for (; end < text.size() && end - digits < 8 && DigitValue(text[end], base) >= 0; ++end) {
    *number = *number * base + DigitValue(text[end], base);
  }
  if (end == digits || text.compare(end, 1, ")") != 0) return false;
  at = end + 1;
  return true;
}

}  // namespace

bool IsPartitionArcName(const std::string& text) {
  size_t at = 0;
  unsigned long number = 0;
  if (!ReadComponent(text, at, "multi", 10, &number) && !ReadComponent(text, at, "scsi", 10, &number) &&
      !ReadComponent(text, at, "signature", 16, &number)) {
    return false;
  }
  // Partition 0 is the whole disk, not a volume.
  return ReadComponent(text, at, "disk", 10, &number) && ReadComponent(text, at, "rdisk", 10, &number) &&
         ReadComponent(text, at, "partition", 10, &number) && number >= 1 && at == text.size();
}

std::string FindProtectedArcName(Os& os, std::string* failure) {
  const std::string arcName =
      ReadMachineName(os, "SYSTEM\\CurrentControlSet\\Control", false, "SystemBootDevice", failure);
  return IsPartitionArcName(arcName) ? arcName : kFirstPartitionArcName;
}

namespace {

// The folder and, when SystemPartition names a device no drive letter stands
// for, that device.
std::string BootLoaderFolder(Os& os, const std::string& systemDriveFolder, std::string* unmappedDevice,
                             std::string* failure) {
  const std::string device = ReadMachineName(os, "SYSTEM\\Setup", true, "SystemPartition", failure);
  if (device.empty()) return systemDriveFolder;
  std::string unanswered;
  char drive[] = "A:";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    drive[0] = letter;
    char target[kLongestName];
    // The first name is what the letter stands for now.
    if (os.QueryDosDeviceA(drive, target, sizeof target)) {
      if (SameText(target, device)) return std::string(drive) + "\\";
    } else if (const DWORD error = os.GetLastError(); error != ERROR_FILE_NOT_FOUND && unanswered.empty()) {
      unanswered = "Finding out what the drive letter " + std::string(drive) + " stands for failed.  Error " +
                   std::to_string(error);
    }
  }
  // A letter that could not be asked may be the one.
  if (!unanswered.empty()) {
    *failure = unanswered;
  } else {
    *unmappedDevice = device;
  }
  return systemDriveFolder;
}

}  // namespace

std::string FindBootLoaderFolder(Os& os, const std::string& systemDriveFolder, std::string* failure) {
  std::string unmappedDevice;
  return BootLoaderFolder(os, systemDriveFolder, &unmappedDevice, failure);
}

BootVolumes FindBootVolumes(Os& os, const std::string& systemDriveFolder) {
  BootVolumes volumes;
  std::string unmappedDevice;
  volumes.BootLoaderFolder = BootLoaderFolder(os, systemDriveFolder, &unmappedDevice, &volumes.Failure);
  if (!volumes.Failure.empty()) return volumes;
  volumes.ProtectedArcName = FindProtectedArcName(os, &volumes.Failure);
  if (!volumes.Failure.empty()) return volumes;
  if (!SameText(volumes.BootLoaderFolder, systemDriveFolder) ||
      !SameText(volumes.ProtectedArcName, kFirstPartitionArcName)) {
    volumes.Note =
        "This computer's partitions are not laid out in the usual way, so:\r"
        "The new boot loader was placed in the root of the partition the computer starts from: " +
        volumes.BootLoaderFolder +
        "\r"
        "The write filter will protect the partition Windows runs from: " +
        volumes.ProtectedArcName;
  }
  if (!unmappedDevice.empty()) {
    if (!volumes.Note.empty()) volumes.Note += "\r\r";
    volumes.Note += "Windows names " + unmappedDevice +
                    " as the partition this computer starts from, but no drive letter stands for it.\r"
                    "The new boot loader was placed in " +
                    volumes.BootLoaderFolder +
                    " instead, where it may not be used: give that partition a drive letter and install again.";
  }
  return volumes;
}
