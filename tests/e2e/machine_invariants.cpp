#include "e2e/machine_invariants.h"

#include <algorithm>

#include "e2e/machine_state.h"

namespace {

// Each starts a message that says all went well (the second: but for the restore of Enum\Root's security).
const char* const kSuccessTexts[] = {"EWF installation completed successfully.",
                                     "The EWF installation completed successfully, however",
                                     "Changes successfully applied.", "HORM support successfully enabled."};

std::optional<std::string> FileContents(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  return ReadWholeFile(path);
}

std::vector<std::string> Split(const RegistryValue& list) {
  std::vector<std::string> names;
  std::string name;
  for (BYTE c : list.Data) {
    if (c) {
      name += char(c);
    } else if (!name.empty()) {
      names.push_back(name);
      name.clear();
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

bool HasName(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& entry) { return lstrcmpiA(entry.c_str(), name.c_str()) == 0; });
}

RegistryValue Dword(DWORD number) {
  return {true, REG_DWORD, {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)}};
}

RegistryValue Text(const std::string& text) {
  RegistryValue value{true, REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
  value.Data.push_back(0);
  return value;
}

bool Same(const RegistryValue& a, const RegistryValue& b) {
  return a.Present == b.Present && (!a.Present || (a.Type == b.Type && a.Data == b.Data));
}

std::string Describe(const std::optional<std::string>& contents) {
  return contents ? "\"" + contents->substr(0, 60) + "\"" : "(missing)";
}

std::string Describe(const RegistryValue& value) {
  if (!value.Present) return "(missing)";
  std::string bytes;
  for (BYTE b : value.Data) bytes += std::to_string(b) + " ";
  return "type " + std::to_string(value.Type) + " [" + bytes + "]";
}

}  // namespace

MachineState ReadMachineState(const ScratchMachine& machine) {
  MachineState state;
  state.RootDacl = ReadMachineKeyDacl(kEnumRootKey);
  state.Ntldr = FileContents(SystemDriveRoot() + "ntldr");
  state.BootLoader = FileContents(machine.ProgramFolder + "\\ewfntldr");
  state.InstalledDriver = FileContents(machine.WindowsFolder + "\\system32\\drivers\\ewf.sys");
  state.SourceDriver = FileContents(machine.ProgramFolder + "\\ewf.sys");
  state.UpperFilters = Split(ReadMachineValue(kVolumeClassKey, "UpperFilters"));
  for (const char* name : {"ErrorControl", "Group", "Start", "Type"})
    state.ServiceValues[name] = ReadMachineValue(kEwfServiceKey, name);
  return state;
}

std::vector<std::string> BrokenInvariants(const MachineState& before, const MachineState& after) {
  std::vector<std::string> broken;
  if (after.RootDacl != before.RootDacl) broken.push_back("1: Enum\\Root's DACL changed");

  if (before.Ntldr && !after.Ntldr) {
    broken.push_back("2: C:\\ntldr is missing");
  } else if (after.Ntldr && after.Ntldr != before.Ntldr && after.Ntldr != after.BootLoader) {
    broken.push_back("2: C:\\ntldr holds " + Describe(after.Ntldr) + ", neither " + Describe(before.Ntldr) +
                     " nor the copy of ewfntldr");
  }

  const bool driverPresent = after.InstalledDriver.has_value();
  if (driverPresent && after.InstalledDriver != before.InstalledDriver && after.InstalledDriver != after.SourceDriver) {
    broken.push_back("3: ewf.sys in system32\\drivers is " + Describe(after.InstalledDriver) +
                     ", neither the one there before nor a copy of the new one");
  }
  if (HasName(after.UpperFilters, "Ewf")) {
    if (!driverPresent) broken.push_back("3: Ewf is an upper filter, but ewf.sys is not in system32\\drivers");
    const std::map<std::string, RegistryValue> service = {
        {"ErrorControl", Dword(1)}, {"Group", Text("System Bus Extender")}, {"Start", Dword(0)}, {"Type", Dword(1)}};
    for (const auto& [name, value] : service) {
      const RegistryValue& found = after.ServiceValues.at(name);
      if (!Same(found, value))
        broken.push_back("3: Ewf is an upper filter, but the service's " + name + " is " + Describe(found));
    }
  }
  if (!driverPresent && Same(after.ServiceValues.at("Start"), Dword(0)))
    broken.push_back("3: the ewf service starts at boot, but ewf.sys is not in system32\\drivers");

  for (const std::string& filter : before.UpperFilters)
    if (!HasName(after.UpperFilters, filter)) broken.push_back("6: the upper filter " + filter + " was dropped");
  return broken;
}

bool IsSuccessMessage(const ShownMessage& shown) {
  return std::any_of(std::begin(kSuccessTexts), std::end(kSuccessTexts),
                     [&](const char* text) { return shown.Text.rfind(text, 0) == 0; });
}

std::vector<std::string> UntoldFailure(const std::vector<ShownMessage>& shown,
                                       const std::vector<std::string>& subjects) {
  std::vector<std::string> untold;
  for (const ShownMessage& message : shown)
    if (IsSuccessMessage(message)) untold.push_back("4: success shown over a failure: " + message.Text);
  for (const std::string& subject : subjects) {
    const bool named = std::any_of(shown.begin(), shown.end(), [&](const ShownMessage& message) {
      return !IsSuccessMessage(message) && message.Text.find(subject) != std::string::npos;
    });
    if (!named) untold.push_back("4: no message names " + subject + "; shown:" + Describe(shown));
  }
  return untold;
}
