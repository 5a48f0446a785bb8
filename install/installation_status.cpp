#include "install/installation_status.h"

#include <cstring>
#include <optional>
#include <span>

#include "install/driver_checks.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "services/ascii_text.h"
#include "services/boot_volumes.h"
#include "services/concat.h"
#include "services/files.h"
#include "services/registry.h"
#include "services/step_failure.h"

namespace {

const char kInstallAgain[] = "  Click Install EWF Support again.";
const char kIfWindowsDoesNotStart[] = ", as the guide says under IF WINDOWS DOES NOT START.";

// One line, its parts put together once.
StatusCheck Line(CheckOutcome outcome, std::initializer_list<TextPart> parts) {
  return {outcome, Concat(parts)};
}
// A check that could not be made: the sentence and the Windows error.
StatusCheck NotMade(std::initializer_list<TextPart> sentence, DWORD error) {
  return {CheckOutcome::Unknown, WithErrorCode(Concat(sentence), error)};
}
// A file or value that could not be read.
StatusCheck Unreadable(const std::string& what, DWORD error) {
  return NotMade({what, " could not be read."}, error);
}

struct ValueRead {
  LONG Error;  // of opening the key or reading the value
  DWORD Type;
  std::vector<BYTE> Data;
};

// A value of a key of the tables ("\A\B"); ERROR_FILE_NOT_FOUND when the key
// or the value is missing.
ValueRead ReadMachineValue(TOs& os, const char* path, const char* name) {
  ValueRead read{0, REG_NONE, {}};
  UniqueKey key(os);
  read.Error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BelowRoot(path), 0, KEY_QUERY_VALUE, key.put());
  if (!read.Error) read.Error = ReadRegistryValue(os, key.get(), name, &read.Type, &read.Data);
  return read;
}

bool MachineKeyExists(TOs& os, const char* path) {
  UniqueKey key(os);
  return os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BelowRoot(path), 0, KEY_QUERY_VALUE, key.put()) == 0;
}

std::string TextOf(const ValueRead& read) {
  std::string text(read.Data.begin(), read.Data.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool IsNumber(const ValueRead& read) {
  return read.Type == REG_DWORD && read.Data.size() == 4;
}
DWORD NumberOf(const ValueRead& read) {
  const std::vector<BYTE>& data = read.Data;
  return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
}

// What a value holds, as the user reads it: 0, "System Bus Extender".
std::string Shown(const ValueRead& read) {
  if (IsNumber(read)) return DecimalText(NumberOf(read));
  if (read.Type == REG_SZ || read.Type == REG_EXPAND_SZ) return Concat({"\"", TextOf(read), "\""});
  return "of another type";
}

std::string Expected(const RegistryValueRow& row) {
  return row.Type == REG_DWORD ? DecimalText(row.Number) : Concat({"\"", row.Text, "\""});
}

// The rows of one or more keys as the installation wrote them; the first
// that is not, or cannot be read, is the answer. The protected volume's
// name is checked on its own.
StatusCheck CheckRows(TOs& os, std::span<const RegistryValueRow> rows) {
  for (const RegistryValueRow& row : rows) {
    if (std::strcmp(row.ValueName, kProtectedVolumeArcName) == 0) continue;
    const std::string key = MachineKeyName(row.Key);
    if (!MachineKeyExists(os, row.Key)) {
      return Line(CheckOutcome::Wrong, {"The registry key ", key, " is missing.", kInstallAgain});
    }
    const ValueRead read = ReadMachineValue(os, row.Key, row.ValueName);
    const std::string value = Concat({"The \"", row.ValueName, "\" value of ", key});
    if (read.Error == ERROR_FILE_NOT_FOUND) return Line(CheckOutcome::Wrong, {value, " is missing.", kInstallAgain});
    if (read.Error) return Unreadable(value, static_cast<DWORD>(read.Error));
    const bool matches = row.Type == REG_DWORD ? IsNumber(read) && NumberOf(read) == row.Number
                                               : read.Type == REG_SZ && SameTextIgnoringCase(TextOf(read), row.Text);
    if (!matches) {
      return Line(CheckOutcome::Wrong, {value, " is ", Shown(read), ", not ", Expected(row),
                                        " as the installation wrote it.", kInstallAgain});
    }
  }
  return Line(CheckOutcome::Ok,
              {"The registry key ", MachineKeyName(rows.front().Key), " is as the installation wrote it."});
}

// The rows of the service key, which come first in its table.
std::span<const RegistryValueRow> ServiceRows() {
  size_t count = 0;
  while (std::strcmp(kServiceEntries[count].Key, kServiceKey) == 0) ++count;
  return std::span(kServiceEntries).first(count);
}

// The volume the filter protects, as the installation wrote it and still
// the partition Windows runs from.
StatusCheck CheckProtectedVolume(TOs& os, const std::string& drive) {
  const std::span<const RegistryValueRow> rows = std::span(kServiceEntries).subspan(ServiceRows().size());
  StatusCheck check = CheckRows(os, rows);
  if (check.Outcome != CheckOutcome::Ok) return check;
  const char* key = rows.front().Key;
  const ValueRead read = ReadMachineValue(os, key, kProtectedVolumeArcName);
  const std::string value = Concat({"The \"", kProtectedVolumeArcName, "\" value of ", MachineKeyName(key)});
  if (read.Error == ERROR_FILE_NOT_FOUND) return Line(CheckOutcome::Wrong, {value, " is missing.", kInstallAgain});
  if (read.Error) return Unreadable(value, static_cast<DWORD>(read.Error));
  std::string failure;
  const std::string windows = FindProtectedArcName(os, &failure);
  if (!failure.empty()) {
    return Line(CheckOutcome::Unknown, {"Which partition Windows runs from could not be found out, so the partition "
                                        "the write filter protects cannot be checked: ",
                                        failure});
  }
  // The ARC name is what Windows and the filter use; the letter is what the user knows.
  const std::string lettered = Concat({windows, " (drive ", drive, ")"});
  if (read.Type != REG_SZ || !SameTextIgnoringCase(TextOf(read), windows)) {
    return Line(CheckOutcome::Wrong,
                {"The write filter protects ", Shown(read), ", but Windows runs from ", lettered, ".", kInstallAgain});
  }
  return Line(CheckOutcome::Ok, {"The write filter protects ", lettered, ", the partition Windows runs from."});
}

StatusCheck CheckFilterList(TOs& os) {
  const ValueRead read = ReadMachineValue(os, kVolumeClassKey, kVolumeFiltersValue);
  const std::string value = Concat({"the \"", kVolumeFiltersValue, "\" value of ", MachineKeyName(kVolumeClassKey)});
  if (read.Error && read.Error != ERROR_FILE_NOT_FOUND) {
    return NotMade({"Reading ", value, " failed."}, static_cast<DWORD>(read.Error));
  }
  if (read.Error || !ListsWriteFilter(read.Type, read.Data)) {
    return Line(CheckOutcome::Wrong, {"Ewf is not in ", value, ", so the write filter does not start with Windows.",
                                      "  Click Install EWF Support again: the other filters stay."});
  }
  return Line(CheckOutcome::Ok, {"Ewf is in ", value, "."});
}

// A file there or not, or why that is not known.
std::optional<StatusCheck> CheckPresent(TOs& os, const std::string& path, TextPart missing) {
  const FileLookup found = LookForFile(os, path);
  if (found.Error) return Unreadable(path, found.Error);
  if (!found.Present) return Line(CheckOutcome::Wrong, {path, missing});
  return std::nullopt;
}

// A file the installation placed: there, whole and of an accepted version,
// as Install would find it.
StatusCheck CheckDriverFile(TOs& os, TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file) {
  const InstalledCopy installed = ExamineInstalledCopy(os, FileVersionInfo, path, file, AcceptedVersions{});
  if (installed.LookUpError) return Unreadable(path, installed.LookUpError);
  if (!installed.Present) return Line(CheckOutcome::Wrong, {path, " is missing.", kInstallAgain});
  if (installed.ReadError) return Unreadable(path, installed.ReadError);
  if (!installed.Problem.empty()) {
    return Line(CheckOutcome::Wrong, {path, " cannot be used: ", installed.Problem,
                                      ".  Click Install EWF Support again: it keeps this file aside and puts a "
                                      "whole copy in its place."});
  }
  FileVersionInfo.SetFileName(path);
  if (!FileVersionInfo.HasVersionData()) {
    return Line(CheckOutcome::Ok, {path, " is in place and whole; the file does not say which version it is."});
  }
  return Line(CheckOutcome::Ok,
              {path, " is in place and whole, version ", FormatFileVersion(FileVersionInfo.GetFileVersion()), "."});
}

// The boot loader the record names, and the backup of the one it replaced,
// against the digests the record keeps.
StatusCheck CheckRecordedFile(TOs& os, const std::string& path, const std::string& digest, bool loader) {
  const char* const missing =
      loader ? " is missing, and the computer cannot start without it: put it back before you restart"
             : ", the copy of the earlier boot loader, is missing, so Remove EWF Support cannot put that loader "
               "back.  Keep a copy of it at hand";
  if (auto answer = CheckPresent(os, path, Concat({missing, kIfWindowsDoesNotStart}))) return *answer;
  const FileDigest now = DigestOfFile(os, path);
  if (now.Error) return Unreadable(path, now.Error);
  if (now.Digest == digest) {
    return Line(CheckOutcome::Ok,
                {path, loader ? " is the ewfntldr that was installed."
                              : " holds the earlier boot loader, as when EWF support was installed."});
  }
  if (loader) {
    return Line(CheckOutcome::Wrong, {path,
                                      " is not the ewfntldr that was installed: another program or a service pack has "
                                      "replaced it, and HORM cannot resume without it.",
                                      kInstallAgain});
  }
  return Line(CheckOutcome::Wrong, {path,
                                    ", the copy of the earlier boot loader, has changed since EWF support was "
                                    "installed, so Remove EWF Support will not put it back."});
}

StatusCheck CheckRecord(const RecordRead& read) {
  const std::string record = Concat({"The record of the installation, the \"", kInstallationRecordValue, "\" value of ",
                                     MachineKeyName(kInstallationRecordKey)});
  if (read.Error) {
    const bool foreign = read.Error == ERROR_INVALID_DATA;
    return {foreign ? CheckOutcome::Wrong : CheckOutcome::Unknown,
            Concat({WithErrorCode(Concat({record, ", could not be read."}), static_cast<DWORD>(read.Error)),
                    foreign ? "  It is not of the kind Stillvane writes, so Remove EWF Support cannot use it."
                            : "  Log on as an administrator to check it."})};
  }
  if (!read.Present) {
    return Line(CheckOutcome::Unknown,
                {record, ", is not there, as when EWF support was installed by hand or by an older Stillvane."});
  }
  return Line(CheckOutcome::Ok, {record, ", is there."});
}

}  // namespace

InstallationStatus CheckInstallation(TOs& os, TVersionInfo& FileVersionInfo, const std::string& windowsFolder) {
  InstallationStatus status;
  const RecordRead read = ReadInstallationRecord(os);
  const StatusCheck filterList = CheckFilterList(os);
  status.Installed = read.Present || read.Error || MachineKeyExists(os, kServiceKey) ||
                     MachineKeyExists(os, kEnumRootEntries[0].Key) || filterList.Outcome == CheckOutcome::Ok;
  if (!status.Installed) return status;

  std::vector<StatusCheck>& checks = status.Checks;
  checks.push_back(CheckRecord(read));
  for (const DriverFile& file : kDriverFiles) {
    if (file.Folder != InstallFolder::Windows) continue;
    checks.push_back(CheckDriverFile(os, FileVersionInfo, windowsFolder + file.Target, file));
  }
  // The record's entry for the boot loader: the file placed as ntldr.
  const PlacedFileRecord* loader = nullptr;
  for (const PlacedFileRecord& file : read.Record.Files) {
    const size_t name = file.Path.rfind('\\');
    if (name != std::string::npos &&
        SameTextIgnoringCase(std::string_view(file.Path).substr(name + 1), kBootLoaderFile.Target)) {
      loader = &file;
    }
  }
  if (read.Present && loader) {
    checks.push_back(CheckRecordedFile(os, loader->Path, loader->Digest, true));
    if (!loader->Backup.empty()) checks.push_back(CheckRecordedFile(os, loader->Backup, loader->Before, false));
  } else {
    checks.push_back({CheckOutcome::Unknown,
                      "There is no record of the boot loader the installation placed, so it cannot be checked."});
  }
  checks.push_back(CheckRows(os, ServiceRows()));
  checks.push_back(CheckRows(os, kEnumRootEntries));
  checks.push_back(CheckProtectedVolume(os, windowsFolder.substr(0, 2)));
  checks.push_back(filterList);
  return status;
}

void MarkThisStart(TOs& os) {
  UniqueKey key(os);
  (void)os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kThisStartKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_QUERY_VALUE, nullptr,
                           key.put(), nullptr);
}

bool MarkedThisStart(TOs& os) {
  return MachineKeyExists(os, kThisStartKey);
}
