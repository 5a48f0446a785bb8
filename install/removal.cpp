#include "install/removal.h"

#include <vector>

#include "install/failed_steps.h"
#include "install/file_placement.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "services/boot_volumes.h"
#include "services/files.h"
#include "services/registry.h"
#include "services/step_failure.h"
#include "services/write_filter_state.h"

namespace {

const char kConfirmation[] =
    "Stillvane will remove EWF support from this computer: the write filter is taken out of the volume filter "
    "list, its registry entries are deleted, the boot loader that the installation replaced is put back, and the "
    "ewf.sys and ewfmgr.exe that it placed are deleted.  Other volume filters and files are left as they are."
    "\r\r"
    "The computer must be restarted afterwards.  Do you want to remove EWF support?";

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\ewf";
const char kEnumRootKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";
constexpr int kBackupNames = 100;  // ntldr.bak, then ntldr.bak.1 to ntldr.bak.99, as the installation names them

// The lines of the closing message.
struct Outcome {
  TFailedSteps Done;
  TFailedSteps Left;  // what was not changed on purpose, and why
  TFailedSteps Failed;
};

// Ewf out of the volume filter list, and VolSnap when the installation added
// it. False when Ewf may still be in the list: then nothing it needs may go.
bool TakeEwfOutOfFilterList(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  const std::string valueName =
      Concat({"the \"", kVolumeFiltersValue, "\" value of ", MachineKeyName(kVolumeClassKey)});
  UniqueKey key(os);
  // Every Windows has the volume class: "not found" is not taken for "no filters".
  LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVolumeClassKey + 1, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put());
  if (error != ERROR_SUCCESS) {
    outcome.Failed.Add(Concat({"Opening the registry key ", MachineKeyName(kVolumeClassKey), " failed."}),
                       static_cast<DWORD>(error));
    return false;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  error = ReadRegistryValue(os, key.get(), kVolumeFiltersValue, &type, &existing);
  if (error == ERROR_FILE_NOT_FOUND) return true;
  if (error != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    outcome.Failed.Add(Concat({"Reading ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  if (!ListsWriteFilter(type, existing)) return true;
  const std::vector<BYTE> filters = UpperFiltersWithoutEwf(type, existing, record.AddedVolSnap);
  if (filters.empty() && record.CreatedFilterList) {
    error = os.RegDeleteValueA(key.get(), kVolumeFiltersValue);
  } else {
    const std::vector<BYTE> written = filters.empty() ? std::vector<BYTE>{0} : filters;
    error = os.RegSetValueExA(key.get(), kVolumeFiltersValue, 0, REG_MULTI_SZ, written.data(),
                              static_cast<DWORD>(written.size()));
  }
  if (error == ERROR_SUCCESS) error = os.RegFlushKey(key.get());
  if (error != ERROR_SUCCESS) {
    outcome.Failed.Add(Concat({"Writing ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  outcome.Done.Add(Concat({"The write filter was taken out of ", valueName, "."}));
  return true;
}

bool KeyExists(TOs& os, const char* path) {
  UniqueKey key(os);
  return os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_FILE_NOT_FOUND;
}

// True when the key is gone. Deleted whether or not it was seen: the
// deletion itself tells "not there" apart.
bool DeleteKey(TOs& os, const char* path, Outcome& outcome) {
  const bool seen = KeyExists(os, path);
  std::string failedKey;
  if (const LONG error = DeleteKeyTree(os, HKEY_LOCAL_MACHINE, path, &failedKey)) {
    outcome.Failed.Add(Concat({"Deleting the registry key ", MachineKeyName(failedKey.c_str()), " failed."}),
                       static_cast<DWORD>(error));
    return false;
  }
  if (seen) outcome.Done.Add(Concat({"The registry key ", MachineKeyName(path), " was deleted."}));
  return true;
}

// LEGACY_EWF goes inside the same bracket that let the installation write it.
// False when the key's permissions could not be put back (after its message).
bool DeleteEnumRootKey(const RemovalContext& context, const RootKeySecurityChange& change, Outcome& outcome) {
  const TRootKeySecurityGuard guard(context.Os, context.Dialogs, context.SavedRootKeySecurity);
  if (!ApplyRootKeySecurityChange(context.Os, context.Dialogs, context.SavedRootKeySecurity, change)) {
    outcome.Failed.Add(Concat({"The registry key ", MachineKeyName(kEnumRootKey),
                               " was not deleted, because the security of the registry key ",
                               MachineKeyName(kRootKeySecurityPath), " could not be changed."}));
    return true;
  }
  DeleteKey(context.Os, kEnumRootKey, outcome);
  const bool restored = RestoreRootKeySecurity(context.Os, context.Dialogs, context.SavedRootKeySecurity);
  if (restored && change.ReplacedOpenDacl) {
    outcome.Done.Add(Concat({"The registry key ", MachineKeyName(kRootKeySecurityPath),
                             " gave everyone full control, as an interrupted run leaves it, so it was given the "
                             "standard permissions: the System account has full access, and the Everyone group only "
                             "Read access."}));
  }
  return restored;
}

// Whether a file that could not be read is not there: a search must agree.
bool Missing(TOs& os, const std::string& path, const FileDigest& read) {
  if (read.Error != ERROR_FILE_NOT_FOUND && read.Error != ERROR_PATH_NOT_FOUND) return false;
  const FileLookup found = LookForFile(os, path);
  return !found.Present && !found.Error;
}

// Deletes a backup the installation made once the loader it holds is back.
void DeleteBackup(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  if (!record.BackupMade) return;
  const FileDigest backup = DigestOfFile(os, record.Backup);
  if (backup.Error && !Missing(os, record.Backup, backup)) {
    outcome.Failed.Add(Concat({"Reading ", record.Backup, " failed, so it was not deleted."}), backup.Error);
    return;
  }
  if (backup.Digest != record.BackupDigest) return;
  if (!os.DeleteFileA(record.Backup.c_str())) {
    outcome.Failed.Add(Concat({"Deleting ", record.Backup, " failed."}), FailureCode(os));
    return;
  }
  outcome.Done.Add(Concat({record.Backup, ", the copy of the earlier boot loader, was deleted."}));
}

void PutRecordedBootLoaderBack(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  const std::string& ntldr = record.BootLoader;
  const std::string leftBecause = Concat({"The boot loader ", ntldr, " was left as it is, because "});
  const FileDigest now = DigestOfFile(os, ntldr);
  if (now.Error) {
    outcome.Failed.Add(Concat({"Reading ", ntldr, " failed, so the earlier boot loader was not put back."}), now.Error);
    return;
  }
  if (now.Digest == record.BackupDigest) return DeleteBackup(os, record, outcome);  // put back by an earlier run
  if (now.Digest != record.BootLoaderDigest) {
    outcome.Left.Add(leftBecause + "it has changed since EWF support was installed.");
    return;
  }
  const FileDigest backup = DigestOfFile(os, record.Backup);
  if (backup.Error && Missing(os, record.Backup, backup)) {
    outcome.Left.Add(Concat({leftBecause, "its backup ", record.Backup, " is missing."}));
    return;
  }
  if (backup.Error) {
    outcome.Failed.Add(Concat({"Reading ", record.Backup, " failed, so the earlier boot loader was not put back."}),
                       backup.Error);
    return;
  }
  if (backup.Digest != record.BackupDigest) {
    outcome.Left.Add(
        Concat({leftBecause, "its backup ", record.Backup, " has changed since EWF support was installed."}));
    return;
  }
  if (!ReplaceFileWithCopy(os, record.Backup, ntldr, outcome.Failed, record.BootLoaderAttributes)) return;
  outcome.Done.Add(Concat({"The earlier boot loader was put back from ", record.Backup, " as ", ntldr, "."}));
  DeleteBackup(os, record, outcome);
}

// Without a record: only when ntldr is the EWF boot loader beside the
// program and exactly one backup of another loader is there. The backup stays.
void PutFoundBootLoaderBack(TOs& os, const std::string& loaderFolder, const std::string& ewfLoader, Outcome& outcome) {
  const std::string ntldr = loaderFolder + "ntldr";
  const std::string leftBecause = Concat({"The boot loader ", ntldr, " was left as it is, because "});
  const FileDigest now = DigestOfFile(os, ntldr);
  if (now.Error || now.Digest != DigestOfFile(os, ewfLoader).Digest) {
    // With nothing of the write filter found, there is nothing to tell.
    if (!outcome.Done.Empty()) {
      outcome.Left.Add(leftBecause + "there is no record of the installation, and it is not the " + ewfLoader + ".");
    }
    return;
  }
  std::vector<std::string> candidates;
  for (int n = 0; n < kBackupNames; ++n) {
    const std::string backup = ntldr + ".bak" + (n ? "." + std::to_string(n) : std::string());
    const FileLookup found = LookForFile(os, backup);
    if (found.Error) {
      outcome.Failed.Add(Concat({"Looking for ", backup, " failed, so the earlier boot loader was not put back."}),
                         found.Error);
      return;
    }
    if (found.Present && DigestOfFile(os, backup).Digest != now.Digest) candidates.push_back(backup);
  }
  if (candidates.size() != 1) {
    std::string names;
    for (const std::string& name : candidates) names += (names.empty() ? "" : ", ") + name;
    outcome.Left.Add(leftBecause + (candidates.empty() ? std::string("no copy of an earlier boot loader was found.")
                                                       : "there is no record of the installation to tell which of " +
                                                             names + " holds the earlier boot loader."));
    return;
  }
  if (!ReplaceFileWithCopy(os, candidates.front(), ntldr, outcome.Failed)) return;
  outcome.Done.Add(Concat({"The earlier boot loader was put back from ", candidates.front(), " as ", ntldr, "."}));
}

// Only files the installation placed, and only while they are what it placed.
void DeletePlacedFiles(TOs& os, const RecordRead& read, const std::string& windowsFolder, Outcome& outcome) {
  if (!read.Present) {
    for (const DriverFileCopy& copy : kDriverFileCopies) {
      const std::string target = windowsFolder + copy.Target;
      if (copy.Folder == InstallFolder::Windows && LookForFile(os, target).Present) {
        outcome.Left.Add(target + " was left in place, because there is no record that Stillvane placed it.");
      }
    }
    return;
  }
  for (const PlacedFileRecord& file : read.Record.Files) {
    const FileDigest now = DigestOfFile(os, file.Path);
    if (now.Error && Missing(os, file.Path, now)) continue;
    if (now.Error) {
      outcome.Failed.Add(Concat({"Reading ", file.Path, " failed, so it was not deleted."}), now.Error);
    } else if (now.Digest != file.Digest) {
      outcome.Left.Add(file.Path + " was left in place, because it has changed since it was installed.");
    } else if (!os.DeleteFileA(file.Path.c_str())) {
      outcome.Failed.Add(Concat({"Deleting ", file.Path, " failed."}), FailureCode(os));
    } else {
      outcome.Done.Add(file.Path + " was deleted.");
    }
  }
}

void ShowOutcome(TDialogs& dialogs, const Outcome& outcome, bool filterOut, bool securityRestored, bool recorded) {
  const std::string noRecord =
      recorded ? std::string()
               : Concat({"\r\rThere is no record of the installation (the \"", kInstallationRecordValue, "\" value of ",
                         MachineKeyName(kInstallationRecordKey),
                         "), as when EWF support was installed by hand or by an older Stillvane: only what could be ",
                         "told for certain was undone."});
  std::string text;
  if (!outcome.Done.Empty()) text = "These steps were done:" + outcome.Done.Text();
  if (!outcome.Left.Empty()) text += Concat({text.empty() ? "" : "\r\r", "Left as it was:", outcome.Left.Text()});
  if (!outcome.Failed.Empty()) {
    text += Concat({text.empty() ? "" : "\r\r", "These steps failed:", outcome.Failed.Text()});
  }
  if (!securityRestored) text += "\r\rIn addition, an error has occured while restoring " + RootKeyRestoreAdvice();
  const std::string body = text.empty() ? std::string() : "\r\r" + text + noRecord;
  if (!filterOut) {
    dialogs.ShowMessageDialog(
        "EWF support was not removed.  Nothing else was changed, because the write filter may "
        "still be in the volume filter list, and Windows does not start when a filter in that "
        "list has lost its driver or registry entries." +
            body + "\r\rCorrect the cause, then choose Remove EWF Support again.",
        MessageKind::Error, MessageButtons::Ok);
  } else if (!outcome.Failed.Empty() || !securityRestored) {
    dialogs.ShowMessageDialog("EWF support was not completely removed." + body +
                                  "\r\rRestart the computer, then choose Remove EWF Support again to finish.",
                              MessageKind::Error, MessageButtons::Ok);
  } else if (!outcome.Left.Empty()) {
    dialogs.ShowMessageDialog("EWF support was removed, except for what is listed as left as it was." + body +
                                  "\r\rRestart the computer now: until it restarts, the write filter is "
                                  "still at work.",
                              MessageKind::Warning, MessageButtons::Ok);
  } else if (outcome.Done.Empty()) {
    dialogs.ShowMessageDialog("No EWF support was found to remove; nothing has been changed." + body,
                              MessageKind::Information, MessageButtons::Ok);
  } else {
    dialogs.ShowMessageDialog("EWF support was removed." + body +
                                  "\r\rRestart the computer now: until it restarts, the write filter is still at work.",
                              MessageKind::Information, MessageButtons::Ok);
  }
}

}  // namespace

void RemoveEwfSupport(const RemovalContext& context) {
  TOs& os = context.Os;
  const RecordRead read = ReadInstallationRecord(os);
  if (read.Error) {
    const char* const advice =
        read.Error == ERROR_INVALID_DATA
            ? "It is not of the kind Stillvane writes: delete it with regedit, then choose Remove EWF Support again."
            : "Log on as an administrator, then choose Remove EWF Support again.";
    context.Dialogs.ShowMessageDialog(
        Concat({WithErrorCode(Concat({"Nothing was removed, because the record of the installation, the \"",
                                      kInstallationRecordValue, "\" value of ", MachineKeyName(kInstallationRecordKey),
                                      ", could not be read."}),
                              static_cast<DWORD>(read.Error)),
                "\r\r", advice}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }
  BootVolumes boot;
  if (!read.Present) {
    boot = FindBootVolumes(os, context.SystemDriveFolder);
    // Without the record, the boot loader is looked for where the computer starts from.
    if (!boot.Failure.empty()) {
      context.Dialogs.ShowMessageDialog(
          "Nothing was removed, because Windows could not tell which partition this computer starts from:\r\r" +
              boot.Failure,
          MessageKind::Error, MessageButtons::Ok);
      return;
    }
  }
  // While the write filter protects the volume, whatever is removed comes back at the next restart.
  if (!ConfirmChangesWillLast(os, context.Dialogs, context.WindowsFolder)) return;
  if (context.Dialogs.ShowMessageDialog(kConfirmation, MessageKind::Confirmation, MessageButtons::YesNo) !=
      DialogResult::Yes) {
    return;
  }
  // What can fail about the key's security without changing it fails before anything changes.
  RootKeySecurityChange securityChange(os);
  // A removal killed inside the bracket leaves the key open: the next run closes it.
  const bool enumRootKey = KeyExists(os, kEnumRootKey) || RootKeyIsLeftOpen(os);
  if (enumRootKey && !PrepareRootKeySecurityChange(os, context.Dialogs, context.SavedRootKeySecurity, securityChange)) {
    return;
  }

  Outcome outcome;
  const bool filterOut = TakeEwfOutOfFilterList(os, read.Record, outcome);
  bool restored = true;
  if (filterOut) {
    // Its driver file stays for as long as a boot-start service may load it.
    const bool serviceGone = DeleteKey(os, kServiceKey, outcome);
    if (enumRootKey) {
      restored = DeleteEnumRootKey(context, securityChange, outcome);
    } else {
      DeleteKey(os, kEnumRootKey, outcome);  // not seen: gone, or refused, and then told
    }
    if (read.Present && !read.Record.BootLoader.empty()) {
      PutRecordedBootLoaderBack(os, read.Record, outcome);
    } else if (!read.Present) {
      PutFoundBootLoaderBack(os, boot.BootLoaderFolder, context.SourceFolder + "ewfntldr", outcome);
    }
    if (serviceGone) DeletePlacedFiles(os, read, context.WindowsFolder, outcome);
    if (read.Present && outcome.Failed.Empty()) {
      if (const LONG error = DeleteInstallationRecord(os)) {
        outcome.Failed.Add(Concat({"Deleting the record of the installation, the registry key ",
                                   MachineKeyName(kInstallationRecordKey), ", failed."}),
                           static_cast<DWORD>(error));
      }
    }
  }
  context.SavedRootKeySecurity.reset();  // when the key was never opened up
  ShowOutcome(context.Dialogs, outcome, filterOut, restored, read.Present);
}
