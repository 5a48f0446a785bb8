#include "e2e/guide_steps.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <utility>

#include "e2e/app_driver.h"

namespace {

const char* const kVerbs[] = {"cd", "dir", "attrib", "ren", "copy", "del"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Words(const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::string ReadGuide() {
  return ReadWholeFile(DosPathFromEnvironment("STILLVANE_GUIDE"));
}

std::string ReadRecoveryCard() {
  return ReadWholeFile(DosPathFromEnvironment("STILLVANE_RECOVERY_CARD"));
}

std::vector<std::vector<std::string>> GuideCommandBlocks(const std::string& guide, const std::string& heading) {
  const std::vector<std::string> lines = Lines(guide);
  const auto isHeading = [&lines](size_t i) {
    return i + 1 < lines.size() && !lines[i + 1].empty() && lines[i + 1].find_first_not_of('=') == std::string::npos;
  };
  size_t i = 0;
  while (i < lines.size() && !(lines[i] == heading && isHeading(i))) ++i;
  std::vector<std::vector<std::string>> blocks;
  bool inBlock = false;
  for (i += 2; i < lines.size() && !isHeading(i); ++i) {
    const std::string& line = lines[i];
    const size_t indent = line.find_first_not_of(' ');
    const std::string verb = indent == std::string::npos ? "" : line.substr(indent, line.find(' ', indent) - indent);
    // A command stands indented below a blank line or another command; prose that wraps onto "copy" does not.
    const bool command = indent != std::string::npos && indent >= 6 &&
                         std::find(std::begin(kVerbs), std::end(kVerbs), verb) != std::end(kVerbs) &&
                         (inBlock || lines[i - 1].empty());
    if (command && !inBlock) blocks.emplace_back();
    if (command) blocks.back().push_back(line.substr(indent));
    inBlock = command;
  }
  return blocks;
}

TCommandPrompt::TCommandPrompt(std::map<char, std::string> drives) : Drives_(std::move(drives)) {}

std::vector<std::string> TCommandPrompt::Run(const std::vector<std::string>& commands) {
  std::vector<std::string> refused;
  for (const std::string& command : commands) {
    const std::string why = RunOne(command);
    if (!why.empty()) refused.push_back(command + ": " + why);
  }
  return refused;
}

std::string TCommandPrompt::Path(const std::string& name) const {
  if (name.size() < 2 || name[1] != ':') return Current_ + name;
  const auto drive = Drives_.find(static_cast<char>(std::tolower(static_cast<unsigned char>(name[0]))));
  if (drive == Drives_.end()) return "<no drive " + name.substr(0, 2) + ">";
  const size_t rest = name.find_first_not_of('\\', 2);
  return drive->second + (rest == std::string::npos ? "" : name.substr(rest));
}

std::string TCommandPrompt::RunOne(const std::string& command) {
  const std::vector<std::string> words = Words(command);
  const std::string& verb = words[0];
  if (verb == "cd" && words.size() == 2) {
    Current_ = Path(words[1]);
    if (Current_.back() != '\\') Current_ += '\\';
    return IsFolder(Current_) ? "" : "no such folder";
  }
  // Wildcards are refused unless allowed beforehand (Microsoft's "Recovery
  // console: Allow floppy copy and access to all drives and folders").
  if (command.find_first_of("*?") != std::string::npos) return "wildcards are not allowed";
  if (verb == "dir" && words.size() == 1) return IsFolder(Current_) ? "" : "no such folder";
  if (verb == "dir" && words.size() == 2) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(Path(words[1]).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return "nothing found";
    FindClose(search);
    return "";
  }
  // The Recovery Console's attrib changes one attribute per command
  // ("Description of the Windows XP Recovery Console").
  if (verb == "attrib" && words.size() == 3) {
    const std::string path = Path(words.back());
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "no such file";
    for (size_t i = 1; i + 1 < words.size(); ++i) {
      const std::string& flag = words[i];
      const DWORD bit = flag.size() != 2               ? 0
                        : std::tolower(flag[1]) == 'r' ? FILE_ATTRIBUTE_READONLY
                        : std::tolower(flag[1]) == 's' ? FILE_ATTRIBUTE_SYSTEM
                        : std::tolower(flag[1]) == 'h' ? FILE_ATTRIBUTE_HIDDEN
                                                       : 0;
      if (!bit || (flag[0] != '+' && flag[0] != '-')) return "unknown switch " + flag;
      attributes = flag[0] == '+' ? attributes | bit : attributes & ~bit;
    }
    return SetFileAttributesA(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL) ? "" : "refused";
  }
  if (verb == "ren" && words.size() == 3) {
    const std::string from = Path(words[1]);
    const std::string to = from.substr(0, from.find_last_of('\\') + 1) + words[2];
    if (!Exists(from)) return "no such file";
    if (Exists(to)) return "the new name exists";
    return MoveFileA(from.c_str(), to.c_str()) ? "" : "refused";
  }
  if (verb == "copy" && words.size() == 3) {
    const std::string from = Path(words[1]);
    std::string to = Path(words[2]);
    if (to.back() == '\\') to += from.substr(from.find_last_of('\\') + 1);
    if (!Exists(from)) return "no such file";
    if (Exists(to)) return "asks whether to overwrite " + to;
    return CopyFileA(from.c_str(), to.c_str(), TRUE) ? "" : "refused";
  }
  if (verb == "del" && words.size() == 2) {
    const std::string path = Path(words[1]);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "no such file";
    // del passes over hidden and system files and refuses read-only ones.
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return "refused";
    return DeleteFileA(path.c_str()) ? "" : "refused";
  }
  return "not understood";
}
