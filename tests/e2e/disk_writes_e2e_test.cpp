// "Minimize Disk Writes" and the start-up platform check, on the real exe.
#include <gtest/gtest.h>

#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"
#include "e2e/layout_check.h"
#include "e2e/message_text.h"

namespace {

struct ExpectedValue {
  const char* Key;
  const char* Name;
  DWORD Type;
  std::vector<BYTE> Data;
};

const std::vector<ExpectedValue> kDiskWriteValues = {
    {"SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", REG_SZ, {'N', 0}},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout", REG_DWORD, {0, 0, 0, 0}},
    {"SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate", REG_DWORD, {1, 0, 0, 0}},
    {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
     "EnablePrefetcher",
     REG_DWORD,
     {0, 0, 0, 0}},
};

TEST(DiskWritesEndToEnd, WritesTheFourSettingsAndConfirms) {
  DeleteMachineKeyTree("SOFTWARE\\Microsoft\\Dfrg");
  ScratchMachine machine = MakeScratchMachine("disk_writes");
  TAppDriver app(machine.ProgramFolder, machine.Environment());
  HWND main = app.WaitForWindow("Stillvane");
  ASSERT_NE(main, nullptr);

  for (int click = 0; click < 2; ++click) {
    TAppDriver::Click(FindButton(main, "Minimize Disk Writes"));
    HWND done = app.WaitForWindow("Information");
    ASSERT_NE(done, nullptr);
    if (click == 0) {
      TAppDriver::Screenshot(done, "message_information");
      EXPECT_TRUE(TAppDriver::ShowsSystemIcon(done, IDI_ASTERISK)) << "the information icon";
    }
    EXPECT_EQ(TAppDriver::CopyDialogText(done),
              CopiedDialogText("Information", "Changes successfully applied.", {"OK"}));
    TAppDriver::Click(TAppDriver::Control(done, "OK"));
    EXPECT_TRUE(app.WaitForWindowGone(done));
  }

  for (const ExpectedValue& expected : kDiskWriteValues) {
    RegistryValue value = ReadMachineValue(expected.Key, expected.Name);
    EXPECT_TRUE(value.Present) << expected.Key << "\\" << expected.Name;
    EXPECT_EQ(value.Type, expected.Type) << expected.Name;
    EXPECT_EQ(value.Data, expected.Data) << expected.Name;
  }
  EXPECT_TRUE(app.Running());
}

TEST(DiskWritesEndToEnd, AFailedValueWriteIsReportedAndStopsTheRest) {
  for (const ExpectedValue& expected : kDiskWriteValues) DeleteMachineValue(expected.Key, expected.Name);
  ScratchMachine machine = MakeScratchMachine("disk_writes_failure");
  std::map<std::string, std::string> environment = machine.Environment();
  environment["STILLVANE_FAIL_VALUE"] = "EnableAutoLayout";
  TAppDriver app(machine.ProgramFolder, environment);
  HWND main = app.WaitForWindow("Stillvane");
  ASSERT_NE(main, nullptr);
  app.LoadFaultLibrary();

  TAppDriver::Click(FindButton(main, "Minimize Disk Writes"));
  HWND report = nullptr;
  for (int waited = 0; waited < 100 && !report; ++waited, Sleep(50))
    for (HWND window : app.TopLevelWindows())
      if (window != main && TAppDriver::Text(window) == "Stillvane") report = window;
  ASSERT_NE(report, nullptr) << "no error report";
  TAppDriver::Screenshot(report, "error_report");
  EXPECT_EQ(TAppDriver::MessageBoxText(report), "Failed to set data for 'EnableAutoLayout'");
  EXPECT_EQ(app.FindWindowByCaption("Information"), nullptr) << "no success message over a failure";
  TAppDriver::Click(TAppDriver::Control(report, "OK"));
  EXPECT_TRUE(app.WaitForWindowGone(report));

  EXPECT_TRUE(ReadMachineValue(kDiskWriteValues[0].Key, kDiskWriteValues[0].Name).Present);
  for (size_t row = 1; row < kDiskWriteValues.size(); ++row)
    EXPECT_FALSE(ReadMachineValue(kDiskWriteValues[row].Key, kDiskWriteValues[row].Name).Present)
        << kDiskWriteValues[row].Name << " was written after the failure";
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(IsWindowEnabled(main)) << "the main window stays usable";
}

// Wine reports a Windows 9x platform for a program when its AppDefaults say so.
class TWindows9xPlatform {
 public:
  TWindows9xPlatform() {
    system("reg add \"HKCU\\Software\\Wine\\AppDefaults\\Stillvane.exe\" /v Version /d win98 /f >nul 2>nul");
  }
  ~TWindows9xPlatform() { system("reg delete \"HKCU\\Software\\Wine\\AppDefaults\\Stillvane.exe\" /f >nul 2>nul"); }
};

TEST(StartUpEndToEnd, WarnsOutsideTheNtFamilyAndStaysUsable) {
  TWindows9xPlatform platform;
  ScratchMachine machine = MakeScratchMachine("platform_warning");
  TAppDriver app(machine.ProgramFolder, machine.Environment());
  HWND warning = app.WaitForWindow("Error");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Screenshot(warning, "message_error_platform");
  EXPECT_TRUE(TAppDriver::ShowsSystemIcon(warning, IDI_HAND)) << "the error icon";
  EXPECT_EQ(
      TAppDriver::CopyDialogText(warning),
      CopiedDialogText("Error", "This tool is only intended for use on the Windows XP Operating System!", {"OK"}));
  EXPECT_EQ(app.FindWindowByCaption("Stillvane"), nullptr) << "the main window is drawn after the warning";
  TAppDriver::Click(TAppDriver::Control(warning, "OK"));
  HWND main = app.WaitForWindow("Stillvane");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(IsWindowEnabled(FindButton(main, "Install EWF Support")));
}

}  // namespace
