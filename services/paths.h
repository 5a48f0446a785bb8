// Path texts in the system's ANSI code page. Multi-byte aware: a trail byte
// that happens to equal '\' (0x5C) is never taken for a backslash.
#pragma once

#include <string>

#include "services/os.h"

// Everything up to and including the last backslash or colon; empty if none.
std::string FolderOfPath(TOs& os, const std::string& path);
// Removes one trailing backslash when the last whole character is one.
std::string WithoutTrailingBackslash(TOs& os, const std::string& text);
// WithoutTrailingBackslash, then one backslash appended: "C:\" and "C:" give "C:\".
std::string AsFolder(TOs& os, const std::string& text);
