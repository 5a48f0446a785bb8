#include "install/removal.h"

#include <algorithm>
#include <vector>

#include "install/file_contents.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "install/replace_protocol.h"
#include "install/security_bracket.h"
#include "install/upper_filters.h"
#include "install/windows_owned_keys.h"
#include "services/boot_volumes.h"
#include "services/concat.h"
#include "services/files.h"
#include "services/registry.h"
#include "services/step_failure.h"
#include "services/write_filter_state.h"

namespace {

// Where an installation can have put files: the driver files' targets and
// the backups it names after them, in the Windows folder and in the roots
// the boot loader can have gone to.
struct Places {
  std::vector<std::string> Files;    // targets and their backups
  std::vector<std::string> Targets;  // where the driver files go
  std::vector<std::string> Loaders;  // the boot loaders among them
  bool Holds(const std::string& path) const { return std::find(Files.begin(), Files.end(), path) != Files.end(); }
  bool IsLoader(const std::string& path) const {
    return std::find(Loaders.begin(), Loaders.end(), path) != Loaders.end();
  }
  // The boot loader `path` is a backup name of; empty when none.
  std::string LoaderOf(const std::string& path) const {
    for (const std::string& loader : Loaders) {
      if (IsBackupOf(path, loader)) return loader;
    }
    return {};
  }
};

Places PlacesOfInstallation(const RemovalContext& context, const BootVolumes& boot) {
  Places places;
  for (const DriverFile& file : kDriverFiles) {
    // A file for the system drive may also be where the boot loader went.
    const bool onSystemDrive = file.Folder == InstallFolder::SystemDrive;
    const std::string* const folders[] = {
        onSystemDrive ? &context.SystemDriveFolder : &context.WindowsFolder,
        onSystemDrive && boot.Failure.empty() && boot.BootLoaderFolder != context.SystemDriveFolder
            ? &boot.BootLoaderFolder
            : nullptr};
    for (const std::string* folder : folders) {
      if (!folder) continue;
      const std::string target = *folder + file.Target;
      if (file.ReplacesLoader) places.Loaders.push_back(target);
      places.Targets.push_back(target);
      places.Files.push_back(target);
      for (int n = 0; n < kBackupNames; ++n) places.Files.push_back(BackupName(target, n));
    }
  }
  return places;
}

// What the closing message lists.
struct Outcome {
  TStepLog Log;
  bool FilterTakenOut = false;  // the write filter was in the list until now
};

std::string FilterListName() {
  return Concat({"the \"", kVolumeFiltersValue, "\" value of ", MachineKeyName(kVolumeClassKey)});
}

// Ewf out of the volume filter list, and VolSnap when the installation added
// it. False when Ewf may still be in the list: then nothing it needs may go.
bool TakeEwfOutOfFilterList(TOs& os, const InstallationRecord& record, Outcome& outcome) {
  const std::string valueName = FilterListName();
  TStepLog& log = outcome.Log;
  UniqueKey key(os);
  // Every Windows has the volume class: "not found" is not taken for "no filters".
  LONG error =
      os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BelowRoot(kVolumeClassKey), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put());
  if (error != ERROR_SUCCESS) {
    log.Failed(Concat({"Opening the registry key ", MachineKeyName(kVolumeClassKey), " failed."}),
               static_cast<DWORD>(error));
    return false;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  error = ReadRegistryValue(os, key.get(), kVolumeFiltersValue, &type, &existing);
  if (error == ERROR_FILE_NOT_FOUND) return true;
  if (error != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    log.Failed(Concat({"Reading ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  if (type != REG_MULTI_SZ && type != REG_SZ) {
    if (!MentionsWriteFilter(existing)) return true;
    // Windows may still read it as the list; rewritten, it could lose what it holds.
    log.Failed(
        Concat({valueName, " names Ewf, but is not a list of names (its type is ", DecimalText(type),
                "), so Stillvane did not change it.  Use regedit to make it a multi-string value without ", "Ewf."}));
    return false;
  }
  if (!ListsWriteFilter(type, existing)) return true;
  std::vector<BYTE> filters = UpperFiltersWithoutEwf(type, existing, record.AddedVolSnap);
  if (filters.empty() && record.CreatedFilterList) {
    error = os.RegDeleteValueA(key.get(), kVolumeFiltersValue);
  } else {
    if (filters.empty()) filters.push_back(0);  // an empty list
    error = os.RegSetValueExA(key.get(), kVolumeFiltersValue, 0, REG_MULTI_SZ, filters.data(),
                              static_cast<DWORD>(filters.size()));
  }
  if (error != ERROR_SUCCESS) {
    log.Failed(Concat({"Writing ", valueName, " failed."}), static_cast<DWORD>(error));
    return false;
  }
  if (!FlushKey(os, key.get(), MachineKeyName(kVolumeClassKey), log)) return false;
  log.Done(Concat({"The write filter was taken out of ", valueName, "."}));
  outcome.FilterTakenOut = true;
  return true;
}

bool KeyExists(TOs& os, const char* path) {
  UniqueKey key(os);
  return os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, BelowRoot(path), 0, KEY_QUERY_VALUE, key.put()) != ERROR_FILE_NOT_FOUND;
}

// True when the key is gone. Deleted whether or not it was seen: the
// deletion itself tells "not there" apart.
bool DeleteKey(TOs& os, const char* path, TStepLog& log) {
  const bool seen = KeyExists(os, path);
  std::string failedKey;
  if (const LONG error = DeleteKeyTree(os, HKEY_LOCAL_MACHINE, BelowRoot(path), &failedKey)) {
    log.Failed(Concat({"Deleting the registry key ", MachineKeyName(failedKey.c_str()), " failed."}),
               static_cast<DWORD>(error));
    return false;
  }
  if (seen) log.Done(Concat({"The registry key ", MachineKeyName(path), " was deleted."}));
  return true;
}

// LEGACY_EWF goes inside the same bracket that let the installation write it.
// False when the key's permissions could not be put back (after its message).
bool DeleteEnumRootKey(TRootKeySecurityBracket& bracket, TOs& os, TStepLog& log) {
  if (!bracket.Open()) {
    log.Failed(Concat({"The registry key ", MachineKeyName(kEnumRootDeviceKey),
                       " was not deleted, because the security of the registry key ",
                       MachineKeyName(kRootKeySecurityPath), " could not be changed."}));
    return true;
  }
  TWindowsOwnedKeys windowsOwned(os);
  windowsOwned.Take(BelowRoot(kEnumRootDeviceKey), log);
  DeleteKey(os, kEnumRootDeviceKey, log);
  windowsOwned.PutBack(kEnumRootDeviceKey, "to delete it", log);
  const bool restored = bracket.Close();
  if (restored && bracket.ReplacedOpenDacl()) {
    log.Done(Concat({"The registry key ", MachineKeyName(kRootKeySecurityPath),
                     " gave everyone full control, as an interrupted run leaves it, so it was given the "
                     "standard permissions: the System account has full access, and the Everyone group only "
                     "Read access."}));
  }
  return restored;
}

// Whether a file that could not be read is not there: a search must agree.
bool Missing(TOs& os, const std::string& path, const FileDigest& read) {
  if (!IsMissing(read.Error)) return false;
  const FileLookup found = LookForFile(os, path);
  return !found.Present && !found.Error;
}

// What becomes of one file of the record.
enum class Undo {
  Nothing,  // the installation's change is not there (never made, or undone)
  Delete,   // it placed the file where nothing was
  PutBack,  // it replaced a file, whose bytes its backup still holds
  Leave,    // it is not the installation's to touch, or cannot be undone: `Why`
  Failed,   // it could not be told: `Why`, with `Error`
};
struct FileUndo {
  Undo Action = Undo::Nothing;
  std::string Why = {};
  DWORD Error = 0;
  bool DeleteBackup = false;       // the backup the installation made goes too
  bool RestoreAttributes = false;  // the file is the one from before, its attributes not yet
};

// Decides for `file` from what is on the disk now; reads only.
FileUndo Decide(TOs& os, const Places& places, const PlacedFileRecord& file) {
  const std::string& path = file.Path;
  if (!places.Holds(path)) {
    return {Undo::Leave, Concat({path, ", named in the record of the installation, was left as it is, because it is ",
                                 "not a place where an installation puts files."})};
  }
  const FileDigest now = DigestOfFile(os, path);
  if (now.Error && Missing(os, path, now)) return {};
  if (now.Error) return {Undo::Failed, Concat({"Reading ", path, " failed, so it was left as it is."}), now.Error};
  const bool loader = places.IsLoader(path);
  // A backup the installation made goes once the file holds its bytes again.
  const auto backupWhole = [&]() -> FileUndo {
    if (file.Backup.empty() || !places.Holds(file.Backup)) return {};
    const FileDigest backup = DigestOfFile(os, file.Backup);
    if (backup.Error && !Missing(os, file.Backup, backup)) {
      return {Undo::Failed, Concat({"Reading ", file.Backup, " failed, so it was left as it is."}), backup.Error};
    }
    if (backup.Error) return {Undo::Leave, Concat({"its backup ", file.Backup, " is missing."})};
    if (backup.Digest != file.Before) {
      return {Undo::Leave, Concat({"its backup ", file.Backup, " has changed since EWF support was installed."})};
    }
    if (loader) {
      const ContentCheck check = CheckFileContents(os, file.Backup, FileKind::BootLoader);
      if (check.Error) {
        return {Undo::Failed, Concat({"Reading ", file.Backup, " failed, so it was left as it is."}), check.Error};
      }
      if (!check.Problem.empty()) {
        return {Undo::Leave, Concat({"its backup ", file.Backup, " is not a boot loader: ", check.Problem, "."})};
      }
    }
    return {Undo::PutBack, "", 0, file.BackupMade};
  };
  if (!file.Before.empty() && now.Digest == file.Before) {
    // Never replaced: only a backup made for it may be there, and a
    // read-only attribute cleared for the rename that did not come.
    FileUndo undo = backupWhole();
    const DWORD attributes = os.GetFileAttributesA(path.c_str());
    return {Undo::Nothing, "", 0, undo.Action == Undo::PutBack && undo.DeleteBackup,
            file.Attributes != INVALID_FILE_ATTRIBUTES && attributes != INVALID_FILE_ATTRIBUTES &&
                attributes != file.Attributes};
  }
  const std::string leftBecause = loader ? Concat({"The boot loader ", path, " was left as it is, because "})
                                         : path + " was left in place, because ";
  if (now.Digest != file.Digest && now.Digest != file.Also) {
    return {Undo::Leave, leftBecause + "it has changed since EWF support was installed."};
  }
  if (file.Before.empty()) {
    // A copy beside a boot loader may be the last of the loader Windows came
    // with: it goes only while the loader holds the same bytes.
    const std::string ownLoader = places.LoaderOf(path);
    if (!ownLoader.empty() && DigestOfFile(os, ownLoader).Digest != now.Digest) {
      return {Undo::Leave, leftBecause + "it may hold the boot loader Windows came with."};
    }
    if (!loader) return {Undo::Delete};
    // Deleted, it would leave the partition without any boot loader.
    return {Undo::Leave, leftBecause + "there was no boot loader there before EWF support was installed."};
  }
  FileUndo undo = backupWhole();
  if (undo.Action == Undo::Leave) undo.Why = leftBecause + undo.Why;
  if (undo.Action == Undo::Nothing) undo = {Undo::Leave, leftBecause + "the record names no backup of it."};
  return undo;
}

// A file another program holds open (a virus scanner) is only marked for
// deletion: its name stays until that program closes it.
void DeleteAndTell(TOs& os, const std::string& path, const std::string& named, TStepLog& log) {
  if (!os.DeleteFileA(path.c_str())) {
    log.Failed(Concat({"Deleting ", path, " failed."}), FailureCode(os));
  } else if (FileIsPresent(os, path)) {
    log.Done(Concat({named, " will be deleted when the program that holds it open closes it."}));
  } else {
    log.Done(Concat({named, " was deleted."}));
  }
}

void DeleteMadeBackup(TOs& os, const PlacedFileRecord& file, TStepLog& log) {
  DeleteAndTell(os, file.Backup, Concat({file.Backup, ", the copy kept by the installation,"}), log);
}

constexpr char kLeftByAKill[] = ", left by an installation that was cut short, was deleted.";

// The copy of `path` staged by a run that was cut short goes, and is told.
void DiscardLeftCopy(TOs& os, const std::string& path, TStepLog& log) {
  const std::string temp = TemporaryNameFor(path);
  if (os.GetFileAttributesA(temp.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  DiscardTemporary(os, temp);
  if (os.GetFileAttributesA(temp.c_str()) == INVALID_FILE_ATTRIBUTES) {
    log.Done(temp + kLeftByAKill);
  }
}

// Undoes what the installation did to one file, as Decide says.
void UndoFile(TOs& os, const Places& places, const PlacedFileRecord& file, TStepLog& log) {
  for (const std::string* path : {&file.Path, &file.Backup}) {
    if (!path->empty() && places.Holds(*path)) DiscardLeftCopy(os, *path, log);
  }
  const FileUndo undo = Decide(os, places, file);
  switch (undo.Action) {
    case Undo::Nothing:
      if (undo.RestoreAttributes) {
        if (!os.SetFileAttributesA(file.Path.c_str(), file.Attributes)) {
          log.Failed(Concat({"Setting the attributes of ", file.Path, " back failed."}), FailureCode(os));
        } else {
          log.Done(Concat({"The attributes of ", file.Path, " were set back."}));
        }
      }
      break;
    case Undo::Leave:
      log.Left(undo.Why);
      return;
    case Undo::Failed:
      log.Failed(undo.Why, undo.Error);
      return;
    case Undo::Delete:
      DeleteAndTell(os, file.Path, file.Path, log);
      return;
    case Undo::PutBack:
      if (!ReplaceFileWithCopy(os, file.Backup, file.Path, log, file.Attributes)) return;
      log.Done(places.IsLoader(file.Path)
                   ? Concat({"The earlier boot loader was put back from ", file.Backup, " as ", file.Path, "."})
                   : Concat({"The earlier ", file.Path, " was put back from ", file.Backup, "."}));
      break;
  }
  if (undo.DeleteBackup) DeleteMadeBackup(os, file, log);
}

// Without a record, or one that names no boot loader: only when ntldr is the
// EWF boot loader beside the program and exactly one backup of another loader
// is there. The backup stays.
void PutFoundBootLoaderBack(TOs& os, const std::string& loaderFolder, const std::string& ewfLoader, Outcome& outcome,
                            bool recorded) {
  TStepLog& log = outcome.Log;
  const std::string ntldr = loaderFolder + kBootLoaderFile.Target;
  const std::string leftBecause = Concat({"The boot loader ", ntldr, " was left as it is, because "});
  const FileDigest now = DigestOfFile(os, ntldr);
  if (now.Error || now.Digest != DigestOfFile(os, ewfLoader).Digest) {
    // With nothing of the write filter found, or a record to say it, there is nothing to tell.
    if (log.AnyDone() && !recorded) {
      log.Left(Concat({leftBecause, "there is no record of the installation, and it is not the ", ewfLoader, "."}));
    }
    return;
  }
  std::vector<std::string> candidates;
  for (int n = 0; n < kBackupNames; ++n) {
    const std::string backup = BackupName(ntldr, n);
    const FileLookup found = LookForFile(os, backup);
    if (found.Error) {
      log.Failed(Concat({"Looking for ", backup, " failed, so the earlier boot loader was not put back."}),
                 found.Error);
      return;
    }
    if (!found.Present) continue;
    // A backup that cannot be read is not taken for one that is not there.
    const FileDigest digest = DigestOfFile(os, backup);
    const ContentCheck check = digest.Error ? ContentCheck{} : CheckFileContents(os, backup, FileKind::BootLoader);
    if (const DWORD error = digest.Error ? digest.Error : check.Error) {
      log.Failed(Concat({"Reading ", backup, " failed, so the earlier boot loader was not put back."}), error);
      return;
    }
    if (digest.Digest != now.Digest && check.Problem.empty()) candidates.push_back(backup);
  }
  if (candidates.size() != 1) {
    std::string names;
    for (const std::string& name : candidates) names += Concat({names.empty() ? "" : ", ", name});
    log.Left(candidates.empty() ? Concat({leftBecause, "no copy of an earlier boot loader was found."})
                                : Concat({leftBecause, "there is no record of the installation to tell which of ",
                                          names, " holds the earlier boot loader."}));
    return;
  }
  if (!ReplaceFileWithCopy(os, candidates.front(), ntldr, log)) return;
  log.Done(Concat({"The earlier boot loader was put back from ", candidates.front(), " as ", ntldr, "."}));
}

// The driver files the record does not name (all, without a record) are named and left.
void NameUnrecordedFiles(TOs& os, const std::string& windowsFolder, const InstallationRecord& record, TStepLog& log) {
  for (const DriverFile& file : kDriverFiles) {
    const std::string target = windowsFolder + file.Target;
    bool recorded = false;
    for (const PlacedFileRecord& entry : record.Files) recorded = recorded || entry.Path == target;
    if (file.Folder == InstallFolder::Windows && !recorded && LookForFile(os, target).Present) {
      log.Left(target + " was left in place, because there is no record that Stillvane placed it.");
    }
  }
}

// The question before anything changes: what this removal will do, for this record.
std::string Confirmation(TOs& os, const Places& places, const RecordRead& read) {
  std::string plan;
  for (const PlacedFileRecord& file : read.Record.Files) {
    const FileUndo undo = Decide(os, places, file);
    if (undo.Action == Undo::PutBack) {
      plan += places.IsLoader(file.Path)
                  ? Concat({"\r- the earlier boot loader is put back from ", file.Backup, " as ", file.Path, ";"})
                  : Concat({"\r- the earlier ", file.Path, " is put back from ", file.Backup, ";"});
    }
    if (undo.Action == Undo::Delete)
      plan += Concat({"\r- ", file.Path, ", which the installation placed, is deleted;"});
    if (undo.DeleteBackup) plan += Concat({"\r- ", file.Backup, ", the copy the installation kept, is deleted;"});
  }
  if (!read.Present) plan += "\r- the boot loader is put back only where the earlier one can be told for certain;";
  return Concat({"Stillvane will remove EWF support from this computer:\r",
                 "- the write filter is taken out of the volume filter list, and its registry entries are deleted;",
                 plan, "\rOther volume filters and files are left as they are.\r\r",
                 "The computer must be restarted afterwards.  Do you want to remove EWF support?"});
}

void ShowOutcome(TDialogs& dialogs, const Outcome& outcome, bool filterOut, bool securityRestored, bool recorded) {
  const TStepLog& log = outcome.Log;
  const std::string noRecord =
      recorded ? std::string()
               : Concat({"\r\rThere is no record of the installation (", InstallationRecordName(),
                         "), as when EWF support was installed by hand or by an older Stillvane: only what could be ",
                         "told for certain was undone."});
  std::string text;
  if (log.AnyDone()) text = "These steps were done:" + log.DoneText();
  if (log.AnyLeft()) text += Concat({text.empty() ? "" : "\r\r", "Left as it was:", log.LeftText()});
  if (log.AnyFailed()) text += Concat({text.empty() ? "" : "\r\r", "These steps failed:", log.FailedText()});
  if (!securityRestored) text += "\r\rIn addition, an error has occurred while restoring " + RootKeyRestoreAdvice();
  const std::string body = text.empty() ? std::string() : Concat({"\r\r", text, noRecord});
  const std::string restart =
      outcome.FilterTakenOut ? "\r\rRestart the computer now: until it restarts, the write filter is still at work."
                             : std::string();
  if (!filterOut) {
    dialogs.ShowMessageDialog(
        Concat({"EWF support was not removed.  Nothing else was changed, because the write filter may "
                "still be in the volume filter list, and Windows does not start when a filter in that "
                "list has lost its driver or registry entries.",
                body, "\r\rCorrect the cause, then choose Remove EWF Support again."}),
        MessageKind::Error, MessageButtons::Ok);
  } else if (log.AnyFailed() || !securityRestored) {
    dialogs.ShowMessageDialog(Concat({"EWF support was not completely removed.", body,
                                      "\r\rRestart the computer, then choose Remove EWF Support again to finish."}),
                              MessageKind::Error, MessageButtons::Ok);
  } else if (!log.AnyDone()) {
    dialogs.ShowMessageDialog("No EWF support was found to remove; nothing has been changed." + body,
                              MessageKind::Information, MessageButtons::Ok);
  } else if (log.AnyLeft()) {
    dialogs.ShowMessageDialog(
        Concat({"EWF support was removed, except for what is listed as left as it was.", body, restart}),
        MessageKind::Warning, MessageButtons::Ok);
  } else {
    dialogs.ShowMessageDialog(Concat({"EWF support was removed.", body, restart}), MessageKind::Information,
                              MessageButtons::Ok);
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
        Concat({WithErrorCode(Concat({"Nothing was removed, because the record of the installation, ",
                                      InstallationRecordName(), ", could not be read."}),
                              static_cast<DWORD>(read.Error)),
                "\r\r", advice}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }
  const BootVolumes boot = FindBootVolumes(os, context.SystemDriveFolder);
  // Without the record, the boot loader is looked for where the computer starts from.
  if (!read.Present && !boot.Failure.empty()) {
    context.Dialogs.ShowMessageDialog(
        "Nothing was removed, because Windows could not tell which partition this computer starts from:\r\r" +
            boot.Failure,
        MessageKind::Error, MessageButtons::Ok);
    return;
  }
  const Places places = PlacesOfInstallation(context, boot);
  // While the write filter protects the volume, whatever is removed comes back at the next restart.
  if (!ConfirmChangesWillLast(os, context.Dialogs, context.WindowsFolder)) return;
  if (context.Dialogs.ShowMessageDialog(Confirmation(os, places, read), MessageKind::Confirmation,
                                        MessageButtons::YesNo) != DialogResult::Yes) {
    return;
  }
  // What can fail about the key's security without changing it fails before anything changes.
  TRootKeySecurityBracket bracket(os, context.Dialogs);
  // A removal killed inside the bracket leaves the key open: the next run closes it.
  const bool enumRootKey = KeyExists(os, kEnumRootDeviceKey) || RootKeyIsLeftOpen(os);
  if (enumRootKey && !bracket.Prepare()) return;

  Outcome outcome;
  TStepLog& log = outcome.Log;
  const bool filterOut = TakeEwfOutOfFilterList(os, read.Record, outcome);
  bool restored = true;
  if (filterOut) {
    // Its driver file stays for as long as a boot-start service may load it.
    const bool serviceGone = DeleteKey(os, kServiceKey, log);
    if (enumRootKey) {
      restored = DeleteEnumRootKey(bracket, os, log);
    } else {
      DeleteKey(os, kEnumRootDeviceKey, log);  // not seen: gone, or refused, and then told
    }
    // Staged by an installation that was cut short before it could say so.
    for (const std::string& target : places.Targets) DiscardLeftCopy(os, target, log);
    // The boot loader first; the driver files only once no service may load them.
    bool loaderNamed = false;
    for (const bool loaders : {true, false}) {
      for (const PlacedFileRecord& file : read.Record.Files) {
        if (places.IsLoader(file.Path) != loaders || !(loaders || serviceGone)) continue;
        loaderNamed = loaderNamed || loaders;
        UndoFile(os, places, file, log);
      }
    }
    const bool namedLeft = log.AnyLeft();
    // What the record does not name is undone only where it is certain.
    if (!loaderNamed && boot.Failure.empty()) {
      PutFoundBootLoaderBack(os, boot.BootLoaderFolder, context.SourceFolder + kBootLoaderFile.Name, outcome,
                             read.Present);
    }
    NameUnrecordedFiles(os, context.WindowsFolder, read.Record, log);
    // Kept while anything it names is left (the next run tells it again).
    // Also the key of a record an installation died before writing.
    const std::string recordKey = MachineKeyName(kInstallationRecordKey);
    const bool keyLeft = KeyExists(os, kInstallationRecordKey);
    if (!log.AnyFailed() && !(read.Present && namedLeft)) {
      if (const LONG error = DeleteInstallationRecord(os)) {
        log.Failed(Concat({"Deleting the record of the installation, the registry key ", recordKey, ", failed."}),
                   static_cast<DWORD>(error));
      } else if (read.Present || keyLeft) {
        log.Done(read.Present
                     ? Concat({"The record of the installation, the registry key ", recordKey, ", was deleted."})
                     : Concat({"The registry key ", recordKey, kLeftByAKill}));
      }
    }
  }
  ShowOutcome(context.Dialogs, outcome, filterOut, restored, read.Present);
}
