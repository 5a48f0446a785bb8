// A TFakeOs machine for the fault campaign: Windows in C:\WINDOWS, the three
// driver files next to the program, Enum\Root protected, holding what the
// main window holds (its version reader, folders and saved key security).
// The program's actions run on it as the main window runs them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "install/security_bracket.h"
#include "services/version_info.h"
#include "support/fake_os.h"
#include "support/recording_dialogs.h"

namespace fault {

extern const char kProgramPath[];
extern const char kSourceFolder[];
extern const char kWindowsFolder[];
extern const char kDriveFolder[];
extern const char kRootKey[];     // Enum\Root below HKEY_LOCAL_MACHINE
extern const char kClassKey[];    // the volume class, holder of UpperFilters
extern const char kServiceKey[];  // the write filter's service
extern const char kVolumeKey[];   // the protected volume

struct FaultMachine {
  // The standard machine, before start-up: nothing read yet.
  FaultMachine();
  // After the process died: a new one on the same machine, before start-up.
  void StartAgain();

  TFakeOs Os;
  TRecordingDialogs Dialogs;
  std::unique_ptr<TVersionInfo> Reader;  // made by StartUp
  std::string SourceFolder;
  std::string WindowsFolder;
  std::string SystemDriveFolder;
};

// What the main window does when it is created and first shown: the reader
// of its own version, the three folders, the platform warning.
void StartUp(FaultMachine& machine);
// The three buttons, each dispatched through RunAction like the main window's.
void ClickInstall(FaultMachine& machine);
void ClickMinimizeDiskWrites(FaultMachine& machine);
void ClickEnableHorm(FaultMachine& machine);  // answers Yes
// The system menu's Remove EWF Support, answering Yes.
void ClickRemove(FaultMachine& machine);

// Everything the actions can touch, by name ("reg HKLM\A\B", "reg HKLM\A\B
// [Value]", "file C:\x"), with a printable state; the Enum\Root DACL apart.
struct MachineSnapshot {
  std::map<std::string, std::string> Entries;
  std::vector<BYTE> RootDacl;
  std::optional<std::string> Ntldr;       // contents, when C:\ntldr is a file
  bool NtldrCompressed = false;           // XP cannot start from it then
  std::optional<std::string> BootLoader;  // the ewfntldr next to the program
  std::optional<std::string> InstalledDriver;
  // Whole, and of the version the campaign's ewf.sys carries: the only one
  // its machines accept (it is the minimum).
  bool InstalledDriverAccepted = false;
  std::optional<std::string> SourceDriver;
  std::optional<std::string> InstalledManager;
  std::optional<std::string> SourceManager;
  std::map<std::string, std::string> BootLoaderBackups;  // ntldr.bak, ntldr.bak.1, ... that are files, by name
  std::vector<std::string> TemporaryFiles;               // left beside a target, by name
  std::vector<std::string> UpperFilters;
  std::map<std::string, std::optional<RegistryValue>> ServiceValues;  // the four that make the service
  std::map<std::string, std::optional<RegistryValue>> VolumeValues;   // the two that name the protected volume
};
MachineSnapshot TakeSnapshot(TFakeOs& os);
// A file's contents told short: its printable start, size and a hash.
std::string Summary(const std::string& contents);
// The entries that differ, as "name: before -> after", at most `limit` of them.
std::string DescribeDifference(const MachineSnapshot& before, const MachineSnapshot& after, size_t limit = 4);

}  // namespace fault
