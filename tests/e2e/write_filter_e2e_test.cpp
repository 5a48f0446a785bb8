// The write filter protecting the volume Windows runs from: the real ewf
// service running under Wine (on a stand-in driver of ours that Wine can load
// and unload), and the stand-in manager reporting its overlay enabled. The
// program must write nothing and say why.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
#include "e2e/message_text.h"
#include "e2e/status_window.h"
#include "support/write_filter_messages.h"

namespace {

const char kOriginalBootLoader[] = "original boot loader\r\n";
const char kDfrgKey[] = "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction";

// The ewf service, created (or found, left by an interrupted run) and started
// on the stand-in driver for the length of one test, then asked to stop and
// deleted. Wine may leave the driver's service stop-pending for as long as its
// host process lives, so these cases run in a Wine session of their own.
class TRunningEwfService {
 public:
  TRunningEwfService() {
    Manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!Manager_) return;
    const std::string driver = FixtureFile("overlay-on", "ewf.sys");
    Service_ = CreateServiceA(Manager_, "ewf", "ewf", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                              SERVICE_ERROR_NORMAL, driver.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!Service_ && GetLastError() == ERROR_SERVICE_EXISTS) {
      Service_ = OpenServiceA(Manager_, "ewf", SERVICE_ALL_ACCESS);
      if (Service_) {
        ChangeServiceConfigA(Service_, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             driver.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      }
    }
    if (Service_ && StartServiceA(Service_, 0, nullptr)) WaitFor(SERVICE_RUNNING);
  }
  ~TRunningEwfService() {
    if (Service_) {
      SERVICE_STATUS status;
      ControlService(Service_, SERVICE_CONTROL_STOP, &status);
      EXPECT_TRUE(DeleteService(Service_));
      CloseServiceHandle(Service_);
    }
    if (Manager_) CloseServiceHandle(Manager_);
  }
  TRunningEwfService(const TRunningEwfService&) = delete;
  TRunningEwfService& operator=(const TRunningEwfService&) = delete;

  bool Running() const { return State() == SERVICE_RUNNING; }

 private:
  DWORD State() const {
    SERVICE_STATUS status = {};
    return Service_ && QueryServiceStatus(Service_, &status) ? status.dwCurrentState : 0;
  }
  bool WaitFor(DWORD state) const {
    for (int waited = 0; waited < 100; ++waited, Sleep(50))
      if (State() == state) return true;
    return false;
  }

  SC_HANDLE Manager_ = nullptr;
  SC_HANDLE Service_ = nullptr;
};

class WriteFilterOnTest : public TInstallCase {};

// The test build that, under Wine, would otherwise carry out the whole installation.
TEST_F(WriteFilterOnTest, InstallAndMinimizeDiskWritesWriteNothingAndSayHowToTurnTheFilterOff) {
  DeleteMachineValue(kDfrgKey, "Enable");
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Prepare("v2.0.927.0");
  CopyFileOrFail(FixtureFile("overlay-on", "ewfmgr.exe"), System32() + "\\ewfmgr.exe");
  WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
  WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status");
  const TRunningEwfService ewf;
  ASSERT_TRUE(ewf.Running()) << "Wine did not start the ewf service";
  Launch("STILLVANE_BLANK_DESCRIPTOR_EXE");
  ASSERT_NE(Main_, nullptr);
  const std::string drive = std::string(1, static_cast<char>(toupper(Machine_.WindowsFolder[0]))) + ":";
  const std::string refusal = CopiedDialogText("Error", OverlayOnMessage(drive), {"OK"});

  ClickInstall();
  EXPECT_EQ(AnswerLastMessage("Error", "write_filter_on"), refusal);
  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_EQ(FilesIn(System32()), std::vector<std::string>{"ewfmgr.exe"});
  EXPECT_EQ(FilesIn(Machine_.WindowsFolder), std::vector<std::string>{"bootstat.dat"});
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), kOriginalBootLoader);
  EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.bak"));
  EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
  EXPECT_EQ(ReadMachineValue(kVolumeClassKey, "UpperFilters").Data, MultiString({"VolSnap"}));
  EXPECT_EQ(ReadMachineKeyDacl(kEnumRootKey), Registry_.OriginalRootDacl());

  TAppDriver::Click(FindButton(Main_, "Minimize Disk Writes"));
  EXPECT_EQ(AnswerLastMessage("Error"), refusal);
  EXPECT_FALSE(ReadMachineValue(kDfrgKey, "Enable").Present);
  EXPECT_TRUE(IsWindowEnabled(Main_));
}

// The write filter installed and running but not enabled: Write Filter
// Status, opened from the system menu with the keyboard, runs "ewfmgr <drive>
// -enable" through the stand-in manager, which takes the command, and shows
// the report that follows; the offer to restart is declined.
TEST_F(WriteFilterOnTest, FromTheSystemMenuEnableChangesTheReportAndTheRestartIsDeclined) {
  using namespace status_window;
  WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap"}));
  Prepare("v2.0.927.0");
  CopyFileOrFail(FixtureFile("overlay-on", "ewfmgr.exe"), System32() + "\\ewfmgr.exe");
  WriteWholeFile(System32() + "\\ewfmgr-stand-in.txt", "DISABLED NO_CMD\n");
  WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
  const TRunningEwfService ewf;
  ASSERT_TRUE(ewf.Running()) << "Wine did not start the ewf service";
  Launch("STILLVANE_BLANK_DESCRIPTOR_EXE");
  ASSERT_NE(Main_, nullptr);
  const std::string drive = std::string(1, static_cast<char>(toupper(Machine_.WindowsFolder[0]))) + ":";
  ClickInstall();
  ASSERT_EQ(AnswerLastMessage("Information"),
            CopiedDialogText("Information", "EWF installation completed successfully.", {"OK"}));

  // Alt+Space, then up past Remove EWF Support: its S is Size's too.
  PostMessageA(Main_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
  Sleep(300);
  TAppDriver::PressKeys(Main_, {VK_UP, VK_UP, VK_RETURN});
  HWND status = App_->WaitForWindow(kCaption);
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(IsRead(status));
  TAppDriver::Screenshot(status, "write_filter_status_not_protected");
  EXPECT_EQ(Text(status, Sentence), "Drive " + drive + " is not protected now: changes to it are kept.");
  EXPECT_EQ(Text(status, Checks).find("Wrong:"), std::string::npos) << Text(status, Checks);
  EXPECT_EQ(Text(status, Service).rfind("The ewf service is running.\r\nHORM is not set up: ", 0), 0u)
      << Text(status, Service);
  EXPECT_EQ(Text(status, Report).rfind("ewfmgr " + drive + "   (exit code 0)\r\nProtected Volume Configuration\r\n", 0),
            0u)
      << Text(status, Report);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(status, Enable)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(status, Commit)));

  TAppDriver::Click(GetDlgItem(status, Enable));
  EXPECT_EQ(Answer(*App_, true).rfind("Stillvane will run \"ewfmgr " + drive + " -enable\".\r\n", 0), 0u);
  EXPECT_EQ(Answer(*App_, false), "The write filter carries out \"ewfmgr " + drive +
                                      " -enable\" when the computer next starts.\r\n\r\nDo you want to restart the "
                                      "computer now?  Save your work in other programs first.");
  EXPECT_EQ(ReadWholeFile(System32() + "\\ewfmgr-commands.txt"), drive + " -enable\r\n") << "the stand-in's record";
  const std::string report = Text(status, Report);
  EXPECT_EQ(report.rfind("ewfmgr " + drive + " -enable   (exit code 0)\r\n", 0), 0u) << report;
  EXPECT_NE(report.find("\r\n\r\newfmgr " + drive + "   (exit code 0)\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("  Boot Command        ENABLE\r\n"), std::string::npos) << report;
  EXPECT_EQ(Text(status, Sentence)
                .rfind("Drive " + drive +
                           " is not protected now; it will be protected after the "
                           "next start, when the write filter carries out the "
                           "pending enable.",
                       0),
            0u)
      << Text(status, Sentence);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(status, Enable)));
  TAppDriver::Screenshot(status, "write_filter_status_enable_pending");

  // Damaged, with the overlay enabled: the first sentence still says the
  // drive is protected, and the Wrong line comes first.
  WriteWholeFile(System32() + "\\ewfmgr-stand-in.txt", "ENABLED NO_CMD\n");
  WriteWholeFile(SystemDriveRoot() + "ntldr", "a boot loader a service pack put back\r\n");
  ASSERT_TRUE(Refreshed(status, Text(status, Sentence)));
  EXPECT_EQ(Text(status, Sentence).rfind("Drive " + drive + " is protected now: every change made to it is lost", 0),
            0u)
      << Text(status, Sentence);
  EXPECT_NE(Text(status, Sentence).find("EWF support is damaged"), std::string::npos) << Text(status, Sentence);
  EXPECT_EQ(Text(status, Checks).rfind("Wrong: ", 0), 0u) << Text(status, Checks);
  EXPECT_NE(Text(status, Service).find("The overlay uses "), std::string::npos) << Text(status, Service);
  TAppDriver::Screenshot(status, "write_filter_status_protected_damaged");
  TAppDriver::PressKeys(status, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForWindowGone(status));
  EXPECT_TRUE(App_->Running()) << "no restart";
}

}  // namespace
