#include "install/file_placement.h"

#include "install/replace_protocol.h"
#include "services/files.h"

namespace {

// An installed file or an existing backup refuses on purpose: it is kept.
bool RefusedBecauseItExists(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::string FolderInTheWay(const std::string& step, const std::string& path) {
  return Concat({step, " failed, because ", path, " is a folder: move or rename that folder."});
}

std::string ChangedAfterCheck(const ClickContext& context, const DriverFile& copy, const std::string& changed) {
  return Concat({"The file \"", copy.Name, "\" in ", context.SourceFolder,
                 " was changed after it was checked, so it was not installed: ", changed,
                 ".\r\rNothing has been changed.  Check what changes the files in that folder, then click Install EWF ",
                 "Support again."});
}

// What is there now at the staged copy's target, and what becomes of it:
// nothing there (a plain rename), the same bytes (nothing to do), or other
// bytes, kept under the backup chosen now. False after a failed step.
bool PlanSwitch(TOs& os, StagedCopy& staged, const InstallationRecord& earlier, TStepLog& log) {
  const std::string& target = staged.Target;
  const std::string temp = TemporaryNameFor(target);
  const DWORD attributes = os.GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = FailureCode(os);
    if (IsMissing(error)) return true;
    log.Failed(Concat({"Looking for ", target, " failed, so it was not replaced."}), error);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    log.Failed(FolderInTheWay(Concat({"Copying ", staged.Source, " to ", target}), target));
    return false;
  }
  const Comparison compared = CompareFiles(os, target, temp);
  if (compared.Same) {
    staged.AlreadyInPlace = true;
    DiscardTemporary(os, temp);
    return true;
  }
  const FileDigest before = compared.Error ? FileDigest{"", compared.Error} : DigestOfFile(os, target);
  if (before.Error) {
    log.Failed(
        Concat({"Reading ", compared.Error ? compared.Path : target, " failed, so ", target, " was not replaced."}),
        before.Error);
    return false;
  }
  staged.Entry.Before = before.Digest;
  staged.Entry.Attributes = attributes;
  staged.Attributes = attributes;
  // What an earlier installation placed needs no copy: the file from before
  // it is kept already (looked at: still there, still those bytes), and is
  // the one Remove puts back; or nothing was there before it.
  for (const PlacedFileRecord& file : earlier.Files) {
    if (file.Path != target || (file.Digest != before.Digest && file.Also != before.Digest)) continue;
    if (file.Before.empty() || (!file.Backup.empty() && DigestOfFile(os, file.Backup).Digest == file.Before)) {
      return true;
    }
  }
  const BackupChoice backup = ChooseBackup(os, target, log);
  if (backup.Name.empty()) return false;
  staged.Entry.Backup = backup.Name;
  staged.Entry.BackupMade = !backup.Exists;
  return true;
}

// A staged copy that goes where nothing was: one rename, which never
// overwrites a file that appeared meanwhile.
bool RenameIntoPlace(TOs& os, const StagedCopy& staged, TStepLog& log) {
  const std::string temp = TemporaryNameFor(staged.Target);
  if (os.MoveFileExA(temp.c_str(), staged.Target.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  const DWORD error = FailureCode(os);
  const std::string step = Concat({"Copying ", staged.Source, " to ", staged.Target});
  if (IsFolder(os, staged.Target)) {
    log.Failed(FolderInTheWay(step, staged.Target), error);
  } else if (!RefusedBecauseItExists(error)) {
    log.Failed(Concat({step, " failed."}), error);
  }
  // Otherwise installed meanwhile: that copy is kept, and checked before the driver is registered.
  DiscardTemporary(os, temp);
  return false;
}

void MoveFileAside(const ClickContext& context, const FileMovedAside& file, TStepLog& log) {
  const std::string from = FolderOf(context, file.Folder) + file.Name;
  const std::string to = FolderOf(context, file.Folder) + file.NewName;
  const FileLookup found = LookForFile(context.Os, from);
  if (found.Error)
    log.Failed(Concat({"Looking for ", from, " failed, so it was not renamed to ", to, "."}), found.Error);
  if (!found.Present) return;
  const DWORD error = RenameFile(context.Os, from, to);
  if (error == ERROR_SUCCESS) return;
  const std::string step = Concat({"Renaming ", from, " to ", to});
  if (IsFolder(context.Os, to)) {
    log.Failed(FolderInTheWay(step, to), error);
  } else if (!RefusedBecauseItExists(error)) {
    log.Failed(Concat({step, " failed."}), error);
  }
}

}  // namespace

const std::string& FolderOf(const ClickContext& context, InstallFolder folder) {
  return folder == InstallFolder::Windows ? context.WindowsFolder : context.Boot.BootLoaderFolder;
}

void DiscardStaged(TOs& os, const StagedFiles& staged) {
  for (const StagedCopy& copy : staged.Copies) DiscardTemporary(os, TemporaryNameFor(copy.Target));
}

StagedFiles StageDriverFiles(const ClickContext& context, const AcceptedVersions& accepted,
                             const CheckedContents& checked, const InstallationRecord& earlier, TStepLog& log) {
  TOs& os = context.Os;
  StagedFiles staged;
  const auto refuse = [&](const DriverFile& copy, const std::string& changed) {
    DiscardStaged(os, staged);
    return StagedFiles{false, {}, ChangedAfterCheck(context, copy, changed)};
  };
  for (size_t slot = 0; slot < kDriverFileCount; ++slot) {
    const DriverFile& file = kDriverFiles[slot];
    const std::string source = context.SourceFolder + file.Name;
    const std::string target = FolderOf(context, file.Folder) + file.Target;
    std::string replaced;
    if (file.FailIfExists) {
      const InstalledCopy installed = ExamineInstalledCopy(context.Os, context.FileVersionInfo, target, file, accepted);
      if (installed.LookUpError) {
        log.Failed(Concat({"Looking for ", target, " failed, so ", source, " was not copied there."}),
                   installed.LookUpError);
        continue;
      }
      if (installed.ReadError) {
        log.Failed(Concat({"Reading ", target, ", the copy already installed, failed, so it was left as it is."}),
                   installed.ReadError);
        continue;
      }
      // A whole installed copy of an accepted version is never replaced.
      if (installed.Present && installed.Problem.empty()) continue;
      replaced = installed.Problem;
    }
    const Staging staging = Stage(os, source, target, log, &checked[slot]);
    if (staging == Staging::NotTheExpectedBytes) {
      // Either the source changed since the checks, or the copy was written wrong.
      if (CompareWithBytes(os, source, checked[slot]).Same) {
        log.Failed(Concat({"Copying ", source, " to ", target,
                           " failed: the copy written there differs from the file that was checked."}));
        continue;
      }
      return refuse(file, "its contents are not the ones that were checked");
    }
    if (staging == Staging::Failed) continue;

    // The copy is what goes live: it must still be the file that was checked.
    const std::string temp = TemporaryNameFor(target);
    const ContentCheck check = CheckFileContents(os, temp, file.Kind);
    if (check.Error) {
      log.Failed(Concat({"Reading ", target, ", the copy of ", source, ", failed."}), check.Error);
      DiscardTemporary(os, temp);
      continue;
    }
    std::string changed = check.Problem;
    if (changed.empty() && !HasAcceptedVersion(context.FileVersionInfo, temp, file, accepted)) {
      changed = "its version is not the one that was checked, or cannot be read";
    }
    if (!changed.empty()) {
      DiscardTemporary(os, temp);
      return refuse(file, changed);
    }
    StagedCopy ready{&file, source, target, replaced};
    ready.Entry = {target, DigestOfBytes(checked[slot])};
    if (!PlanSwitch(os, ready, earlier, log)) {
      DiscardTemporary(os, temp);
      continue;
    }
    staged.Copies.push_back(ready);
  }
  return staged;
}

PlacedFiles PlaceStagedFiles(const ClickContext& context, const StagedFiles& staged, TStepLog& log) {
  TOs& os = context.Os;
  PlacedFiles done;
  for (const StagedCopy& ready : staged.Copies) {
    const bool bootLoader = ready.Copy->ReplacesLoader;
    bool placed = ready.AlreadyInPlace;
    if (!placed && ready.Entry.Before.empty()) {
      placed = RenameIntoPlace(os, ready, log);
    } else if (!placed) {
      const std::string& backup = ready.Entry.Backup;
      if (ready.Entry.BackupMade && !MakeBackup(os, ready.Target, backup, log)) {
        DiscardTemporary(os, TemporaryNameFor(ready.Target));
        continue;
      }
      // The new file is hidden, system and read-only if the old one was.
      placed = ReplaceWithStaged(os, ready.Source, ready.Target, ready.Attributes, ready.Attributes, log);
      const std::string usualBackup = BackupName(ready.Target, 0);
      if (placed && bootLoader && !backup.empty() && backup != usualBackup) {
        done.Note =
            JoinNotes(done.Note, Concat({"The boot loader ", ready.Target, " that was replaced has been kept as ",
                                         backup, ", because ", usualBackup, " holds something else."}));
      }
      if (placed && !ready.Replaced.empty() && !backup.empty()) {
        done.Note =
            JoinNotes(done.Note, Concat({"The file ", ready.Target, " that was already installed could not be used (",
                                         ready.Replaced, "), so it was replaced by the copy of ", ready.Source,
                                         "; its old contents have been kept as ", backup, "."}));
      }
    }
    if (bootLoader) done.BootLoaderPlaced = placed;
  }
  for (const FileMovedAside& file : kFilesMovedAside) MoveFileAside(context, file, log);
  return done;
}
