// What the program works out when it starts: its three folders, and whether
// it runs on the platform family it was made for.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"

// Each ends with one backslash.
struct ProgramFolders {
  std::string SourceFolder;       // where the program (and the driver files) are
  std::string WindowsFolder;      // "windir"
  std::string SystemDriveFolder;  // "SystemDrive", normally C:\ .
};

ProgramFolders ReadProgramFolders(TOs& os);

// Outside the NT family, says the program is meant for Windows XP; the
// program goes on either way.
void WarnOutsideNtFamily(TOs& os, TDialogs& dialogs);
