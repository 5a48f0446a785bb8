// How the installation puts files on the machine so that, whenever the
// process or the power dies, every file under its final name is complete:
// the old one or the new one. A new file is copied under a temporary name
// beside its target, flushed, compared with its source and checked, and only
// then renamed into place; a boot loader about to be replaced is first kept
// under a backup name, by a copy that is itself complete.
#pragma once

#include <string>
#include <vector>

#include "install/driver_checks.h"
#include "install/failed_steps.h"
#include "install/installation.h"
#include "install/installation_tables.h"

const std::string& FolderOf(const ClickContext& context, InstallFolder folder);

// The name a file is written under before it goes live.
std::string TemporaryNameFor(const std::string& target);

struct PlacedFiles {
  // False when a copy failed its check (the source was changed after the
  // checks): nothing was placed, and the user was shown why.
  bool Go;
  // For the completion message: where the old boot loader was kept when it
  // could not be the usual backup, and which installed files were replaced
  // and where their bytes are kept; empty otherwise.
  std::string Note;
  // Whether the new boot loader is in place (put there now, or found there).
  bool BootLoaderPlaced = false;
  // What went live, for the installation record: the files placed under
  // their names (the boot loader apart), and the boot loader replaced with
  // where its old bytes are and whether this run made that copy.
  std::vector<std::string> Placed = {};
  std::string ReplacedBootLoader = {};
  std::string BootLoaderBackup = {};
  bool BackupMade = false;
  DWORD BootLoaderAttributes = 0;  // of the boot loader replaced
};

// Places the DriverFileCopies and moves the FilesMovedAside. Each copy is
// checked on the machine before it goes live: byte for byte against what the
// content check read (`checked`), its contents against its FileKind and its
// version against what the gate read (`accepted`). An installed copy that is
// not whole or not of an accepted version is replaced, its bytes kept first
// under the first free <name>.bak, .bak.1, ...; one that is stays. Steps
// that fail otherwise are added to `failed`, and the rest is still done.
PlacedFiles PlaceDriverFiles(const ClickContext& context, const AcceptedVersions& accepted,
                             const CheckedContents& checked, TFailedSteps& failed);

// Puts a copy of `source` in place of the existing file `target` by the same
// protocol: staged beside it, flushed, compared, then one replacing rename
// that gives it `attributes` (by default the target's). False after adding
// to `failed`.
[[nodiscard]] bool ReplaceFileWithCopy(TOs& os, const std::string& source, const std::string& target,
                                       TFailedSteps& failed, DWORD attributes = INVALID_FILE_ATTRIBUTES);
