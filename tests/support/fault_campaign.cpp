#include "support/fault_campaign.h"

#include <optional>

#include "support/fault_plan.h"
#include "support/security_descriptor_bytes.h"
#include "support/stand_in_image.h"

namespace fault {

const char* const kDeviceKeys[3] = {"SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF",
                                    "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000",
                                    "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF\\0000\\Control"};

void WindowsOwnsDeviceKey(TFakeOs& os) {
  for (const char* key : kDeviceKeys) {
    os.Registry().SetSecurity(HKEY_LOCAL_MACHINE, key, ProtectedSecurityDescriptor());
    os.Registry().SetOwner(HKEY_LOCAL_MACHINE, key, SystemSid());
  }
}

namespace {

const ActionTexts kInstallTexts = {
    {"EWF installation completed successfully.", "The EWF installation completed successfully"}, {}};

const ActionTexts kRemoveTexts = {{"EWF support was removed.", "No EWF support was found to remove"},
                                  {"Stillvane will remove EWF support"},
                                  {"Ewf", "VolSnap"}};

void ForgetWhatWasShown(TRecordingDialogs& dialogs) {
  dialogs.Messages.clear();
  dialogs.ErrorReports.clear();
  dialogs.Shown.clear();
  dialogs.MissingFilesDialogs = 0;
}

std::string Describe(const FaultScenario& scenario, const std::vector<InjectedFault>& faults) {
  std::string text = scenario.Action + " / " + scenario.State;
  if (faults.empty()) text += " / clean run";
  for (const InjectedFault& fault : faults) {
    text += " / call #" + std::to_string(fault.Index) + " " + fault.Call + " fails with " + std::to_string(fault.Error);
  }
  return text;
}

void Check(const FaultScenario& scenario, const RunRecord& run, const std::vector<InjectedFault>& faults,
           const std::vector<const RunRecord*>& baselines, Figures& figures) {
  std::vector<std::string> found;
  for (const InjectedFault& fault : faults) {
    // The runs are deterministic: up to the fault, a run repeats its baseline.
    if (fault.Index >= run.Calls.size() || run.Calls[fault.Index] != fault.Call) {
      found.push_back("the run did not reach the call the fault was meant for");
    }
  }
  if (found.empty()) found = CheckInvariants(run, faults, baselines, scenario.Texts);
  for (const std::string& violation : found) {
    figures.Violations.push_back(Describe(scenario, faults) + ": " + violation);
  }
}

void WithFileOnDrive(FaultMachine& m, const char* name, const char* contents) {
  m.Os.Files().AddFile(std::string(kDriveFolder) + name, contents);
}

// "Compress drive to save disk space": the root and what is made in it
// compressed from now on; ntldr, which XP cannot start from compressed, left
// as it is.
void CompressSystemDrive(FaultMachine& m) {
  m.Os.Files().SetCompressed(kDriveFolder, true);
}

void MakeBootLoaderReadOnly(FaultMachine& m) {
  m.Os.Files().Find(std::string(kDriveFolder) + "ntldr")->Attributes |=
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
}

FaultScenario Install(const std::string& state, std::function<void(FaultMachine&)> arrange) {
  return {"Install EWF Support",
          state,
          [arrange](FaultMachine& m) {
            StartUp(m);
            if (arrange) arrange(m);
          },
          ClickInstall,
          nullptr,
          kInstallTexts};
}

void WithOtherFilters(FaultMachine& m) {
  const std::string filters("PartMgr\0VolSnap\0SnapFlt\0\0", 25);
  m.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                           std::vector<BYTE>(filters.begin(), filters.end()));
}

// A volume class without the UpperFilters value: Install creates it, Remove deletes it again.
void WithoutFilterList(FaultMachine& m) {
  m.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, kClassKey);
  m.Os.Registry().CreateKey(HKEY_LOCAL_MACHINE, kClassKey);
}

void WindowsOwnDeviceKey(FaultMachine& m) {
  WindowsOwnsDeviceKey(m.Os);
}

FaultScenario OneFaultOnly(FaultScenario scenario) {
  scenario.OneFaultOnly = true;
  return scenario;
}

// Install on the machine `before` leaves, then `then`; the removal is the action.
FaultScenario Remove(const std::string& state, std::function<void(FaultMachine&)> before,
                     std::function<void(FaultMachine&)> then = nullptr) {
  const auto original = [before](FaultMachine& m) {
    StartUp(m);
    if (before) before(m);
  };
  return {"Remove EWF Support",
          state,
          [original, then](FaultMachine& m) {
            original(m);
            ClickInstall(m);
            if (then) then(m);
          },
          ClickRemove,
          nullptr,
          kRemoveTexts,
          original,
          !then};
}

}  // namespace

std::vector<FaultScenario> RemoveScenarios() {
  return {
      Remove("after Install", nullptr),
      Remove("after Install, other volume filters", WithOtherFilters),
      Remove("after Install, no UpperFilters value before", WithoutFilterList),
      Remove("after Install, read-only ntldr, an older ntldr.bak",
             [](FaultMachine& m) {
               WithFileOnDrive(m, "ntldr.bak", "earlier backup");
               MakeBootLoaderReadOnly(m);
             }),
      OneFaultOnly(Remove("after Install, then Windows owns LEGACY_EWF", nullptr, WindowsOwnDeviceKey)),
      Remove("after Install, no record", nullptr,
             [](FaultMachine& m) { m.Os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"); }),
  };
}

std::vector<FaultScenario> InstallScenarios() {
  return {
      Install("fresh machine", nullptr),
      Install("already installed",
              [](FaultMachine& m) {
                ClickInstall(m);
                ForgetWhatWasShown(m.Dialogs);
                m.Os.Files().AddFile(std::string(kWindowsFolder) + "bootstat.dat", "boot status of the next boot");
              }),
      Install("ntldr.bak present", [](FaultMachine& m) { WithFileOnDrive(m, "ntldr.bak", "earlier backup"); }),
      Install("a cut ewf.sys installed",
              [](FaultMachine& m) {
                const std::string driver = StandInDriver("an interrupted copy");
                m.Os.Files().AddFile(std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys",
                                     driver.substr(0, driver.size() / 2));
              }),
      Install("read-only ntldr", MakeBootLoaderReadOnly),
      Install("ntldr.bak present, read-only ntldr",
              [](FaultMachine& m) {
                WithFileOnDrive(m, "ntldr.bak", "earlier backup");
                MakeBootLoaderReadOnly(m);
              }),
      Install("UpperFilters holding other filters", WithOtherFilters),
      OneFaultOnly(Install("Windows owns LEGACY_EWF", WindowsOwnDeviceKey)),
      Install("no UpperFilters value", WithoutFilterList),
      Install("Windows on the second partition",
              [](FaultMachine& m) {
                const std::string arcName = "multi(0)disk(0)rdisk(0)partition(2)";
                const std::string device = "\\Device\\HarddiskVolume1";  // C:
                m.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice",
                                         REG_SZ, std::vector<BYTE>(arcName.begin(), arcName.end()));
                m.Os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                                         std::vector<BYTE>(device.begin(), device.end()));
              }),
  };
}

std::vector<FaultScenario> CompressedDriveScenarios() {
  return {
      Install("compressed system drive, read-only ntldr",
              [](FaultMachine& m) {
                CompressSystemDrive(m);
                MakeBootLoaderReadOnly(m);
              }),
      Remove("after Install, compressed system drive, read-only ntldr",
             [](FaultMachine& m) {
               CompressSystemDrive(m);
               MakeBootLoaderReadOnly(m);
             }),
  };
}

FaultScenario MinimizeDiskWritesScenario() {
  return {"Minimize Disk Writes",  "fresh machine", StartUp,
          ClickMinimizeDiskWrites, nullptr,         {{"Changes successfully applied."}, {}}};
}

FaultScenario EnableHormScenario() {
  return {"Enable HORM (Yes)",
          "fresh machine",
          StartUp,
          ClickEnableHorm,
          nullptr,
          {{"HORM support successfully enabled."}, {"It is recommended that you only enable HORM"}}};
}

FaultScenario StartUpScenario() {
  return {"Start-up, then Install EWF Support", "fresh machine", nullptr, StartUp, ClickInstall, kInstallTexts};
}

Figures& Figures::operator+=(const Figures& other) {
  FaultPoints += other.FaultPoints;
  Runs += other.Runs;
  Violations.insert(Violations.end(), other.Violations.begin(), other.Violations.end());
  return *this;
}

RunRecord RunScenario(const FaultScenario& scenario, const std::vector<InjectedFault>& faults,
                      std::shared_ptr<const MachineSnapshot> before) {
  FaultMachine machine;
  if (scenario.Arrange) scenario.Arrange(machine);
  ForgetWhatWasShown(machine.Dialogs);
  RunRecord run;
  run.Before = before ? std::move(before) : std::make_shared<const MachineSnapshot>(TakeSnapshot(machine.Os));

  machine.Os.ClearCalls();
  for (const InjectedFault& fault : faults) machine.Os.FailNthCall(static_cast<int>(fault.Index) + 1, fault.Error);
  scenario.Act(machine);
  run.Calls = machine.Os.Calls();
  if (scenario.Then) scenario.Then(machine);

  run.After = TakeSnapshot(machine.Os);
  run.Shown = machine.Dialogs.Shown;
  run.OpenKeys = machine.Os.OpenKeyCount();
  run.OpenFinds = machine.Os.OpenFindHandleCount();
  run.OpenFiles = machine.Os.OpenFileHandleCount();
  run.LiveAllocations = machine.Os.LiveLocalAllocationCount();
  return run;
}

CampaignFigures InjectFaults(const FaultScenario& scenario, bool withRecoveryFaults) {
  CampaignFigures figures;
  const RunRecord clean = RunScenario(scenario, {});
  Check(scenario, clean, {}, {}, figures.Single);
  for (size_t i = 0; i < clean.Calls.size(); ++i) {
    const std::vector<DWORD> errors = PlausibleErrors(CallName(clean.Calls[i]));
    if (!errors.empty()) ++figures.Single.FaultPoints;
    for (DWORD error : errors) {
      const InjectedFault first = MakeFault(clean.Calls, i, error);
      const RunRecord afterFirst = RunScenario(scenario, {first}, clean.Before);
      Check(scenario, afterFirst, {first}, {&clean}, figures.Single);
      ++figures.Single.Runs;
      if (!withRecoveryFaults) continue;

      for (size_t j = i + 1; j < afterFirst.Calls.size(); ++j) {
        if (!IsRecoveryCall(afterFirst.Calls, j)) continue;
        ++figures.Recovery.FaultPoints;
        for (DWORD secondError : PlausibleErrors(CallName(afterFirst.Calls[j]))) {
          const std::vector<InjectedFault> faults = {first, MakeFault(afterFirst.Calls, j, secondError)};
          Check(scenario, RunScenario(scenario, faults, clean.Before), faults, {&clean, &afterFirst}, figures.Recovery);
          ++figures.Recovery.Runs;
        }
      }
    }
  }
  return figures;
}

Figures Interrupt(const FaultScenario& scenario) {
  Figures figures;
  const RunRecord clean = RunScenario(scenario, {});
  std::optional<MachineSnapshot> original;
  if (scenario.BeforeInstall) {
    FaultMachine machine;
    scenario.BeforeInstall(machine);
    original = TakeSnapshot(machine.Os);
  }
  for (size_t i = 0; i < clean.Calls.size(); ++i) {
    const bool writesFile = CallName(clean.Calls[i]) == "CopyFileA";
    for (const bool halfway : {false, true}) {
      if (halfway && !writesFile) continue;
      ++figures.FaultPoints;
      ++figures.Runs;
      const std::string where = scenario.Action + " / " + scenario.State + " / process stopped " +
                                (halfway ? "halfway through" : "after") + " call #" + std::to_string(i) + " " +
                                clean.Calls[i] + ": ";
      FaultMachine machine;
      if (scenario.Arrange) scenario.Arrange(machine);
      machine.Os.ClearCalls();
      machine.Os.StopProcessAtCall(static_cast<int>(i) + 1, halfway);
      scenario.Act(machine);
      if (scenario.Then) scenario.Then(machine);
      if (machine.Os.Calls().size() != i + 1 || machine.Os.Calls()[i] != clean.Calls[i]) {
        figures.Violations.push_back(where + "the run did not reach that call");
        continue;
      }
      for (const std::string& violation : CheckInterrupted(*clean.Before, TakeSnapshot(machine.Os))) {
        figures.Violations.push_back(where + violation);
      }
      machine.StartAgain();
      StartUp(machine);
      std::vector<std::string> found;
      if (original) {
        scenario.Act(machine);
        found = CheckRemovedAgain(*original, TakeSnapshot(machine.Os), machine.Dialogs.Shown, scenario.ExactRoundTrip);
      } else {
        ClickInstall(machine);
        found = CheckInstalledAgain(*clean.Before, TakeSnapshot(machine.Os), machine.Dialogs.Shown);
      }
      for (const std::string& violation : found) figures.Violations.push_back(where + "then a new run: " + violation);
    }
  }
  return figures;
}

Figures UndoInstallation(const FaultScenario& install) {
  Figures figures;
  const RunRecord clean = RunScenario(install, {});
  for (size_t i = 0; i < clean.Calls.size(); ++i) {
    const std::vector<DWORD> errors = PlausibleErrors(CallName(clean.Calls[i]));
    // A close that fails keeps its handle until the process ends, and with it the file.
    const bool releases = !errors.empty() && !MakeFault(clean.Calls, i, errors.front()).Released.empty();
    for (const bool stopped : {false, true}) {
      if (!stopped && (errors.empty() || releases)) continue;
      ++figures.FaultPoints;
      ++figures.Runs;
      FaultMachine machine;
      install.Arrange(machine);
      ForgetWhatWasShown(machine.Dialogs);
      const MachineSnapshot original = TakeSnapshot(machine.Os);
      machine.Os.ClearCalls();
      if (stopped) {
        machine.Os.StopProcessAtCall(static_cast<int>(i) + 1, false);
      } else {
        machine.Os.FailNthCall(static_cast<int>(i) + 1, errors.front());
      }
      install.Act(machine);
      if (stopped) {
        machine.StartAgain();
        StartUp(machine);
      }
      ForgetWhatWasShown(machine.Dialogs);
      ClickRemove(machine);
      const std::string where = install.Action + " / " + install.State + " / call #" + std::to_string(i) + " " +
                                clean.Calls[i] + (stopped ? " the last before the process stopped" : " failed") +
                                ", then Remove EWF Support: ";
      for (const std::string& violation :
           CheckRemovedAgain(original, TakeSnapshot(machine.Os), machine.Dialogs.Shown, true)) {
        figures.Violations.push_back(where + violation);
      }
    }
  }
  return figures;
}

std::string SummaryLine(const std::string& label, const Figures& figures) {
  return label + ": fault points: " + std::to_string(figures.FaultPoints) + ", runs: " + std::to_string(figures.Runs) +
         ", invariant violations: " + std::to_string(figures.Violations.size());
}

std::string ViolationList(const Figures& figures, size_t limit) {
  std::string text;
  for (size_t i = 0; i < figures.Violations.size() && i < limit; ++i) text += figures.Violations[i] + "\n";
  if (figures.Violations.size() > limit) {
    text += "... and " + std::to_string(figures.Violations.size() - limit) + " more\n";
  }
  return text;
}

}  // namespace fault
