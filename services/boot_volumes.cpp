#include "services/boot_volumes.h"

#include <cstring>
#include <vector>

#include "services/handles.h"
#include "services/registry.h"

namespace {

// Longer than any ARC or device name the two values can hold.
constexpr DWORD kLongestName = 256;

// "<step> failed.  Error <code>", as the other messages name a failed step.
std::string Failed(std::string step, DWORD error) {
  step += " failed.  Error ";
  step += std::to_string(error);
  return step;
}

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
      *failure = Failed("Opening the registry key " + MachineKeyName(keyPath), opened);
    }
    return {};
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  const LONG read = ReadRegistryValue(os, key.get(), valueName, &type, &data);
  if (read != ERROR_SUCCESS) {
    if (read != ERROR_FILE_NOT_FOUND) {
      std::string step = "Reading the \"";
      step.append(valueName).append("\" value of ").append(MachineKeyName(keyPath));
      *failure = Failed(std::move(step), read);
    }
    return {};
  }
  if (type != REG_SZ || data.size() > kLongestName) return {};
  data.push_back(0);
  // Stored with or without its NUL.
  return reinterpret_cast<const char*>(data.data());
}

// ARC and device names are plain ASCII, whatever the code page.
char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the first `length` characters of both agree, case aside; stops at
// the first difference, so a shorter text is never read past its end.
bool SameText(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && SameText(a.c_str(), b.c_str(), a.size());
}

// The digit's value in the base (10 or 16), or -1.
int DigitValue(char c, int base) {
  const char lower = AsciiLower(c);
  if (lower >= '0' && lower <= '9') return lower - '0';
  if (base == 16 && lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Reads "name(number)" at `at` and moves past it: at most 8 digits in the base.
bool ReadComponent(const char*& at, const char* name, int base, unsigned long* number) {
  const size_t length = std::strlen(name);
  if (!SameText(at, name, length) || at[length] != '(') return false;
  const char* const digits = at + length + 1;
  const char* end = digits;
  *number = 0;
  for (; end - digits < 8 && DigitValue(*end, base) >= 0; ++end) *number = *number * base + DigitValue(*end, base);
  if (end == digits || *end != ')') return false;
  at = end + 1;
  return true;
}

}  // namespace

bool IsPartitionArcName(const std::string& text) {
  const char* at = text.c_str();
  unsigned long number = 0;
  if (!ReadComponent(at, "multi", 10, &number) && !ReadComponent(at, "scsi", 10, &number) &&
      !ReadComponent(at, "signature", 16, &number)) {
    return false;
  }
  // Partition 0 is the whole disk, not a volume.
  return ReadComponent(at, "disk", 10, &number) && ReadComponent(at, "rdisk", 10, &number) &&
         ReadComponent(at, "partition", 10, &number) && number >= 1 && at == text.c_str() + text.size();
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
  char drive[] = "A:\\";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    drive[0] = letter;
    drive[2] = '\0';
    char target[kLongestName];
    // The first name is what the letter stands for now.
    if (os.QueryDosDeviceA(drive, target, sizeof target)) {
      drive[2] = '\\';
      if (SameText(target, device)) return drive;
    } else if (const DWORD error = os.GetLastError(); error != ERROR_FILE_NOT_FOUND && unanswered.empty()) {
      unanswered = Failed(std::string("Finding out what the drive letter ") + drive + " stands for", error);
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
  if (volumes.Failure.empty()) volumes.ProtectedArcName = FindProtectedArcName(os, &volumes.Failure);
  if (!volumes.Failure.empty()) return volumes;
  std::string& note = volumes.Note;
  if (!SameText(volumes.BootLoaderFolder, systemDriveFolder) ||
      !SameText(volumes.ProtectedArcName, kFirstPartitionArcName)) {
    note.append(
            "This computer's partitions are not laid out in the usual way, so:\r"
            "The new boot loader was placed in the root of the partition the computer starts from: ")
        .append(volumes.BootLoaderFolder)
        .append("\rThe write filter will protect the partition Windows runs from: ")
        .append(volumes.ProtectedArcName);
  }
  if (!unmappedDevice.empty()) {
    if (!note.empty()) note.append("\r\r");
    note.append("Windows names ")
        .append(unmappedDevice)
        .append(
            " as the partition this computer starts from, but no drive letter stands for it.\r"
            "The new boot loader was placed in ")
        .append(volumes.BootLoaderFolder)
        .append(" instead, where it may not be used: give that partition a drive letter and install again.");
  }
  return volumes;
}
