#include "support/fault_record_fuzz.h"

#include <algorithm>
#include <memory>
#include <random>

#include "install/upper_filters.h"
#include "support/stand_in_image.h"

namespace fault {
namespace {

const std::string kNtldr = std::string(kDriveFolder) + "ntldr";
const std::string kDriver = std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys";
const std::string kManager = std::string(kWindowsFolder) + "system32\\ewfmgr.exe";
const char kRecordKey[] = "SOFTWARE\\Stillvane";
const char kLegacyKey[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";

std::string OtherLoader() {
  return StandInBootLoader("another EWF boot loader");
}

void UseOtherLoader(FaultMachine& m) {
  m.Os.Files().AddFile(std::string(kSourceFolder) + "ewfntldr", OtherLoader());
}

// Install, with the process stopped right after the `nth` call (from 1).
void ClickInstallStoppedAt(FaultMachine& m, int nth) {
  m.Os.ClearCalls();
  m.Os.StopProcessAtCall(nth, false);
  ClickInstall(m);
  m.StartAgain();
  StartUp(m);
}

// The place (from 1) of the first call of an Install that starts with `prefix`.
int FirstCall(const std::function<void(FaultMachine&)>& before, const std::string& prefix) {
  FaultMachine m;
  before(m);
  m.Os.ClearCalls();
  ClickInstall(m);
  const std::vector<std::string>& calls = m.Os.Calls();
  const auto found =
      std::find_if(calls.begin(), calls.end(), [&](const std::string& call) { return call.rfind(prefix, 0) == 0; });
  return static_cast<int>(found - calls.begin()) + 1;
}

struct StartingState {
  std::string Name;
  std::function<void(FaultMachine&)> Build;
};

std::vector<StartingState> StartingStates() {
  const auto once = [](FaultMachine& m) {
    StartUp(m);
    ClickInstall(m);
  };
  const auto twice = [once](FaultMachine& m) {
    once(m);
    UseOtherLoader(m);
  };
  const int switched = FirstCall(StartUp, "MoveFileExA(" + kNtldr + ".stillvane-new");
  const int recorded = FirstCall(twice, "RegFlushKey(HKLM\\SOFTWARE\\Stillvane");
  return {
      {"one installation", once},
      {"two installations with different loaders",
       [twice](FaultMachine& m) {
         twice(m);
         ClickInstall(m);
       }},
      {"a failed installation",
       [](FaultMachine& m) {
         StartUp(m);
         m.Os.FailCallsContaining("RegCreateKeyExA(HKLM, " + std::string(kServiceKey), ERROR_ACCESS_DENIED);
         ClickInstall(m);
         m.StartAgain();
         StartUp(m);
       }},
      {"an installation killed after its boot loader",
       [switched](FaultMachine& m) {
         StartUp(m);
         ClickInstallStoppedAt(m, switched);
       }},
      {"a second installation killed after its record",
       [twice, recorded](FaultMachine& m) {
         twice(m);
         ClickInstallStoppedAt(m, recorded);
       }},
  };
}

using Lines = std::vector<std::string>;

// The known places, and the digests of the known files, that mutations swap in.
struct Mutator {
  std::mt19937 Random;
  std::vector<std::string> Places;
  std::vector<std::string> Digests;
  size_t Below(size_t count) { return count == 0 ? 0 : Random() % count; }

  static size_t DigestAt(const std::string& line) {
    for (size_t at = 0; at + 33 <= line.size(); ++at) {
      const auto start = line.begin() + static_cast<std::ptrdiff_t>(at);
      if (line[at + 16] == '-' && std::all_of(start, start + 16, isxdigit)) return at;
    }
    return std::string::npos;
  }

  void MutateLines(Lines& lines, std::string& description) {
    if (lines.empty()) return;
    const size_t i = Below(lines.size());
    const size_t j = Below(lines.size());
    std::string& line = lines[i];
    switch (Below(8)) {
      case 0:
        description += " drop line " + std::to_string(i) + ";";
        lines.erase(lines.begin() + static_cast<long>(i));
        break;
      case 1:
        description += " duplicate line " + std::to_string(i) + ";";
        lines.insert(lines.begin() + static_cast<long>(i), line);
        break;
      case 2:
        description += " swap lines " + std::to_string(i) + " and " + std::to_string(j) + ";";
        std::swap(line, lines[j]);
        break;
      case 3: {
        description += " move line " + std::to_string(i) + " to " + std::to_string(j) + ";";
        const std::string moved = line;
        lines.erase(lines.begin() + static_cast<long>(i));
        lines.insert(lines.begin() + static_cast<long>(std::min(j, lines.size())), moved);
        break;
      }
      case 4:
        description += " change the case of line " + std::to_string(i) + "'s key;";
        line[0] = static_cast<char>(isupper(line[0]) ? tolower(line[0]) : toupper(line[0]));
        break;
      case 5: {
        // A detail line after another entry's File line.
        std::vector<size_t> entries;
        for (size_t k = 0; k < lines.size(); ++k) {
          if (lines[k].rfind("File=", 0) == 0) entries.push_back(k);
        }
        if (entries.empty() || line.rfind("File=", 0) == 0) break;
        const size_t to = entries[Below(entries.size())] + 1;
        description += " move line " + std::to_string(i) + " after the entry at " + std::to_string(to - 1) + ";";
        const std::string moved = line;
        lines.erase(lines.begin() + static_cast<long>(i));
        lines.insert(lines.begin() + static_cast<long>(std::min(to - (i < to ? 1 : 0), lines.size())), moved);
        break;
      }
      case 6:
        for (const std::string& place : Places) {
          const size_t at = line.find(place);
          if (at == std::string::npos || at + place.size() != line.size()) continue;
          const std::string& other = Places[Below(Places.size())];
          description += " put " + other + " in place of " + place + " on line " + std::to_string(i) + ";";
          line.replace(at, place.size(), other);
          break;
        }
        break;
      default:
        if (const size_t at = DigestAt(line); at != std::string::npos) {
          const std::string& other = Digests[Below(Digests.size())];
          description += " alter the digest on line " + std::to_string(i) + ";";
          if (Below(2) == 0) {
            line.replace(at, 33, other);
          } else {
            line[at + Below(33)] ^= 1;
          }
        }
        break;
    }
  }

  std::string Mutate(const Lines& original, std::string& description) {
    Lines lines = original;
    const size_t count = 1 + Below(3);
    for (size_t n = 0; n < count; ++n) MutateLines(lines, description);
    std::string data;
    for (const std::string& line : lines) data += line + std::string(1, '\0');
    data += std::string(1, '\0');
    switch (Below(8)) {
      case 0: {
        const size_t at = Below(data.size());
        description += " a NUL at byte " + std::to_string(at) + ";";
        data.insert(at, 1, '\0');
        break;
      }
      case 1: {
        const size_t at = Below(data.size());
        description += " cut at byte " + std::to_string(at) + ";";
        data.resize(at);
        break;
      }
      default:
        break;
    }
    return data;
  }
};

Lines RecordLines(TFakeOs& os) {
  Lines lines;
  const std::optional<RegistryValue> value = os.Registry().Value(HKEY_LOCAL_MACHINE, kRecordKey, "Installation");
  if (!value) return lines;
  std::string line;
  for (BYTE byte : value->Data) {
    if (byte != 0) {
      line += static_cast<char>(byte);
    } else if (!line.empty()) {
      lines.push_back(line);
      line.clear();
    }
  }
  return lines;
}

// Whether `text` names `path` (and not a longer name that starts with it).
bool Names(const std::string& text, const std::string& path) {
  for (size_t at = text.find(path); at != std::string::npos; at = text.find(path, at + 1)) {
    const std::string after = text.substr(at + path.size(), 2);
    if (after.empty() || !(after[0] == '.' && after.size() == 2 && isdigit(after[1]))) return true;
  }
  return false;
}

bool Changes(const std::string& call) {
  for (const char* name : {"RegSetValueExA(", "RegDeleteKeyA(", "RegDeleteValueA(", "RegSetKeySecurity(",
                           "MoveFileExA(", "MoveFileA(", "DeleteFileA(", "CopyFileA(", "SetFileAttributesA("}) {
    if (call.rfind(name, 0) == 0) return true;
  }
  return false;
}

std::vector<std::string> CheckRemoval(FaultMachine& m, bool changed) {
  std::vector<std::string> found;
  const std::string windows = OriginalBootLoader();
  const std::string closing = m.Dialogs.Messages.empty() ? std::string() : m.Dialogs.Messages.back().Text;
  const auto contents = [&](const std::string& path) -> std::optional<std::string> {
    const FakeFile* file = m.Os.Files().Find(path);
    return file ? std::optional<std::string>(file->Contents) : std::nullopt;
  };
  const std::string loaders[] = {windows, contents(std::string(kSourceFolder) + "ewfntldr").value_or(""),
                                 StandInBootLoader("new boot loader"), OtherLoader()};
  const std::optional<std::string> ntldr = contents(kNtldr);
  if (!ntldr || std::find(std::begin(loaders), std::end(loaders), *ntldr) == std::end(loaders)) {
    found.push_back("invariant 1: C:\\ntldr is not a boot loader");
  }
  // Where the removal leaves it as it was, it is where the installation kept it.
  bool windowsKept = ntldr == windows || !changed || contents(kNtldr + ".bak") == windows;
  bool ewfLoaderLeft = ntldr != windows;
  for (int n = 0; n < 5; ++n) {
    const std::string backup = kNtldr + ".bak" + (n ? "." + std::to_string(n) : "");
    const std::optional<std::string> held = contents(backup);
    if (held == windows && Names(closing, backup)) windowsKept = true;
    if (held && held != windows) ewfLoaderLeft = true;
  }
  if (!windowsKept) found.push_back("invariant 2: Windows' own loader is neither at C:\\ntldr nor at a backup named");
  const std::optional<RegistryValue> filters = m.Os.Registry().Value(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters");
  const bool listed = filters && ListsWriteFilter(filters->Type, filters->Data);
  const bool service = m.Os.Registry().Value(HKEY_LOCAL_MACHINE, kServiceKey, "Start").has_value();
  if (listed && (!contents(kDriver) || !service)) {
    found.push_back("invariant 3: Ewf is an upper filter without its driver file or its service");
  }
  const bool leftSomething = ewfLoaderLeft || listed || service || contents(kDriver) || contents(kManager) ||
                             m.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kLegacyKey) ||
                             m.Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kRecordKey);
  if (closing.rfind("EWF support was removed.", 0) == 0 && leftSomething) {
    found.push_back("invariant 4: \"EWF support was removed.\" with something of it left: " + closing);
  }
  return found;
}

}  // namespace

Figures FuzzRecords(size_t perState) {
  Figures figures;
  Mutator mutator{std::mt19937(20261208), {}, {}};
  for (const char* path : {"ntldr", "ntldr.bak", "ntldr.bak.1", "boot.ini"}) {
    mutator.Places.push_back(std::string(kDriveFolder) + path);
  }
  mutator.Places.push_back(kDriver);
  mutator.Places.push_back(kManager);
  for (const StartingState& state : StartingStates()) {
    auto machine = std::make_unique<FaultMachine>();
    state.Build(*machine);
    const Lines original = RecordLines(machine->Os);
    mutator.Digests.clear();
    for (const std::string& line : original) {
      if (const size_t at = Mutator::DigestAt(line); at != std::string::npos) {
        mutator.Digests.push_back(line.substr(at, 33));
      }
    }
    for (size_t trial = 0; trial < perState; ++trial) {
      std::string description;
      const std::string data = mutator.Mutate(original, description);
      machine->Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kRecordKey, "Installation", REG_MULTI_SZ,
                                      std::vector<BYTE>(data.begin(), data.end()));
      machine->Dialogs = TRecordingDialogs();
      machine->Os.ClearCalls();
      ClickRemove(*machine);
      const bool changed = std::any_of(machine->Os.Calls().begin(), machine->Os.Calls().end(), Changes);
      ++figures.FaultPoints;
      ++figures.Runs;
      for (const std::string& violation : CheckRemoval(*machine, changed)) {
        figures.Violations.push_back("Remove EWF Support / " + state.Name + " / record:" + description + " " +
                                     violation);
      }
      // A run that changed nothing leaves the machine for the next record.
      if (changed) {
        machine = std::make_unique<FaultMachine>();
        state.Build(*machine);
      }
    }
  }
  return figures;
}

}  // namespace fault
