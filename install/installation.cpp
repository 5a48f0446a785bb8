#include "install/installation.h"

#include <cstring>
#include <vector>

#include "install/driver_checks.h"
#include "install/file_placement.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "services/files.h"
#include "services/registry.h"
#include "services/write_filter_state.h"

namespace {

void ReportSkippedKeys(const std::vector<SkippedKey>& skipped, TFailedSteps& failed) {
  for (const SkippedKey& key : skipped) {
    failed.Add("Opening the registry key " + MachineKeyName(key.FirstRow->Key) + " failed.",
               static_cast<DWORD>(key.Error));
  }
}

// Merges the write filter into the volume filter list already there, written
// straight to the open key as REG_MULTI_SZ.
void WriteFilterList(TOs& os, TRegistry& registry, TFailedSteps& failed, InstallationRecord& record) {
  const std::string valueName =
      "the \"" + std::string(kVolumeFiltersValue) + "\" value of " + MachineKeyName(kVolumeClassKey);
  if (const LONG error = registry.Open(kVolumeClassKey, true)) {
    failed.Add("Opening the registry key " + MachineKeyName(kVolumeClassKey) + " failed.", static_cast<DWORD>(error));
    return;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  const LONG readResult = ReadRegistryValue(os, registry.CurrentKey(), kVolumeFiltersValue, &type, &existing);
  if (readResult == ERROR_FILE_NOT_FOUND) {
    type = REG_NONE;
    existing.clear();
  } else if (readResult != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    failed.Add("Reading " + valueName + " failed.", static_cast<DWORD>(readResult));
    return;
  }
  const std::vector<BYTE> filters = UpperFiltersWithEwf(type, existing);
  if (const LONG error = os.RegSetValueExA(registry.CurrentKey(), kVolumeFiltersValue, 0, REG_MULTI_SZ, filters.data(),
                                           static_cast<DWORD>(filters.size()))) {
    failed.Add("Writing " + valueName + " failed.", static_cast<DWORD>(error));
    return;
  }
  record.AddedVolSnap = !ListsSnapshotFilter(type, existing);
  record.CreatedFilterList = readResult == ERROR_FILE_NOT_FOUND;
  (void)registry.Flush();
}

// What became of the Enum\Root key's permissions.
enum class KeySecurity {
  Untouched,   // never opened up
  Restored,    // opened up and put back
  NotRestored  // opened up, and could not be put back (after its message)
};

// The entries under Enum\Root inside the security bracket, then the service
// and its volume, then the filter list.
KeySecurity WriteRegistryEntries(const ClickContext& context, const RootKeySecurityChange& change, TFailedSteps& failed,
                                 InstallationRecord& record) {
  TOs& os = context.Os;
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);

  KeySecurity security = KeySecurity::Untouched;
  {
    const TRootKeySecurityGuard guard(os, context.Dialogs, context.SavedRootKeySecurity);
    if (!ApplyRootKeySecurityChange(os, context.Dialogs, context.SavedRootKeySecurity, change)) {
      failed.Add("No registry entries were written, because the security of the registry key " +
                 MachineKeyName(kRootKeySecurityPath) + " could not be changed.");
      return KeySecurity::Untouched;
    }
    ReportSkippedKeys(WriteRegistryRows(registry, kEnumRootEntries), failed);
    registry.CloseKey();
    security = RestoreRootKeySecurity(os, context.Dialogs, context.SavedRootKeySecurity) ? KeySecurity::Restored
                                                                                         : KeySecurity::NotRestored;
  }

  // The protected volume is the partition Windows runs from, found at the click.
  std::vector<RegistryValueRow> serviceRows(std::begin(kServiceEntries), std::end(kServiceEntries));
  for (RegistryValueRow& row : serviceRows) {
    if (std::strcmp(row.ValueName, kProtectedVolumeArcName) == 0) row.Text = context.Boot.ProtectedArcName.c_str();
  }
  const std::vector<SkippedKey> skipped = WriteRegistryRows(registry, serviceRows);
  ReportSkippedKeys(skipped, failed);
  if (skipped.empty()) {
    WriteFilterList(os, registry, failed, record);
  } else {
    failed.Add("The \"" + std::string(kVolumeFiltersValue) + "\" value of " + MachineKeyName(kVolumeClassKey) +
               " was left unchanged, because the registry key " + MachineKeyName(skipped.front().FirstRow->Key) +
               " could not be written.");
  }
  return security;
}

// Whether the driver in place is whole and of an accepted version; when it
// is not, or that cannot be told, the failed step says why.
bool DriverMayBeRegistered(const InstallContext& context, const std::string& driver, const AcceptedVersions& accepted,
                           TFailedSteps& failed) {
  const FileLookup found = LookForFile(context.Os, driver);
  if (found.Error) {
    failed.Add("Looking for " + driver + " failed, so no registry entries were written.", found.Error);
    return false;
  }
  if (!found.Present) {
    failed.Add("No registry entries were written, because " + driver + " is not present.");
    return false;
  }
  const DriverFile& file = DriverFileNamed(kDriverFileOfService.Source);
  const ContentCheck check = CheckFileContents(context.Os, driver, file.Kind);
  if (check.Error) {
    failed.Add("Reading " + driver + " failed, so no registry entries were written.", check.Error);
    return false;
  }
  const std::string problem =
      check.Problem.empty() ? InstalledVersionProblem(context.FileVersionInfo, driver, file, accepted) : check.Problem;
  if (problem.empty()) return true;
  failed.Add(Concat({"No registry entries were written, because ", driver, " cannot be used: ", problem,
                     ".  Delete or rename that file."}));
  return false;
}

// Where the new boot loader went and which partition the filter protects,
// when either is not where it usually is; only what was done is said.
std::string LayoutNote(const BootVolumes& boot, bool loaderPlaced, bool registered) {
  if (boot.UsualLayout && boot.UnmappedDevice.empty()) return {};
  const std::string& folder = boot.BootLoaderFolder;
  // Whichever step failed, the boot loader there is as it was.
  if (!loaderPlaced) {
    return Concat({"The new boot loader was not placed in ", folder, ", where it was to go, so ", folder,
                   kBootLoaderCopy.Target, " is as it was."});
  }
  if (boot.UsualLayout) return {};
  std::string note =
      Concat({"This computer's partitions are not laid out in the usual way, so:\r",
              "The new boot loader was placed in the root of the partition the computer starts from: ", folder});
  if (registered) note += "\rThe write filter will protect the partition Windows runs from: " + boot.ProtectedArcName;
  return note;
}

// When the new boot loader went where the computer may not start from it:
// that, and what to do; else empty.
std::string LoaderWarning(const BootVolumes& boot, bool loaderPlaced) {
  if (!loaderPlaced || boot.UnmappedDevice.empty()) return {};
  return Concat({"Windows names ", boot.UnmappedDevice,
                 " as the partition this computer starts from, but no drive letter stands for it.\r",
                 "The new boot loader was placed in ", boot.BootLoaderFolder,
                 " instead, where it may not be used: give that partition a drive letter and install again."});
}

// The closing message. `notes` (the layout, where the old boot loader was
// kept) go into every outcome; a boot loader that may not be used
// (`loaderWarning`) makes a success a warning.
void ShowOutcome(TDialogs& dialogs, const TFailedSteps& failed, KeySecurity security, bool replacedOpenDacl,
                 const std::string& notes, const std::string& loaderWarning) {
  const std::string noted = notes.empty() ? std::string() : "\r\r" + notes;
  // The key's permissions as they were found (open to everyone) and as they are now.
  std::string keyNote;
  if (security == KeySecurity::NotRestored) {
    keyNote = "\r\rIn addition, an error has occured while restoring " + RootKeyRestoreAdvice();
  } else if (replacedOpenDacl) {
    keyNote = "\r\r" + OpenDaclNote(security == KeySecurity::Restored);
  }
  const std::string warned = loaderWarning.empty() ? std::string() : "\r\r" + loaderWarning;

  if (!failed.Empty()) {
    dialogs.ShowMessageDialog(
        Concat({"The EWF installation did not complete successfully.  These steps failed:\r", failed.Text(), keyNote,
                noted, warned, "\r\rCorrect the cause, then click Install EWF Support again."}),
        MessageKind::Error, MessageButtons::Ok);
  } else if (!loaderWarning.empty()) {
    dialogs.ShowMessageDialog(Concat({"EWF was installed, but this computer may not start from the new boot loader.",
                                      warned, keyNote, noted}),
                              MessageKind::Warning, MessageButtons::Ok);
  } else if (security == KeySecurity::Restored) {
    dialogs.ShowMessageDialog(Concat({"EWF installation completed successfully.", keyNote, noted}),
                              MessageKind::Information, MessageButtons::Ok);
  } else {
    dialogs.ShowMessageDialog(
        "The EWF installation completed successfully, however an error has occured while restoring " +
            RootKeyRestoreAdvice() + noted,
        MessageKind::Information, MessageButtons::Ok);
  }
}

// What removal needs to know of this run, merged into what an earlier run
// recorded.
void RecordInstallation(TOs& os, const PlacedFiles& placed, InstallationRecord& record, TFailedSteps& failed) {
  // Unread, a file is taken for changed: removal leaves it.
  const auto digest = [&](const std::string& path) {
    const FileDigest read = DigestOfFile(os, path);
    if (read.Error) {
      failed.Add(Concat({"Reading ", path, " failed, so Remove EWF Support will not know it for the one installed."}),
                 read.Error);
    }
    return read.Digest;
  };
  if (!placed.BootLoaderBackup.empty()) {
    record.BootLoader = placed.ReplacedBootLoader;
    record.BootLoaderDigest = digest(placed.ReplacedBootLoader);
    record.Backup = placed.BootLoaderBackup;
    record.BackupDigest = digest(placed.BootLoaderBackup);
    record.BackupMade = placed.BackupMade;
    record.BootLoaderAttributes = placed.BootLoaderAttributes;
  }
  for (const std::string& target : placed.Placed) record.Files.push_back({target, digest(target)});
  // A run that did nothing new leaves an earlier record as it is.
  if (record.BootLoader.empty() && record.Files.empty() && !record.AddedVolSnap && !record.CreatedFilterList) return;
  const RecordRead earlier = ReadInstallationRecord(os);
  if (earlier.Error) {
    failed.Add(Concat({"Reading the record of an earlier installation, the \"", kInstallationRecordValue,
                       "\" value of ", MachineKeyName(kInstallationRecordKey), ", failed, so it was left as it was."}),
               static_cast<DWORD>(earlier.Error));
    return;
  }
  WriteInstallationRecord(os, earlier.Present ? MergeRecords(earlier.Record, record) : record, failed);
}

}  // namespace

void InstallEwfSupport(const InstallContext& given) {
  if (!ConfirmChangesWillLast(given.Os, given.Dialogs, given.WindowsFolder)) return;
  AcceptedVersions accepted;
  CheckedContents checked;
  if (!RunDriverFileChecks({given.Os, given.Dialogs, given.FileVersionInfo, given.SourceFolder, &accepted, &checked})) {
    return;
  }
  ClickContext context{given, FindBootVolumes(given.Os, given.SystemDriveFolder)};
  TOs& os = context.Os;
  // Guessing could put the boot loader where nothing starts from, or protect the wrong partition.
  if (!context.Boot.Failure.empty()) {
    context.Dialogs.ShowMessageDialog(
        "Nothing was installed, because Windows could not tell which partition this computer starts from and "
        "which one Windows runs from:\r\r" +
            context.Boot.Failure,
        MessageKind::Error, MessageButtons::Ok);
    return;
  }

  // Everything about the key's security that can fail without changing the
  // machine fails here, before any file is touched.
  RootKeySecurityChange securityChange(os);
  if (!PrepareRootKeySecurityChange(os, context.Dialogs, context.SavedRootKeySecurity, securityChange)) return;

  TFailedSteps failed;
  const PlacedFiles placed = PlaceDriverFiles(context, accepted, checked, failed);
  if (!placed.Go) {
    context.SavedRootKeySecurity.reset();  // the key was never opened up
    return;
  }

  // A boot-start volume filter whose driver cannot load stops Windows from starting.
  const std::string driver = FolderOf(context, kDriverFileOfService.Folder) + kDriverFileOfService.Target;
  KeySecurity security = KeySecurity::Untouched;
  InstallationRecord record;
  bool registered = false;
  if (DriverMayBeRegistered(context, driver, accepted, failed)) {
    const size_t failedBefore = failed.Count();
    security = WriteRegistryEntries(context, securityChange, failed, record);
    registered = failed.Count() == failedBefore;
  } else {
    context.SavedRootKeySecurity.reset();  // the key was never opened up
  }
  RecordInstallation(os, placed, record, failed);
  ShowOutcome(context.Dialogs, failed, security, securityChange.ReplacedOpenDacl,
              JoinNotes(LayoutNote(context.Boot, placed.BootLoaderPlaced, registered), placed.Note),
              LoaderWarning(context.Boot, placed.BootLoaderPlaced));
}
