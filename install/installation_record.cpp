#include "install/installation_record.h"

#include <algorithm>

#include "services/files.h"
#include "services/handles.h"
#include "services/key_security.h"
#include "services/registry.h"

namespace {

constexpr DWORD kChunk = 64 * 1024;
constexpr unsigned long long kFnvOffset = 14695981039346656037ull;
constexpr unsigned long long kFnvPrime = 1099511628211ull;

std::string Hex(unsigned long long value) {
  std::string text(16, '0');
  for (size_t i = text.size(); i-- > 0; value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
  return text;
}

unsigned long long Hash(unsigned long long hash, const BYTE* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * kFnvPrime;
  return hash;
}

std::string Digest(unsigned long long length, unsigned long long hash) {
  return Concat({Hex(length), "-", Hex(hash)});
}

// A decimal number; INVALID_FILE_ATTRIBUTES for anything else.
DWORD Number(const std::string& text) {
  DWORD number = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || number > 0x0FFFFFFF) return INVALID_FILE_ATTRIBUTES;
    number = number * 10 + static_cast<DWORD>(c - '0');
  }
  return text.empty() ? INVALID_FILE_ATTRIBUTES : number;
}

const char* Flag(bool value) {
  return value ? "1" : "0";
}

// "name=value" lines. A file's entry starts with "File=<digest> <path>" (a
// digest has no space, a path may); the lines after it, up to the next
// file, are about it.
std::vector<std::string> Lines(const InstallationRecord& record) {
  std::vector<std::string> lines;
  for (const PlacedFileRecord& file : record.Files) {
    lines.push_back(Concat({"File=", file.Digest, " ", file.Path}));
    if (!file.Before.empty()) lines.push_back("Before=" + file.Before);
    if (!file.Backup.empty()) lines.push_back("Backup=" + file.Backup);
    if (file.BackupMade) lines.push_back("BackupMade=1");
    if (file.Attributes != INVALID_FILE_ATTRIBUTES) lines.push_back("Attributes=" + std::to_string(file.Attributes));
  }
  lines.push_back(Concat({"AddedVolSnap=", Flag(record.AddedVolSnap)}));
  lines.push_back(Concat({"CreatedUpperFilters=", Flag(record.CreatedFilterList)}));
  for (const std::string& step : record.Done) lines.push_back("Done=" + step);
  return lines;
}

// Applies one line; false when it is not one a record holds. Also reads the
// lines of the first record format, whose boot loader entry began with
// "BootLoader=<path>".
bool Apply(const std::string& line, InstallationRecord& record) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  const std::string name = line.substr(0, equals);
  const std::string value = line.substr(equals + 1);
  const bool flag = value == "1" || value == "0";
  if (name == "File") {
    const size_t space = value.find(' ');
    if (space == std::string::npos || space == 0 || space + 1 == value.size()) return false;
    record.Files.push_back({value.substr(space + 1), value.substr(0, space)});
    return true;
  }
  if (name == "BootLoader" && !value.empty()) {
    record.Files.push_back({value, ""});
    return true;
  }
  if (name == "AddedVolSnap" && flag) return record.AddedVolSnap = value == "1", true;
  if (name == "CreatedUpperFilters" && flag) return record.CreatedFilterList = value == "1", true;
  if (name == "Done" && !value.empty()) return record.Done.push_back(value), true;
  // The rest is about the file entry before it.
  if (record.Files.empty()) return false;
  PlacedFileRecord& file = record.Files.back();
  if (name == "BootLoaderDigest") return file.Digest = value, true;
  if (name == "Before" || name == "BackupDigest") return file.Before = value, true;
  if (name == "Backup") return file.Backup = value, true;
  if (name == "BackupMade" && flag) return file.BackupMade = value == "1", true;
  if (name == "Attributes" || name == "BootLoaderAttributes") return file.Attributes = Number(value), true;
  return false;
}

PlacedFileRecord* EntryFor(std::vector<PlacedFileRecord>& files, const std::string& path) {
  const auto found = std::find_if(files.begin(), files.end(), [&](const auto& file) { return file.Path == path; });
  return found == files.end() ? nullptr : &*found;
}

// A copy made by an installation, to be deleted while it holds `digest`.
void AddMadeCopy(std::vector<PlacedFileRecord>& files, const std::string& path, const std::string& digest) {
  if (path.empty() || EntryFor(files, path)) return;
  files.push_back({path, digest});
}

}  // namespace

std::string InstallationRecordName() {
  return Concat({"the \"", kInstallationRecordValue, "\" value of ", MachineKeyName(kInstallationRecordKey)});
}

bool InstallationRecord::IsDone(const char* step) const {
  return std::find(Done.begin(), Done.end(), step) != Done.end();
}

std::string DigestOfBytes(const std::vector<BYTE>& bytes) {
  return Digest(bytes.size(), Hash(kFnvOffset, bytes.data(), bytes.size()));
}

FileDigest DigestOfFile(TOs& os, const std::string& path) {
  UniqueFileHandle file(os);
  if (const DWORD error = OpenFileToRead(os, path, &file)) return {"", error};
  std::vector<BYTE> chunk(kChunk);
  unsigned long long hash = kFnvOffset;
  unsigned long long length = 0;
  for (;;) {
    DWORD read = 0;
    if (!os.ReadFile(file.get(), chunk.data(), kChunk, &read, nullptr)) return {"", FailureCode(os)};
    if (read == 0) break;
    length += read;
    hash = Hash(hash, chunk.data(), read);
  }
  return {Digest(length, hash), 0};
}

RecordRead ReadInstallationRecord(TOs& os) {
  UniqueKey key(os);
  LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallationRecordKey, 0, KEY_QUERY_VALUE, key.put());
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (error == ERROR_SUCCESS) error = ReadRegistryValue(os, key.get(), kInstallationRecordValue, &type, &data);
  if (error == ERROR_FILE_NOT_FOUND) return {false, 0, {}};
  if (error != ERROR_SUCCESS) return {false, error, {}};
  if (type != REG_MULTI_SZ) return {false, ERROR_INVALID_DATA, {}};
  RecordRead read{true, 0, {}};
  bool understood = false;
  std::string line;
  data.push_back(0);
  for (BYTE character : data) {
    if (character != 0) {
      line += static_cast<char>(character);
    } else if (!line.empty()) {
      understood = Apply(line, read.Record) || understood;
      line.clear();
    }
  }
  if (!understood) return {false, ERROR_INVALID_DATA, {}};
  return read;
}

InstallationRecord MergeRecords(const InstallationRecord& earlier, const InstallationRecord& now) {
  InstallationRecord merged = earlier;
  for (const PlacedFileRecord& file : now.Files) {
    PlacedFileRecord* known = EntryFor(merged.Files, file.Path);
    if (!known) {
      merged.Files.push_back(file);
    } else if (!known->Digest.empty() && file.Before == known->Digest) {
      // Replacing what an earlier run placed: the bytes from before that run
      // are the ones to put back, and this run's copy of its file goes.
      known->Digest = file.Digest;
      if (file.BackupMade) AddMadeCopy(merged.Files, file.Backup, file.Before);
    } else if (file.Digest == known->Digest && file.Before == known->Before && file.Backup == known->Backup) {
      known->BackupMade = known->BackupMade || file.BackupMade;  // an earlier run cut short
    } else {
      // Changed by someone else in between: this run's facts hold, and the
      // copy the earlier run made is its own to delete.
      const PlacedFileRecord earlierFile = *known;
      *known = file;
      if (earlierFile.BackupMade) AddMadeCopy(merged.Files, earlierFile.Backup, earlierFile.Before);
    }
  }
  merged.AddedVolSnap = earlier.AddedVolSnap || now.AddedVolSnap;
  merged.CreatedFilterList = earlier.CreatedFilterList || now.CreatedFilterList;
  for (const std::string& step : now.Done) {
    if (!merged.IsDone(step.c_str())) merged.Done.push_back(step);
  }
  return merged;
}

bool WriteInstallationRecord(TOs& os, const InstallationRecord& record, TStepLog& log, bool noneRead) {
  std::vector<BYTE> data;
  for (const std::string& line : Lines(record)) {
    data.insert(data.end(), line.begin(), line.end());
    data.push_back(0);
  }
  data.push_back(0);
  // Nothing inherited from SOFTWARE, where users may write.
  std::vector<BYTE> security = AdministratorsOnlyKeySecurity();
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), security.data(), FALSE};
  UniqueKey key(os);
  DWORD disposition = REG_CREATED_NEW_KEY;
  LONG error = os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallationRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, &attributes, key.put(), &disposition);
  if (error == ERROR_SUCCESS && noneRead && disposition == REG_OPENED_EXISTING_KEY) {
    DWORD size = 0;
    if (os.RegQueryValueExA(key.get(), kInstallationRecordValue, nullptr, nullptr, nullptr, &size) !=
        ERROR_FILE_NOT_FOUND) {
      log.Failed(Concat({"The record of an earlier installation, ", InstallationRecordName(),
                         ", could not be read, so it was left as it was."}));
      return false;
    }
  }
  if (error == ERROR_SUCCESS) {
    error = os.RegSetValueExA(key.get(), kInstallationRecordValue, 0, REG_MULTI_SZ, data.data(),
                              static_cast<DWORD>(data.size()));
  }
  if (error == ERROR_SUCCESS) error = os.RegFlushKey(key.get());
  if (error == ERROR_SUCCESS) return true;
  log.Failed(Concat({"Writing the record of this installation, ", InstallationRecordName(), ", failed."}),
             static_cast<DWORD>(error));
  return false;
}

void MarkStepDone(TOs& os, InstallationRecord& record, const char* step, TStepLog& log) {
  if (!record.IsDone(step)) record.Done.push_back(step);
  (void)WriteInstallationRecord(os, record, log);
}

LONG DeleteInstallationRecord(TOs& os) {
  return DeleteKeyTree(os, HKEY_LOCAL_MACHINE, kInstallationRecordKey);
}
