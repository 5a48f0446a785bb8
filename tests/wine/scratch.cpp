#include "wine/scratch.h"

#include <vector>

namespace {

// Unique within this run of the test program, and apart from other runs.
std::string UniqueName() {
  static int serial = 0;
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
}

}  // namespace

std::string MakeScratchFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "StillvaneTests-" + UniqueName();
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

void DeleteFolderTree(const std::string& folder) {
  const std::string base = folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((base + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = base + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(base.c_str());
}

std::string MakeScratchKeyPath() {
  return "Software\\StillvaneTests\\" + UniqueName();
}

// XP has no RegDeleteTree: children first, one by one.
void DeleteKeyTree(HKEY parent, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    char child[256];
    DWORD length = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      DeleteKeyTree(key, child);
      length = sizeof child;
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(parent, path.c_str());
}

void WriteWholeFile(const std::string& path, const std::string& contents) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadWholeFile(const std::string& path) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) contents.append(buffer, read);
  CloseHandle(file);
  return contents;
}
