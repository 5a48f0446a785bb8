// The driver file checks: presence, the version gate with its warning, and
// the two together as the Install button runs them.
#include "install/driver_checks.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/fake_os.h"
#include "support/recording_dialogs.h"
#include "support/stand_in_image.h"
#include "support/version_resource_builder.h"

namespace {

const std::string kSource = "C:\\Program Files\\Stillvane\\";
const std::string kAdvice =
    ".\r\rNothing has been changed.  Put a whole copy of the file, from the same Windows XP Embedded installation as "
    "the other two, in its place and try again.";

// The warning for an ewf.sys of 2.0.926.9999, piece by piece.
const std::string kEwfSysWarning =
    "Although the file \"ewf.sys\" was found in the current directory, it appears to be an old version of the file."
    "\r\rVersion found: 2.0.926.9999"
    "\rMinimum version required: 2.0.927.0"
    "\r\rIf you retrieved this file from the Repositories directory of a Windows XP Embedded SP2 installation, you "
    "likely copied one of the older versions.  "
    "There are multiple versions of the file within the Repositories directory, so you must make sure you get the "
    "newest version you can find.  "
    "\r\rUsing older versions of this file is known to cause serious issues, so you should only continue if you are "
    "certain you know what you are doing."
    "\r\rAre you sure you want to continue with this old file?";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class DriverChecksTest : public ::testing::Test {
 protected:
  // A driver file in the source folder; without a version, it has no resource.
  void Place(const std::string& name, std::optional<FileVersionParts> version) {
    const std::string text = "stand-in " + name;
    const std::string contents = name == "ewf.sys"      ? StandInDriver(text)
                                 : name == "ewfmgr.exe" ? StandInProgram(text)
                                                        : StandInBootLoader(text);
    FakeFile& file = Os_.Files().AddFile(kSource + name, contents);
    if (version) file.VersionResource = BuildVersionResource(*version);
  }
  void PlaceAll(FileVersionParts ewfSys, FileVersionParts ewfMgr) {
    Place("ewf.sys", ewfSys);
    Place("ewfmgr.exe", ewfMgr);
    Place("ewfntldr", std::nullopt);
  }
  bool Gate() {
    Os_.ClearCalls();
    return CheckDriverFileVersions(Dialogs_, Reader_, kSource);
  }
  std::vector<std::string> VersionReads() const { return Os_.CallsNamed("GetFileVersionInfoSizeA"); }
  static std::string SizeCall(const std::string& name) { return "GetFileVersionInfoSizeA(" + kSource + name + ")"; }

  TFakeOs Os_;
  TRecordingDialogs Dialogs_;
  TVersionInfo Reader_{Os_};
};

TEST_F(DriverChecksTest, PresenceLooksForTheThreeFilesInOrderAndStopsAtTheFirstMissing) {
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  Os_.ClearCalls();
  EXPECT_TRUE(CheckDriverFilesPresent(Os_, kSource));
  EXPECT_EQ(Os_.CallsNamed("FindFirstFileA"), (std::vector<std::string>{"FindFirstFileA(" + kSource + "ewf.sys)",
                                                                        "FindFirstFileA(" + kSource + "ewfmgr.exe)",
                                                                        "FindFirstFileA(" + kSource + "ewfntldr)"}));

  for (const char* name : {"ewf.sys", "ewfmgr.exe", "ewfntldr"}) {
    Os_.Files().Remove(kSource + name);
    EXPECT_FALSE(CheckDriverFilesPresent(Os_, kSource)) << name;
    Place(name, std::nullopt);
  }

  Os_.Files().Remove(kSource + "ewf.sys");
  Os_.ClearCalls();
  EXPECT_FALSE(CheckDriverFilesPresent(Os_, kSource));
  EXPECT_EQ(Os_.CallsNamed("FindFirstFileA").size(), 1u);
}

TEST_F(DriverChecksTest, AFolderNamedLikeADriverFileIsMissing) {
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  Os_.Files().Remove(kSource + "ewf.sys");
  Os_.Files().AddFolder(kSource + "ewf.sys");
  EXPECT_FALSE(CheckDriverFilesPresent(Os_, kSource));
}

TEST_F(DriverChecksTest, RecentFilesPassWithoutAWordAndTheReaderKeepsTheManager) {
  PlaceAll({2, 0, 927, 0}, {3, 0, 0, 0});
  EXPECT_TRUE(Gate());
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(VersionReads(), (std::vector<std::string>{SizeCall("ewf.sys"), SizeCall("ewfmgr.exe")}));
  EXPECT_EQ(Reader_.FileName(), kSource + "ewfmgr.exe");
}

TEST_F(DriverChecksTest, AnOldDriverIsWarnedAboutAndYesGoesOnToTheManager) {
  PlaceAll({2, 0, 926, 9999}, {2, 1, 0, 0});
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EXPECT_TRUE(Gate());
  ASSERT_EQ(Dialogs_.Messages.size(), 1u);
  EXPECT_EQ(Dialogs_.Messages[0].Text, kEwfSysWarning);
  EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Warning);
  EXPECT_EQ(Dialogs_.Messages[0].Buttons, MessageButtons::YesNo);
  EXPECT_EQ(VersionReads(), (std::vector<std::string>{SizeCall("ewf.sys"), SizeCall("ewfmgr.exe")}));
}

TEST_F(DriverChecksTest, RefusingTheDriverWarningStopsBeforeTheManagerIsRead) {
  for (DialogResult answer : {DialogResult::No, DialogResult::Cancel}) {
    PlaceAll({2, 0, 900, 0}, {1, 0, 0, 0});
    Dialogs_.Messages.clear();
    Dialogs_.QueueAnswer(answer);
    EXPECT_FALSE(Gate());
    ASSERT_EQ(Dialogs_.Messages.size(), 1u);
    EXPECT_EQ(Dialogs_.Messages[0].Text, Replaced(kEwfSysWarning, "2.0.926.9999", "2.0.900.0"));
    EXPECT_EQ(VersionReads(), std::vector<std::string>{SizeCall("ewf.sys")});
    EXPECT_EQ(Reader_.FileName(), kSource + "ewf.sys");
  }
}

TEST_F(DriverChecksTest, AnOldManagerIsWarnedAboutByItsOwnName) {
  const std::string managerWarning = Replaced(Replaced(kEwfSysWarning, "\"ewf.sys\"", "\"ewfmgr.exe\""),
                                              "found: 2.0.926.9999", "found: 1.65535.65535.65535");
  for (DialogResult answer : {DialogResult::Yes, DialogResult::No}) {
    PlaceAll({2, 0, 927, 0}, {1, 65535, 65535, 65535});
    Dialogs_.Messages.clear();
    Dialogs_.QueueAnswer(answer);
    EXPECT_EQ(Gate(), answer == DialogResult::Yes);
    ASSERT_EQ(Dialogs_.Messages.size(), 1u);
    EXPECT_EQ(Dialogs_.Messages[0].Text, managerWarning);
    EXPECT_EQ(Dialogs_.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(Dialogs_.Messages[0].Buttons, MessageButtons::YesNo);
  }
}

TEST_F(DriverChecksTest, BothOldMeansTwoWarningsInOrder) {
  PlaceAll({1, 0, 0, 0}, {2, 0, 926, 0});
  Dialogs_.QueueAnswer(DialogResult::Yes);
  Dialogs_.QueueAnswer(DialogResult::Yes);
  EXPECT_TRUE(Gate());
  ASSERT_EQ(Dialogs_.Messages.size(), 2u);
  EXPECT_NE(Dialogs_.Messages[0].Text.find("\"ewf.sys\""), std::string::npos);
  EXPECT_NE(Dialogs_.Messages[0].Text.find("Version found: 1.0.0.0\r"), std::string::npos);
  EXPECT_NE(Dialogs_.Messages[1].Text.find("\"ewfmgr.exe\""), std::string::npos);
  EXPECT_NE(Dialogs_.Messages[1].Text.find("Version found: 2.0.926.0\r"), std::string::npos);
}

TEST_F(DriverChecksTest, ADriverWithoutAReadableVersionStopsSilently) {
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  Os_.Files().Find(kSource + "ewf.sys")->VersionResource.clear();
  EXPECT_FALSE(Gate());
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(VersionReads(), std::vector<std::string>{SizeCall("ewf.sys")});

  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  Os_.FailCall("GetFileVersionInfoA", ERROR_ACCESS_DENIED, 1);
  EXPECT_FALSE(Gate());
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(VersionReads(), std::vector<std::string>{SizeCall("ewf.sys")});
}

TEST_F(DriverChecksTest, AManagerWithoutAReadableVersionPasses) {
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  Os_.Files().Find(kSource + "ewfmgr.exe")->VersionResource.clear();
  Dialogs_.QueueAnswer(DialogResult::No);
  EXPECT_TRUE(Gate());
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(Dialogs_.UnusedAnswers(), 1);
}

// A resource without fixed information reads as 0.0.0.0: old, so warned about.
TEST_F(DriverChecksTest, ADriverWhoseResourceLacksTheFixedInfoIsTakenForVersionZero) {
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  VersionResourceLayout resource;
  resource.FixedInfoLength = 0;
  Os_.Files().Find(kSource + "ewf.sys")->VersionResource = BuildVersionResource(resource);
  EXPECT_FALSE(Gate());
  ASSERT_EQ(Dialogs_.Messages.size(), 1u);
  EXPECT_NE(Dialogs_.Messages[0].Text.find("\rVersion found: 0.0.0.0\r"), std::string::npos);
}

TEST_F(DriverChecksTest, InstallChecksShowTheMissingFilesDialogAloneWhenFilesAreMissing) {
  const DriverCheckContext context{Os_, Dialogs_, Reader_, kSource};
  Os_.ClearCalls();
  EXPECT_FALSE(RunDriverFileChecks(context));
  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"missing files"});
  EXPECT_TRUE(VersionReads().empty());

  Place("ewf.sys", FileVersionParts{2, 0, 927, 0});
  Place("ewfmgr.exe", FileVersionParts{2, 0, 927, 0});
  EXPECT_FALSE(RunDriverFileChecks(context));
  EXPECT_EQ(Dialogs_.MissingFilesDialogs, 2);
  EXPECT_TRUE(VersionReads().empty());
}

TEST_F(DriverChecksTest, InstallChecksRunTheGateWhenAllFilesArePresent) {
  const DriverCheckContext context{Os_, Dialogs_, Reader_, kSource};
  PlaceAll({2, 0, 927, 0}, {2, 0, 927, 0});
  EXPECT_TRUE(RunDriverFileChecks(context));
  EXPECT_TRUE(Dialogs_.Shown.empty());

  PlaceAll({2, 0, 926, 9999}, {2, 0, 927, 0});
  Dialogs_.QueueAnswer(DialogResult::No);
  EXPECT_FALSE(RunDriverFileChecks(context));
  EXPECT_EQ(Dialogs_.Shown, std::vector<std::string>{"message: " + kEwfSysWarning});
}

// A file is what its kind must be, whatever its name and version resource
// say; the first that is not stops the click with its name and its fault.
TEST_F(DriverChecksTest, ContentsThatAreNotWhatTheNameSaysStopTheClick) {
  struct Case {
    std::string Name;
    std::string Contents;
    std::string Problem;
  };
  const std::string driver = StandInDriver("a driver's code");
  const auto patched = [&](size_t at, DWORD value) {
    std::string image = driver;
    PatchStandIn(image, at, value);
    return image;
  };
  std::string wrongCheckSum = driver;
  wrongCheckSum[stand_in::kCode] ^= 1;
  const std::string noSections = "it is incomplete: its sections run past the end of the file, as in a copy cut short";
  const std::string layout = "it is damaged: its image size or section alignment does not agree with its sections";
  const std::vector<Case> cases = {
      {"ewf.sys", "version 2.0.927.0, honestly", "it is not a Windows program file"},
      {"ewf.sys", StandInImage("a DLL", {2, 0x14C, true}),
       "it is not a kernel driver: it is made for the Windows GUI subsystem"},
      {"ewf.sys", StandInImage("a DLL", {1, 0x14C, true}), "it is a DLL, not a kernel driver"},
      {"ewf.sys", StandInImage("no subsystem", {0}),
       "it is not a kernel driver: it is made for an unknown subsystem (number 0)"},
      {"ewf.sys", StandInImage("x64", {1, 0x8664}),
       "it is built for another processor (machine type 0x8664), not 32-bit x86"},
      {"ewf.sys", StandInImage("PE32+", {1, 0x14C, false, 0x20B}), "it is not a 32-bit image"},
      {"ewf.sys", StandInImage("object", {1, 0x14C, false, 0x10B, false}), "it is not an executable image"},
      {"ewf.sys", StandInImage("").substr(0, 100), "it is not a Windows program file"},
      // Cut where the file header ends, and inside the section table.
      {"ewf.sys", driver.substr(0, stand_in::kPe + 4 + 18), "it is not a Windows program file"},
      {"ewf.sys", driver.substr(0, stand_in::kSectionRawSize), "it is not a Windows program file"},
      {"ewf.sys", driver.substr(0, driver.size() - 1), noSections},
      {"ewf.sys", patched(stand_in::kSectionRawSize, 0x10000), noSections},
      {"ewf.sys", patched(stand_in::kEntryPoint, 0xDEADBEEF),
       "it is damaged: its entry point (0xDEADBEEF) lies outside its code"},
      {"ewf.sys", patched(stand_in::kEntryPoint, 0x1200),
       "it is damaged: its entry point (0x1200) lies outside its code"},
      {"ewf.sys", patched(stand_in::kImageSize, 0x1800), layout},
      {"ewf.sys", patched(stand_in::kImageSize, 0x1000), layout},
      // A section whose end lies beyond 4 GB.
      {"ewf.sys", patched(stand_in::kSectionVirtualSize, 0xFFFFF800), layout},
      {"ewf.sys", wrongCheckSum, "it is damaged: its checksum does not match its contents"},
      {"ewf.sys", std::string(kMaxImageFileSize + 1, '\0'),
       "it is 33554433 bytes long, and a driver file of this kind is at most 33554432 bytes long"},
      {"ewfmgr.exe", StandInImage("a DLL", {3, 0x14C, true}), "it is a DLL, not a program"},
      {"ewfmgr.exe", StandInDriver("a driver"),
       "it is not a Windows program: it is made for the native (kernel mode) subsystem"},
      {"ewfntldr", "", "it is empty"},
      {"ewfntldr", std::string(65535, 'L'),
       "it is only 65535 bytes long, and a boot loader is at least 65536 bytes long"},
      {"ewfntldr", std::string(65536, 'A'), "it is a text file, not a boot loader"},
      {"ewfntldr", std::string(40000, 'A') + "\r\n\t\f" + std::string(40000, '\xE9'),
       "it is a text file, not a boot loader"},
      // Words and the spaces between them: the text a file of notes holds.
      {"ewfntldr",
       [] {
         std::string notes;
         while (notes.size() < 70000) notes += "boot loader notes ";
         return notes;
       }(),
       "it is a text file, not a boot loader"},
      {"ewfntldr", StandInBootLoader(StandInProgram("a program").substr(0, 0x200)),
       "it is a Windows or MS-DOS program, not a boot loader"},
      {"ewfntldr", std::string(kMaxBootLoaderSize + 1, '\0'),
       "it is 655361 bytes long, and a boot loader is at most 655360 bytes long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name + ": " + c.Problem);
    TFakeOs os;
    TRecordingDialogs dialogs;
    TVersionInfo reader(os);
    for (const char* name : {"ewf.sys", "ewfmgr.exe", "ewfntldr"}) {
      const std::string good = name == std::string("ewf.sys")      ? StandInDriver(name)
                               : name == std::string("ewfmgr.exe") ? StandInProgram(name)
                                                                   : StandInBootLoader(name);
      os.Files().AddFile(kSource + name, name == c.Name ? c.Contents : good).VersionResource =
          BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    }
    os.ClearCalls();
    EXPECT_FALSE(RunDriverFileChecks({os, dialogs, reader, kSource}));
    EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"message: The file \"" + kSource + c.Name +
                                                      "\" cannot be installed: " + c.Problem + kAdvice});
    EXPECT_TRUE(os.CallsNamed("GetFileVersionInfoSizeA").empty()) << "checked before the versions";
    EXPECT_EQ(os.OpenFileHandleCount(), 0);
  }

  {
    // A manager for the GUI, a driver without a checksum and a loader of the largest size pass.
    TFakeOs os;
    TRecordingDialogs dialogs;
    std::string noCheckSum = driver;
    noCheckSum.replace(stand_in::kCheckSum, 4, 4, '\0');
    os.Files().AddFile(kSource + "ewf.sys", noCheckSum);
    os.Files().AddFile(kSource + "ewfmgr.exe", StandInImage("GUI", {2}));
    os.Files().AddFile(kSource + "ewfntldr", std::string(kMaxBootLoaderSize, '\0'));
    EXPECT_TRUE(CheckDriverFileContents(os, dialogs, kSource));
    EXPECT_TRUE(dialogs.Shown.empty());
  }
  TFakeOs os;
  TRecordingDialogs dialogs;
  TVersionInfo reader(os);
  os.Files().AddFile(kSource + "ewf.sys", StandInDriver("locked")).Locked = true;
  os.Files().AddFile(kSource + "ewfmgr.exe", StandInProgram("fine"));
  os.Files().AddFile(kSource + "ewfntldr", StandInBootLoader("fine"));
  EXPECT_FALSE(CheckDriverFileContents(os, dialogs, kSource));
  EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"message: The file \"" + kSource +
                                                    "ewf.sys\" could not be read.  Error 32\r\rNothing has been "
                                                    "changed.  Close any program that uses the file, then try "
                                                    "again."});
}

}  // namespace
