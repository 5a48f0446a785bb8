#include "support/fault_campaign.h"

#include <optional>

#include "support/fault_plan.h"
#include "support/stand_in_image.h"

namespace fault {

namespace {

const ActionTexts kInstallTexts = {
    {"EWF installation completed successfully.", "The EWF installation completed successfully"}, {}};

const ActionTexts kRemoveTexts = {{"EWF support was removed.", "No EWF support was found to remove"},
                                  {"Stillvane will remove EWF support"},
                                  {"Ewf", "VolSnap"}};

void ForgetWhatWasShown(TRecordingDialogs& dialogs) {
  dialogs.messages.clear();
  dialogs.errorReports.clear();
  dialogs.shown.clear();
  dialogs.missingFilesDialogs = 0;
}

std::string Describe(const FaultScenario& scenario, const std::vector<InjectedFault>& faults) {
  std::string text = scenario.action + " / " + scenario.state;
  if (faults.empty()) text += " / clean run";
  for (const InjectedFault& fault : faults) {
    text += " / call #" + std::to_string(fault.index) + " " + fault.call + " fails with " + std::to_string(fault.error);
  }
  return text;
}

void Check(const FaultScenario& scenario, const RunRecord& run, const std::vector<InjectedFault>& faults,
           const std::vector<const RunRecord*>& baselines, Figures& figures) {
  std::vector<std::string> found;
  for (const InjectedFault& fault : faults) {
    // The runs are deterministic: up to the fault, a run repeats its baseline.
    if (fault.index >= run.calls.size() || run.calls[fault.index] != fault.call) {
      found.push_back("the run did not reach the call the fault was meant for");
    }
  }
  if (found.empty()) found = CheckInvariants(run, faults, baselines, scenario.texts);
  for (const std::string& violation : found) {
    figures.violations.push_back(Describe(scenario, faults) + ": " + violation);
  }
}

void WithFileOnDrive(FaultMachine& m, const char* name, const char* contents) {
  m.os.Files().AddFile(std::string(kDriveFolder) + name, contents);
}

void MakeBootLoaderReadOnly(FaultMachine& m) {
  m.os.Files().Find(std::string(kDriveFolder) + "ntldr")->attributes |=
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
  m.os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                           std::vector<BYTE>(filters.begin(), filters.end()));
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
      Remove("after Install, read-only ntldr, an older ntldr.bak",
             [](FaultMachine& m) {
               WithFileOnDrive(m, "ntldr.bak", "earlier backup");
               MakeBootLoaderReadOnly(m);
             }),
      Remove("after Install, no record", nullptr,
             [](FaultMachine& m) { m.os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane"); }),
  };
}

std::vector<FaultScenario> InstallScenarios() {
  return {
      Install("fresh machine", nullptr),
      Install("already installed",
              [](FaultMachine& m) {
                ClickInstall(m);
                ForgetWhatWasShown(m.dialogs);
                m.os.Files().AddFile(std::string(kWindowsFolder) + "bootstat.dat", "boot status of the next boot");
              }),
      Install("ntldr.bak present", [](FaultMachine& m) { WithFileOnDrive(m, "ntldr.bak", "earlier backup"); }),
      Install("a cut ewf.sys installed",
              [](FaultMachine& m) {
                const std::string driver = StandInDriver("an interrupted copy");
                m.os.Files().AddFile(std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys",
                                     driver.substr(0, driver.size() / 2));
              }),
      Install("read-only ntldr", MakeBootLoaderReadOnly),
      Install("ntldr.bak present, read-only ntldr",
              [](FaultMachine& m) {
                WithFileOnDrive(m, "ntldr.bak", "earlier backup");
                MakeBootLoaderReadOnly(m);
              }),
      Install("UpperFilters holding other filters", WithOtherFilters),
      Install("Windows on the second partition",
              [](FaultMachine& m) {
                const std::string arcName = "multi(0)disk(0)rdisk(0)partition(2)";
                const std::string device = "\\Device\\HarddiskVolume1";  // C:
                m.os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice",
                                         REG_SZ, std::vector<BYTE>(arcName.begin(), arcName.end()));
                m.os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                                         std::vector<BYTE>(device.begin(), device.end()));
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
  faultPoints += other.faultPoints;
  runs += other.runs;
  violations.insert(violations.end(), other.violations.begin(), other.violations.end());
  return *this;
}

RunRecord RunScenario(const FaultScenario& scenario, const std::vector<InjectedFault>& faults,
                      std::shared_ptr<const MachineSnapshot> before) {
  FaultMachine machine;
  if (scenario.arrange) scenario.arrange(machine);
  ForgetWhatWasShown(machine.dialogs);
  RunRecord run;
  run.before = before ? std::move(before) : std::make_shared<const MachineSnapshot>(TakeSnapshot(machine.os));

  machine.os.ClearCalls();
  for (const InjectedFault& fault : faults) machine.os.FailNthCall(static_cast<int>(fault.index) + 1, fault.error);
  scenario.act(machine);
  run.calls = machine.os.Calls();
  if (scenario.then) scenario.then(machine);

  run.after = TakeSnapshot(machine.os);
  run.shown = machine.dialogs.shown;
  run.openKeys = machine.os.OpenKeyCount();
  run.openFinds = machine.os.OpenFindHandleCount();
  run.openFiles = machine.os.OpenFileHandleCount();
  run.liveAllocations = machine.os.LiveLocalAllocationCount();
  return run;
}

CampaignFigures InjectFaults(const FaultScenario& scenario, bool withRecoveryFaults) {
  CampaignFigures figures;
  const RunRecord clean = RunScenario(scenario, {});
  Check(scenario, clean, {}, {}, figures.single);
  for (size_t i = 0; i < clean.calls.size(); ++i) {
    const std::vector<DWORD> errors = PlausibleErrors(CallName(clean.calls[i]));
    if (!errors.empty()) ++figures.single.faultPoints;
    for (DWORD error : errors) {
      const InjectedFault first = MakeFault(clean.calls, i, error);
      const RunRecord afterFirst = RunScenario(scenario, {first}, clean.before);
      Check(scenario, afterFirst, {first}, {&clean}, figures.single);
      ++figures.single.runs;
      if (!withRecoveryFaults) continue;

      for (size_t j = i + 1; j < afterFirst.calls.size(); ++j) {
        if (!IsRecoveryCall(afterFirst.calls, j)) continue;
        ++figures.recovery.faultPoints;
        for (DWORD secondError : PlausibleErrors(CallName(afterFirst.calls[j]))) {
          const std::vector<InjectedFault> faults = {first, MakeFault(afterFirst.calls, j, secondError)};
          Check(scenario, RunScenario(scenario, faults, clean.before), faults, {&clean, &afterFirst}, figures.recovery);
          ++figures.recovery.runs;
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
  if (scenario.beforeInstall) {
    FaultMachine machine;
    scenario.beforeInstall(machine);
    original = TakeSnapshot(machine.os);
  }
  for (size_t i = 0; i < clean.calls.size(); ++i) {
    const bool writesFile = CallName(clean.calls[i]) == "CopyFileA";
    for (const bool halfway : {false, true}) {
      if (halfway && !writesFile) continue;
      ++figures.faultPoints;
      ++figures.runs;
      const std::string where = scenario.action + " / " + scenario.state + " / process stopped " +
                                (halfway ? "halfway through" : "after") + " call #" + std::to_string(i) + " " +
                                clean.calls[i] + ": ";
      FaultMachine machine;
      if (scenario.arrange) scenario.arrange(machine);
      machine.os.ClearCalls();
      machine.os.StopProcessAtCall(static_cast<int>(i) + 1, halfway);
      scenario.act(machine);
      if (scenario.then) scenario.then(machine);
      if (machine.os.Calls().size() != i + 1 || machine.os.Calls()[i] != clean.calls[i]) {
        figures.violations.push_back(where + "the run did not reach that call");
        continue;
      }
      for (const std::string& violation : CheckInterrupted(*clean.before, TakeSnapshot(machine.os))) {
        figures.violations.push_back(where + violation);
      }
      machine.StartAgain();
      StartUp(machine);
      std::vector<std::string> found;
      if (original) {
        scenario.act(machine);
        found = CheckRemovedAgain(*original, TakeSnapshot(machine.os), machine.dialogs.shown, scenario.exactRoundTrip);
      } else {
        ClickInstall(machine);
        found = CheckInstalledAgain(*clean.before, TakeSnapshot(machine.os), machine.dialogs.shown);
      }
      for (const std::string& violation : found) figures.violations.push_back(where + "then a new run: " + violation);
    }
  }
  return figures;
}

std::string SummaryLine(const std::string& label, const Figures& figures) {
  return label + ": fault points: " + std::to_string(figures.faultPoints) + ", runs: " + std::to_string(figures.runs) +
         ", invariant violations: " + std::to_string(figures.violations.size());
}

std::string ViolationList(const Figures& figures, size_t limit) {
  std::string text;
  for (size_t i = 0; i < figures.violations.size() && i < limit; ++i) text += figures.violations[i] + "\n";
  if (figures.violations.size() > limit) {
    text += "... and " + std::to_string(figures.violations.size() - limit) + " more\n";
  }
  return text;
}

}  // namespace fault
