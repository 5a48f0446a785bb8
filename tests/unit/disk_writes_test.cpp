#include "tuning/disk_writes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "services/error_report.h"
#include "support/fake_os.h"
#include "support/recording_dialogs.h"

namespace {

using ::testing::ElementsAre;

const char kWindowsFolder[] = "C:\\WINDOWS\\";

struct ExpectedSetting {
  const char* Key;
  const char* Name;
  RegistryValue Value;
};

const ExpectedSetting kExpected[] = {
    {"SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", {REG_SZ, {'N', 0}}},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout", {REG_DWORD, {0, 0, 0, 0}}},
    {"SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate", {REG_DWORD, {1, 0, 0, 0}}},
    {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
     "EnablePrefetcher",
     {REG_DWORD, {0, 0, 0, 0}}},
};

std::optional<RegistryValue> Written(TFakeOs& os, const ExpectedSetting& setting) {
  return os.Registry().Value(HKEY_LOCAL_MACHINE, setting.Key, setting.Name);
}

TEST(DiskWrites, WritesTheFourSettingsInOrderAndConfirms) {
  TFakeOs os;
  TRecordingDialogs dialogs;
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);

  for (const ExpectedSetting& setting : kExpected) {
    EXPECT_EQ(Written(os, setting), setting.Value) << setting.Name;
    EXPECT_THAT(os.Registry().ValueNames(HKEY_LOCAL_MACHINE, setting.Key), ElementsAre(setting.Name));
  }
  // The write filter's state first: no ewf service here.
  std::vector<std::string> expectedCalls = {"OpenSCManagerA(NULL, NULL, 0x1)", "OpenServiceA(&, ewf, 0x4)",
                                            "CloseServiceHandle(service manager)"};
  for (const ExpectedSetting& setting : kExpected) {
    const std::string key = setting.Key;
    const std::string size = std::to_string(setting.Value.Data.size());
    expectedCalls.push_back("RegCreateKeyExA(HKLM, " + key + ", 0, NULL, 0, 0xF003F, NULL, NULL)");
    expectedCalls.push_back("RegSetValueExA(HKLM\\" + key + ", " + setting.Name + ", 0, " +
                            std::to_string(setting.Value.Type) + ", " + size + ")");
    expectedCalls.push_back("RegFlushKey(HKLM\\" + key + ")");
    expectedCalls.push_back("RegCloseKey(HKLM\\" + key + ")");
  }
  EXPECT_EQ(os.Calls(), expectedCalls);
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text, "Changes successfully applied.");
  EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Information);
  EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::Ok);
  EXPECT_EQ(os.OpenKeyCount(), 0);
}

TEST(DiskWrites, ASecondRunWritesTheSameValuesOverWhateverWasThere) {
  TFakeOs os;
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kExpected[0].Key, "Enable", REG_SZ, {'Y', 0});
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kExpected[0].Key, "OptimizeComplete", REG_SZ, {'N', 'o', 0});
  TRecordingDialogs dialogs;
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);
  for (const ExpectedSetting& setting : kExpected) EXPECT_EQ(Written(os, setting), setting.Value) << setting.Name;
  EXPECT_TRUE(os.Registry().Value(HKEY_LOCAL_MACHINE, kExpected[0].Key, "OptimizeComplete").has_value());
  EXPECT_EQ(dialogs.Shown, (std::vector<std::string>{"message: Changes successfully applied.",
                                                     "message: Changes successfully applied."}));
}

TEST(DiskWrites, KeysThatCannotBeOpenedAreNamedAndTheOthersStillWritten) {
  TFakeOs os;
  os.FailCallsContaining("Dfrg", ERROR_ACCESS_DENIED);
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  TRecordingDialogs dialogs;
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);

  EXPECT_FALSE(Written(os, kExpected[0]));
  EXPECT_EQ(Written(os, kExpected[1]), kExpected[1].Value);
  EXPECT_EQ(Written(os, kExpected[2]), kExpected[2].Value);
  EXPECT_FALSE(Written(os, kExpected[3]));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text,
            "Some of the changes could not be applied, because their registry keys could not be opened or created:"
            "\r\r"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction  (Enable)\r"
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory "
            "Management\\PrefetchParameters  (EnablePrefetcher)\r\r"
            "Log on as an administrator, then click Minimize Disk Writes again.");
  EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
  EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::Ok);
  EXPECT_EQ(os.OpenKeyCount(), 0);
}

TEST(DiskWrites, WithoutWriteAccessToTheMachineNothingIsWrittenAndAllFourAreNamed) {
  TFakeOs os;
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, "");
  TRecordingDialogs dialogs;
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);
  for (const ExpectedSetting& setting : kExpected) EXPECT_FALSE(Written(os, setting)) << setting.Name;
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  const std::string& text = dialogs.Messages[0].Text;
  for (const ExpectedSetting& setting : kExpected) {
    EXPECT_NE(text.find("\rHKEY_LOCAL_MACHINE\\" + std::string(setting.Key) + "  (" + setting.Name + ")"),
              std::string::npos)
        << setting.Name;
  }
  EXPECT_TRUE(os.CallsNamed("RegSetValueExA").empty());
}

TEST(DiskWrites, AFailedValueWriteEndsTheActionWithTheRegistryError) {
  TFakeOs os;
  os.FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 2);
  TRecordingDialogs dialogs;
  RunAction(dialogs, [&] { MinimizeDiskWrites(os, dialogs, kWindowsFolder); });

  EXPECT_EQ(dialogs.Shown, (std::vector<std::string>{"report: Failed to set data for 'EnableAutoLayout'"}));
  EXPECT_EQ(Written(os, kExpected[0]), kExpected[0].Value);
  for (size_t row = 1; row < 4; ++row) EXPECT_FALSE(Written(os, kExpected[row])) << kExpected[row].Name;
  EXPECT_EQ(os.CallsNamed("RegCreateKeyExA").size(), 2u);
  EXPECT_EQ(os.OpenKeyCount(), 0);
}

}  // namespace
