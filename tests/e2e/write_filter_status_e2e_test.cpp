// Write Filter Status from end to end, after a real installation (the test
// build that supplies the blank descriptor, as Windows does): all is well,
// until another boot loader takes ntldr's place.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
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
  EXPECT_EQ(Text(status, Sentence),
            "EWF support is installed; the write filter starts with Windows when the computer next restarts.  "
            "Until then nothing protects drive " +
                drive + ".");
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
  EXPECT_EQ(Text(status, Sentence).rfind("EWF support is installed, but damaged:", 0), 0u) << Text(status, Sentence);
  EXPECT_NE(Text(status, Checks)
                .find("Wrong: " + SystemDriveRoot() +
                      "ntldr is not the ewfntldr that was installed: another program or a service "
                      "pack has replaced it, and HORM cannot resume without it.  Click Install EWF "
                      "Support again."),
            std::string::npos)
      << Text(status, Checks);
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

}  // namespace
