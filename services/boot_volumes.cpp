#include "services/boot_volumes.h"

#include <cstring>
#include <vector>

#include "services/ascii_text.h"
#include "services/concat.h"
#include "services/handles.h"
#include "services/registry.h"
#include "services/step_failure.h"

namespace {

// The longest ARC or device name understood, in characters: far beyond what
// Windows writes to the two values.
constexpr DWORD kLongestName = 256;
// How much of a value not understood its message shows.
constexpr size_t kShownCharacters = 80;

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    default:
      return "type " + DecimalText(type);
  }
}

// The data in quotes, so that a stray space shows; bytes that are not
// printable ASCII as \xNN, and a long value cut short with its length.
std::string ShownData(const std::vector<BYTE>& data, size_t length) {
  std::string shown = "\"";
  for (size_t i = 0; i < length && i < kShownCharacters; ++i) {
    const BYTE byte = data[i];
    if (byte >= 0x20 && byte < 0x7F) {
      shown += static_cast<char>(byte);
    } else {
      const char* const digits = "0123456789ABCDEF";
      shown.append("\\x").append(1, digits[byte >> 4]).append(1, digits[byte & 15]);
    }
  }
  shown += '"';
  if (length > kShownCharacters) shown += Concat({"... (", DecimalText(length), " bytes)"});
  return shown;
}

// A device name as Windows writes it: \Device\HarddiskVolume1. No spaces
// or control characters.
bool IsDeviceName(const std::string& text) {
  if (text.empty() || text[0] != '\\') return false;
  for (const char c : text) {
    if (c <= ' ' || c >= 0x7F) return false;
  }
  return true;
}

// What a value that the program reads by name must hold.
struct NameValue {
  const char* KeyPath;
  bool KeyMayBeMissing;  // every Windows has the others
  const char* ValueName;
  bool (*IsName)(const std::string&);
  const char* WhatItNames;  // "the ARC name of a partition"
};

// A step of finding out that Windows refused, and what the user can do.
std::string Unanswered(const std::string& step, DWORD error) {
  return StepFailed(step, error) + "\r\rLog on as an administrator or restart Windows, then try again.";
}

// A REG_SZ under HKEY_LOCAL_MACHINE; empty when it is missing or holds no
// text. A value that holds something else is not ignored: guessing instead
// could put the boot loader where nothing starts from, or protect the wrong
// partition. Then, and when Windows cannot say (other than that it is
// missing), empty too, and `failure` tells why.
std::string ReadMachineName(TOs& os, const NameValue& value, std::string* failure) {
  UniqueKey key(os);
  const LONG opened = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, value.KeyPath, 0, KEY_QUERY_VALUE, key.put());
  if (opened != ERROR_SUCCESS) {
    if (opened != ERROR_FILE_NOT_FOUND || !value.KeyMayBeMissing) {
      *failure = Unanswered("Opening the registry key " + MachineKeyName(value.KeyPath), opened);
    }
    return {};
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  const LONG read = ReadRegistryValue(os, key.get(), value.ValueName, &type, &data);
  const std::string valueText = Concat({"the \"", value.ValueName, "\" value of ", MachineKeyName(value.KeyPath)});
  if (read != ERROR_SUCCESS) {
    if (read != ERROR_FILE_NOT_FOUND) *failure = Unanswered("Reading " + valueText, read);
    return {};
  }
  // Stored with or without its NUL.
  size_t length = data.size();
  while (length > 0 && data[length - 1] == 0) --length;
  if (type == REG_SZ && length == 0) return {};
  std::string name(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
  if (type != REG_SZ || length > kLongestName || !value.IsName(name)) {
    const char* const advice =
        ".\r\rWindows writes this value as it starts: restart Windows, then try again.  If it still holds the "
        "same, ask your administrator to correct it.";
    *failure = Concat({"Windows records ", valueText, " as ", ShownData(data, length), " (", TypeName(type),
                       "), which is not ", value.WhatItNames, advice});
    return {};
  }
  return name;
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
  if (!StartsWithIgnoringCase(at, name) || at[length] != '(') return false;
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

std::string FindProtectedArcName(TOs& os, std::string* failure) {
  const std::string arcName = ReadMachineName(os,
                                              {"SYSTEM\\CurrentControlSet\\Control", false, "SystemBootDevice",
                                               IsPartitionArcName, "the ARC name of a partition"},
                                              failure);
  return arcName.empty() ? kFirstPartitionArcName : arcName;
}

namespace {

// What the drive letter ("D:") stands for now: the first name of its list.
// ERROR_SUCCESS, or why Windows cannot say (`target` left as it was).
[[nodiscard]] DWORD DriveTarget(TOs& os, const char* drive, std::string* target) {
  // Room for the longest name understood and the list's two NULs; a letter
  // with a longer list (a subst'ed folder deep down) is asked again with room
  // for any.
  for (const DWORD size : {kLongestName + 2, DWORD{65536}}) {
    std::vector<char> buffer(size);
    if (os.QueryDosDeviceA(drive, buffer.data(), size)) {
      *target = buffer.data();
      return ERROR_SUCCESS;
    }
    const DWORD error = FailureCode(os);
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

std::string FindBootLoaderFolder(TOs& os, const std::string& systemDriveFolder, std::string* unmappedDevice,
                                 std::string* failure) {
  const std::string device =
      ReadMachineName(os, {"SYSTEM\\Setup", true, "SystemPartition", IsDeviceName, "the name of a device"}, failure);
  if (device.empty()) return systemDriveFolder;
  std::string unanswered;
  char drive[] = "A:\\";
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    drive[0] = letter;
    drive[2] = '\0';
    std::string target;
    const DWORD error = DriveTarget(os, drive, &target);
    if (error == ERROR_SUCCESS) {
      drive[2] = '\\';
      if (SameTextIgnoringCase(target, device)) return drive;
    } else if (error != ERROR_FILE_NOT_FOUND && unanswered.empty()) {
      unanswered = Unanswered(Concat({"Finding out what the drive letter ", drive, " stands for"}), error);
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

BootVolumes FindBootVolumes(TOs& os, const std::string& systemDriveFolder) {
  BootVolumes volumes;
  volumes.BootLoaderFolder = FindBootLoaderFolder(os, systemDriveFolder, &volumes.UnmappedDevice, &volumes.Failure);
  if (volumes.Failure.empty()) volumes.ProtectedArcName = FindProtectedArcName(os, &volumes.Failure);
  volumes.UsualLayout = SameTextIgnoringCase(volumes.BootLoaderFolder, systemDriveFolder) &&
                        SameTextIgnoringCase(volumes.ProtectedArcName, kFirstPartitionArcName);
  return volumes;
}
