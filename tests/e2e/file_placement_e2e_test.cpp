// How the real exe puts files in place, where a process can die and files can
// be what their names are not: killed during the boot loader copy, a folder
// named ntldr.bak or ewfmgr.exe, an empty or text ewfntldr, a DLL or a cut
// copy named ewf.sys, an installed ewf.sys that is empty or cut, a file
// replaced while a warning is on screen. The installations run on the test
// build that supplies the blank descriptor, as Windows does.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
#include "e2e/message_text.h"

namespace {

const char kBlankDescriptorExe[] = "STILLVANE_BLANK_DESCRIPTOR_EXE";
const char kOriginalBootLoader[] = "original boot loader\r\n";
const char kSuccess[] = "EWF installation completed successfully.";
const char kFailed[] = "The EWF installation did not complete successfully.  These steps failed:\r\r";
const char kRefusedAdvice[] =
    ".\r\rNothing has been changed.  Put a whole copy of the file, from the same Windows XP Embedded installation as "
    "the other two, in its place and try again.";
const char kChangedAdvice[] =
    ".\r\rNothing has been changed.  Check what changes the files in that folder, then click Install EWF Support "
    "again.";

class FilePlacementTest : public TInstallCase {
 protected:
  void Plant() {
    WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
    WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status");
  }
  std::string Source(const std::string& name) const { return Machine_.ProgramFolder + "\\" + name; }
  void SwapDuringTheWarning(bool sameVersion);
};

TEST_F(FilePlacementTest, KilledDuringTheBootLoaderCopyNtldrIsWholeAndANewRunFinishes) {
  Prepare("v2.0.927.0");
  // The largest a boot loader can be (640 KB), for the longest copy.
  std::string large(640 << 10, '\0');
  for (size_t i = 0; i < large.size(); i += 4096) large.replace(i, 12, "boot loader ");
  WriteWholeFile(Source("ewfntldr"), large);
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);

  ClickInstall();
  const std::string copy = SystemDriveRoot() + "ntldr.stillvane-new";
  bool seen = false;
  for (int waited = 0; waited < 30000 && !seen; ++waited) {
    seen = FileExists(copy) || FindWindowA(nullptr, "Information") != nullptr;
    if (!seen) Sleep(1);
  }
  App_->Kill();
  const bool partial = FileExists(copy);
  std::printf("killed %s\n", partial ? "with the copy begun" : "after the copy");
  const std::string ntldr = ReadWholeFile(SystemDriveRoot() + "ntldr");
  EXPECT_TRUE(ntldr == kOriginalBootLoader || ntldr == large) << "ntldr is whole, the old or the new";
  if (ntldr == large) {
    EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr.bak"), kOriginalBootLoader);
  }

  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
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
  ASSERT_NE(Main_, nullptr);

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
TEST_F(FilePlacementTest, AnEmptyOrTextBootLoaderOrADllOrCutDriverIsRefused) {
  struct Case {
    const char* Set;
    const char* Name;
    std::string Problem;
  };
  const Case cases[] = {
      {"wrong-kind/empty", "ewfntldr", "it is empty"},
      {"wrong-kind/text", "ewfntldr", "it is a text file, not a boot loader"},
      {"wrong-kind/dll", "ewf.sys", "it is not a kernel driver: it is made for the Windows GUI subsystem"},
      {"", "ewf.sys", "it is incomplete: its sections run past the end of the file, as in a copy cut short"},
  };
  Prepare("v2.0.927.0");
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    CopyDriverFiles(Machine_, "v2.0.927.0");
    if (*c.Set) {
      CopyFileOrFail(FixtureFile(c.Set, c.Name), Source(c.Name));
    } else {
      const std::string whole = ReadWholeFile(Source(c.Name));
      WriteWholeFile(Source(c.Name), whole.substr(0, whole.size() - 16));
    }
    ClickInstall();
    EXPECT_EQ(
        AnswerLastMessage("Error", std::string("install_refused_") + c.Name),
        CopiedDialogText(
            "Error", "The file \"" + Source(c.Name) + "\" cannot be installed: " + c.Problem + kRefusedAdvice, {"OK"}));
    ExpectNothingInstalled(kOriginalBootLoader);
  }
}

// A text file, or another ewf.sys of the same version, put in place while
// the old-version warning is on screen.
void FilePlacementTest::SwapDuringTheWarning(bool sameVersion) {
  Prepare("v2.0.927.0");
  CopyFileOrFail(FixtureFile("v2.0.926.9999", "ewfmgr.exe"), Source("ewfmgr.exe"));
  Plant();
  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);

  ClickInstall();
  HWND warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  if (sameVersion) {
    CopyFileOrFail(FixtureFile("hostile/no-translation", "ewf.sys"), Source("ewf.sys"));
  } else {
    WriteWholeFile(Source("ewf.sys"), "not a driver any more\r\n");
  }
  TAppDriver::Click(TAppDriver::Control(warning, "&Yes"));
  EXPECT_EQ(AnswerLastMessage("Error", "install_changed_after_check"),
            CopiedDialogText("Error",
                             "The file \"ewf.sys\" in " + Machine_.ProgramFolder +
                                 "\\ was changed after it was checked, so it was not installed: its contents are "
                                 "not the ones that were checked" +
                                 kChangedAdvice,
                             {"OK"}));
  ExpectNothingInstalled(kOriginalBootLoader);
  EXPECT_FALSE(FileExists(Drivers() + "\\ewf.sys.stillvane-new"));
}

TEST_F(FilePlacementTest, AFileReplacedWhileAWarningIsOnScreenIsNotInstalled) {
  SwapDuringTheWarning(false);
}

TEST_F(FilePlacementTest, AnotherDriverOfTheSameVersionPutInPlaceDuringTheWarningIsNotInstalled) {
  SwapDuringTheWarning(true);
}

// An installed ewf.sys that an interrupted copy left empty or cut is kept
// aside under the first free name and replaced; the message says so.
TEST_F(FilePlacementTest, AnEmptyOrCutInstalledDriverIsKeptAsideAndReplaced) {
  Prepare("v2.0.927.0");
  Plant();
  const std::string driver = Drivers() + "\\ewf.sys";
  const std::string whole = ReadWholeFile(Source("ewf.sys"));
  WriteWholeFile(driver, "");
  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);
  const std::string replaced =
      std::string(kSuccess) + "\r\rThe file " + driver + " that was already installed could not be used (";
  const std::string kept =
      "), so it was replaced by the copy of " + Source("ewf.sys") + "; its old contents have been kept as " + driver;

  ClickInstall();
  EXPECT_EQ(AnswerLastMessage("Information", "install_replaced_empty_driver"),
            CopiedDialogText("Information", replaced + "it is empty" + kept + ".bak.", {"OK"}));
  EXPECT_TRUE(ReadWholeFile(driver) == whole);
  EXPECT_EQ(ReadWholeFile(driver + ".bak"), "");
  EXPECT_TRUE(MachineKeyExists(kEwfServiceKey));

  WriteWholeFile(driver, whole.substr(0, whole.size() / 2));
  ClickInstall();
  EXPECT_EQ(AnswerLastMessage("Information"),
            CopiedDialogText("Information",
                             replaced +
                                 "it is incomplete: its sections run past the end of the file, as in a copy "
                                 "cut short" +
                                 kept + ".bak.1.",
                             {"OK"}));
  EXPECT_TRUE(ReadWholeFile(driver) == whole);
  EXPECT_TRUE(ReadWholeFile(driver + ".bak.1") == whole.substr(0, whole.size() / 2));
}

// A folder under the manager's name is a failed step with its code; the
// rest is done.
TEST_F(FilePlacementTest, AFolderNamedEwfmgrExeIsAFailedStep) {
  Prepare("v2.0.927.0");
  Plant();
  const std::string manager = System32() + "\\ewfmgr.exe";
  ASSERT_TRUE(CreateDirectoryA(manager.c_str(), nullptr));
  Launch(kBlankDescriptorExe);
  ASSERT_NE(Main_, nullptr);

  ClickInstall();
  const std::string text = AnswerLastMessage("Error", "install_folder_as_manager");
  const std::string line = "Copying " + Source("ewfmgr.exe") + " to " + manager + " failed, because " + manager +
                           " is a folder: move or rename that folder.";
  EXPECT_NE(text.find(std::string(kFailed) + line), std::string::npos) << text;
  EXPECT_EQ(text.find(kSuccess), std::string::npos) << text;
  EXPECT_EQ(GetFileAttributesA(manager.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(FileExists(manager + ".stillvane-new"));
  EXPECT_TRUE(ReadWholeFile(Drivers() + "\\ewf.sys") == ReadWholeFile(Source("ewf.sys")));
}

}  // namespace
