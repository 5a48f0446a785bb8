#include "support/fault_machine.h"

#include <cstdio>
#include <functional>
#include <set>

#include "app/startup.h"
#include "install/file_contents.h"
#include "install/installation.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/removal.h"
#include "install/replace_protocol.h"
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
  if (!file || (file->Attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::nullopt;
  return file->Contents;
}

void AddKey(TFakeOs& os, const std::string& path, MachineSnapshot& snapshot) {
  const TFakeRegistry& registry = os.Registry();
  if (!registry.KeyExists(HKEY_LOCAL_MACHINE, path)) return;
  snapshot.Entries["reg HKLM\\" + path] = "key";
  for (const std::string& name : registry.ValueNames(HKEY_LOCAL_MACHINE, path)) {
    std::optional<RegistryValue> value = registry.Value(HKEY_LOCAL_MACHINE, path, name);
    // The record's paths name the same files with or without the current drive.
    if (path == kInstallationRecordKey) {
      std::string text(value->Data.begin(), value->Data.end());
      for (size_t at; (at = text.find("C:\\")) != std::string::npos;) text.erase(at, 2);
      value->Data.assign(text.begin(), text.end());
    }
    snapshot.Entries["reg HKLM\\" + path + " [" + name + "]"] =
        "type " + std::to_string(value->Type) + " " + Hex(value->Data);
  }
}

void AddFile(TFakeOs& os, const std::string& path, MachineSnapshot& snapshot) {
  const FakeFile* file = os.Files().Find(path);
  if (!file) return;
  snapshot.Entries["file " + path] =
      (file->Attributes & FILE_ATTRIBUTE_DIRECTORY)
          ? "folder"
          : "attributes " + std::to_string(file->Attributes) + " " + Summary(file->Contents);
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
  Os.SetModulePath(kProgramPath);
  Os.SetEnv("windir", "C:\\WINDOWS");
  Os.SetEnv("SystemDrive", "C:");
  Os.Files().AddFile(kProgramPath, "MZ Stillvane").VersionResource = kProgramVersion;
  static const std::string kDriver = StandInDriver("new ewf.sys");
  static const std::string kManager = StandInProgram("new ewfmgr.exe");
  static const std::string kBootLoader = StandInBootLoader("new boot loader");
  Os.Files().AddFile(std::string(kSourceFolder) + "ewf.sys", kDriver).VersionResource = kDriverVersion;
  Os.Files().AddFile(std::string(kSourceFolder) + "ewfmgr.exe", kManager).VersionResource = kDriverVersion;
  Os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", kBootLoader);
  Os.Files().AddFolder(std::string(kWindowsFolder) + "system32\\drivers");
  Os.Files().AddFile(std::string(kDriveFolder) + "ntldr", OriginalBootLoader());
  Os.Files().AddFile(std::string(kWindowsFolder) + "bootstat.dat", "boot status");

  Os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRootKey);
  Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                         {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 0});
  Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kDiskWriteKeys[2], "NtfsDisableLastAccessUpdate", REG_DWORD, {0, 0, 0, 0});
}

void FaultMachine::StartAgain() {
  Os.StartProcessAgain();
  Dialogs = TRecordingDialogs();
  Reader.reset();
}

void StartUp(FaultMachine& machine) {
  TOs& os = machine.Os;
  machine.Reader = std::make_unique<TVersionInfo>(os);
  ProgramFolders folders = ReadProgramFolders(os);
  machine.SourceFolder = std::move(folders.SourceFolder);
  machine.WindowsFolder = std::move(folders.WindowsFolder);
  machine.SystemDriveFolder = std::move(folders.SystemDriveFolder);
  WarnOutsideNtFamily(os, machine.Dialogs);
}

void ClickInstall(FaultMachine& m) {
  RunAction(m.Dialogs, [&m] {
    InstallEwfSupport({m.Os, m.Dialogs, *m.Reader, m.SourceFolder, m.WindowsFolder, m.SystemDriveFolder});
  });
}

void ClickRemove(FaultMachine& m) {
  m.Dialogs.QueueAnswer(DialogResult::Yes);
  RunAction(m.Dialogs, [&m] {
    RemoveEwfSupport({m.Os, m.Dialogs, m.SourceFolder, m.WindowsFolder, m.SystemDriveFolder});
  });
}

void ClickMinimizeDiskWrites(FaultMachine& m) {
  RunAction(m.Dialogs, [&m] { MinimizeDiskWrites(m.Os, m.Dialogs, kWindowsFolder); });
}

void ClickEnableHorm(FaultMachine& m) {
  m.Dialogs.QueueAnswer(DialogResult::Yes);
  RunAction(m.Dialogs, [&m] { EnableHorm(m.Os, m.Dialogs); });
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
  std::set<std::string> keys = {kRootKey, kClassKey, kInstallationRecordKey};
  for (const RegistryValueRow& row : kEnumRootEntries) keys.insert(row.Key + 1);
  for (const RegistryValueRow& row : kServiceEntries) keys.insert(row.Key + 1);
  for (const char* key : kDiskWriteKeys) keys.insert(key);
  for (const std::string& key : keys) AddKey(os, key, snapshot);

  // Both where the files belong and where a folder read as empty text ("\")
  // would put them: the root of the current drive.
  const std::vector<std::string> windowsFolders = {kWindowsFolder, kDriveFolder};
  std::set<std::string> files = {std::string(kDriveFolder) + "resmany.dat"};
  for (const DriverFile& copy : kDriverFiles) {
    files.insert(kSourceFolder + std::string(copy.Name));
    for (const std::string& folder : windowsFolders) {
      if (copy.Folder == InstallFolder::SystemDrive && folder != kDriveFolder) continue;
      files.insert(folder + copy.Target);
      files.insert(BackupName(folder + copy.Target, 0));
    }
  }
  for (const FileMovedAside& moved : kFilesMovedAside) {
    for (const std::string& folder : windowsFolders) {
      files.insert(folder + moved.Name);
      files.insert(folder + moved.NewName);
    }
  }
  for (const std::string& file : files) AddFile(os, file, snapshot);

  snapshot.RootDacl = os.Registry().Security(HKEY_LOCAL_MACHINE, kRootKey);
  snapshot.Ntldr = FileContents(os, std::string(kDriveFolder) + "ntldr");
  if (const FakeFile* ntldr = os.Files().Find(std::string(kDriveFolder) + "ntldr")) {
    snapshot.NtldrCompressed = (ntldr->Attributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
  }
  snapshot.BootLoader = FileContents(os, std::string(kSourceFolder) + "ewfntldr");
  snapshot.InstalledDriver = FileContents(os, std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys");
  snapshot.SourceDriver = FileContents(os, std::string(kSourceFolder) + "ewf.sys");
  if (const FakeFile* driver = os.Files().Find(std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys")) {
    const std::vector<BYTE> bytes(driver->Contents.begin(), driver->Contents.end());
    snapshot.InstalledDriverAccepted = ContentProblem(bytes, FileKind::KernelDriver).empty() &&
                                       driver->VersionResource == BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  }
  snapshot.InstalledManager = FileContents(os, std::string(kWindowsFolder) + "system32\\ewfmgr.exe");
  snapshot.SourceManager = FileContents(os, std::string(kSourceFolder) + "ewfmgr.exe");
  std::vector<std::string> targets;
  for (const DriverFile& copy : kDriverFiles) {
    targets.push_back((copy.Folder == InstallFolder::Windows ? kWindowsFolder : kDriveFolder) +
                      std::string(copy.Target));
  }
  for (int n = 0; n < 4; ++n) {
    const std::string backup = std::string(kDriveFolder) + "ntldr.bak" + (n ? "." + std::to_string(n) : "");
    targets.push_back(backup);
    if (const auto kept = FileContents(os, backup)) snapshot.BootLoaderBackups[backup] = *kept;
  }
  for (const std::string& target : targets) {
    if (os.Files().Find(TemporaryNameFor(target))) snapshot.TemporaryFiles.push_back(TemporaryNameFor(target));
  }
  if (const auto filters = os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters")) {
    if (filters->Type == REG_MULTI_SZ) snapshot.UpperFilters = MultiStrings(filters->Data);
  }
  for (const char* name : {"ErrorControl", "Group", "Start", "Type"}) {
    snapshot.ServiceValues[name] = os.Registry().Value(HKEY_LOCAL_MACHINE, kServiceKey, name);
  }
  for (const char* name : {"Type", "ArcName"}) {
    snapshot.VolumeValues[name] = os.Registry().Value(HKEY_LOCAL_MACHINE, kVolumeKey, name);
  }
  return snapshot;
}

std::string DescribeDifference(const MachineSnapshot& before, const MachineSnapshot& after, size_t limit) {
  std::set<std::string> names;
  for (const auto& entry : before.Entries) names.insert(entry.first);
  for (const auto& entry : after.Entries) names.insert(entry.first);
  std::string text;
  size_t shown = 0;
  for (const std::string& name : names) {
    const auto was = before.Entries.find(name);
    const auto is = after.Entries.find(name);
    const std::string from = was == before.Entries.end() ? "(none)" : was->second;
    const std::string to = is == after.Entries.end() ? "(none)" : is->second;
    if (from == to) continue;
    if (shown++ == limit) return text + "; ...";
    text += (text.empty() ? "" : "; ") + name + ": " + from + " -> " + to;
  }
  return text;
}

}  // namespace fault
