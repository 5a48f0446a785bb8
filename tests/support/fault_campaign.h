// Runs an action on a fresh TFakeOs machine once cleanly, then once for every
// logged call and every error that call can plausibly give, and checks the
// invariants after each run; and with a second fault in each recovery call
// that the first fault brings about.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/fault_invariants.h"
#include "support/fault_machine.h"

namespace fault {

struct FaultScenario {
  std::string Action;
  std::string State;
  std::function<void(FaultMachine&)> Arrange;  // the starting state, start-up included where needed
  std::function<void(FaultMachine&)> Act;      // its calls are the fault points
  std::function<void(FaultMachine&)> Then;     // optional: run after `act`, with no fault of its own
  ActionTexts Texts;
  // For a removal: the machine before Install (start-up included). After an
  // interruption the removal runs again, and the machine must then be as
  // this leaves it, but for what is documented as staying; only where
  // `exactRoundTrip`, else with no trace of the write filter's registration.
  std::function<void(FaultMachine&)> BeforeInstall = nullptr;
  bool ExactRoundTrip = false;
  // A state that only one rule needs (keys Windows owns): to keep the
  // campaign's time, one fault at a time only, and interrupted only when a
  // removal; never undone, as its starting state stands for an installation.
  bool OneFaultOnly = false;
};

// The driver's device keys, below HKEY_LOCAL_MACHINE, as Windows' Plug and
// Play manager has them once the driver has loaded: owner the System account,
// which has full control, and Everyone read.
extern const char* const kDeviceKeys[3];
void WindowsOwnsDeviceKey(TFakeOs& os);

// The starting states and actions of the campaign.
std::vector<FaultScenario> InstallScenarios();
std::vector<FaultScenario> RemoveScenarios();
// Install and Remove where the system drive's root is compressed: apart from
// the others, with one fault at a time and the interruptions only, to keep
// the campaign short.
std::vector<FaultScenario> CompressedDriveScenarios();
FaultScenario MinimizeDiskWritesScenario();
FaultScenario EnableHormScenario();
// Start-up, then a clean Install click on what start-up computed.
FaultScenario StartUpScenario();

struct Figures {
  size_t FaultPoints = 0;  // calls (or call pairs) faults were injected at
  size_t Runs = 0;
  std::vector<std::string> Violations;
  Figures& operator+=(const Figures& other);
};

// The run with these faults armed (TFakeOs::FailNthCall at their indices).
// `before`, when given, is the machine as `arrange` leaves it, which is the
// same every time: it saves taking it again.
RunRecord RunScenario(const FaultScenario& scenario, const std::vector<InjectedFault>& faults,
                      std::shared_ptr<const MachineSnapshot> before = nullptr);

struct CampaignFigures {
  Figures Single;    // every call of the clean run failing alone, with each of its errors
  Figures Recovery;  // each of those, with a second fault in each recovery call of its run
};
// Both passes at once: the runs with one fault are the baselines of the runs
// with two.
CampaignFigures InjectFaults(const FaultScenario& scenario, bool withRecoveryFaults);

// Process death: for every call of the clean run, the process stops right
// after it, and for each CopyFileA also halfway through it; the machine is
// checked as it stands (CheckInterrupted), then the program starts again,
// Install (a removal: the removal again) runs to its end and the machine is
// checked (CheckInstalledAgain, CheckRemovedAgain).
// Each stop is a fault point and one run.
Figures Interrupt(const FaultScenario& scenario);

// Undoing an installation however it ended: Install with each call of its
// clean run failing (its first plausible error), and Install stopped after
// each call; then Remove with no fault. The machine must then be as it was
// before Install (CheckRemovedAgain, exact), but for what stays by design.
// Each failed or stopped call is a fault point and one run.
Figures UndoInstallation(const FaultScenario& install);

// "label: fault points: N, runs: M, invariant violations: V"
std::string SummaryLine(const std::string& label, const Figures& figures);
// The first `limit` violations, one a line.
std::string ViolationList(const Figures& figures, size_t limit = 25);

}  // namespace fault
