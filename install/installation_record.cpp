#include "install/installation_record.h"

#include <algorithm>
#include <bit>
#include <iterator>

#include "install/replace_protocol.h"
#include "services/concat.h"
#include "services/files.h"
#include "services/handles.h"
#include "services/key_security.h"
#include "services/registry.h"

namespace {

constexpr DWORD kChunk = 64 * 1024;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned long long kFnvOffset = 14695981039346656037ull;
constexpr unsigned long long kFnvPrime = 1099511628211ull;

std::string Hex(unsigned long long value) {
  std::string text(16, '0');
  for (size_t i = text.size(); i-- > 0; value >>= 4) text[i] = kHexDigits[value & 0xF];
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

// The record, as written and as read: "name=value" lines, each ended by a
// NUL, and one more NUL at the end. Read strictly: a line that is not of this
// grammar, a value of the wrong form, a detail with no entry before it, a
// detail or an entry twice, a state line out of its order, an empty line or
// anything after the final NUL, and the record is not read at all.
//
//   record = entry* "AddedVolSnap=" flag ["CreatedUpperFilters=" flag] ("Done=" step)*
//   entry  = ("File=" digest " " path | "BootLoader=" path) detail*
//   detail = ("Before=" | "BackupDigest=") digest? | "Backup=" backup?
//          | "BackupMade=" flag | ("Attributes=" | "BootLoaderAttributes=") number
//          | "Also=" digest? | "BootLoaderDigest=" digest?   (each at most once)
//   digest = 16 hex "-" 16 hex (length and FNV-1a 64, upper case)
//   flag   = "0" | "1"
//   number = decimal digits;  step = "Files" | "EnumRoot" | "Service" | "UpperFilters"
//   backup = the entry's path + ".bak" or ".bak.N" (BackupName), never an
//            entry's path nor another entry's backup; no path is two entries';
//            no entry's Before is its own digest.
//
// "BootLoader=", "BootLoaderDigest=", "BackupDigest=" and
// "BootLoaderAttributes=" are read from the first records only.
std::string RecordData(const InstallationRecord& record) {
  std::string data;
  const auto line = [&data](std::initializer_list<TextPart> parts) {
    for (const TextPart& part : parts) data += part.Text;
    data += '\0';
  };
  for (const PlacedFileRecord& file : record.Files) {
    line({"File=", file.Digest, " ", file.Path});
    if (!file.Before.empty()) line({"Before=", file.Before});
    if (!file.Backup.empty()) line({"Backup=", file.Backup});
    if (file.BackupMade) line({"BackupMade=1"});
    if (file.Attributes != INVALID_FILE_ATTRIBUTES) line({"Attributes=", DecimalText(file.Attributes)});
    if (!file.Also.empty()) line({"Also=", file.Also});
  }
  line({"AddedVolSnap=", Flag(record.AddedVolSnap)});
  line({"CreatedUpperFilters=", Flag(record.CreatedFilterList)});
  for (const std::string& step : record.Done) line({"Done=", step});
  data += '\0';
  return data;
}

bool IsDigest(const std::string& text) {
  if (text.size() != 33) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 16 ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

struct Reading {
  InstallationRecord Record;
  unsigned Filled = 0;  // the details the last entry has had, as bits
  size_t Stage = 0;     // 0 while entries may come; then the state line last read
};

constexpr const char* kStateLines[] = {"AddedVolSnap", "CreatedUpperFilters", "Done"};
constexpr const char* kSteps[] = {kFilesStep, kEnumRootStep, kServiceStep, kFilterListStep};

bool ApplyState(size_t stage, const std::string& value, InstallationRecord& record) {
  const bool flag = value == "1" || value == "0";
  switch (stage) {
    case 1:
      return record.AddedVolSnap = value == "1", flag;
    case 2:
      return record.CreatedFilterList = value == "1", flag;
    default:
      for (const char* step : kSteps) {
        if (value == step && !record.IsDone(step)) return record.Done.push_back(value), true;
      }
      return false;
  }
}

// Applies one line; false when it is not of the grammar.
bool Apply(const std::string& line, Reading& reading) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  const std::string name = line.substr(0, equals);
  const std::string value = line.substr(equals + 1);
  InstallationRecord& record = reading.Record;
  if (name == "File" || name == "BootLoader") {
    const size_t space = name == "File" ? value.find(' ') : 0;
    if (reading.Stage != 0 || space == std::string::npos) return false;
    const std::string digest = name == "File" ? value.substr(0, space) : "";
    const std::string path = value.substr(digest.empty() ? 0 : space + 1);
    if ((name == "File" && !IsDigest(digest)) || path.empty()) return false;
    record.Files.push_back({path, digest});
    reading.Filled = digest.empty() ? 0 : 1;
    return true;
  }
  for (size_t stage = 1; stage <= std::size(kStateLines); ++stage) {
    if (name != kStateLines[stage - 1]) continue;
    if (stage < reading.Stage || (stage == reading.Stage && stage != std::size(kStateLines))) return false;
    reading.Stage = stage;
    return ApplyState(stage, value, record);
  }
  // The rest is about the entry before it, each once.
  static constexpr const char* kDetails[] = {"BootLoaderDigest", "Before",     "BackupDigest",         "Backup",
                                             "BackupMade",       "Attributes", "BootLoaderAttributes", "Also"};
  static constexpr unsigned kSlots[] = {1, 2, 2, 4, 8, 16, 16, 32};
  unsigned slot = 0;
  for (size_t i = 0; i < std::size(kDetails); ++i) {
    if (name == kDetails[i]) slot = kSlots[i];
  }
  if (!slot || reading.Stage != 0 || record.Files.empty()) return false;
  if (reading.Filled & slot) return false;
  reading.Filled |= slot;
  PlacedFileRecord& file = record.Files.back();
  std::string* const digests[] = {&file.Digest, &file.Before, nullptr, nullptr, nullptr, &file.Also};
  if (slot == 4) return file.Backup = value, true;
  if (slot == 8) return file.BackupMade = value == "1", value == "1" || value == "0";
  if (slot == 16) return file.Attributes = Number(value), file.Attributes != INVALID_FILE_ATTRIBUTES;
  *digests[std::countr_zero(slot)] = value;
  return value.empty() || IsDigest(value);
}

// No path is two entries', and a backup can only be a backup.
bool PlacesAreDistinct(const std::vector<PlacedFileRecord>& files) {
  for (const PlacedFileRecord& file : files) {
    // Bytes already there are never placed: such an entry would pass the placed file for the one from before.
    if ((!file.Before.empty() && file.Before == file.Digest) ||
        (!file.Backup.empty() && !IsBackupOf(file.Backup, file.Path)))
      return false;
    for (const PlacedFileRecord& other : files) {
      if (&other == &file) continue;
      if (other.Path == file.Path) return false;
      if (!file.Backup.empty() && (other.Path == file.Backup || other.Backup == file.Backup)) return false;
    }
  }
  return true;
}

PlacedFileRecord* EntryFor(std::vector<PlacedFileRecord>& files, const std::string& path) {
  const auto found = std::find_if(files.begin(), files.end(), [&](const auto& file) { return file.Path == path; });
  return found == files.end() ? nullptr : &*found;
}

// A copy made by an installation, to be deleted while it holds `digest`.
void AddMadeCopy(std::vector<PlacedFileRecord>& files, const std::string& path, const std::string& digest) {
  for (const PlacedFileRecord& file : files) {
    if (file.Path == path || file.Backup == path) return;
  }
  if (!path.empty()) files.push_back({path, digest});
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
  // Ends with an empty line, the last NUL; no other line is empty.
  if (type != REG_MULTI_SZ || data.size() < 2 || data.back() != 0) return {false, ERROR_INVALID_DATA, {}};
  Reading reading;
  std::string line;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] != 0) {
      line += static_cast<char>(data[i]);
    } else if (line.empty() || !Apply(line, reading)) {
      return {false, ERROR_INVALID_DATA, {}};
    } else {
      line.clear();
    }
  }
  if (!line.empty() || reading.Stage == 0 || !PlacesAreDistinct(reading.Record.Files))
    return {false, ERROR_INVALID_DATA, {}};
  return {true, 0, reading.Record};
}

InstallationRecord MergeRecords(const InstallationRecord& earlier, const InstallationRecord& now) {
  InstallationRecord merged = earlier;
  for (const PlacedFileRecord& file : now.Files) {
    PlacedFileRecord* known = EntryFor(merged.Files, file.Path);
    if (!known) {
      merged.Files.push_back(file);
    } else if (!known->Digest.empty() &&
               (file.Before == known->Digest || (!known->Also.empty() && file.Before == known->Also)) &&
               file.Backup.empty()) {
      // Replacing what an earlier run placed, whose backup this run found
      // whole: the bytes from before that run are the ones to put back. Until
      // the switch, the file holds what the earlier run placed.
      known->Also = file.Before;
      known->Digest = file.Digest;
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

bool SecureRecordKey(TOs& os, TStepLog& log) {
  UniqueKey key(os);
  LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallationRecordKey, 0, WRITE_DAC | WRITE_OWNER, key.put());
  if (error == ERROR_FILE_NOT_FOUND) return true;
  std::vector<BYTE> security = AdministratorsOnlyKeySecurity();
  if (error == ERROR_SUCCESS) {
    error = os.RegSetKeySecurity(key.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, security.data());
  }
  if (error == ERROR_SUCCESS) return true;
  log.Failed(Concat({"Giving the registry key ", MachineKeyName(kInstallationRecordKey), " its permissions failed."}),
             static_cast<DWORD>(error));
  return false;
}

bool WriteInstallationRecord(TOs& os, const InstallationRecord& record, TStepLog& log, bool noneRead) {
  const std::string data = RecordData(record);
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
    error = os.RegSetValueExA(key.get(), kInstallationRecordValue, 0, REG_MULTI_SZ,
                              reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
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
