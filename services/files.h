// File operations with the flags the program relies on. Each action that can
// fail returns ERROR_SUCCESS, or GetLastError() right after the failed call;
// a failure that leaves no code of its own still answers one, never success.
#pragma once

#include <string>

#include "services/handles.h"
#include "services/os.h"

// Whether the path names an existing file that is not a directory, and
// whether that is known: a search that fails other than with "not found"
// (access denied, a device error) leaves it open. Three answers, not a code:
// "absent" is an answer, not a failure.
struct FileLookup {
  bool Present;
  DWORD Error;  // 0 when the answer is known; else the search's error, and present is false
};
[[nodiscard]] FileLookup LookForFile(TOs& os, const std::string& path);
// True when the path names an existing file that is not a directory.
[[nodiscard]] bool FileIsPresent(TOs& os, const std::string& path);
// CopyFileA; with failIfExists an existing target is left untouched.
[[nodiscard]] DWORD CopyFileTo(TOs& os, const std::string& source, const std::string& target, bool failIfExists);
// MoveFileA; fails when the new name exists.
[[nodiscard]] DWORD RenameFile(TOs& os, const std::string& oldName, const std::string& newName);
// CreateFileA(GENERIC_READ|GENERIC_WRITE, no sharing, CREATE_ALWAYS,
// attributes): an existing file is truncated and given the attributes; the
// handle is closed. Windows refuses a hidden or system file unless the
// attributes name the same.
[[nodiscard]] DWORD CreateEmptyFile(TOs& os, const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// CreateFileA(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING): the file opened
// for reading while others may read it too, in `file`; on failure `file` is
// left as it was.
[[nodiscard]] DWORD OpenFileToRead(TOs& os, const std::string& path, UniqueFileHandle* file);
