// "Enable HORM": the question, the marker file and the closing message.
#include "tuning/horm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/fake_os.h"
#include "support/recording_dialogs.h"

namespace {

using ::testing::ElementsAre;

const std::string kConfirmation =
    "It is recommended that you only enable HORM once you have fully set up your system and you are certain "
    "everything is working properly.\r\rAre you sure you want to enable HORM support?";
const std::string kReminder =
    "HORM support successfully enabled.  If EWF protection is currently enabled, you MUST perform\r"
    "a commit, otherwise the changes that were just made will be lost when you next reboot.";

class HormTest : public ::testing::Test {
 protected:
  HormTest() { os_.SetEnv("SystemDrive", "C:"); }
  void TearDown() override {
    EXPECT_EQ(os_.OpenFileHandleCount(), 0);
    EXPECT_EQ(dialogs_.UnusedAnswers(), 0);
  }

  TFakeOs os_;
  TRecordingDialogs dialogs_;
};

TEST_F(HormTest, AfterYesTheEmptyMarkerFileIsCreatedAndTheUserRemindedToCommit) {
  os_.Files().AddFile("C:\\resmany.dat", "left over from an earlier hibernation");
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);

  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0].text, kConfirmation);
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::Confirmation);
  EXPECT_EQ(dialogs_.messages[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(dialogs_.messages[1].text, kReminder);
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::Information);
  EXPECT_EQ(dialogs_.messages[1].buttons, MessageButtons::Ok);
  EXPECT_THAT(os_.CallsNamed("CreateFileA"),
              ElementsAre("CreateFileA(C:\\resmany.dat, 0xC0000000, 0x0, NULL, 2, 0x80, NULL)"));
  EXPECT_EQ(os_.CallsNamed("CloseHandle").size(), 1u);
  ASSERT_TRUE(os_.Files().IsFile("C:\\resmany.dat"));
  EXPECT_EQ(os_.Files().Find("C:\\resmany.dat")->contents, "");
}

TEST_F(HormTest, AnythingButYesChangesNothing) {
  for (DialogResult answer : {DialogResult::No, DialogResult::Cancel}) {
    dialogs_.QueueAnswer(answer);
    EnableHorm(os_, dialogs_);
  }
  EXPECT_EQ(dialogs_.shown, (std::vector<std::string>{"message: " + kConfirmation, "message: " + kConfirmation}));
  EXPECT_TRUE(os_.CallsNamed("CreateFileA").empty());
  EXPECT_FALSE(os_.Files().Find("C:\\resmany.dat"));
}

TEST_F(HormTest, TheRootFolderIsReadAtEachClick) {
  os_.SetEnv("SystemDrive", "D:\\");
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);
  EXPECT_TRUE(os_.Files().IsFile("D:\\resmany.dat"));

  os_.UnsetEnv("SystemDrive");
  os_.Files().SetCurrentFolder("E:\\Work\\");
  os_.Files().AddFolder("E:\\Work");
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);
  EXPECT_THAT(os_.CallsNamed("CreateFileA")[1], ::testing::StartsWith("CreateFileA(\\resmany.dat,"));
  EXPECT_TRUE(os_.Files().IsFile("E:\\resmany.dat"));
  EXPECT_FALSE(os_.Files().Find("C:\\resmany.dat"));
}

TEST_F(HormTest, AFileThatCannotBeCreatedIsReportedWithItsErrorCodeInsteadOfTheReminder) {
  os_.Files().AddFile("C:\\resmany.dat", "kept").attributes = FILE_ATTRIBUTE_READONLY;
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);

  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].text,
            "HORM support could not be enabled, because the file C:\\resmany.dat could not be created.  Error 5");
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::Error);
  EXPECT_EQ(dialogs_.messages[1].buttons, MessageButtons::Ok);
  EXPECT_EQ(os_.Files().Find("C:\\resmany.dat")->contents, "kept");
  EXPECT_TRUE(os_.CallsNamed("CloseHandle").empty());
}

TEST_F(HormTest, TheMarkerGoesBesideTheBootLoaderOfThePartitionTheComputerStartsFrom) {
  os_.SetEnv("SystemDrive", "D:");
  os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          {'\\', 'D', 'e', 'v', 'i', 'c', 'e', '\\', 'C', 0});
  os_.SetDosDevice("C:", "\\Device\\C");
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);
  EXPECT_TRUE(os_.Files().IsFile("C:\\resmany.dat"));
  EXPECT_FALSE(os_.Files().Find("D:\\resmany.dat"));
}

TEST_F(HormTest, WithHibernationOffTheReminderSaysWhereToTurnItOn) {
  const std::string hibernationOff =
      kReminder +
      "\r\rHibernation is turned off on this computer, and HORM only works when it is on.\r"
      "To turn it on, open Control Panel, then Power Options, and on the Hibernate tab select Enable hibernation.\r"
      "If there is no Hibernate tab, Windows cannot hibernate this computer, and HORM cannot be used.";
  struct Case {
    bool supported, enabled;
    DWORD failure;
    std::string reminder;
  };
  for (const Case& c : {Case{true, false, 0, hibernationOff}, Case{false, false, 0, hibernationOff},
                        Case{true, true, 0, kReminder}, Case{true, false, ERROR_MOD_NOT_FOUND, kReminder}}) {
    TFakeOs os;
    os.SetEnv("SystemDrive", "C:");
    os.SetHibernation(c.supported, c.enabled);
    if (c.failure) os.FailCall("GetPwrCapabilities", c.failure);
    TRecordingDialogs dialogs;
    dialogs.QueueAnswer(DialogResult::Yes);
    EnableHorm(os, dialogs);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text, c.reminder) << c.supported << c.enabled << c.failure;
    EXPECT_TRUE(os.Files().IsFile("C:\\resmany.dat"));
  }
}

TEST_F(HormTest, WhenWindowsCannotSayWhereTheComputerStartsNothingIsCreated) {
  os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ, {'x', 0});
  os_.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].text,
            "HORM support could not be enabled, because Windows could not tell which partition this computer starts "
            "from:\r\rReading the \"SystemPartition\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\Setup failed.  Error 5");
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::Error);
  EXPECT_TRUE(os_.CallsNamed("CreateFileA").empty());

  // Nor when what it says is not understood.
  TFakeOs os;
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_EXPAND_SZ, {'\\', 'C', 0});
  TRecordingDialogs dialogs;
  dialogs.QueueAnswer(DialogResult::Yes);
  EnableHorm(os, dialogs);
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_THAT(dialogs.messages[1].text, ::testing::HasSubstr("as \"\\C\" (REG_EXPAND_SZ), which is not the name of a "
                                                             "device.\r\rWindows writes this value as it starts"));
  EXPECT_TRUE(os.CallsNamed("CreateFileA").empty());
}

// The boot loader looks for the marker on a partition no drive letter
// reaches: the marker goes to %SystemDrive%, and the user is warned, not
// told HORM is on.
TEST_F(HormTest, WithoutALetterForThePartitionTheComputerStartsFromTheUserIsWarned) {
  os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          {'\\', 'D', 'e', 'v', 'i', 'c', 'e', '\\', 'H', 0});
  os_.SetHibernation(true, false);
  dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(os_, dialogs_);
  EXPECT_TRUE(os_.Files().IsFile("C:\\resmany.dat"));
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[1].kind, MessageKind::Warning);
  EXPECT_EQ(
      dialogs_.messages[1].text.rfind(
          "The file C:\\resmany.dat was created, but HORM may not use it: Windows names \\Device\\H as the "
          "partition this computer starts from, and no drive letter stands for it.\r\rGive that partition a drive "
          "letter, then click Enable HORM again.  If EWF protection is currently enabled, perform a commit "
          "afterwards, otherwise the change will be lost when you next reboot.\r\rHibernation is turned off",
          0),
      0u)
      << dialogs_.messages[1].text;
}

}  // namespace
