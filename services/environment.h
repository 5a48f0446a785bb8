// The program's outside inputs: environment variables and its own location.
#pragma once

#include <string>

#include "services/os.h"

// The variable's whole value, however long; empty text when it is not set.
std::string ReadEnvironmentVariable(TOs& os, const std::string& name);
// Full path of the running executable, never silently truncated; empty text
// if Windows cannot give it.
std::string RunningProgramPath(TOs& os);
// Whether an ANSI path from Windows stands for a name it could not give:
// each character outside the code page comes as '?', which no file name
// holds (nor can it be a trail byte).
bool HasUnnamableCharacters(const std::string& path);
// The root of the system drive, read afresh from "SystemDrive", ending with
// one backslash (normally C:\ ).
std::string ReadSystemDriveFolder(TOs& os);
