// Libraries loaded at run time come from the system folder only, named by
// their full path: a file of the same name in the program's folder (where
// the user puts the driver files) or in the current folder is never taken.
#pragma once

#include <string>

#include "services/os.h"

// The system folder (GetSystemDirectoryA), ending with a backslash; empty
// when Windows cannot give it.
std::string SystemFolder(TOs& os);
// LoadLibraryA(<system folder>name); NULL when the folder is unknown or the
// library cannot be loaded, with the last error set.
HMODULE LoadSystemLibrary(TOs& os, const char* name);
// The named function of that library; NULL (last error set) when either
// cannot be found.
FARPROC SystemLibraryFunction(TOs& os, const char* library, const char* function);
