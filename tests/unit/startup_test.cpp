// What the program works out at start-up: its folders and the platform check.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "services/environment.h"
#include "support/fake_os.h"
#include "support/recording_dialogs.h"

namespace {

TEST(StartUp, FoldersEndInOneBackslashWhateverTheirSource) {
  TFakeOs os;
  os.SetModulePath("C:\\Program Files\\Stillvane\\Stillvane.exe");
  os.SetEnv("windir", "C:\\WINDOWS\\");
  os.SetEnv("SystemDrive", "C:");
  ProgramFolders folders = ReadProgramFolders(os);
  EXPECT_EQ(folders.SourceFolder, "C:\\Program Files\\Stillvane\\");
  EXPECT_EQ(folders.WindowsFolder, "C:\\WINDOWS\\");
  EXPECT_EQ(folders.SystemDriveFolder, "C:\\");

  // From a drive root, and with neither variable set.
  os.SetModulePath("D:\\Stillvane.exe");
  os.UnsetEnv("windir");
  os.UnsetEnv("SystemDrive");
  folders = ReadProgramFolders(os);
  EXPECT_EQ(folders.SourceFolder, "D:\\");
  EXPECT_EQ(folders.WindowsFolder, "\\");
  EXPECT_EQ(folders.SystemDriveFolder, "\\");

  os.SetEnv("SystemDrive", "E:\\");
  EXPECT_EQ(ReadSystemDriveFolder(os), "E:\\") << "read afresh each time";
}

// GetModuleFileNameA writes '?' for each character of the folder's name
// outside the ANSI code page: such a folder is refused, with what to do.
TEST(StartUp, AProgramFolderWindowsCannotNameIsRefused) {
  TFakeOs os;
  TRecordingDialogs dialogs;
  os.SetModulePath("C:\\Program Files\\Stillvane\\Stillvane.exe");
  EXPECT_TRUE(ProgramFolderCanBeNamed(os, dialogs));
  EXPECT_TRUE(dialogs.Messages.empty());

  os.SetModulePath("C:\\Tools\\St?llv?ne\\Stillvane.exe");
  EXPECT_FALSE(ProgramFolderCanBeNamed(os, dialogs));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text,
            "Stillvane cannot work from C:\\Tools\\St?llv?ne\\: Windows gives that name with \"?\" for characters it "
            "cannot pass on.\r\rMove Stillvane and the files beside it to a folder with a plain name, then start it "
            "again.");
  EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
}

TEST(StartUp, OnlyOutsideTheNtFamilyIsTheUserWarned) {
  for (DWORD platform : {0u, 1u, 2u}) {
    TFakeOs os;
    os.SetPlatformId(platform);
    TRecordingDialogs dialogs;
    WarnOutsideNtFamily(os, dialogs);
    if (platform == VER_PLATFORM_WIN32_NT) {
      EXPECT_TRUE(dialogs.Messages.empty());
      continue;
    }
    ASSERT_EQ(dialogs.Messages.size(), 1u) << "platform " << platform;
    EXPECT_EQ(dialogs.Messages[0].Text, "This tool is only intended for use on the Windows XP Operating System!");
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
    EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::Ok);
  }
}

}  // namespace
