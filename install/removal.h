// "Remove EWF Support": puts the machine back as it was before "Install EWF
// Support", as far as the installation changed it, in an order that leaves
// it able to start at every instant: the write filter leaves the volume
// filter list before anything it needs goes; its registry keys go next, then
// the old boot loader comes back by the file placement protocol, then the
// files the installation placed; the installation record goes last. The
// record is input, not truth: only the places an installation uses are
// touched, only files still holding what it placed are deleted, and a
// backup becomes the boot loader only when it is one.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"

// What the main window hands the removal.
struct RemovalContext {
  TOs& Os;
  TDialogs& Dialogs;
  std::string SourceFolder;  // each folder ends with a backslash
  std::string WindowsFolder;
  std::string SystemDriveFolder;
};

// The whole click: the checks that change nothing, the Yes/No question,
// the removal, and one message that lists what was done, what was left as it
// was and why, and what failed, with codes.
void RemoveEwfSupport(const RemovalContext& context);
