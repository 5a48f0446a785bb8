#include "services/paths.h"

namespace {

// Offsets at which whole characters start. In a multi-byte code page a lead
// byte and the byte after it are one character; the scan must begin at the
// start because a trail byte may look like any single-byte character.
template <typename Visit>
void ForEachCharacter(TOs& os, const std::string& text, Visit visit) {
  for (size_t i = 0; i < text.size();) {
    visit(i);
    const bool pair = os.IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size();
    i += pair ? 2 : 1;
  }
}

// Offset of the last whole character, or npos for empty text.
size_t LastCharacterStart(TOs& os, const std::string& text) {
  size_t last = std::string::npos;
  ForEachCharacter(os, text, [&](size_t at) { last = at; });
  return last;
}

}  // namespace

std::string FolderOfPath(TOs& os, const std::string& path) {
  size_t end = 0;
  ForEachCharacter(os, path, [&](size_t at) {
    if (path[at] == '\\' || path[at] == ':') end = at + 1;
  });
  return path.substr(0, end);
}

std::string WithoutTrailingBackslash(TOs& os, const std::string& text) {
  const size_t last = LastCharacterStart(os, text);
  if (last == std::string::npos || last != text.size() - 1 || text[last] != '\\') return text;
  return text.substr(0, last);
}

std::string AsFolder(TOs& os, const std::string& text) {
  return WithoutTrailingBackslash(os, text) + "\\";
}
