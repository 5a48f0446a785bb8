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
  HormTest() { Os_.SetEnv("SystemDrive", "C:"); }
  void TearDown() override {
    EXPECT_EQ(Os_.OpenFileHandleCount(), 0);
    EXPECT_EQ(Dialogs_.UnusedAnswers(), 0);
  }

  // After the question, one error with OK, as given.
  void ExpectError(const std::string& text) const {
    ASSERT_EQ(Dialogs_.Messages.size(), 2u);
    EXPECT_EQ(Dialogs_.Messages[1].Text, text);
    EXPECT_EQ(Dialogs_.Messages[1].Kind, MessageKind::Error);
    EXPECT_EQ(Dialogs_.Messages[1].Buttons, MessageButtons::Ok);
  }

  TFakeOs Os_;
  TRecordingDialogs Dialogs_;
};

TEST_F(HormTest, AfterYesTheEmptyMarkerFileIsCreatedAndTheUserRemindedToCommit) {
  Os_.Files().AddFile("C:\\resmany.dat", "left over from an earlier hibernation");
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);

  ASSERT_EQ(Dialogs_.Messages.size(), 2u);
  EXPECT_EQ(Dialogs_.Messages[0].Text, kConfirmation);
  EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Confirmation);
  EXPECT_EQ(Dialogs_.Messages[0].Buttons, MessageButtons::YesNo);
  EXPECT_EQ(Dialogs_.Messages[1].Text, kReminder);
  EXPECT_EQ(Dialogs_.Messages[1].Kind, MessageKind::Information);
  EXPECT_EQ(Dialogs_.Messages[1].Buttons, MessageButtons::Ok);
  EXPECT_THAT(Os_.CallsNamed("CreateFileA"),
              ElementsAre("CreateFileA(C:\\resmany.dat, 0xC0000000, 0x0, NULL, 2, 0x80, NULL)"));
  EXPECT_EQ(Os_.CallsNamed("CloseHandle").size(), 1u);
  ASSERT_TRUE(Os_.Files().IsFile("C:\\resmany.dat"));
  EXPECT_EQ(Os_.Files().Find("C:\\resmany.dat")->Contents, "");
}

// Windows refuses to empty a hidden or system file asked for plain
// attributes; such a marker is emptied as a plain one is, and stays hidden
// or system.
TEST_F(HormTest, AHiddenOrSystemMarkerIsEmptiedAsAPlainOneAndKeepsItsAttributes) {
  for (DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                           DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE}}) {
    TFakeOs os;
    os.SetEnv("SystemDrive", "C:");
    os.Files().AddFile("C:\\resmany.dat", "left over").Attributes = attributes;
    TRecordingDialogs dialogs;
    dialogs.QueueAnswer(DialogResult::Yes);
    EnableHorm(os, dialogs);
    ASSERT_EQ(dialogs.Messages.size(), 2u) << attributes;
    EXPECT_EQ(dialogs.Messages[1].Text, kReminder) << attributes;
    EXPECT_EQ(dialogs.Messages[1].Kind, MessageKind::Information) << attributes;
    EXPECT_EQ(os.Files().Find("C:\\resmany.dat")->Contents, "") << attributes;
    EXPECT_EQ(os.Files().Find("C:\\resmany.dat")->Attributes & ~FILE_ATTRIBUTE_ARCHIVE,
              attributes & ~FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(os.OpenFileHandleCount(), 0);
  }
}

TEST_F(HormTest, AnythingButYesChangesNothing) {
  for (DialogResult answer : {DialogResult::No, DialogResult::Cancel}) {
    Dialogs_.QueueAnswer(answer);
    EnableHorm(Os_, Dialogs_);
  }
  EXPECT_EQ(Dialogs_.Shown, (std::vector<std::string>{"message: " + kConfirmation, "message: " + kConfirmation}));
  EXPECT_TRUE(Os_.CallsNamed("CreateFileA").empty());
  EXPECT_FALSE(Os_.Files().Find("C:\\resmany.dat"));
}

TEST_F(HormTest, TheRootFolderIsReadAtEachClick) {
  Os_.SetEnv("SystemDrive", "D:\\");
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);
  EXPECT_TRUE(Os_.Files().IsFile("D:\\resmany.dat"));

  Os_.UnsetEnv("SystemDrive");
  Os_.Files().SetCurrentFolder("E:\\Work\\");
  Os_.Files().AddFolder("E:\\Work");
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);
  EXPECT_THAT(Os_.CallsNamed("CreateFileA")[1], ::testing::StartsWith("CreateFileA(\\resmany.dat,"));
  EXPECT_TRUE(Os_.Files().IsFile("E:\\resmany.dat"));
  EXPECT_FALSE(Os_.Files().Find("C:\\resmany.dat"));
}

TEST_F(HormTest, AFileThatCannotBeCreatedIsReportedWithItsErrorCodeInsteadOfTheReminder) {
  Os_.Files().AddFile("C:\\resmany.dat", "kept").Attributes = FILE_ATTRIBUTE_READONLY;
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);

  ExpectError(
      "HORM support could not be enabled, because the file C:\\resmany.dat could not be created.  Error 5\r\r"
      "Log on as an administrator, make sure that the file is not read-only or in use, then click Enable HORM again.");
  EXPECT_EQ(Os_.Files().Find("C:\\resmany.dat")->Contents, "kept");
  EXPECT_TRUE(Os_.CallsNamed("CloseHandle").empty());
}

TEST_F(HormTest, TheMarkerGoesBesideTheBootLoaderOfThePartitionTheComputerStartsFrom) {
  Os_.SetEnv("SystemDrive", "D:");
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          {'\\', 'D', 'e', 'v', 'i', 'c', 'e', '\\', 'C', 0});
  Os_.SetDosDevice("C:", "\\Device\\C");
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);
  EXPECT_TRUE(Os_.Files().IsFile("C:\\resmany.dat"));
  EXPECT_FALSE(Os_.Files().Find("D:\\resmany.dat"));
}

TEST_F(HormTest, WithHibernationOffTheReminderSaysWhereToTurnItOn) {
  const std::string hibernationOff =
      kReminder +
      "\r\rHibernation is turned off on this computer, and HORM only works when it is on.\r"
      "To turn it on, open Control Panel, then Power Options, and on the Hibernate tab select Enable hibernation.\r"
      "If there is no Hibernate tab, Windows cannot hibernate this computer, and HORM cannot be used.";
  struct Case {
    bool Supported, Enabled;
    DWORD Failure;
    std::string Reminder;
  };
  for (const Case& c : {Case{true, false, 0, hibernationOff}, Case{false, false, 0, hibernationOff},
                        Case{true, true, 0, kReminder}, Case{true, false, ERROR_MOD_NOT_FOUND, kReminder}}) {
    TFakeOs os;
    os.SetEnv("SystemDrive", "C:");
    os.SetHibernation(c.Supported, c.Enabled);
    if (c.Failure) os.FailCall("GetPwrCapabilities", c.Failure);
    TRecordingDialogs dialogs;
    dialogs.QueueAnswer(DialogResult::Yes);
    EnableHorm(os, dialogs);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[1].Text, c.Reminder) << c.Supported << c.Enabled << c.Failure;
    EXPECT_TRUE(os.Files().IsFile("C:\\resmany.dat"));
  }
}

TEST_F(HormTest, WhenWindowsCannotSayWhereTheComputerStartsNothingIsCreated) {
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ, {'x', 0});
  Os_.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);
  ExpectError(
      "HORM support could not be enabled, because Windows could not tell which partition this computer starts "
      "from:\r\rReading the \"SystemPartition\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\Setup failed.  Error 5"
      "\r\rLog on as an administrator or restart Windows, then try again.");
  EXPECT_TRUE(Os_.CallsNamed("CreateFileA").empty());

  // Nor when what it says is not understood.
  TFakeOs os;
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_EXPAND_SZ, {'\\', 'C', 0});
  TRecordingDialogs dialogs;
  dialogs.QueueAnswer(DialogResult::Yes);
  EnableHorm(os, dialogs);
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  EXPECT_THAT(dialogs.Messages[1].Text, ::testing::HasSubstr("as \"\\C\" (REG_EXPAND_SZ), which is not the name of a "
                                                             "device.\r\rWindows writes this value as it starts"));
  EXPECT_THAT(dialogs.Messages[1].Text, ::testing::EndsWith("ask your administrator to correct it.")) << "one advice";
  EXPECT_TRUE(os.CallsNamed("CreateFileA").empty());
}

// The boot loader looks for the marker on a partition no drive letter
// reaches: the marker goes to %SystemDrive%, and the user is warned, not
// told HORM is on.
TEST_F(HormTest, WithoutALetterForThePartitionTheComputerStartsFromTheUserIsWarned) {
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", "SystemPartition", REG_SZ,
                          {'\\', 'D', 'e', 'v', 'i', 'c', 'e', '\\', 'H', 0});
  Os_.SetHibernation(true, false);
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EnableHorm(Os_, Dialogs_);
  EXPECT_TRUE(Os_.Files().IsFile("C:\\resmany.dat"));
  ASSERT_EQ(Dialogs_.Messages.size(), 2u);
  EXPECT_EQ(Dialogs_.Messages[1].Kind, MessageKind::Warning);
  EXPECT_EQ(
      Dialogs_.Messages[1].Text.rfind(
          "The file C:\\resmany.dat was created, but HORM may not use it: Windows names \\Device\\H as the "
          "partition this computer starts from, and no drive letter stands for it.\r\rGive that partition a drive "
          "letter, then click Enable HORM again.  If EWF protection is currently enabled, perform a commit "
          "afterwards, otherwise the change will be lost when you next reboot.\r\rHibernation is turned off",
          0),
      0u)
      << Dialogs_.Messages[1].Text;
}

}  // namespace
