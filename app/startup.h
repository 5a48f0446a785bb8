// What the program works out when it starts: its three folders, whether
// Windows can name the first, and whether it runs on the platform family it
// was made for.
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

// Whether the program can work where it is. A folder whose name holds
// characters outside the ANSI code page comes from GetModuleFileNameA with
// '?' in their place: a name that opens nothing, and that a search takes for
// a wildcard. Then says so, with what to do, and false: the program ends.
bool ProgramFolderCanBeNamed(TOs& os, TDialogs& dialogs);

// Outside the NT family, says the program is meant for Windows XP; the
// program goes on either way.
void WarnOutsideNtFamily(TOs& os, TDialogs& dialogs);
