#include "install/installation.h"

#include <cstring>
#include <vector>

#include "install/driver_checks.h"
#include "install/file_placement.h"
#include "install/installation_record.h"
#include "install/installation_status.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "install/windows_owned_keys.h"
#include "services/files.h"
#include "services/registry.h"
#include "services/step_failure.h"
#include "services/write_filter_state.h"

namespace {

void ReportSkippedKeys(const std::vector<SkippedKey>& skipped, TStepLog& log) {
  for (const SkippedKey& key : skipped) {
    log.Failed(Concat({"Opening the registry key ", MachineKeyName(key.FirstRow->Key), " failed."}),
               static_cast<DWORD>(key.Error));
  }
}

// Merges the write filter into the volume filter list already there, written
// straight to the open key as REG_MULTI_SZ, once the record says what the
// list was. True when it is written and on disk.
bool WriteFilterList(TOs& os, TRegistry& registry, TStepLog& log, InstallationRecord& record) {
  const std::string keyName = MachineKeyName(kVolumeClassKey);
  const std::string valueName = Concat({"the \"", kVolumeFiltersValue, "\" value of ", keyName});
  if (const LONG error = registry.Open(kVolumeClassKey, true)) {
    log.Failed(Concat({"Opening the registry key ", keyName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  const LONG readResult = ReadRegistryValue(os, registry.CurrentKey(), kVolumeFiltersValue, &type, &existing);
  if (readResult == ERROR_FILE_NOT_FOUND) {
    type = REG_NONE;
    existing.clear();
  } else if (readResult != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    log.Failed(Concat({"Reading ", valueName, " failed."}), static_cast<DWORD>(readResult));
    return false;
  }
  // Taken from the list as it is just before the write, so that Remove can make it so again.
  record.CreatedFilterList = record.CreatedFilterList || readResult == ERROR_FILE_NOT_FOUND;
  record.AddedVolSnap = record.AddedVolSnap || !ListsSnapshotFilter(type, existing);
  if (!WriteInstallationRecord(os, record, log)) {
    log.Failed(Concat({"The \"", kVolumeFiltersValue, "\" value of ", keyName,
                       " was left unchanged, because the record of this installation could not be written first."}));
    return false;
  }
  const std::vector<BYTE> filters = UpperFiltersWithEwf(type, existing);
  if (const LONG error = os.RegSetValueExA(registry.CurrentKey(), kVolumeFiltersValue, 0, REG_MULTI_SZ, filters.data(),
                                           static_cast<DWORD>(filters.size()))) {
    log.Failed(Concat({"Writing ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  return FlushKey(os, registry.CurrentKey(), keyName, log);
}

// What became of the Enum\Root key's permissions.
enum class KeySecurity {
  Untouched,   // never opened up
  Restored,    // opened up and put back
  NotRestored  // opened up, and could not be put back (after its message)
};

struct Registration {
  KeySecurity Security = KeySecurity::Untouched;
  bool Registered = false;  // the filter list names the write filter
};

// The entries under Enum\Root inside the security bracket, then the service
// and its volume, then the filter list; each part marked in the record once
// it is done. A failed value write ends it where it happened.
Registration WriteRegistryEntries(const ClickContext& context, TRootKeySecurityBracket& bracket, TStepLog& log,
                                  InstallationRecord& record) {
  TOs& os = context.Os;
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  Registration done;

  if (!bracket.Open()) {
    log.Failed(Concat({"No registry entries were written, because the security of the registry key ",
                       MachineKeyName(kRootKeySecurityPath), " could not be changed."}));
    return done;
  }
  const size_t failedBefore = log.FailedCount();
  {
    TWindowsOwnedKeys windowsOwned(os);
    windowsOwned.Take(BelowRoot(kEnumRootDeviceKey), log);
    ReportSkippedKeys(WriteRegistryRows(registry, kEnumRootEntries, log), log);
    registry.CloseKey();
    windowsOwned.PutBack(kEnumRootDeviceKey, "to write it", log);
  }
  done.Security = bracket.Close() ? KeySecurity::Restored : KeySecurity::NotRestored;
  if (!log.ValueWriteReport().empty()) return done;
  if (log.FailedCount() == failedBefore) MarkStepDone(os, record, kEnumRootStep, log);

  // The protected volume is the partition Windows runs from, found at the click.
  std::vector<RegistryValueRow> serviceRows(std::begin(kServiceEntries), std::end(kServiceEntries));
  for (RegistryValueRow& row : serviceRows) {
    if (std::strcmp(row.ValueName, kProtectedVolumeArcName) == 0) row.Text = context.Boot.ProtectedArcName.c_str();
  }
  const size_t serviceFailedBefore = log.FailedCount();
  const std::vector<SkippedKey> skipped = WriteRegistryRows(registry, serviceRows, log);
  if (!log.ValueWriteReport().empty()) return done;
  ReportSkippedKeys(skipped, log);
  if (!skipped.empty()) {
    log.Failed(Concat({"The \"", kVolumeFiltersValue, "\" value of ", MachineKeyName(kVolumeClassKey),
                       " was left unchanged, because the registry key ", MachineKeyName(skipped.front().FirstRow->Key),
                       " could not be written."}));
    return done;
  }
  if (log.FailedCount() == serviceFailedBefore) MarkStepDone(os, record, kServiceStep, log);
  done.Registered = WriteFilterList(os, registry, log, record);
  if (done.Registered) MarkStepDone(os, record, kFilterListStep, log);
  return done;
}

// Whether the driver in place is whole and of an accepted version; when it
// is not, or that cannot be told, the failed step says why.
bool DriverMayBeRegistered(const InstallContext& context, const std::string& driver, const AcceptedVersions& accepted,
                           TStepLog& log) {
  const InstalledCopy installed =
      ExamineInstalledCopy(context.Os, context.FileVersionInfo, driver, kDriverOfService, accepted);
  if (installed.LookUpError) {
    log.Failed(Concat({"Looking for ", driver, " failed, so no registry entries were written."}),
               installed.LookUpError);
    return false;
  }
  if (!installed.Present) {
    log.Failed(Concat({"No registry entries were written, because ", driver, " is not present."}));
    return false;
  }
  if (installed.ReadError) {
    log.Failed(Concat({"Reading ", driver, " failed, so no registry entries were written."}), installed.ReadError);
    return false;
  }
  if (installed.Problem.empty()) return true;
  log.Failed(Concat({"No registry entries were written, because ", driver, " cannot be used: ", installed.Problem,
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
                   kBootLoaderFile.Target, " is as it was."});
  }
  if (boot.UsualLayout) return {};
  return Concat({"This computer's partitions are not laid out in the usual way, so:\r",
                 "The new boot loader was placed in the root of the partition the computer starts from: ", folder,
                 registered ? "\rThe write filter will protect the partition Windows runs from: " : "",
                 registered ? boot.ProtectedArcName.c_str() : ""});
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
void ShowOutcome(TDialogs& dialogs, const TStepLog& log, KeySecurity security, bool replacedOpenDacl,
                 const std::string& notes, const std::string& loaderWarning) {
  const std::string noted = notes.empty() ? std::string() : "\r\r" + notes;
  // The key's permissions as they were found (open to everyone) and as they are now.
  std::string keyNote;
  if (security == KeySecurity::NotRestored) {
    keyNote = "\r\rIn addition, an error has occurred while restoring " + RootKeyRestoreAdvice();
  } else if (replacedOpenDacl) {
    keyNote = "\r\r" + OpenDaclNote(security == KeySecurity::Restored);
  }
  const std::string warned = loaderWarning.empty() ? std::string() : "\r\r" + loaderWarning;

  if (log.AnyFailed()) {
    dialogs.ShowMessageDialog(
        Concat({"The EWF installation did not complete successfully.  These steps failed:\r", log.FailedText(), keyNote,
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
        Concat({"The EWF installation completed successfully, however an error has occured while restoring ",
                RootKeyRestoreAdvice(), noted}),
        MessageKind::Information, MessageButtons::Ok);
  }
}

// What the click is about to do, merged into what earlier clicks did: the
// files to place and what is there now. (The filter list is written down
// just before it is written.)
InstallationRecord PlanRecord(const RecordRead& earlier, const StagedFiles& staged) {
  InstallationRecord plan;
  for (const StagedCopy& copy : staged.Copies) {
    if (!copy.AlreadyInPlace) plan.Files.push_back(copy.Entry);
  }
  return earlier.Present ? MergeRecords(earlier.Record, plan) : plan;
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
  TDialogs& dialogs = context.Dialogs;
  // Guessing could put the boot loader where nothing starts from, or protect the wrong partition.
  if (!context.Boot.Failure.empty()) {
    dialogs.ShowMessageDialog(
        "Nothing was installed, because Windows could not tell which partition this computer starts from and "
        "which one Windows runs from:\r\r" +
            context.Boot.Failure,
        MessageKind::Error, MessageButtons::Ok);
    return;
  }

  // Everything about the key's security that can fail without changing the
  // machine fails here, before any file is touched.
  TRootKeySecurityBracket bracket(os, dialogs);
  if (!bracket.Prepare()) return;

  // Without what an earlier installation did, its own undoing would be lost.
  const RecordRead earlier = ReadInstallationRecord(os);
  if (earlier.Error) {
    dialogs.ShowMessageDialog(
        Concat({WithErrorCode(Concat({"Nothing was installed, because the record of an earlier installation, ",
                                      InstallationRecordName(), ", could not be read."}),
                              static_cast<DWORD>(earlier.Error)),
                "\r\rChoose Remove EWF Support first, or log on as an administrator and try again."}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }

  TStepLog log;
  const StagedFiles staged = StageDriverFiles(context, accepted, checked, earlier.Record, log);
  if (!staged.Go) {
    dialogs.ShowMessageDialog(staged.Refusal, MessageKind::Error, MessageButtons::Ok);
    return;
  }
  InstallationRecord record = PlanRecord(earlier, staged);
  if (!SecureRecordKey(os, log) || !WriteInstallationRecord(os, record, log, !earlier.Present)) {
    DiscardStaged(os, staged);
    dialogs.ShowMessageDialog(
        Concat({"Nothing was installed, because what it is about to change could not be "
                "written down first, so that Remove EWF Support can undo it:",
                log.FailedText(), "\r\rLog on as an administrator, then click Install EWF ", "Support again."}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }

  const PlacedFiles placed = PlaceStagedFiles(context, staged, log);
  MarkStepDone(os, record, kFilesStep, log);

  // A boot-start volume filter whose driver cannot load stops Windows from starting.
  const std::string driver = FolderOf(context, kDriverOfService.Folder) + kDriverOfService.Target;
  Registration registration;
  if (DriverMayBeRegistered(context, driver, accepted, log)) {
    registration = WriteRegistryEntries(context, bracket, log, record);
  }
  // A value that could not be written ends the click with the error report.
  if (!log.ValueWriteReport().empty()) {
    // No closing message follows to name the key left open.
    if (registration.Security == KeySecurity::NotRestored) {
      dialogs.ShowMessageDialog("An error has occurred while restoring " + RootKeyRestoreAdvice(), MessageKind::Error,
                                MessageButtons::Ok);
    }
    dialogs.ReportError(log.ValueWriteReport());
    return;
  }
  // Until Windows starts again, the status window says the filter starts then.
  if (registration.Registered) MarkThisStart(os);
  ShowOutcome(
      dialogs, log, registration.Security, bracket.ReplacedOpenDacl(),
      JoinNotes(JoinNotes(LayoutNote(context.Boot, placed.BootLoaderPlaced, registration.Registered), placed.Note),
                log.AnyDone() ? log.DoneText().substr(1) : std::string()),
      LoaderWarning(context.Boot, placed.BootLoaderPlaced));
}
