// Write Filter Status from end to end, after a real installation (the test
// build that supplies the blank descriptor, as Windows does): all is well,
// until another boot loader takes ntldr's place; and across a restart in
// which the driver did not start.
#include <gtest/gtest.h>

#include <memory>

#include "e2e/e2e_environment.h"
#include "e2e/install_case.h"
#include "e2e/machine_state.h"
#include "e2e/message_text.h"
#include "e2e/status_window.h"

namespace {

using namespace status_window;

class WriteFilterStatusTest : public TInstallCase {};

TEST_F(WriteFilterStatusTest, AfterInstallAllIsWellUntilTheBootLoaderIsSwapped) {
  Start("v2.0.927.0", "STILLVANE_BLANK_DESCRIPTOR_EXE");
  ASSERT_NE(Main_, nullptr);
  WriteWholeFile(SystemDriveRoot() + "ntldr", "original boot loader\r\n");
  ClickInstall();
  ASSERT_EQ(AnswerLastMessage("Information"),
            CopiedDialogText("Information", "EWF installation completed successfully.", {"OK"}));

  const std::string drive = std::string(1, static_cast<char>(toupper(Machine_.WindowsFolder[0]))) + ":";
  HWND status = Open(*App_, Main_);
  ASSERT_NE(status, nullptr);
  EXPECT_FALSE(IsWindowEnabled(Main_)) << "modal";
  EXPECT_EQ(Text(status, Sentence), "Drive " + drive +
                                        " is not protected now; it will be protected after the next start, when the "
                                        "write filter starts with Windows.  Until then, changes to it are kept.");
  const std::string checks = Text(status, Checks);
  EXPECT_EQ(checks.find("Wrong:"), std::string::npos) << checks;
  EXPECT_NE(checks.find("OK: " + SystemDriveRoot() + "ntldr is the ewfntldr that was installed."), std::string::npos)
      << checks;
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(status, Enable)));
  TAppDriver::PressKeys(status, {VK_ESCAPE});
  ASSERT_TRUE(App_->WaitForWindowGone(status));
  EXPECT_TRUE(IsWindowEnabled(Main_));

  WriteWholeFile(SystemDriveRoot() + "ntldr", "a boot loader a service pack put back\r\n");
  status = Open(*App_, Main_);
  ASSERT_NE(status, nullptr);
  TAppDriver::Screenshot(status, "write_filter_status_damaged");
  EXPECT_NE(Text(status, Sentence).find("EWF support is damaged:"), std::string::npos) << Text(status, Sentence);
  EXPECT_EQ(Text(status, Checks)
                .rfind("Wrong: " + SystemDriveRoot() +
                           "ntldr is not the ewfntldr that was installed: another program or a service "
                           "pack has replaced it, and HORM cannot resume without it.  Click Install EWF "
                           "Support again.\r\n",
                       0),
            0u)
      << "the line to act on comes first: " << Text(status, Checks);
  // Ctrl+C: the whole window, as a message dialog copies itself.
  const std::string copied = TAppDriver::CopyDialogText(status);
  const std::string rule(27, '-');
  EXPECT_EQ(copied.rfind(rule + "\r\nWrite Filter Status\r\n" + rule + "\r\n" + Text(status, Sentence) + "\r\n", 0), 0u)
      << copied;
  EXPECT_NE(copied.find(Text(status, Checks)), std::string::npos) << copied;
  TAppDriver::Click(FindButton(status, "Close"));
  EXPECT_TRUE(App_->WaitForWindowGone(status));
  EXPECT_TRUE(App_->Running());
}

// A restart as Wine can show one: tests/e2e/restart_e2e.sh runs the first
// half, ends every process of the prefix and its wineserver (which drops
// volatile keys, as Windows does at a restart), then runs the second half in
// a new session, where the ewf service, on a driver Wine cannot load, is
// stopped. The first half leaves the installation for the second, which
// cleans up.
const char kBeforeRestart[] = "BeforeARestartTheFilterStartsAtTheNextStart";

TEST(WriteFilterRestartTest, BeforeARestartTheFilterStartsAtTheNextStart) {
  auto roots = std::make_unique<TSystemDriveRootFiles>();
  auto registry = std::make_unique<TInstallationRegistry>();
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  const ScratchMachine machine = MakeScratchMachine(kBeforeRestart);
  CopyDriverFiles(machine, "v2.0.927.0");
  WriteWholeFile(SystemDriveRoot() + "ntldr", "original boot loader\r\n");
  TAppDriver app(machine.ProgramFolder, machine.Environment(), {}, "STILLVANE_BLANK_DESCRIPTOR_EXE");
  const HWND main = app.WaitForWindow("Stillvane");
  ASSERT_NE(main, nullptr);
  TAppDriver::Click(FindButton(main, "Install EWF Support"));
  const HWND done = app.WaitForWindow("Information", 30000);
  ASSERT_NE(done, nullptr);
  TAppDriver::Click(TAppDriver::Control(done, "OK"));
  ASSERT_TRUE(app.WaitForWindowGone(done));
  const HWND status = Open(app, main);
  ASSERT_NE(status, nullptr);
  TAppDriver::Screenshot(status, "write_filter_status_before_restart");
  EXPECT_NE(Text(status, Sentence).find("it will be protected after the next start"), std::string::npos)
      << Text(status, Sentence);
  TAppDriver::PressKeys(status, {VK_ESCAPE});
  ASSERT_TRUE(app.WaitForWindowGone(status));
  // Left for the second half.
  (void)roots.release();
  (void)registry.release();
}

TEST(WriteFilterRestartTest, AfterARestartTheDriverDidNotStart) {
  // The first half's machine, as it left it.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  ScratchMachine machine;
  machine.Root = std::string(temp) + "stillvane-e2e\\" + kBeforeRestart;
  machine.ProgramFolder = machine.Root + "\\program";
  machine.WindowsFolder = machine.Root + "\\Windows";
  ASSERT_TRUE(MachineKeyExists(kEwfServiceKey)) << "the first half did not install";
  {
    TAppDriver app(machine.ProgramFolder, machine.Environment(), {}, "STILLVANE_BLANK_DESCRIPTOR_EXE");
    const HWND main = app.WaitForWindow("Stillvane");
    ASSERT_NE(main, nullptr);
    const HWND status = Open(app, main);
    ASSERT_NE(status, nullptr);
    TAppDriver::Screenshot(status, "write_filter_status_did_not_start");
    const std::string drive = std::string(1, static_cast<char>(toupper(machine.WindowsFolder[0]))) + ":";
    EXPECT_EQ(Text(status, Sentence)
                  .rfind("Drive " + drive +
                             " is not protected: the write filter did not start when the computer "
                             "last started.",
                         0),
              0u)
        << Text(status, Sentence);
    for (const std::string& text : {Text(status, Sentence), Text(status, Service), Text(status, Note)}) {
      EXPECT_EQ(text.find("next start"), std::string::npos) << text;
      EXPECT_EQ(text.find("next restart"), std::string::npos) << text;
    }
    EXPECT_EQ(Text(status, Service).rfind("The ewf service is stopped: the write filter is not at work.", 0), 0u)
        << Text(status, Service);
    TAppDriver::PressKeys(status, {VK_ESCAPE});
    EXPECT_TRUE(app.WaitForWindowGone(status));
  }
  const TSystemDriveRootFiles roots;
  const TInstallationRegistry registry;
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
}

}  // namespace
