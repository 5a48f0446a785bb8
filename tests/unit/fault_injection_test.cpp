// Every TOs call of every action failing in turn, with each error it can
// plausibly give, and then a second failure in whatever undoes the first:
// afterwards the machine must still boot, the write filter must be either
// fully registered or not at all, the user must know what failed, and
// nothing may be held. See support/fault_invariants.h for the invariants.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "services/files.h"
#include "support/fault_campaign.h"
#include "support/fault_plan.h"
#include "support/fault_record_fuzz.h"

namespace fault {
namespace {

class TStopwatch {
 public:
  double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start_).count(); }

 private:
  std::chrono::steady_clock::time_point Start_ = std::chrono::steady_clock::now();
};

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::vector<FaultScenario> AllScenarios() {
  std::vector<FaultScenario> scenarios = InstallScenarios();
  for (FaultScenario& removal : RemoveScenarios()) scenarios.push_back(std::move(removal));
  scenarios.push_back(MinimizeDiskWritesScenario());
  scenarios.push_back(EnableHormScenario());
  scenarios.push_back(StartUpScenario());
  return scenarios;
}

// One test for both passes: the runs with one fault are the baselines of the
// runs with two. Only the installation and the removal have recovery calls.
TEST(FaultInjection, NoFaultLeavesTheMachineBroken) {
  const TStopwatch stopwatch;
  Figures single;
  Figures install;
  Figures removal;
  Figures recovery;
  for (const FaultScenario& scenario : AllScenarios()) {
    const bool installs = scenario.Action == "Install EWF Support";
    const bool removes = scenario.Action == "Remove EWF Support";
    const CampaignFigures figures = InjectFaults(scenario, (installs || removes) && !scenario.OneFaultOnly);
    const std::string label = scenario.Action + " / " + scenario.State;
    Print(SummaryLine(label + ", one fault", figures.Single));
    if ((installs || removes) && !scenario.OneFaultOnly)
      Print(SummaryLine(label + ", a second fault in the recovery", figures.Recovery));
    if (installs) install += figures.Single;
    if (removes) removal += figures.Single;
    single += figures.Single;
    recovery += figures.Recovery;
  }
  Print(SummaryLine("Install EWF Support, all states, one fault", install));
  Print(SummaryLine("Remove EWF Support, all states, one fault", removal));
  Print(SummaryLine("one fault, in total", single));
  Print(SummaryLine("two faults, in total", recovery));
  Figures total = single;
  total += recovery;
  Print(SummaryLine("in total", total) + " (" + std::to_string(stopwatch.Seconds()) + " s)");

  EXPECT_GT(single.Runs, 500u);
  EXPECT_GT(recovery.Runs, 1000u);
  EXPECT_TRUE(single.Violations.empty()) << ViolationList(single);
  EXPECT_TRUE(recovery.Violations.empty()) << ViolationList(recovery);
}

// However an installation ended (a call failed, or the process died after
// it), Remove EWF Support puts the machine back as it was before it.
TEST(FaultInjection, EveryInstallationCanBeUndoneHoweverItEnded) {
  const TStopwatch stopwatch;
  Figures undone;
  for (const FaultScenario& scenario : InstallScenarios()) {
    // There is no "before" of its own.
    if (scenario.State == "already installed" || scenario.OneFaultOnly) continue;
    undone += UndoInstallation(scenario);
  }
  Print(SummaryLine("Install EWF Support failed or stopped, then Remove EWF Support", undone) + " (" +
        std::to_string(stopwatch.Seconds()) + " s)");
  EXPECT_GT(undone.Runs, 300u);
  EXPECT_TRUE(undone.Violations.empty()) << ViolationList(undone);
}

// The process dies after each call (and halfway through each file copy);
// the machine must still boot then, and a new run must finish the job.
TEST(FaultInjection, NoInterruptionLeavesTheMachineBroken) {
  const TStopwatch stopwatch;
  Figures interruptions;
  Figures removals;
  for (const FaultScenario& scenario : AllScenarios()) {
    if (scenario.OneFaultOnly && !scenario.BeforeInstall) continue;
    const Figures figures = Interrupt(scenario);
    if (scenario.OneFaultOnly)
      Print(SummaryLine("interruptions of " + scenario.Action + " / " + scenario.State, figures));
    if (scenario.BeforeInstall) removals += figures;
    interruptions += figures;
  }
  Print(SummaryLine("interruptions of Remove EWF Support", removals));
  Print(SummaryLine("interruptions, in total", interruptions));
  Print("(" + std::to_string(stopwatch.Seconds()) + " s)");
  EXPECT_GT(interruptions.Runs, 500u);
  EXPECT_TRUE(interruptions.Violations.empty()) << ViolationList(interruptions, 2000);
}

// On a compressed system drive every new file is compressed, and XP cannot
// start from a compressed ntldr: whatever fails, and wherever the process
// dies, ntldr is never compressed (invariant 2).
TEST(FaultInjection, ACompressedSystemDriveNeverGetsACompressedNtldr) {
  const TStopwatch stopwatch;
  Figures figures;
  for (const FaultScenario& scenario : CompressedDriveScenarios()) {
    const std::string label = scenario.Action + " / " + scenario.State;
    const Figures faults = InjectFaults(scenario, false).Single;
    const Figures stops = Interrupt(scenario);
    Print(SummaryLine(label + ", one fault", faults));
    Print(SummaryLine(label + ", interrupted", stops));
    figures += faults;
    figures += stops;
  }
  Print(SummaryLine("compressed system drive, in total", figures) + " (" + std::to_string(stopwatch.Seconds()) + " s)");
  EXPECT_GT(figures.Runs, 500u);
  EXPECT_TRUE(figures.Violations.empty()) << ViolationList(figures);
}

// Whatever the record says, Remove EWF Support never leaves the computer
// without its boot loader (support/fault_record_fuzz.h).
TEST(FaultInjection, NoRecordLeavesTheComputerWithoutItsBootLoader) {
  const TStopwatch stopwatch;
  const Figures fuzzed = FuzzRecords(400);
  Print("Remove EWF Support / fuzzed records: records tried: " + std::to_string(fuzzed.Runs) +
        ", invariant violations: " + std::to_string(fuzzed.Violations.size()) + " (" +
        std::to_string(stopwatch.Seconds()) + " s)");
  EXPECT_GE(fuzzed.Runs, 2000u);
  EXPECT_TRUE(fuzzed.Violations.empty()) << ViolationList(fuzzed);
}

// The campaign leaves no call out, and knows the restore when it sees it.
TEST(FaultInjection, EveryCallOfACleanRunIsAFaultPoint) {
  std::vector<FaultScenario> scenarios = AllScenarios();
  for (FaultScenario& compressed : CompressedDriveScenarios()) scenarios.push_back(std::move(compressed));
  for (const FaultScenario& scenario : scenarios) {
    const RunRecord clean = RunScenario(scenario, {});
    ASSERT_FALSE(clean.Calls.empty()) << scenario.Action;
    for (const std::string& call : clean.Calls) {
      EXPECT_FALSE(PlausibleErrors(CallName(call)).empty()) << scenario.Action << ": " << call;
    }
  }

  const RunRecord clean = RunScenario(InstallScenarios()[0], {});
  std::vector<std::string> restores;
  for (size_t i = 0; i < clean.Calls.size(); ++i) {
    EXPECT_FALSE(IsRecoveryCall(clean.Calls, i) && !IsSecurityRestore(clean.Calls, i)) << clean.Calls[i];
    if (IsSecurityRestore(clean.Calls, i)) restores.push_back(clean.Calls[i]);
  }
  EXPECT_EQ(restores,
            (std::vector<std::string>{"RegOpenKeyExA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root, 0, 0x40001)",
                                      "RegSetKeySecurity(HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Root, 4, &)"}));
}

// Not finding out is not the same as not finding: only the latter may be
// taken for "absent" (and, say, lead to overwriting without a backup).
TEST(FaultInjection, ALookUpThatFailsIsNotTakenForAMissingFile) {
  TFakeOs os;
  os.Files().AddFile("C:\\Boot\\ntldr");
  const auto lookUp = [&](const std::string& path) {
    const FileLookup found = LookForFile(os, path);
    return std::to_string(found.Present) + "/" + std::to_string(found.Error);
  };
  EXPECT_EQ(lookUp("C:\\Boot\\ntldr"), "1/0");
  EXPECT_EQ(lookUp("C:\\Boot\\ntldr.bak"), "0/0");
  EXPECT_EQ(lookUp("C:\\Elsewhere\\ntldr"), "0/0");
  EXPECT_EQ(lookUp("C:\\Boot"), "0/0");
  os.FailCall("FindFirstFileA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(lookUp("C:\\Boot\\ntldr"), "0/5");
  os.FailCall("FindFirstFileA", ERROR_SHARING_VIOLATION, 1);
  EXPECT_FALSE(FileIsPresent(os, "C:\\Boot\\ntldr"));
  EXPECT_EQ(os.OpenFindHandleCount(), 0);
}

// A careless installation, to show that the campaign finds what it is for:
// security left open, no backup kept, failures ignored, success claimed, the
// filter list replaced, handles left open.
TEST(FaultInjection, ACarelessInstallationIsCaught) {
  FaultScenario careless = InstallScenarios()[6];
  ASSERT_EQ(careless.State, "UpperFilters holding other filters");
  careless.Act = [](FaultMachine& m) {
    HKEY root = nullptr;
    m.Os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRootKey, 0, WRITE_DAC, &root);
    PSECURITY_DESCRIPTOR blank = nullptr;
    ULONG size = 0;
    m.Os.BuildSecurityDescriptorA(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, &size, &blank);
    m.Os.RegSetKeySecurity(root, DACL_SECURITY_INFORMATION, blank);
    m.Os.RegCloseKey(root);
    const std::string drive = kDriveFolder;
    m.Os.MoveFileA((drive + "ntldr").c_str(), (drive + "ntldr.bak").c_str());
    m.Os.CopyFileA((m.SourceFolder + "ewfntldr").c_str(), (drive + "ntldr").c_str(), FALSE);
    HKEY key = nullptr;
    m.Os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const BYTE filters[] = "VolSnap\0Ewf\0";
    m.Os.RegSetValueExA(key, "UpperFilters", 0, REG_MULTI_SZ, filters, sizeof filters);
    m.Dialogs.ShowMessageDialog("EWF installation completed successfully.", MessageKind::Information,
                                MessageButtons::Ok);
  };
  const Figures figures = InjectFaults(careless, false).Single;
  const auto found = [&](const std::string& invariant) {
    for (const std::string& violation : figures.Violations) {
      if (violation.find(invariant) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(found("clean run: invariant 1: Enum\\Root's DACL changed")) << ViolationList(figures);
  EXPECT_TRUE(found("invariant 2: C:\\ntldr is missing")) << ViolationList(figures);
  EXPECT_TRUE(found("invariant 3: Ewf is an upper filter")) << ViolationList(figures);
  EXPECT_TRUE(found("yet success was shown")) << ViolationList(figures);
  EXPECT_TRUE(found("and no message names C:\\ntldr")) << ViolationList(figures);
  EXPECT_TRUE(found("invariant 5: 1 key handle(s) left, 0 expected")) << ViolationList(figures);
  EXPECT_TRUE(found("invariant 5: 1 memory handle(s) left, 0 expected")) << ViolationList(figures);
  EXPECT_TRUE(found("invariant 6: the upper filter PartMgr was dropped")) << ViolationList(figures);
}

}  // namespace
}  // namespace fault
