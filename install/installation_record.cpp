#include "install/installation_record.h"

#include "services/files.h"
#include "services/handles.h"
#include "services/registry.h"

namespace {

constexpr DWORD kChunk = 64 * 1024;

std::string Hex(unsigned long long value) {
  std::string text(16, '0');
  for (size_t i = text.size(); i-- > 0; value >>= 4) text[i] = "0123456789ABCDEF"[value & 0xF];
  return text;
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

std::string Line(const char* name, const std::string& value) {
  return Concat({name, "=", value});
}

std::string Flag(bool value) {
  return value ? "1" : "0";
}

// "name=value" lines; a file's line is "File=<digest> <path>" (a digest has
// no space, a path may).
std::vector<std::string> Lines(const InstallationRecord& record) {
  std::vector<std::string> lines;
  if (!record.BootLoader.empty()) {
    lines.push_back(Line("BootLoader", record.BootLoader));
    lines.push_back(Line("BootLoaderDigest", record.BootLoaderDigest));
    lines.push_back(Line("Backup", record.Backup));
    lines.push_back(Line("BackupDigest", record.BackupDigest));
    lines.push_back(Line("BackupMade", Flag(record.BackupMade)));
    lines.push_back(Line("BootLoaderAttributes", std::to_string(record.BootLoaderAttributes)));
  }
  for (const PlacedFileRecord& file : record.Files) lines.push_back(Concat({"File=", file.Digest, " ", file.Path}));
  lines.push_back(Line("AddedVolSnap", Flag(record.AddedVolSnap)));
  lines.push_back(Line("CreatedUpperFilters", Flag(record.CreatedFilterList)));
  return lines;
}

void Apply(const std::string& line, InstallationRecord& record) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return;
  const std::string name = line.substr(0, equals);
  const std::string value = line.substr(equals + 1);
  if (name == "BootLoader") record.BootLoader = value;
  if (name == "BootLoaderDigest") record.BootLoaderDigest = value;
  if (name == "Backup") record.Backup = value;
  if (name == "BackupDigest") record.BackupDigest = value;
  if (name == "BackupMade") record.BackupMade = value == "1";
  if (name == "BootLoaderAttributes") record.BootLoaderAttributes = Number(value);
  if (name == "AddedVolSnap") record.AddedVolSnap = value == "1";
  if (name == "CreatedUpperFilters") record.CreatedFilterList = value == "1";
  const size_t space = value.find(' ');
  if (name == "File" && space != std::string::npos) {
    record.Files.push_back({value.substr(space + 1), value.substr(0, space)});
  }
}

}  // namespace

FileDigest DigestOfFile(TOs& os, const std::string& path) {
  UniqueFileHandle file(os);
  if (const DWORD error = OpenFileToRead(os, path, &file)) return {"", error};
  std::vector<BYTE> chunk(kChunk);
  unsigned long long hash = 14695981039346656037ull;
  unsigned long long length = 0;
  for (;;) {
    DWORD read = 0;
    if (!os.ReadFile(file.get(), chunk.data(), kChunk, &read, nullptr)) return {"", FailureCode(os)};
    if (read == 0) break;
    length += read;
    for (DWORD i = 0; i < read; ++i) hash = (hash ^ chunk[i]) * 1099511628211ull;
  }
  return {Concat({Hex(length), "-", Hex(hash)}), 0};
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
  std::string line;
  for (BYTE character : data) {
    if (character != 0) {
      line += static_cast<char>(character);
    } else {
      Apply(line, read.Record);
      line.clear();
    }
  }
  Apply(line, read.Record);
  return read;
}

InstallationRecord MergeRecords(const InstallationRecord& earlier, const InstallationRecord& now) {
  InstallationRecord merged = now.BootLoader.empty() ? earlier : now;
  merged.Files = earlier.Files;
  for (const PlacedFileRecord& file : now.Files) {
    bool replaced = false;
    for (PlacedFileRecord& known : merged.Files) {
      if (known.Path == file.Path) known = file, replaced = true;
    }
    if (!replaced) merged.Files.push_back(file);
  }
  merged.AddedVolSnap = earlier.AddedVolSnap || now.AddedVolSnap;
  merged.CreatedFilterList = earlier.CreatedFilterList || now.CreatedFilterList;
  return merged;
}

void WriteInstallationRecord(TOs& os, const InstallationRecord& record, TFailedSteps& failed) {
  std::vector<BYTE> data;
  for (const std::string& line : Lines(record)) {
    data.insert(data.end(), line.begin(), line.end());
    data.push_back(0);
  }
  data.push_back(0);
  const std::string step = Concat({"Writing the record of this installation, the \"", kInstallationRecordValue,
                                   "\" value of ", MachineKeyName(kInstallationRecordKey), ", failed."});
  UniqueKey key(os);
  LONG error = os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallationRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.put(), nullptr);
  if (error == ERROR_SUCCESS) {
    error = os.RegSetValueExA(key.get(), kInstallationRecordValue, 0, REG_MULTI_SZ, data.data(),
                              static_cast<DWORD>(data.size()));
  }
  if (error == ERROR_SUCCESS) error = os.RegFlushKey(key.get());
  if (error != ERROR_SUCCESS) failed.Add(step, static_cast<DWORD>(error));
}

LONG DeleteInstallationRecord(TOs& os) {
  return DeleteKeyTree(os, HKEY_LOCAL_MACHINE, kInstallationRecordKey);
}
