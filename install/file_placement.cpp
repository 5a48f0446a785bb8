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
void Discard(Os& os, const std::string& temp) {
  if (os.DeleteFileA(temp.c_str()) || os.GetLastError() != ERROR_ACCESS_DENIED) return;
  os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  os.DeleteFileA(temp.c_str());
}

struct Comparison {
  bool same;
  DWORD error;       // 0 when both were read to their ends
  std::string path;  // the one that could not be read
};

Comparison CompareFiles(Os& os, const std::string& first, const std::string& second) {
  const std::string* paths[] = {&first, &second};
  UniqueFileHandle files[] = {UniqueFileHandle(os), UniqueFileHandle(os)};
  for (int i = 0; i < 2; ++i) {
    files[i] = OpenFileToRead(os, *paths[i]);
    if (!files[i]) return {false, os.GetLastError(), *paths[i]};
  }
  std::vector<BYTE> buffer(2 * size_t{kChunk});
  BYTE* const chunks[] = {buffer.data(), buffer.data() + kChunk};
  for (;;) {
    DWORD read[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      if (!os.ReadFile(files[i].get(), chunks[i], kChunk, &read[i], nullptr)) {
        return {false, os.GetLastError(), *paths[i]};
      }
    }
    if (read[0] != read[1] || std::memcmp(chunks[0], chunks[1], read[0]) != 0) return {false, 0, ""};
    if (read[0] == 0) return {true, 0, ""};
  }
}

// Copies `source` beside `target` under its temporary name, makes the copy
// writable, flushes it to disk and compares it with the source. False after
// adding "Copying <source> to <target> failed<consequence>." to `failed`,
// with the temporary file removed.
bool Stage(Os& os, const std::string& source, const std::string& target, FailedSteps& failed,
           const std::string& consequence = "") {
  const std::string temp = TemporaryNameFor(target);
  const std::string step = Concat({"Copying ", source, " to ", target, " failed", consequence, "."});
  const auto fail = [&](DWORD error) {
    failed.Add(step, error);
    Discard(os, temp);
    return false;
  };
  // Left by a run that was cut short.
  if (os.GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES) Discard(os, temp);
  if (!os.CopyFileA(source.c_str(), temp.c_str(), FALSE)) return fail(os.GetLastError());
  if (!os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) return fail(os.GetLastError());
  UniqueFileHandle copy(os, os.CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool flushed = copy && os.FlushFileBuffers(copy.get());
  const DWORD flushError = flushed ? 0 : os.GetLastError();
  copy.reset();  // closed before the copy is read back, or removed
  if (!flushed) return fail(flushError);
  const Comparison compared = CompareFiles(os, source, temp);
  if (compared.error) return fail(compared.error);
  if (!compared.same) {
    failed.Add(Concat({"Copying ", source, " to ", target, " failed", consequence, ": the copy differs from it."}));
    Discard(os, temp);
    return false;
  }
  return true;
}

// The name under which the current boot loader's bytes are kept: an
// existing backup holding them, or a new complete copy under the first free
// name. Never a folder, never a file with other bytes. Empty after adding to
// `failed`.
std::string KeepBootLoader(Os& os, const std::string& usualBackup, const std::string& ntldr, FailedSteps& failed) {
  const std::string notReplaced = Concat({", so ", ntldr, " was not replaced"});
  for (int n = 0; n < kBackupNames; ++n) {
    std::string backup = usualBackup + (n ? "." + std::to_string(n) : std::string());
    const DWORD attributes = os.GetFileAttributesA(backup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = os.GetLastError();
      if (!IsMissing(error)) {
        failed.Add(Concat({"Looking for ", backup, " failed", notReplaced, "."}), error);
        return std::string();
      }
      if (!Stage(os, ntldr, backup, failed, notReplaced)) return std::string();
      const std::string temp = TemporaryNameFor(backup);
      if (os.MoveFileExA(temp.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) return backup;
      failed.Add(Concat({"Renaming ", temp, " to ", backup, " failed", notReplaced, "."}), os.GetLastError());
      Discard(os, temp);
      return std::string();
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const Comparison compared = CompareFiles(os, backup, ntldr);
    if (compared.same) return backup;
    if (compared.error) {
      failed.Add(Concat({"Reading ", compared.path, " failed", notReplaced, "."}), compared.error);
      return std::string();
    }
  }
  failed.Add(Concat({"No free name was left for a copy of ", ntldr, notReplaced, "."}));
  return std::string();
}

// Puts the staged new boot loader in place with one replacing rename, once
// the current one's bytes are kept. Returns the note for the completion
// message when the backup is not the usual ntldr.bak.
std::string SwitchBootLoader(Os& os, const std::string& source, const std::string& ntldr,
                             const std::string& usualBackup, FailedSteps& failed) {
  const std::string temp = TemporaryNameFor(ntldr);
  std::string note;
  const DWORD attributes = os.GetFileAttributesA(ntldr.c_str());
  const bool present = attributes != INVALID_FILE_ATTRIBUTES;
  const DWORD lookUpError = present ? 0 : os.GetLastError();
  if (!present && !IsMissing(lookUpError)) {
    failed.Add(Concat({"Looking for ", ntldr, " failed, so it was not replaced."}), lookUpError);
    Discard(os, temp);
    return note;
  }
  if (present) {
    const Comparison compared = CompareFiles(os, ntldr, temp);
    if (compared.same) {
      Discard(os, temp);
      return note;
    }
    if (compared.error) {
      failed.Add(Concat({"Reading ", compared.path, " failed, so ", ntldr, " was not replaced."}), compared.error);
      Discard(os, temp);
      return note;
    }
    const std::string backup = KeepBootLoader(os, usualBackup, ntldr, failed);
    if (backup.empty()) {
      Discard(os, temp);
      return note;
    }
    if (backup != usualBackup) {
      note = Concat({"The boot loader ", ntldr, " that was replaced has been kept as ", backup, ", because ",
                     usualBackup, " holds something else."});
    }
    // The new loader is hidden, system and read-only if the old one was; and
    // a read-only file cannot be replaced.
    if (!os.SetFileAttributesA(temp.c_str(), attributes)) {
      failed.Add(Concat({"Setting the attributes of ", temp, " failed, so ", ntldr, " was not replaced."}),
                 os.GetLastError());
      Discard(os, temp);
      return note;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) &&
        !os.SetFileAttributesA(ntldr.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
      failed.Add(Concat({"Clearing the read-only attribute of ", ntldr, " failed, so it was not replaced."}),
                 os.GetLastError());
      Discard(os, temp);
      return note;
    }
  }
  if (!os.MoveFileExA(temp.c_str(), ntldr.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failed.Add(Concat({"Replacing ", ntldr, " with the copy of ", source, " failed."}), os.GetLastError());
    if (present && (attributes & FILE_ATTRIBUTE_READONLY)) os.SetFileAttributesA(ntldr.c_str(), attributes);
    Discard(os, temp);
    return std::string();
  }
  return note;
}

const DriverFile& DriverFileNamed(const char* name) {
  for (const DriverFile& file : DriverFiles) {
    if (std::strcmp(file.name, name) == 0) return file;
  }
  return DriverFiles[0];
}

void MoveFileAside(const InstallContext& context, const FileMovedAside& file, FailedSteps& failed) {
  const std::string from = FolderOf(context, file.folder) + file.name;
  const std::string to = FolderOf(context, file.folder) + file.newName;
  const FileLookup found = LookForFile(context.os, from);
  if (found.error)
    failed.Add(Concat({"Looking for ", from, " failed, so it was not renamed to ", to, "."}), found.error);
  if (!found.present) return;
  const FileOpResult renamed = RenameFile(context.os, from, to);
  if (!renamed.succeeded && !RefusedBecauseItExists(renamed.error)) {
    failed.Add(Concat({"Renaming ", from, " to ", to, " failed."}), renamed.error);
  }
}

struct StagedCopy {
  const DriverFileCopy* copy;
  std::string source;
  std::string target;
};

}  // namespace

const std::string& FolderOf(const InstallContext& context, InstallFolder folder) {
  return folder == InstallFolder::Windows ? context.WindowsFolder : context.Boot.BootLoaderFolder;
}

std::string TemporaryNameFor(const std::string& target) {
  return target + ".stillvane-new";
}

PlacedFiles PlaceDriverFiles(const InstallContext& context, const AcceptedVersions& accepted, FailedSteps& failed) {
  Os& os = context.os;
  std::vector<StagedCopy> staged;
  const auto discardStaged = [&] {
    for (const StagedCopy& done : staged) Discard(os, TemporaryNameFor(done.target));
  };
  for (const DriverFileCopy& copy : DriverFileCopies) {
    const std::string source = context.SourceFolder + copy.source;
    const std::string target = FolderOf(context, copy.folder) + copy.target;
    if (copy.failIfExists) {
      const FileLookup installed = LookForFile(os, target);
      if (installed.present) continue;  // an installed copy is never replaced
      if (installed.error) {
        failed.Add(Concat({"Copying ", source, " to ", target, " failed."}), installed.error);
        continue;
      }
    }
    if (!Stage(os, source, target, failed)) continue;

    // The copy is what goes live: it must still be the file that was checked.
    const std::string temp = TemporaryNameFor(target);
    const DriverFile& file = DriverFileNamed(copy.source);
    const ContentCheck check = CheckFileContents(os, temp, file.kind);
    if (check.error) {
      failed.Add(Concat({"Reading ", target, ", the copy of ", source, ", failed."}), check.error);
      Discard(os, temp);
      continue;
    }
    std::string changed = check.problem;
    if (changed.empty() && !HasAcceptedVersion(context.FileVersionInfo, temp, file, accepted)) {
      changed = "its version is not the one that was checked, or cannot be read";
    }
    if (!changed.empty()) {
      Discard(os, temp);
      discardStaged();
      context.dialogs.ShowMessageDialog(Concat({"The file \"", copy.source, "\" in ", context.SourceFolder,
                                                " was changed after it was checked, so it was not installed: ", changed,
                                                ".\r\rNothing has been changed."}),
                                        MessageKind::Error, MessageButtons::Ok);
      return {false, ""};
    }
    staged.push_back({&copy, source, target});
  }

  std::string note;
  for (const StagedCopy& ready : staged) {
    if (ready.copy->backup) {
      note = SwitchBootLoader(os, ready.source, ready.target,
                              FolderOf(context, ready.copy->folder) + ready.copy->backup, failed);
      continue;
    }
    const std::string temp = TemporaryNameFor(ready.target);
    if (os.MoveFileExA(temp.c_str(), ready.target.c_str(), MOVEFILE_WRITE_THROUGH)) continue;
    const DWORD error = os.GetLastError();
    // Installed meanwhile: that copy is kept.
    if (!RefusedBecauseItExists(error)) {
      failed.Add(Concat({"Copying ", ready.source, " to ", ready.target, " failed."}), error);
    }
    Discard(os, temp);
  }
  for (const FileMovedAside& file : FilesMovedAside) MoveFileAside(context, file, failed);
  return {true, note};
}
