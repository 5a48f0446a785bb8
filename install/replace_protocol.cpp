#include "install/replace_protocol.h"

#include <cstring>

#include "install/driver_checks.h"
#include "services/ascii_text.h"
#include "services/concat.h"
#include "services/files.h"
#include "services/handles.h"

namespace {

constexpr DWORD kChunk = 64 * 1024;

constexpr char kCompressedLoader[] =
    ": the copy is compressed, and Windows cannot start from a compressed boot loader.  Clear \"Compress drive to "
    "save disk space\" for the drive's root folder only.";

bool NamesBootLoader(const std::string& path) {
  const size_t name = path.rfind('\\');
  return name != std::string::npos && SameTextIgnoringCase(path.substr(name + 1), kBootLoaderFile.Target);
}

// XP cannot start from a compressed boot loader (compressing a drive leaves
// ntldr alone for that reason), and on a compressed drive a new file is
// compressed like its folder ("Compression Attribute"); only
// FSCTL_SET_COMPRESSION uncompresses it. A compressed copy is uncompressed,
// and read back to be so, before it may take the name. ERROR_SUCCESS; the
// error of a call that failed; ERROR_FUNCTION_FAILED when it stays compressed.
DWORD Uncompress(TOs& os, const std::string& path) {
  UniqueFileHandle file(os, os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  USHORT format = COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  if (!file ||
      !os.DeviceIoControl(file.get(), FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr)) {
    return FailureCode(os);
  }
  file.reset();
  const DWORD after = os.GetFileAttributesA(path.c_str());
  if (after == INVALID_FILE_ATTRIBUTES) return FailureCode(os);
  return (after & FILE_ATTRIBUTE_COMPRESSED) ? static_cast<DWORD>(ERROR_FUNCTION_FAILED) : ERROR_SUCCESS;
}

}  // namespace

std::string TemporaryNameFor(const std::string& target) {
  return target + ".stillvane-new";
}

std::string BackupName(const std::string& target, int number) {
  return number ? Concat({target, ".bak.", DecimalText(number)}) : Concat({target, ".bak"});
}

bool IsBackupOf(const std::string& backup, const std::string& target) {
  for (int n = 0; n < kBackupNames; ++n) {
    if (BackupName(target, n) == backup) return true;
  }
  return false;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsFolder(TOs& os, const std::string& path) {
  const DWORD attributes = os.GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DiscardTemporary(TOs& os, const std::string& temp) {
  if (os.DeleteFileA(temp.c_str()) || os.GetLastError() != ERROR_ACCESS_DENIED) return;
  os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  os.DeleteFileA(temp.c_str());
}

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

Staging Stage(TOs& os, const std::string& source, const std::string& target, TStepLog& log,
              const std::vector<BYTE>* expected, const std::string& consequence) {
  const std::string temp = TemporaryNameFor(target);
  const std::string step = Concat({"Copying ", source, " to ", target, " failed", consequence, "."});
  const auto fail = [&](DWORD error) {
    log.Failed(step, error);
    DiscardTemporary(os, temp);
    return Staging::Failed;
  };
  // Left by a run that was cut short. Another program (a virus scanner) may
  // still hold it: deleted, it keeps its name until that program lets go,
  // and the name is not written to meanwhile.
  if (os.GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES || !IsMissing(os.GetLastError())) {
    DiscardTemporary(os, temp);
    if (FileIsPresent(os, temp)) {
      log.Failed(Concat({"Copying ", source, " to ", target, " failed, because ", temp,
                         " is still held open by another program", consequence, "."}));
      return Staging::Failed;
    }
  }
  if (!os.CopyFileA(source.c_str(), temp.c_str(), FALSE)) return fail(FailureCode(os));
  if (!os.SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL)) return fail(FailureCode(os));
  UniqueFileHandle copy(os, os.CreateFileA(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool flushed = copy && os.FlushFileBuffers(copy.get());
  const DWORD flushError = flushed ? 0 : FailureCode(os);
  copy.reset();  // closed before the copy is read back, or removed
  if (!flushed) return fail(flushError);
  const Comparison compared = expected ? CompareWithBytes(os, temp, *expected) : CompareFiles(os, source, temp);
  if (compared.Error) return fail(compared.Error);
  if (!compared.Same) {
    DiscardTemporary(os, temp);
    if (expected) return Staging::NotTheExpectedBytes;
    log.Failed(Concat({"Copying ", source, " to ", target, " failed", consequence, ": the copy differs from it."}));
    return Staging::Failed;
  }
  // Not asked of a copy that is not compressed: FAT has no such control.
  const DWORD attributes = NamesBootLoader(target) ? os.GetFileAttributesA(temp.c_str()) : 0;
  if (attributes == INVALID_FILE_ATTRIBUTES) return fail(FailureCode(os));
  if (attributes & FILE_ATTRIBUTE_COMPRESSED) {
    if (const DWORD error = Uncompress(os, temp)) {
      const std::string why = Concat({"Copying ", source, " to ", target, " failed", consequence, kCompressedLoader});
      if (error == ERROR_FUNCTION_FAILED) {
        log.Failed(why);
      } else {
        log.Failed(why, error);
      }
      DiscardTemporary(os, temp);
      return Staging::Failed;
    }
  }
  return Staging::Done;
}

BackupChoice ChooseBackup(TOs& os, const std::string& target, TStepLog& log) {
  const std::string notReplaced = Concat({", so ", target, " was not replaced"});
  for (int n = 0; n < kBackupNames; ++n) {
    const std::string backup = BackupName(target, n);
    const DWORD attributes = os.GetFileAttributesA(backup.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = FailureCode(os);
      if (IsMissing(error)) return {backup, false};
      log.Failed(Concat({"Looking for ", backup, " failed", notReplaced, "."}), error);
      return {};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const Comparison compared = CompareFiles(os, backup, target);
    if (compared.Same) return {backup, true};
    if (compared.Error) {
      log.Failed(Concat({"Reading ", compared.Path, " failed", notReplaced, "."}), compared.Error);
      return {};
    }
  }
  log.Failed(Concat({"No free name was left for a copy of ", target, notReplaced, "."}));
  return {};
}

bool MakeBackup(TOs& os, const std::string& target, const std::string& backup, TStepLog& log) {
  const std::string notReplaced = Concat({", so ", target, " was not replaced"});
  if (Stage(os, target, backup, log, nullptr, notReplaced) != Staging::Done) return false;
  const std::string temp = TemporaryNameFor(backup);
  // Without MOVEFILE_REPLACE_EXISTING: a name taken since it was chosen is not overwritten.
  if (os.MoveFileExA(temp.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  log.Failed(Concat({"Renaming ", temp, " to ", backup, " failed", notReplaced, "."}), FailureCode(os));
  DiscardTemporary(os, temp);
  return false;
}

bool ReplaceWithStaged(TOs& os, const std::string& source, const std::string& target, DWORD current, DWORD attributes,
                       TStepLog& log) {
  const std::string temp = TemporaryNameFor(target);
  const auto fail = [&](const std::string& step) {
    log.Failed(step, FailureCode(os));
    DiscardTemporary(os, temp);
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
    log.Failed(Concat({"Replacing ", target, " with the copy of ", source, " failed."}), error);
    DiscardTemporary(os, temp);
    return false;
  }
  return true;
}

bool ReplaceFileWithCopy(TOs& os, const std::string& source, const std::string& target, TStepLog& log,
                         DWORD attributes) {
  const DWORD current = os.GetFileAttributesA(target.c_str());
  const std::string notReplaced = Concat({", so ", target, " was not replaced"});
  if (current == INVALID_FILE_ATTRIBUTES) {
    log.Failed(Concat({"Looking for ", target, " failed", notReplaced, "."}), FailureCode(os));
    return false;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) attributes = current;
  return Stage(os, source, target, log, nullptr, notReplaced) == Staging::Done &&
         ReplaceWithStaged(os, source, target, current, attributes, log);
}
