#include "services/system_library.h"

#include "services/paths.h"

std::string SystemFolder(TOs& os) {
  std::string buffer(MAX_PATH, '\0');
  // The folder may move between asking its length and reading it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const UINT length = os.GetSystemDirectoryA(&buffer[0], static_cast<UINT>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return AsFolder(os, buffer.substr(0, length));
    buffer.assign(length, '\0');
  }
  return std::string();
}

HMODULE LoadSystemLibrary(TOs& os, const char* name) {
  const std::string folder = SystemFolder(os);
  if (folder.empty()) {
    if (os.GetLastError() == ERROR_SUCCESS) os.SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  return os.LoadLibraryA((folder + name).c_str());
}

FARPROC SystemLibraryFunction(TOs& os, const char* library, const char* function) {
  const HMODULE module = LoadSystemLibrary(os, library);
  return module ? os.GetProcAddress(module, function) : nullptr;
}
