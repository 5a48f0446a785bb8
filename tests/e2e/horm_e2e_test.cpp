// "Enable HORM" on the real exe: the marker file in the root of the system drive.
#include <gtest/gtest.h>

#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"
#include "e2e/guide_steps.h"
#include "e2e/layout_check.h"
#include "e2e/machine_state.h"
#include "e2e/message_text.h"

namespace {

const std::string kConfirmation = CopiedDialogText(
    "Confirm",
    "It is recommended that you only enable HORM once you have fully set up your system and you are certain "
    "everything is working properly.\r\rAre you sure you want to enable HORM support?",
    {"Yes", "No"});
const std::string kReminder = CopiedDialogText(
    "Information",
    "HORM support successfully enabled.  If EWF protection is currently enabled, you MUST perform\ra commit, "
    "otherwise the changes that were just made will be lost when you next reboot.",
    {"OK"});

class HormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Machine_ = MakeScratchMachine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    App_.reset(new TAppDriver(Machine_.ProgramFolder, Machine_.Environment()));
    Main_ = App_->WaitForWindow("Stillvane");
    ASSERT_NE(Main_, nullptr);
  }

  // Clicks Enable HORM and returns the confirmation, its text checked.
  HWND Confirmation(const char* screenshot = nullptr) {
    TAppDriver::Click(FindButton(Main_, "Enable HORM"));
    HWND confirm = App_->WaitForWindow("Confirm");
    if (!confirm) return nullptr;
    if (screenshot) TAppDriver::Screenshot(confirm, screenshot);
    EXPECT_TRUE(TAppDriver::ShowsSystemIcon(confirm, IDI_QUESTION)) << "the question icon";
    EXPECT_EQ(TAppDriver::CopyDialogText(confirm), kConfirmation);
    return confirm;
  }

  void AnswerYesAndExpectReminder(HWND confirm) {
    TAppDriver::Click(TAppDriver::Control(confirm, "&Yes"));
    HWND reminder = App_->WaitForWindow("Information");
    ASSERT_NE(reminder, nullptr);
    EXPECT_EQ(TAppDriver::CopyDialogText(reminder), kReminder);
    TAppDriver::Click(TAppDriver::Control(reminder, "OK"));
    EXPECT_TRUE(App_->WaitForWindowGone(reminder));
  }

  std::string Marker() const { return SystemDriveRoot() + "resmany.dat"; }

  TSystemDriveRootFiles RootFiles_;
  ScratchMachine Machine_;
  std::unique_ptr<TAppDriver> App_;
  HWND Main_ = nullptr;
};

TEST_F(HormTest, YesCreatesTheEmptyMarkerAndRemindsToCommit) {
  HWND confirm = Confirmation("horm_confirmation");
  ASSERT_NE(confirm, nullptr);
  EXPECT_FALSE(FileExists(Marker())) << "nothing is created before the answer";
  TAppDriver::Click(TAppDriver::Control(confirm, "&Yes"));
  HWND reminder = App_->WaitForWindow("Information");
  ASSERT_NE(reminder, nullptr);
  TAppDriver::Screenshot(reminder, "horm_reminder");
  EXPECT_EQ(TAppDriver::CopyDialogText(reminder), kReminder);
  TAppDriver::Click(TAppDriver::Control(reminder, "OK"));
  EXPECT_TRUE(App_->WaitForWindowGone(reminder));
  ASSERT_TRUE(FileExists(Marker()));
  EXPECT_EQ(ReadWholeFile(Marker()), "");

  // A marker with content is cut back to nothing, a hidden and system one too, which stays so.
  const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, hiddenSystem}) {
    WriteWholeFile(Marker(), "stale hibernation marker");
    SetFileAttributesA(Marker().c_str(), attributes);
    confirm = Confirmation();
    ASSERT_NE(confirm, nullptr);
    AnswerYesAndExpectReminder(confirm);
    EXPECT_EQ(ReadWholeFile(Marker()), "") << attributes;
    EXPECT_EQ(GetFileAttributesA(Marker().c_str()) & hiddenSystem, attributes & hiddenSystem);
    SetFileAttributesA(Marker().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  EXPECT_TRUE(App_->Running());

  // The guide names the marker where it is, and its step takes it away again.
  const std::string guide = ReadGuide();
  EXPECT_NE(guide.find(Marker()), std::string::npos) << Marker();
  const std::vector<std::vector<std::string>> blocks = GuideCommandBlocks(guide, "HORM STEP BY STEP");
  ASSERT_EQ(blocks.size(), 1u) << "one command: the marker deleted";
  EXPECT_EQ(TCommandPrompt({{'c', SystemDriveRoot()}}).Run(blocks[0]), std::vector<std::string>{});
  EXPECT_FALSE(FileExists(Marker()));
}

TEST_F(HormTest, NoAndEscapeCreateNothingAndShowNothingMore) {
  for (WORD key : {WORD('N'), WORD(VK_ESCAPE)}) {
    HWND confirm = Confirmation();
    ASSERT_NE(confirm, nullptr);
    if (key == 'N') {
      TAppDriver::Click(TAppDriver::Control(confirm, "&No"));
    } else {
      TAppDriver::PressKeys(confirm, {key});
    }
    EXPECT_TRUE(App_->WaitForWindowGone(confirm)) << "key " << key;
    EXPECT_EQ(App_->WaitForOtherWindow(Main_, 1500), nullptr) << "a window followed the answer, key " << key;
    EXPECT_FALSE(FileExists(Marker())) << "key " << key;
  }
  EXPECT_TRUE(IsWindowEnabled(Main_));
}

// %SystemDrive% names a scratch folder, while Windows says it starts from the
// partition of C: (HKLM\SYSTEM\Setup): the marker goes beside the boot
// loader, in C:\ .
TEST_F(HormTest, TheMarkerGoesToTheDriveOfThePartitionTheComputerStartsFrom) {
  char device[MAX_PATH] = "";
  ASSERT_GT(QueryDosDeviceA("C:", device, sizeof device), 0u);
  const TMachineValueSet systemPartition("SYSTEM\\Setup", "SystemPartition", REG_SZ,
                                         std::vector<BYTE>(device, device + strlen(device) + 1));
  const std::string scratchDrive = ScratchFolder("horm_system_drive");
  std::map<std::string, std::string> environment = Machine_.Environment();
  environment["SystemDrive"] = scratchDrive;
  App_.reset();
  App_.reset(new TAppDriver(Machine_.ProgramFolder, environment));
  Main_ = App_->WaitForWindow("Stillvane");
  ASSERT_NE(Main_, nullptr);

  HWND confirm = Confirmation();
  ASSERT_NE(confirm, nullptr);
  AnswerYesAndExpectReminder(confirm);
  EXPECT_TRUE(FileExists("C:\\resmany.dat"));
  EXPECT_FALSE(FileExists(scratchDrive + "\\resmany.dat"));
}

// A library named powrprof.dll beside the program (where the user puts the
// driver files) is never the one loaded: the program names the system
// folder's copy by its full path.
TEST_F(HormTest, PowrprofIsLoadedFromTheSystemFolderWhateverLiesBesideTheProgram) {
  const std::string planted = Machine_.ProgramFolder + "\\powrprof.dll";
  CopyFileOrFail(DosPathFromEnvironment("STILLVANE_ENVIRONMENT_DLL"), planted);
  HWND confirm = Confirmation();
  ASSERT_NE(confirm, nullptr);
  AnswerYesAndExpectReminder(confirm);

  char systemFolder[MAX_PATH] = "";
  ASSERT_GT(GetSystemDirectoryA(systemFolder, sizeof systemFolder), 0u);
  std::vector<std::string> loaded;
  for (const std::string& module : App_->LoadedModules()) {
    const size_t slash = module.find_last_of('\\');
    if (lstrcmpiA(module.c_str() + slash + 1, "powrprof.dll") == 0) loaded.push_back(module);
  }
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(lstrcmpiA(loaded[0].c_str(), (std::string(systemFolder) + "\\powrprof.dll").c_str()), 0) << loaded[0];
}

}  // namespace
