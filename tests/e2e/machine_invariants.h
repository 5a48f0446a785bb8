// What must hold after any click on the real program, however the machine
// fought back (the same invariants as the unit tier's fault campaign):
// 1. Enum\Root's DACL is byte for byte what it was before.
// 2. C:\ntldr holds what it held before or exactly the ewfntldr next to the
//    program.
// 3. ewf.sys in system32\drivers is whole (the file there before or a copy of
//    the new one); with "Ewf" among the UpperFilters it is there and the
//    service holds ErrorControl 1, Group "System Bus Extender", Start 0 and
//    Type 1; without it the service does not start at boot.
// 4. A failure is told: no success message, and a message names what failed.
// 6. Every filter in UpperFilters before the click is still there.
// (5, nothing held, is the repetition test's.)
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "e2e/answered_click.h"
#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"

struct MachineState {
  std::vector<BYTE> RootDacl;
  std::optional<std::string> Ntldr;            // in the root of the system drive
  std::optional<std::string> BootLoader;       // the ewfntldr next to the program
  std::optional<std::string> InstalledDriver;  // ewf.sys in the scratch Windows folder's system32\drivers
  std::optional<std::string> SourceDriver;     // the ewf.sys next to the program
  std::vector<std::string> UpperFilters;
  std::map<std::string, RegistryValue> ServiceValues;  // the four that make the service
};

// Read with the test's own rights; files held open by the test cannot be read.
MachineState ReadMachineState(const ScratchMachine& machine);

// Invariants 1, 2, 3 and 6, each broken one as a sentence.
std::vector<std::string> BrokenInvariants(const MachineState& before, const MachineState& after);

// Invariant 4: no message that says all went well, and for each subject a
// message that names it. Each failure of that as a sentence.
std::vector<std::string> UntoldFailure(const std::vector<ShownMessage>& shown,
                                       const std::vector<std::string>& subjects);

bool IsSuccessMessage(const ShownMessage& shown);
