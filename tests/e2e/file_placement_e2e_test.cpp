// How the real exe puts files in place, where a process can die and files can
// be what their names are not: killed during a long boot loader copy, a folder
// named ntldr.bak, an empty ewfntldr, a DLL named ewf.sys, a file replaced
// while a warning is on screen. The installations run on the test build that
// supplies the blank descriptor, as Windows does.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
#include "e2e/message_text.h"

namespace {

const char kBlankDescriptorExe[] = "STILLVANE_BLANK_DESCRIPTOR_EXE";
const char kOriginalBootLoader[] = "original boot loader\r\n";
const char kSuccess[] = "EWF installation completed successfully.";

class FilePlacementTest : public InstallCase {
 protected:
  void Plant() {
    WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
    WriteWholeFile(machine_.windowsFolder + "\\bootstat.dat", "boot status");
  }
  std::string Source(const std::string& name) const { return machine_.programFolder + "\\" + name; }
};

TEST_F(FilePlacementTest, KilledDuringALargeBootLoaderCopyNtldrIsWholeAndANewRunFinishes) {
  Prepare("v2.0.927.0");
  // 96 MB: long enough to copy that the kill lands in the middle of it.
  std::string large(96 << 20, '\0');
  for (size_t i = 0; i < large.size(); i += 4096) large.replace(i, 12, "boot loader ");
  WriteWholeFile(Source("ewfntldr"), large);
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(main_, nullptr);

  ClickInstall();
  const std::string copy = SystemDriveRoot() + "ntldr.stillvane-new";
  bool seen = false;
  for (int waited = 0; waited < 30000 && !seen; ++waited) {
    seen = FileExists(copy);
    if (!seen) Sleep(1);
  }
  ASSERT_TRUE(seen) << "the copy never began";
  app_->Kill();
  const std::string partial = ReadWholeFile(copy);
  std::printf("killed with %zu of %zu bytes copied\n", partial.size(), large.size());
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), kOriginalBootLoader) << "ntldr is whole";
  EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.bak")) << "nothing was switched yet";

  Launch(kBlankDescriptorExe);
  ASSERT_NE(main_, nullptr);
  ClickInstall();
  EXPECT_EQ(AnswerLastMessage("Information"), CopiedDialogText("Information", kSuccess, {"OK"}));
  EXPECT_TRUE(ReadWholeFile(SystemDriveRoot() + "ntldr") == large) << "the new loader, whole";
  EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.bak"), kOriginalBootLoader);
  EXPECT_FALSE(FileExists(copy)) << "no temporary copy is left";
}

TEST_F(FilePlacementTest, AFolderNamedNtldrBakLeavesTheOldLoaderUnderTheNextName) {
  Prepare("v2.0.927.0");
  Plant();
  ASSERT_TRUE(CreateDirectoryA((SystemDriveRoot() + "ntldr.bak").c_str(), nullptr));
  Launch(kBlankDescriptorExe);
  ASSERT_NE(main_, nullptr);

  ClickInstall();
  const std::string root = SystemDriveRoot();
  EXPECT_EQ(AnswerLastMessage("Information", "install_backup_elsewhere"),
            CopiedDialogText("Information",
                             std::string(kSuccess) + "\r\rThe boot loader " + root +
                                 "ntldr that was replaced has been kept as " + root + "ntldr.bak.1, because " + root +
                                 "ntldr.bak holds something else.",
                             {"OK"}));
  EXPECT_EQ(ReadWholeFile(root + "ntldr.bak.1"), kOriginalBootLoader);
  EXPECT_EQ(ReadWholeFile(root + "ntldr"), ReadWholeFile(FixtureFile("v2.0.927.0", "ewfntldr")));
  EXPECT_EQ(GetFileAttributesA((root + "ntldr.bak").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// Files that are not what their names say stop the click before anything
// changes, with the file and its fault named.
TEST_F(FilePlacementTest, AnEmptyBootLoaderOrADllNamedAsTheDriverIsRefused) {
  struct Case {
    const char* set;
    const char* name;
    std::string problem;
  };
  const Case cases[] = {
      {"wrong-kind/empty", "ewfntldr", "it is empty"},
      {"wrong-kind/dll", "ewf.sys", "it is not a kernel driver: it is made for the Windows GUI subsystem"},
  };
  Prepare("v2.0.927.0");
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(main_, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CopyDriverFiles(machine_, "v2.0.927.0");
    CopyFileOrFail(FixtureFile(c.set, c.name), Source(c.name));
    ClickInstall();
    EXPECT_EQ(AnswerLastMessage("Error", std::string("install_refused_") + c.name),
              CopiedDialogText("Error",
                               "The file \"" + Source(c.name) + "\" cannot be installed: " + c.problem +
                                   ".\r\rNothing has been changed.",
                               {"OK"}));
    ExpectNothingInstalled(kOriginalBootLoader);
  }
}

TEST_F(FilePlacementTest, AFileReplacedWhileAWarningIsOnScreenIsNotInstalled) {
  Prepare("v2.0.927.0");
  CopyFileOrFail(FixtureFile("v2.0.926.9999", "ewfmgr.exe"), Source("ewfmgr.exe"));
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(main_, nullptr);

  ClickInstall();
  HWND warning = app_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  WriteWholeFile(Source("ewf.sys"), "not a driver any more\r\n");
  AppDriver::Click(AppDriver::Control(warning, "&Yes"));
  EXPECT_EQ(AnswerLastMessage("Error", "install_changed_after_check"),
            CopiedDialogText("Error",
                             "The file \"ewf.sys\" in " + machine_.programFolder +
                                 "\\ was changed after it was checked, so it was not installed: it is not a Windows "
                                 "program file.\r\rNothing has been changed.",
                             {"OK"}));
  ExpectNothingInstalled(kOriginalBootLoader);
  EXPECT_FALSE(FileExists(Drivers() + "\\ewf.sys.stillvane-new"));
}

}  // namespace
