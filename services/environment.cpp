#include "services/environment.h"

#include <string>

#include "services/paths.h"

namespace {

// Longer than any path or variable Windows can hold: a bound for the loops
// below in case the system keeps answering "too small".
constexpr DWORD kLongestText = 65536;

}  // namespace

std::string ReadEnvironmentVariable(TOs& os, const std::string& name) {
  std::string buffer(MAX_PATH, '\0');
  while (buffer.size() <= kLongestText) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD result = os.GetEnvironmentVariableA(name.c_str(), &buffer[0], size);
    if (result < size) return buffer.substr(0, result);  // 0: not set, or set to nothing
    // Too small: the result is the size needed, NUL included. The value may
    // have grown in between, so ask again rather than trust one answer.
    buffer.assign(result > size ? result : size * 2, '\0');
  }
  return std::string();
}

std::string RunningProgramPath(TOs& os) {
  std::string buffer(MAX_PATH, '\0');
  while (buffer.size() <= kLongestText) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = os.GetModuleFileNameA(nullptr, &buffer[0], size);
    if (length == 0) return std::string();
    // A result that fills the buffer may be cut short: try a larger one.
    if (length < size) return buffer.substr(0, length);
    buffer.assign(2 * size_t{size}, '\0');
  }
  return std::string();
}

bool HasUnnamableCharacters(const std::string& path) {
  return path.find('?') != std::string::npos;
}

std::string ReadSystemDriveFolder(TOs& os) {
  return AsFolder(os, ReadEnvironmentVariable(os, "SystemDrive"));
}
