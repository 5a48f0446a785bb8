#include "services/files.h"

#include "services/handles.h"

namespace {

DWORD ResultOf(TOs& os, BOOL succeeded) {
  return succeeded ? static_cast<DWORD>(ERROR_SUCCESS) : FailureCode(os);
}

}  // namespace

// Any existing file counts, whatever its time stamps: a last-write time that
// an MS-DOS date cannot hold (before 1980, after 2107) is still a file.
FileLookup LookForFile(TOs& os, const std::string& path) {
  WIN32_FIND_DATAA found{};
  UniqueFindHandle search(os, os.FindFirstFileA(path.c_str(), &found));
  if (!search) {
    const DWORD error = FailureCode(os);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, 0};
    return {false, error};
  }
  return {(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0, 0};
}

bool FileIsPresent(TOs& os, const std::string& path) {
  return LookForFile(os, path).Present;
}

DWORD CopyFileTo(TOs& os, const std::string& source, const std::string& target, bool failIfExists) {
  return ResultOf(os, os.CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE));
}

DWORD RenameFile(TOs& os, const std::string& oldName, const std::string& newName) {
  return ResultOf(os, os.MoveFileA(oldName.c_str(), newName.c_str()));
}

DWORD CreateEmptyFile(TOs& os, const std::string& path, DWORD attributes) {
  UniqueFileHandle file(
      os, os.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  return file ? static_cast<DWORD>(ERROR_SUCCESS) : FailureCode(os);
}

DWORD OpenFileToRead(TOs& os, const std::string& path, UniqueFileHandle* file) {
  UniqueFileHandle opened(os, os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!opened) return FailureCode(os);
  *file = std::move(opened);
  return ERROR_SUCCESS;
}
