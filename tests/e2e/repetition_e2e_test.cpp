// Each of the three buttons clicked 100 times in a row in one process, every
// dialog answered: the program holds no more handles, GDI or USER objects
// after the 100th click than after the first few, and the registry and
// files end as after one run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "e2e/fault_case.h"

namespace {

constexpr int kClicks = 100;
constexpr int kWarmUpClicks = 3;  // what the first clicks create once (fonts, icons, caches) stays

struct Button {
  const char* Caption;
  size_t Windows;       // brought up by one click; the last one says how it went
  const char* Outcome;  // the start of the last one's text
};

const Button kButtons[] = {
    {"Install EWF Support", 1, "EWF installation completed successfully."},
    {"Minimize Disk Writes", 1, "Changes successfully applied."},
    {"Enable HORM", 2, "HORM support successfully enabled."},
};

using RepetitionTest = TFaultCase;  // the same machine, met without a fault

// What the three actions can change: their keys, Enum\Root's DACL, the files.
std::map<std::string, std::string> MachineDump(const ScratchMachine& machine) {
  std::map<std::string, std::string> dump;
  for (const char* key :
       {kLegacyEwfKey, kEwfServiceKey, kVolumeClassKey, "SOFTWARE\\Microsoft\\Dfrg",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "SYSTEM\\CurrentControlSet\\Control\\FileSystem",
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters"})
    dump.merge(DumpMachineKey(key));
  const std::vector<BYTE> dacl = ReadMachineKeyDacl(kEnumRootKey);
  dump["Enum\\Root DACL"] = std::string(dacl.begin(), dacl.end());
  for (const std::string& folder :
       {SystemDriveRoot(), machine.WindowsFolder + "\\", machine.WindowsFolder + "\\system32\\",
        machine.WindowsFolder + "\\system32\\drivers\\"})
    for (const std::string& name : FilesIn(folder)) dump["file " + folder + name] = ReadWholeFile(folder + name);
  return dump;
}

std::string Counts(const TAppDriver::ObjectCounts& counts) {
  return "handles " + std::to_string(counts.Handles) + ", GDI " + std::to_string(counts.Gdi) + ", USER " +
         std::to_string(counts.User);
}

TEST_F(RepetitionTest, AHundredClicksOfEachButtonHoldNothingMoreAndChangeNothingMore) {
  StartProgram();
  for (const Button& button : kButtons) {
    HWND control = FindButton(Main_, button.Caption);
    ASSERT_NE(control, nullptr);
    std::map<std::string, std::string> afterOneRun;
    TAppDriver::ObjectCounts warm, end;
    const auto start = std::chrono::steady_clock::now();
    for (int click = 1; click <= kClicks; ++click) {
      const std::vector<ShownMessage> shown = ClickAndAnswer(*App_, Main_, control, button.Windows);
      ASSERT_EQ(shown.size(), button.Windows) << button.Caption << " click " << click << Describe(shown);
      ASSERT_EQ(shown.back().Text.rfind(button.Outcome, 0), 0u)
          << button.Caption << " click " << click << Describe(shown);
      if (click == 1) afterOneRun = MachineDump(Machine_);
      if (click == kWarmUpClicks || click == kClicks) {
        Sleep(200);  // the last dialog's window is gone; let the click end
        (click == kClicks ? end : warm) = App_->CountObjects();
      }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %d clicks in %.1f s (%.0f ms each); after click %d: %s; after click %d: %s%s\n", button.Caption,
                kClicks, seconds, seconds * 1000 / kClicks, kWarmUpClicks, Counts(warm).c_str(), kClicks,
                Counts(end).c_str(), end.Counted ? " (counted: the system does not report them)" : "");
    std::fflush(stdout);

    EXPECT_GT(warm.Handles, 0u);
    EXPECT_GT(warm.Gdi, 0u);
    EXPECT_GT(warm.User, 0u);
    EXPECT_EQ(end.Handles, warm.Handles) << button.Caption;
    EXPECT_EQ(end.Gdi, warm.Gdi) << button.Caption;
    EXPECT_EQ(end.User, warm.User) << button.Caption;
    EXPECT_EQ(MachineDump(Machine_), afterOneRun) << button.Caption;
  }
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());
  EXPECT_TRUE(App_->Running());
}

}  // namespace
