// Where and when the installation puts its files: each driver file is staged
// beside its target and checked there before anything goes live; the record
// says what is about to happen; then each goes live by the replace protocol
// (install/replace_protocol.h).
#pragma once

#include <string>
#include <vector>

#include "install/driver_checks.h"
#include "install/installation.h"
#include "install/installation_record.h"
#include "install/installation_tables.h"
#include "services/step_log.h"

const std::string& FolderOf(const ClickContext& context, InstallFolder folder);

// A copy staged beside its target, ready to go live.
struct StagedCopy {
  const DriverFile* Copy;
  std::string Source;
  std::string Target;
  std::string Replaced;         // why an installed copy is replaced; empty when none is
  bool AlreadyInPlace = false;  // the target already holds these bytes: nothing to switch
  PlacedFileRecord Entry = {};  // what the record says of it
  DWORD Attributes = 0;         // of the target it replaces
};

struct StagedFiles {
  // False when a staged copy is not the file that was checked (the source
  // was changed after the checks): nothing was staged, and `Refusal` is the
  // message that says so.
  bool Go = true;
  std::vector<StagedCopy> Copies;
  std::string Refusal = {};
};

// Stages each driver file that is to be placed. Each copy is checked on the
// machine before it may go live: byte for byte against what the content
// check read (`checked`), its contents against its FileKind and its version
// against what the gate read (`accepted`). An installed copy that is whole
// and of an accepted version stays; one that is not is replaced. Where a
// target is to be replaced, the name its bytes are to be kept under is
// chosen here; a file an `earlier` installation placed needs none. Changes
// nothing but the temporary files.
StagedFiles StageDriverFiles(const ClickContext& context, const AcceptedVersions& accepted,
                             const CheckedContents& checked, const InstallationRecord& earlier, TStepLog& log);

// Removes the temporary files of the staged copies.
void DiscardStaged(TOs& os, const StagedFiles& staged);

struct PlacedFiles {
  // For the completion message: where the old boot loader was kept when it
  // could not be the usual backup, and which installed files were replaced
  // and where their bytes are kept; empty otherwise.
  std::string Note;
  // Whether the new boot loader is in place (put there now, or found there).
  bool BootLoaderPlaced = false;
};

// Puts the staged copies live, in order, and moves the FilesMovedAside.
// Steps that fail are added to `log`, and the rest is still done.
PlacedFiles PlaceStagedFiles(const ClickContext& context, const StagedFiles& staged, TStepLog& log);
