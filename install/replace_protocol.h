// How a file that the computer needs is replaced so that, whenever the
// process or the power dies, the file under its final name is complete: the
// old one or the new one. The new bytes are copied under a temporary name
// beside the target, flushed and compared, and only then renamed into place
// by one rename; the old bytes are first kept under a backup name by a copy
// that is itself complete. Install and Remove both go this way.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"
#include "services/step_log.h"

// The name a file is written under before it goes live.
std::string TemporaryNameFor(const std::string& target);

// Removes a temporary file, read-only or not. One that stays is overwritten
// by the next run.
void DiscardTemporary(TOs& os, const std::string& temp);

// The names a backup of `target` may have: <target>.bak, then .bak.1 to
// .bak.99, in the order they are tried.
inline constexpr int kBackupNames = 100;
std::string BackupName(const std::string& target, int number);
// Whether `backup` is one of those names.
bool IsBackupOf(const std::string& backup, const std::string& target);

bool IsMissing(DWORD error);

enum class Staging { Done, Failed, NotTheExpectedBytes };

// Copies `source` beside `target` under its temporary name, makes the copy
// writable, flushes it and compares it with `expected` or, without it, with
// the source. Failed after a failed step "Copying <source> to <target>
// failed<consequence>." in `log`; NotTheExpectedBytes (nothing logged) when
// the copy is whole but holds other bytes. Unless Done, the copy is removed.
Staging Stage(TOs& os, const std::string& source, const std::string& target, TStepLog& log,
              const std::vector<BYTE>* expected, const std::string& consequence = "");

// Whether two files hold the same bytes. `Error` when one could not be read
// (`Path` says which).
struct Comparison {
  bool Same;
  DWORD Error;
  std::string Path;
};
Comparison CompareFiles(TOs& os, const std::string& first, const std::string& second);
// Whether the file holds exactly `expected`, to its end.
Comparison CompareWithBytes(TOs& os, const std::string& path, const std::vector<BYTE>& expected);

// Where the bytes of `target`, about to be replaced, are to be kept: the
// first backup name that holds them already (Exists) or is free. Never a
// folder, never a file with other bytes. Reads only. Empty after a failed
// step in `log`.
struct BackupChoice {
  std::string Name;
  bool Exists = false;
};
BackupChoice ChooseBackup(TOs& os, const std::string& target, TStepLog& log);

// Makes the backup chosen: a complete, flushed copy of `target` under the
// free name `backup`. False after a failed step.
[[nodiscard]] bool MakeBackup(TOs& os, const std::string& target, const std::string& backup, TStepLog& log);

// Puts the staged copy of `source` in place of the existing `target` (whose
// attributes are `current`) with one replacing rename; the new file gets
// `attributes`. A read-only file cannot be replaced: the attribute is
// cleared first, and put back when the rename fails. False after a failed
// step, with the copy removed.
[[nodiscard]] bool ReplaceWithStaged(TOs& os, const std::string& source, const std::string& target, DWORD current,
                                     DWORD attributes, TStepLog& log);

// Puts a copy of `source` in place of the existing file `target`: staged,
// flushed, compared, then one replacing rename that gives it `attributes`
// (by default the target's). False after a failed step.
[[nodiscard]] bool ReplaceFileWithCopy(TOs& os, const std::string& source, const std::string& target, TStepLog& log,
                                       DWORD attributes = INVALID_FILE_ATTRIBUTES);

// Whether `path` is a folder.
bool IsFolder(TOs& os, const std::string& path);
