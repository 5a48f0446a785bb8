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
  TFailedSteps done;
  TFailedSteps left;  // what was not changed on purpose, and why
  TFailedSteps failed;
};

// Ewf out of the volume filter list, and VolSnap when the installation added
// it. False when Ewf may still be in the list: then nothing it needs may go.
bool TakeEwfOutOfFilterList(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  const std::string valueName = Concat({"the \"", VolumeFiltersValue, "\" value of ", MachineKeyName(VolumeClassKey)});
  UniqueKey key(os);
  // Every Windows has the volume class: "not found" is not taken for "no filters".
  LONG error = os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, VolumeClassKey + 1, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put());
  if (error != ERROR_SUCCESS) {
    outcome.failed.Add(Concat({"Opening the registry key ", MachineKeyName(VolumeClassKey), " failed."}),
                       static_cast<DWORD>(error));
    return false;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  error = ReadRegistryValue(os, key.get(), VolumeFiltersValue, &type, &existing);
  if (error == ERROR_FILE_NOT_FOUND) return true;
  if (error != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    outcome.failed.Add(Concat({"Reading ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  if (!ListsWriteFilter(type, existing)) return true;
  const std::vector<BYTE> filters = UpperFiltersWithoutEwf(type, existing, record.addedVolSnap);
  if (filters.empty() && record.createdFilterList) {
    error = os.RegDeleteValueA(key.get(), VolumeFiltersValue);
  } else {
    const std::vector<BYTE> written = filters.empty() ? std::vector<BYTE>{0} : filters;
    error = os.RegSetValueExA(key.get(), VolumeFiltersValue, 0, REG_MULTI_SZ, written.data(),
                              static_cast<DWORD>(written.size()));
  }
  if (error == ERROR_SUCCESS) error = os.RegFlushKey(key.get());
  if (error != ERROR_SUCCESS) {
    outcome.failed.Add(Concat({"Writing ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  outcome.done.Add(Concat({"The write filter was taken out of ", valueName, "."}));
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
    outcome.failed.Add(Concat({"Deleting the registry key ", MachineKeyName(failedKey.c_str()), " failed."}),
                       static_cast<DWORD>(error));
    return false;
  }
  if (seen) outcome.done.Add(Concat({"The registry key ", MachineKeyName(path), " was deleted."}));
  return true;
}

// LEGACY_EWF goes inside the same bracket that let the installation write it.
// False when the key's permissions could not be put back (after its message).
bool DeleteEnumRootKey(const RemovalContext& context, const RootKeySecurityChange& change, Outcome& outcome) {
  const TRootKeySecurityGuard guard(context.os, context.dialogs, context.SavedRootKeySecurity);
  if (!ApplyRootKeySecurityChange(context.os, context.dialogs, context.SavedRootKeySecurity, change)) {
    outcome.failed.Add(Concat({"The registry key ", MachineKeyName(kEnumRootKey),
                               " was not deleted, because the security of the registry key ",
                               MachineKeyName(RootKeySecurityPath), " could not be changed."}));
    return true;
  }
  DeleteKey(context.os, kEnumRootKey, outcome);
  const bool restored = RestoreRootKeySecurity(context.os, context.dialogs, context.SavedRootKeySecurity);
  if (restored && change.replacedOpenDacl) {
    outcome.done.Add(Concat({"The registry key ", MachineKeyName(RootKeySecurityPath),
                             " gave everyone full control, as an interrupted run leaves it, so it was given the "
                             "standard permissions: the System account has full access, and the Everyone group only "
                             "Read access."}));
  }
  return restored;
}

// Whether a file that could not be read is not there: a search must agree.
bool Missing(TOs& os, const std::string& path, const FileDigest& read) {
  if (read.error != ERROR_FILE_NOT_FOUND && read.error != ERROR_PATH_NOT_FOUND) return false;
  const FileLookup found = LookForFile(os, path);
  return !found.present && !found.error;
}

// Deletes a backup the installation made once the loader it holds is back.
void DeleteBackup(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  if (!record.backupMade) return;
  const FileDigest backup = DigestOfFile(os, record.backup);
  if (backup.error && !Missing(os, record.backup, backup)) {
    outcome.failed.Add(Concat({"Reading ", record.backup, " failed, so it was not deleted."}), backup.error);
    return;
  }
  if (backup.digest != record.backupDigest) return;
  if (!os.DeleteFileA(record.backup.c_str())) {
    outcome.failed.Add(Concat({"Deleting ", record.backup, " failed."}), os.GetLastError());
    return;
  }
  outcome.done.Add(Concat({record.backup, ", the copy of the earlier boot loader, was deleted."}));
}

void PutRecordedBootLoaderBack(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  const std::string& ntldr = record.bootLoader;
  const std::string leftBecause = Concat({"The boot loader ", ntldr, " was left as it is, because "});
  const FileDigest now = DigestOfFile(os, ntldr);
  if (now.error) {
    outcome.failed.Add(Concat({"Reading ", ntldr, " failed, so the earlier boot loader was not put back."}), now.error);
    return;
  }
  if (now.digest == record.backupDigest) return DeleteBackup(os, record, outcome);  // put back by an earlier run
  if (now.digest != record.bootLoaderDigest) {
    outcome.left.Add(leftBecause + "it has changed since EWF support was installed.");
    return;
  }
  const FileDigest backup = DigestOfFile(os, record.backup);
  if (backup.error && Missing(os, record.backup, backup)) {
    outcome.left.Add(Concat({leftBecause, "its backup ", record.backup, " is missing."}));
    return;
  }
  if (backup.error) {
    outcome.failed.Add(Concat({"Reading ", record.backup, " failed, so the earlier boot loader was not put back."}),
                       backup.error);
    return;
  }
  if (backup.digest != record.backupDigest) {
    outcome.left.Add(
        Concat({leftBecause, "its backup ", record.backup, " has changed since EWF support was installed."}));
    return;
  }
  if (!ReplaceFileWithCopy(os, record.backup, ntldr, outcome.failed, record.bootLoaderAttributes)) return;
  outcome.done.Add(Concat({"The earlier boot loader was put back from ", record.backup, " as ", ntldr, "."}));
  DeleteBackup(os, record, outcome);
}

// Without a record: only when ntldr is the EWF boot loader beside the
// program and exactly one backup of another loader is there. The backup stays.
void PutFoundBootLoaderBack(TOs& os, const std::string& loaderFolder, const std::string& ewfLoader, Outcome& outcome) {
  const std::string ntldr = loaderFolder + "ntldr";
  const std::string leftBecause = Concat({"The boot loader ", ntldr, " was left as it is, because "});
  const FileDigest now = DigestOfFile(os, ntldr);
  if (now.error || now.digest != DigestOfFile(os, ewfLoader).digest) {
    // With nothing of the write filter found, there is nothing to tell.
    if (!outcome.done.Empty()) {
      outcome.left.Add(leftBecause + "there is no record of the installation, and it is not the " + ewfLoader + ".");
    }
    return;
  }
  std::vector<std::string> candidates;
  for (int n = 0; n < kBackupNames; ++n) {
    const std::string backup = ntldr + ".bak" + (n ? "." + std::to_string(n) : std::string());
    const FileLookup found = LookForFile(os, backup);
    if (found.error) {
      outcome.failed.Add(Concat({"Looking for ", backup, " failed, so the earlier boot loader was not put back."}),
                         found.error);
      return;
    }
    if (found.present && DigestOfFile(os, backup).digest != now.digest) candidates.push_back(backup);
  }
  if (candidates.size() != 1) {
    std::string names;
    for (const std::string& name : candidates) names += (names.empty() ? "" : ", ") + name;
    outcome.left.Add(leftBecause + (candidates.empty() ? std::string("no copy of an earlier boot loader was found.")
                                                       : "there is no record of the installation to tell which of " +
                                                             names + " holds the earlier boot loader."));
    return;
  }
  if (!ReplaceFileWithCopy(os, candidates.front(), ntldr, outcome.failed)) return;
  outcome.done.Add(Concat({"The earlier boot loader was put back from ", candidates.front(), " as ", ntldr, "."}));
}

// Only files the installation placed, and only while they are what it placed.
void DeletePlacedFiles(TOs& os, const RecordRead& read, const std::string& windowsFolder, Outcome& outcome) {
  if (!read.present) {
    for (const DriverFileCopy& copy : DriverFileCopies) {
      const std::string target = windowsFolder + copy.target;
      if (copy.folder == InstallFolder::Windows && LookForFile(os, target).present) {
        outcome.left.Add(target + " was left in place, because there is no record that Stillvane placed it.");
      }
    }
    return;
  }
  for (const PlacedFileRecord& file : read.record.files) {
    const FileDigest now = DigestOfFile(os, file.path);
    if (now.error && Missing(os, file.path, now)) continue;
    if (now.error) {
      outcome.failed.Add(Concat({"Reading ", file.path, " failed, so it was not deleted."}), now.error);
    } else if (now.digest != file.digest) {
      outcome.left.Add(file.path + " was left in place, because it has changed since it was installed.");
    } else if (!os.DeleteFileA(file.path.c_str())) {
      outcome.failed.Add(Concat({"Deleting ", file.path, " failed."}), os.GetLastError());
    } else {
      outcome.done.Add(file.path + " was deleted.");
    }
  }
}

void ShowOutcome(TDialogs& dialogs, const Outcome& outcome, bool filterOut, bool securityRestored, bool recorded) {
  const std::string noRecord =
      recorded ? std::string()
               : Concat({"\r\rThere is no record of the installation (the \"", InstallationRecordValue, "\" value of ",
                         MachineKeyName(InstallationRecordKey),
                         "), as when EWF support was installed by hand or by an older Stillvane: only what could be ",
                         "told for certain was undone."});
  std::string text;
  if (!outcome.done.Empty()) text = "These steps were done:" + outcome.done.Text();
  if (!outcome.left.Empty()) text += Concat({text.empty() ? "" : "\r\r", "Left as it was:", outcome.left.Text()});
  if (!outcome.failed.Empty()) {
    text += Concat({text.empty() ? "" : "\r\r", "These steps failed:", outcome.failed.Text()});
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
  } else if (!outcome.failed.Empty() || !securityRestored) {
    dialogs.ShowMessageDialog("EWF support was not completely removed." + body +
                                  "\r\rRestart the computer, then choose Remove EWF Support again to finish.",
                              MessageKind::Error, MessageButtons::Ok);
  } else if (!outcome.left.Empty()) {
    dialogs.ShowMessageDialog("EWF support was removed, except for what is listed as left as it was." + body +
                                  "\r\rRestart the computer now: until it restarts, the write filter is "
                                  "still at work.",
                              MessageKind::Warning, MessageButtons::Ok);
  } else if (outcome.done.Empty()) {
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
  TOs& os = context.os;
  const RecordRead read = ReadInstallationRecord(os);
  if (read.error) {
    context.dialogs.ShowMessageDialog(
        Concat({"Nothing was removed, because the record of the installation, the \"", InstallationRecordValue,
                "\" value of ", MachineKeyName(InstallationRecordKey), ", could not be read.  Error ",
                std::to_string(read.error)}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }
  BootVolumes boot;
  if (!read.present) {
    boot = FindBootVolumes(os, context.SystemDriveFolder);
    // Without the record, the boot loader is looked for where the computer starts from.
    if (!boot.Failure.empty()) {
      context.dialogs.ShowMessageDialog(
          "Nothing was removed, because Windows could not tell which partition this computer starts from:\r\r" +
              boot.Failure,
          MessageKind::Error, MessageButtons::Ok);
      return;
    }
  }
  // While the write filter protects the volume, whatever is removed comes back at the next restart.
  if (!ConfirmChangesWillLast(os, context.dialogs, context.WindowsFolder)) return;
  if (context.dialogs.ShowMessageDialog(kConfirmation, MessageKind::Confirmation, MessageButtons::YesNo) !=
      DialogResult::Yes) {
    return;
  }
  // What can fail about the key's security without changing it fails before anything changes.
  RootKeySecurityChange securityChange(os);
  // A removal killed inside the bracket leaves the key open: the next run closes it.
  const bool enumRootKey = KeyExists(os, kEnumRootKey) || RootKeyIsLeftOpen(os);
  if (enumRootKey && !PrepareRootKeySecurityChange(os, context.dialogs, context.SavedRootKeySecurity, securityChange)) {
    return;
  }

  Outcome outcome;
  const bool filterOut = TakeEwfOutOfFilterList(os, read.record, outcome);
  bool restored = true;
  if (filterOut) {
    // Its driver file stays for as long as a boot-start service may load it.
    const bool serviceGone = DeleteKey(os, kServiceKey, outcome);
    if (enumRootKey) {
      restored = DeleteEnumRootKey(context, securityChange, outcome);
    } else {
      DeleteKey(os, kEnumRootKey, outcome);  // not seen: gone, or refused, and then told
    }
    if (read.present && !read.record.bootLoader.empty()) {
      PutRecordedBootLoaderBack(os, read.record, outcome);
    } else if (!read.present) {
      PutFoundBootLoaderBack(os, boot.BootLoaderFolder, context.SourceFolder + "ewfntldr", outcome);
    }
    if (serviceGone) DeletePlacedFiles(os, read, context.WindowsFolder, outcome);
    if (read.present && outcome.failed.Empty()) {
      if (const LONG error = DeleteInstallationRecord(os)) {
        outcome.failed.Add(Concat({"Deleting the record of the installation, the registry key ",
                                   MachineKeyName(InstallationRecordKey), ", failed."}),
                           static_cast<DWORD>(error));
      }
    }
  }
  context.SavedRootKeySecurity.reset();  // when the key was never opened up
  ShowOutcome(context.dialogs, outcome, filterOut, restored, read.present);
}
