#include "install/file_placement.h"

#include <cstring>
#include <vector>

#include "services/files.h"
#include "services/handles.h"

namespace {

constexpr DWORD kChunk = 64 * 1024;
// The old boot loader is kept as ntldr.bak, or else under the first free
// one of ntldr.bak.1 to ntldr.bak.99.
constexpr int kBackupNames = 100;

// An installed file or an existing backup refuses on purpose: it is kept.
bool RefusedBecauseItExists(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Removes a temporary file, read-only or not. One that stays is overwritten
// by the next run.
void Discard(TOs& os, const std::string& temp) {
  if (os.DeleteFileA(temp.c_str()) || os.GetLastError() != ERROR_ACCESS_DENIED) return;
  os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  os.DeleteFileA(temp.c_str());
}

struct Comparison {
  bool Same;
  DWORD Error;       // 0 when both were read to their ends
  std::string Path;  // the one that could not be read
};

Comparison CompareFiles(TOs& os, const std::string& first, const std::string& second) {
  const std::string* paths[] = {&first, &second};
  UniqueFileHandle files[] = {UniqueFileHandle(os), UniqueFileHandle(os)};
  for (int i = 0; i < 2; ++i) {
    if (const DWORD error = OpenFileToRead(os, *paths[i], &files[i])) return {false, error, *paths[i]};
  }
  std::vector<BYTE> buffer(2 * size_t{kChunk});
  BYTE* const chunks[] = {buffer.data(), buffer.data() + kChunk};
  for (;;) {
    DWORD read[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      if (!os.ReadFile(files[i].get(), chunks[i], kChunk, &read[i], nullptr)) {
        return {false, FailureCode(os), *paths[i]};
      }
    }
    if (read[0] != read[1] || std::memcmp(chunks[0], chunks[1], read[0]) != 0) return {false, 0, ""};
    if (read[0] == 0) return {true, 0, ""};
  }
}

// Whether the file holds exactly `expected`, to its end.
Comparison CompareWithBytes(TOs& os, const std::string& path, const std::vector<BYTE>& expected) {
  UniqueFileHandle file(os);
  if (const DWORD error = OpenFileToRead(os, path, &file)) return {false, error, path};
  std::vector<BYTE> chunk(kChunk);
  size_t at = 0;
  for (;;) {
    DWORD read = 0;
    if (!os.ReadFile(file.get(), chunk.data(), kChunk, &read, nullptr)) return {false, FailureCode(os), path};
    if (read > expected.size() - at || std::memcmp(chunk.data(), expected.data() + at, read) != 0) {
      return {false, 0, ""};
    }
    if (read == 0) return {at == expected.size(), 0, ""};
    at += read;
  }
}

bool IsFolder(TOs& os, const std::string& path) {
  const DWORD attributes = os.GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FolderInTheWay(const std::string& step, const std::string& path) {
  return Concat({step, " failed, because ", path, " is a folder: move or rename that folder."});
}

enum class Staging { Done, Failed, NotTheCheckedFile };

// Copies `source` beside `target` under its temporary name, makes the copy
// writable, flushes it to disk and compares it with `checked` (the bytes the
// checks passed) or, without them, with the source. Failed after adding
// "Copying <source> to <target> failed<consequence>." to `failed`; unless
// Done, the temporary file is removed.
Staging Stage(TOs& os, const std::string& source, const std::string& target, TFailedSteps& failed,
              const std::vector<BYTE>* checked, const std::string& consequence = "") {
  const std::string temp = TemporaryNameFor(target);
  const std::string step = Concat({"Copying ", source, " to ", target, " failed", consequence, "."});
  const auto fail = [&](DWORD error) {
    failed.Add(step, error);
    Discard(os, temp);
    return Staging::Failed;
  };
  // Left by a run that was cut short.
  if (os.GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES) Discard(os, temp);
  if (!os.CopyFileA(source.c_str(), temp.c_str(), FALSE)) return fail(FailureCode(os));
  if (!os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) return fail(FailureCode(os));
  UniqueFileHandle copy(os, os.CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool flushed = copy && os.FlushFileBuffers(copy.get());
  const DWORD flushError = flushed ? 0 : FailureCode(os);
  copy.reset();  // closed before the copy is read back, or removed
  if (!flushed) return fail(flushError);
  const Comparison compared = checked ? CompareWithBytes(os, temp, *checked) : CompareFiles(os, source, temp);
  if (compared.Error) return fail(compared.Error);
  if (!compared.Same) {
    Discard(os, temp);
    if (checked) return Staging::NotTheCheckedFile;
    failed.Add(Concat({"Copying ", source, " to ", target, " failed", consequence, ": the copy differs from it."}));
    return Staging::Failed;
  }
  return Staging::Done;
}

// The name under which the bytes of a file about to be replaced are kept: an
// existing backup holding them, or a new complete copy under the first free
// name. Never a folder, never a file with other bytes. Empty after adding to
// `failed`.
std::string KeepOldFile(TOs& os, const std::string& usualBackup, const std::string& target, TFailedSteps& failed,
                        bool& made) {
  const std::string notReplaced = Concat({", so ", target, " was not replaced"});
  for (int n = 0; n < kBackupNames; ++n) {
    std::string backup = usualBackup + (n ? "." + std::to_string(n) : std::string());
    const DWORD attributes = os.GetFileAttributesA(backup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = FailureCode(os);
      if (!IsMissing(error)) {
        failed.Add(Concat({"Looking for ", backup, " failed", notReplaced, "."}), error);
        return std::string();
      }
      if (Stage(os, target, backup, failed, nullptr, notReplaced) != Staging::Done) return std::string();
      const std::string temp = TemporaryNameFor(backup);
      made = os.MoveFileExA(temp.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH);
      if (made) return backup;
      failed.Add(Concat({"Renaming ", temp, " to ", backup, " failed", notReplaced, "."}), FailureCode(os));
      Discard(os, temp);
      return std::string();
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const Comparison compared = CompareFiles(os, backup, target);
    if (compared.Same) return backup;
    if (compared.Error) {
      failed.Add(Concat({"Reading ", compared.Path, " failed", notReplaced, "."}), compared.Error);
      return std::string();
    }
  }
  failed.Add(Concat({"No free name was left for a copy of ", target, notReplaced, "."}));
  return std::string();
}

// Puts the staged copy of `source` in place of the existing `target` (whose
// attributes are `current`) with one replacing rename; the new file gets
// `attributes`. A read-only file cannot be replaced: the attribute is
// cleared first, and put back when the rename fails. False after adding to
// `failed`, with the copy removed.
bool ReplaceWithStaged(TOs& os, const std::string& source, const std::string& target, DWORD current, DWORD attributes,
                       TFailedSteps& failed) {
  const std::string temp = TemporaryNameFor(target);
  const auto fail = [&](const std::string& step) {
    failed.Add(step, FailureCode(os));
    Discard(os, temp);
    return false;
  };
  if (!os.SetFileAttributesA(temp.c_str(), attributes)) {
    return fail(Concat({"Setting the attributes of ", temp, " failed, so ", target, " was not replaced."}));
  }
  if ((current & FILE_ATTRIBUTE_READONLY) &&
      !os.SetFileAttributesA(target.c_str(), current & ~FILE_ATTRIBUTE_READONLY)) {
    return fail(Concat({"Clearing the read-only attribute of ", target, " failed, so it was not replaced."}));
  }
  if (!os.MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = FailureCode(os);
    if (current & FILE_ATTRIBUTE_READONLY) os.SetFileAttributesA(target.c_str(), current);
    failed.Add(Concat({"Replacing ", target, " with the copy of ", source, " failed."}), error);
    Discard(os, temp);
    return false;
  }
  return true;
}

struct Switched {
  bool Placed = false;      // the new file is in place (or was already there)
  bool Renamed = false;     // this run put it there
  std::string Backup;       // where the old file's bytes are kept; empty when there was none
  bool BackupMade = false;  // this run made that copy
  DWORD OldAttributes = 0;  // of the file replaced
};

// Puts a staged file in place of an existing one (the boot loader, or an
// installed copy that failed its checks) with one replacing rename, once the
// current one's bytes are kept.
Switched SwitchFile(TOs& os, const std::string& source, const std::string& target, const std::string& usualBackup,
                    TFailedSteps& failed) {
  const std::string temp = TemporaryNameFor(target);
  Switched switched;
  const DWORD attributes = os.GetFileAttributesA(target.c_str());
  const bool present = attributes != INVALID_FILE_ATTRIBUTES;
  const DWORD lookUpError = present ? 0 : FailureCode(os);
  if (!present && !IsMissing(lookUpError)) {
    failed.Add(Concat({"Looking for ", target, " failed, so it was not replaced."}), lookUpError);
    Discard(os, temp);
    return switched;
  }
  if (present) {
    const Comparison compared = CompareFiles(os, target, temp);
    if (compared.Same) {
      Discard(os, temp);
      switched.Placed = true;
      return switched;
    }
    if (compared.Error) {
      failed.Add(Concat({"Reading ", compared.Path, " failed, so ", target, " was not replaced."}), compared.Error);
      Discard(os, temp);
      return switched;
    }
    switched.Backup = KeepOldFile(os, usualBackup, target, failed, switched.BackupMade);
    if (switched.Backup.empty()) {
      Discard(os, temp);
      return switched;
    }
    switched.OldAttributes = attributes;
    // The new loader is hidden, system and read-only if the old one was.
    if (!ReplaceWithStaged(os, source, target, attributes, attributes, failed)) return switched;
  } else if (!os.MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failed.Add(Concat({"Replacing ", target, " with the copy of ", source, " failed."}), FailureCode(os));
    Discard(os, temp);
    return switched;
  }
  switched.Placed = true;
  switched.Renamed = true;
  return switched;
}

void MoveFileAside(const ClickContext& context, const FileMovedAside& file, TFailedSteps& failed) {
  const std::string from = FolderOf(context, file.Folder) + file.Name;
  const std::string to = FolderOf(context, file.Folder) + file.NewName;
  const FileLookup found = LookForFile(context.Os, from);
  if (found.Error)
    failed.Add(Concat({"Looking for ", from, " failed, so it was not renamed to ", to, "."}), found.Error);
  if (!found.Present) return;
  const DWORD error = RenameFile(context.Os, from, to);
  if (error == ERROR_SUCCESS) return;
  const std::string step = Concat({"Renaming ", from, " to ", to});
  if (IsFolder(context.Os, to)) {
    failed.Add(FolderInTheWay(step, to), error);
  } else if (!RefusedBecauseItExists(error)) {
    failed.Add(Concat({step, " failed."}), error);
  }
}

struct StagedCopy {
  const DriverFileCopy* Copy;
  std::string Source;
  std::string Target;
  std::string Replaced;  // why the installed copy is replaced; empty when none is
};

// Whether an installed copy of `file` at `target` may stay; else why not.
struct Installed {
  bool Present;
  DWORD Error;          // looking for it or reading it failed with this
  std::string Problem;  // when present: why it may not stay, empty when it may
};
Installed ExamineInstalled(const InstallContext& context, const std::string& target, const DriverFile& file,
                           const AcceptedVersions& accepted) {
  const FileLookup found = LookForFile(context.Os, target);
  if (!found.Present) return {false, found.Error, ""};
  const ContentCheck check = CheckFileContents(context.Os, target, file.Kind);
  if (check.Error) return {true, check.Error, ""};
  if (!check.Problem.empty()) return {true, 0, check.Problem};
  return {true, 0, InstalledVersionProblem(context.FileVersionInfo, target, file, accepted)};
}

}  // namespace

const std::string& FolderOf(const ClickContext& context, InstallFolder folder) {
  return folder == InstallFolder::Windows ? context.WindowsFolder : context.Boot.BootLoaderFolder;
}

std::string TemporaryNameFor(const std::string& target) {
  return target + ".stillvane-new";
}

bool ReplaceFileWithCopy(TOs& os, const std::string& source, const std::string& target, TFailedSteps& failed,
                         DWORD attributes) {
  const DWORD current = os.GetFileAttributesA(target.c_str());
  const std::string notReplaced = Concat({", so ", target, " was not replaced"});
  if (current == INVALID_FILE_ATTRIBUTES) {
    failed.Add(Concat({"Looking for ", target, " failed", notReplaced, "."}), FailureCode(os));
    return false;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = current;
  return Stage(os, source, target, failed, nullptr, notReplaced) == Staging::Done &&
         ReplaceWithStaged(os, source, target, current, attributes, failed);
}

PlacedFiles PlaceDriverFiles(const ClickContext& context, const AcceptedVersions& accepted,
                             const CheckedContents& checked, TFailedSteps& failed) {
  TOs& os = context.Os;
  std::vector<StagedCopy> staged;
  const auto refuse = [&](const DriverFileCopy& copy, const std::string& changed) {
    for (const StagedCopy& done : staged) Discard(os, TemporaryNameFor(done.Target));
    context.Dialogs.ShowMessageDialog(
        Concat({"The file \"", copy.Source, "\" in ", context.SourceFolder,
                " was changed after it was checked, so it was not installed: ", changed,
                ".\r\rNothing has been changed.  Check what changes the files in that folder, then click Install EWF ",
                "Support again."}),
        MessageKind::Error, MessageButtons::Ok);
    return PlacedFiles{false, ""};
  };
  for (const DriverFileCopy& copy : kDriverFileCopies) {
    const std::string source = context.SourceFolder + copy.Source;
    const std::string target = FolderOf(context, copy.Folder) + copy.Target;
    const DriverFile& file = DriverFileNamed(copy.Source);
    std::string replaced;
    if (copy.FailIfExists) {
      const Installed installed = ExamineInstalled(context, target, file, accepted);
      if (installed.Error) {
        failed.Add(Concat({"Copying ", source, " to ", target, " failed."}), installed.Error);
        continue;
      }
      // A whole installed copy of an accepted version is never replaced.
      if (installed.Present && installed.Problem.empty()) continue;
      replaced = installed.Problem;
    }
    const Staging staging = Stage(os, source, target, failed, &checked[&file - kDriverFiles]);
    if (staging == Staging::NotTheCheckedFile) return refuse(copy, "its contents are not the ones that were checked");
    if (staging == Staging::Failed) continue;

    // The copy is what goes live: it must still be the file that was checked.
    const std::string temp = TemporaryNameFor(target);
    const ContentCheck check = CheckFileContents(os, temp, file.Kind);
    if (check.Error) {
      failed.Add(Concat({"Reading ", target, ", the copy of ", source, ", failed."}), check.Error);
      Discard(os, temp);
      continue;
    }
    std::string changed = check.Problem;
    if (changed.empty() && !HasAcceptedVersion(context.FileVersionInfo, temp, file, accepted)) {
      changed = "its version is not the one that was checked, or cannot be read";
    }
    if (!changed.empty()) {
      Discard(os, temp);
      return refuse(copy, changed);
    }
    staged.push_back({&copy, source, target, replaced});
  }

  PlacedFiles done{true, ""};
  std::string& note = done.Note;
  for (const StagedCopy& ready : staged) {
    const std::string folder = FolderOf(context, ready.Copy->Folder);
    if (ready.Copy->Backup) {
      const std::string usualBackup = folder + ready.Copy->Backup;
      const Switched switched = SwitchFile(os, ready.Source, ready.Target, usualBackup, failed);
      done.BootLoaderPlaced = switched.Placed;
      if (switched.Renamed) {
        done.ReplacedBootLoader = ready.Target;
        done.BootLoaderBackup = switched.Backup;
        done.BackupMade = switched.BackupMade;
        done.BootLoaderAttributes = switched.OldAttributes;
      }
      // A copy kept for a replacement that then failed replaced nothing.
      if (switched.Renamed && !switched.Backup.empty() && switched.Backup != usualBackup) {
        note = JoinNotes(note, Concat({"The boot loader ", ready.Target, " that was replaced has been kept as ",
                                       switched.Backup, ", because ", usualBackup, " holds something else."}));
      }
      continue;
    }
    if (!ready.Replaced.empty()) {
      const Switched switched = SwitchFile(os, ready.Source, ready.Target, ready.Target + ".bak", failed);
      if (switched.Renamed) done.Placed.push_back(ready.Target);
      if (switched.Placed) {
        note = JoinNotes(note, Concat({"The file ", ready.Target, " that was already installed could not be used (",
                                       ready.Replaced, "), so it was replaced by the copy of ", ready.Source,
                                       "; its old contents have been kept as ", switched.Backup, "."}));
      }
      continue;
    }
    const std::string temp = TemporaryNameFor(ready.Target);
    if (os.MoveFileExA(temp.c_str(), ready.Target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      done.Placed.push_back(ready.Target);
      continue;
    }
    const DWORD error = FailureCode(os);
    const std::string step = Concat({"Copying ", ready.Source, " to ", ready.Target});
    if (IsFolder(os, ready.Target)) {
      failed.Add(FolderInTheWay(step, ready.Target), error);
    } else if (!RefusedBecauseItExists(error)) {
      failed.Add(Concat({step, " failed."}), error);
    }
    // Otherwise installed meanwhile: that copy is kept, and checked before the driver is registered.
    Discard(os, temp);
  }
  for (const FileMovedAside& file : kFilesMovedAside) MoveFileAside(context, file, failed);
  return done;
}
