#include "support/fault_machine.h"

#include <cstdio>
#include <functional>
#include <set>

#include "app/startup.h"
#include "install/file_contents.h"
#include "install/file_placement.h"
#include "install/installation.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/removal.h"
#include "services/error_report.h"
#include "support/stand_in_image.h"
#include "support/version_resource_builder.h"
#include "tuning/disk_writes.h"
#include "tuning/horm.h"

namespace fault {

const char kProgramPath[] = "C:\\Program Files\\Stillvane\\Stillvane.exe";
const char kSourceFolder[] = "C:\\Program Files\\Stillvane\\";
const char kWindowsFolder[] = "C:\\WINDOWS\\";
const char kDriveFolder[] = "C:\\";
const char kRootKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
const char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ewf";
const char kVolumeKey[] = "SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0";

namespace {

// The keys "Minimize Disk Writes" writes to.
const char* const kDiskWriteKeys[] = {
    "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout",
    "SYSTEM\\CurrentControlSet\\Control\\FileSystem",
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
};

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char pair[4];
  for (BYTE b : bytes) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  return text;
}

std::optional<std::string> FileContents(TFakeOs& os, const std::string& path) {
  const FakeFile* file = os.Files().Find(path);
  if (!file || (file->attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return file->contents;
}

void AddKey(TFakeOs& os, const std::string& path, MachineSnapshot& snapshot) {
  const TFakeRegistry& registry = os.Registry();
  if (!registry.KeyExists(HKEY_LOCAL_MACHINE, path)) return;
  snapshot.entries["reg HKLM\\" + path] = "key";
  for (const std::string& name : registry.ValueNames(HKEY_LOCAL_MACHINE, path)) {
    std::optional<RegistryValue> value = registry.Value(HKEY_LOCAL_MACHINE, path, name);
    // The record's paths name the same files with or without the current drive.
    if (path == InstallationRecordKey) {
      std::string text(value->data.begin(), value->data.end());
      for (size_t at; (at = text.find("C:\\")) != std::string::npos;) text.erase(at, 2);
      value->data.assign(text.begin(), text.end());
    }
    snapshot.entries["reg HKLM\\" + path + " [" + name + "]"] =
        "type " + std::to_string(value->type) + " " + Hex(value->data);
  }
}

void AddFile(TFakeOs& os, const std::string& path, MachineSnapshot& snapshot) {
  const FakeFile* file = os.Files().Find(path);
  if (!file) return;
  snapshot.entries["file " + path] =
      (file->attributes & FILE_ATTRIBUTE_DIRECTORY)
          ? "folder"
          : "attributes " + std::to_string(file->attributes) + " " + Summary(file->contents);
}

// Names in a REG_MULTI_SZ, empty ones skipped.
std::vector<std::string> MultiStrings(const std::vector<BYTE>& data) {
  std::vector<std::string> names;
  std::string name;
  for (BYTE b : data) {
    if (b) {
      name += static_cast<char>(b);
    } else if (!name.empty()) {
      names.push_back(name);
      name.clear();
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

}  // namespace

FaultMachine::FaultMachine() {
  // Built once: thousands of machines are made.
  static const std::vector<BYTE> kProgramVersion = BuildVersionResource(FileVersionParts{1, 0, 0, 0});
  static const std::vector<BYTE> kDriverVersion = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  os.SetModulePath(kProgramPath);
  os.SetEnv("windir", "C:\\WINDOWS");
  os.SetEnv("SystemDrive", "C:");
  os.Files().AddFile(kProgramPath, "MZ Stillvane").versionResource = kProgramVersion;
  static const std::string kDriver = StandInDriver("new ewf.sys");
  static const std::string kManager = StandInProgram("new ewfmgr.exe");
  static const std::string kBootLoader = StandInBootLoader("new boot loader");
  os.Files().AddFile(std::string(kSourceFolder) + "ewf.sys", kDriver).versionResource = kDriverVersion;
  os.Files().AddFile(std::string(kSourceFolder) + "ewfmgr.exe", kManager).versionResource = kDriverVersion;
  os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", kBootLoader);
  os.Files().AddFolder(std::string(kWindowsFolder) + "system32\\drivers");
  os.Files().AddFile(std::string(kDriveFolder) + "ntldr", "original boot loader");
  os.Files().AddFile(std::string(kWindowsFolder) + "bootstat.dat", "boot status");

  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRootKey);
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                         {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 0});
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kDiskWriteKeys[2], "NtfsDisableLastAccessUpdate", REG_DWORD, {0, 0, 0, 0});
}

void FaultMachine::StartAgain() {
  os.StartProcessAgain();
  dialogs = TRecordingDialogs();
  reader.reset();
  saved.release();  // the dead process's memory went with it
}

void StartUp(FaultMachine& machine) {
  TOs& os = machine.os;
  machine.reader = std::make_unique<TVersionInfo>(os);
  ProgramFolders folders = ReadProgramFolders(os);
  machine.SourceFolder = std::move(folders.SourceFolder);
  machine.WindowsFolder = std::move(folders.WindowsFolder);
  machine.SystemDriveFolder = std::move(folders.SystemDriveFolder);
  WarnOutsideNtFamily(os, machine.dialogs);
}

void ClickInstall(FaultMachine& m) {
  RunAction(m.dialogs, [&m] {
    InstallEwfSupport({m.os, m.dialogs, *m.reader, m.SourceFolder, m.WindowsFolder, m.SystemDriveFolder, m.saved});
  });
}

void ClickRemove(FaultMachine& m) {
  m.dialogs.QueueAnswer(DialogResult::Yes);
  RunAction(m.dialogs, [&m] {
    RemoveEwfSupport({m.os, m.dialogs, m.SourceFolder, m.WindowsFolder, m.SystemDriveFolder, m.saved});
  });
}

void ClickMinimizeDiskWrites(FaultMachine& m) {
  RunAction(m.dialogs, [&m] { MinimizeDiskWrites(m.os, m.dialogs, kWindowsFolder); });
}

void ClickEnableHorm(FaultMachine& m) {
  m.dialogs.QueueAnswer(DialogResult::Yes);
  RunAction(m.dialogs, [&m] { EnableHorm(m.os, m.dialogs); });
}

std::string Summary(const std::string& contents) {
  std::string printable;
  for (size_t i = 0; i < contents.size() && i < 400 && printable.size() < 40; ++i) {
    if (contents[i] >= ' ' && contents[i] <= '~') printable += contents[i];
  }
  char hash[24];
  std::snprintf(hash, sizeof hash, "%016llX", static_cast<unsigned long long>(std::hash<std::string>{}(contents)));
  return "\"" + printable + "\" (" + std::to_string(contents.size()) + " bytes, #" + hash + ")";
}

MachineSnapshot TakeSnapshot(TFakeOs& os) {
  MachineSnapshot snapshot;
  std::set<std::string> keys = {kRootKey, kClassKey, InstallationRecordKey};
  for (const RegistryValueRow& row : EnumRootEntries) keys.insert(row.key + 1);
  for (const RegistryValueRow& row : ServiceEntries) keys.insert(row.key + 1);
  for (const char* key : kDiskWriteKeys) keys.insert(key);
  for (const std::string& key : keys) AddKey(os, key, snapshot);

  // Both where the files belong and where a folder read as empty text ("\")
  // would put them: the root of the current drive.
  const std::vector<std::string> windowsFolders = {kWindowsFolder, kDriveFolder};
  std::set<std::string> files = {std::string(kDriveFolder) + "resmany.dat"};
  for (const DriverFileCopy& copy : DriverFileCopies) {
    files.insert(kSourceFolder + std::string(copy.source));
    for (const std::string& folder : windowsFolders) {
      if (copy.folder == InstallFolder::SystemDrive && folder != kDriveFolder) continue;
      files.insert(folder + copy.target);
      if (copy.backup) files.insert(folder + copy.backup);
    }
  }
  for (const FileMovedAside& moved : FilesMovedAside) {
    for (const std::string& folder : windowsFolders) {
      files.insert(folder + moved.name);
      files.insert(folder + moved.newName);
    }
  }
  for (const std::string& file : files) AddFile(os, file, snapshot);

  snapshot.rootDacl = os.Registry().Security(HKEY_LOCAL_MACHINE, kRootKey);
  snapshot.ntldr = FileContents(os, std::string(kDriveFolder) + "ntldr");
  snapshot.bootLoader = FileContents(os, std::string(kSourceFolder) + "ewfntldr");
  snapshot.installedDriver = FileContents(os, std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys");
  snapshot.sourceDriver = FileContents(os, std::string(kSourceFolder) + "ewf.sys");
  if (const FakeFile* driver = os.Files().Find(std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys")) {
    const std::vector<BYTE> bytes(driver->contents.begin(), driver->contents.end());
    snapshot.installedDriverAccepted = ContentProblem(bytes, FileKind::KernelDriver).empty() &&
                                       driver->versionResource == BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  }
  snapshot.installedManager = FileContents(os, std::string(kWindowsFolder) + "system32\\ewfmgr.exe");
  snapshot.sourceManager = FileContents(os, std::string(kSourceFolder) + "ewfmgr.exe");
  std::vector<std::string> targets;
  for (const DriverFileCopy& copy : DriverFileCopies) {
    targets.push_back((copy.folder == InstallFolder::Windows ? kWindowsFolder : kDriveFolder) +
                      std::string(copy.target));
  }
  for (int n = 0; n < 4; ++n) {
    const std::string backup = std::string(kDriveFolder) + "ntldr.bak" + (n ? "." + std::to_string(n) : "");
    targets.push_back(backup);
    if (const auto kept = FileContents(os, backup)) snapshot.bootLoaderBackups[backup] = *kept;
  }
  for (const std::string& target : targets) {
    if (os.Files().Find(TemporaryNameFor(target))) snapshot.temporaryFiles.push_back(TemporaryNameFor(target));
  }
  if (const auto filters = os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters")) {
    if (filters->type == REG_MULTI_SZ) snapshot.upperFilters = MultiStrings(filters->data);
  }
  for (const char* name : {"ErrorControl", "Group", "Start", "Type"}) {
    snapshot.serviceValues[name] = os.Registry().Value(HKEY_LOCAL_MACHINE, kServiceKey, name);
  }
  for (const char* name : {"Type", "ArcName"}) {
    snapshot.volumeValues[name] = os.Registry().Value(HKEY_LOCAL_MACHINE, kVolumeKey, name);
  }
  return snapshot;
}

std::string DescribeDifference(const MachineSnapshot& before, const MachineSnapshot& after, size_t limit) {
  std::set<std::string> names;
  for (const auto& entry : before.entries) names.insert(entry.first);
  for (const auto& entry : after.entries) names.insert(entry.first);
  std::string text;
  size_t shown = 0;
  for (const std::string& name : names) {
    const auto was = before.entries.find(name);
    const auto is = after.entries.find(name);
    const std::string from = was == before.entries.end() ? "(none)" : was->second;
    const std::string to = is == after.entries.end() ? "(none)" : is->second;
    if (from == to) continue;
    if (shown++ == limit) return text + "; ...";
    text += (text.empty() ? "" : "; ") + name + ": " + from + " -> " + to;
  }
  return text;
}

}  // namespace fault
