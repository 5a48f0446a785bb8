// The driver file checks of "Install EWF Support" on the real exe: the
// missing-files dialog, the old-file warning and the silent stop.
#include <gtest/gtest.h>

#include "e2e/install_case.h"
#include "e2e/message_text.h"

namespace {

const char kEvaluationPage[] = "http://www.microsoft.com/windows/embedded/eval/";
const char kOriginalBootLoader[] = "original boot loader\r\n";

const std::vector<ControlLayout> kMissingFilesControls = {
    {"Unable to locate all of the required EWF driver files.  Due to copyright restrictions, the EWF driver files are "
     "not bundled with this program.  You must obtain the files and put them in the same folder as this program.  "
     "The files you require are:",
     {48, 8, 505, 41}},
    {"ewf.sys (file version 2.0.927.0 or greator)", {72, 54, 204, 13}},
    {"ewfmgr.exe (file version 2.0.927.0 or greator)", {72, 70, 224, 13}},
    {"ewfntldr (from the same directory as the above files)", {72, 86, 254, 13}},
    {"You can obtain the files from the Repositories directory after you install the Windows XP Embedded SP2 Trail "
     "which is available at the following website:",
     {48, 109, 505, 29}},
    {kEvaluationPage, {72, 143, 317, 13}},
    {"IMPORTANT NOTE: The Repositories directory contains multiple versions of the above files, so you must make "
     "sure you copy the newest versions of the files as the older versions are known to cause problems.",
     {48, 168, 505, 25}},
    {"OK", {244, 217, 75, 25}},
};

std::string OldFileWarning(const std::string& file, const std::string& found) {
  return "Although the file \"" + file +
         "\" was found in the current directory, it appears to be an old version of the file."
         "\r\rVersion found: " +
         found +
         "\rMinimum version required: 2.0.927.0"
         "\r\rIf you retrieved this file from the Repositories directory of a Windows XP Embedded SP2 installation, "
         "you likely copied one of the older versions.  "
         "There are multiple versions of the file within the Repositories directory, so you must make sure you get "
         "the newest version you can find.  "
         "\r\rUsing older versions of this file is known to cause serious issues, so you should only continue if you "
         "are certain you know what you are doing."
         "\r\rAre you sure you want to continue with this old file?";
}

POINT Center(const RECT& rect) {
  return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Points "open" of http addresses at a command that writes the address it is
// given into a file, instead of a browser; puts the old command back after.
class TRecordedWebBrowser {
 public:
  explicit TRecordedWebBrowser(const std::string& recordFile) : RecordFile_(recordFile) {
    DeleteFileA(RecordFile_.c_str());
    char old[1024] = "";
    LONG size = sizeof old;
    HadCommand_ = RegQueryValueA(HKEY_CLASSES_ROOT, kCommandKey, old, &size) == ERROR_SUCCESS;
    OldCommand_ = old;
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    SetCommand(std::string(system) + "\\cmd.exe /c echo %1>\"" + RecordFile_ + "\"");
  }
  ~TRecordedWebBrowser() {
    if (HadCommand_) {
      SetCommand(OldCommand_);
    } else {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "");
        RegCloseKey(key);
      }
    }
    DeleteFileA(RecordFile_.c_str());
  }
  // What the command was given, once it has run; empty if it did not run.
  std::string Recorded(DWORD milliseconds) const {
    for (DWORD waited = 0; waited <= milliseconds; waited += 100, Sleep(100)) {
      std::string text = ReadWholeFile(RecordFile_);
      if (!text.empty() && text.back() == '\n') return text;
    }
    return ReadWholeFile(RecordFile_);
  }

 private:
  static constexpr const char* kCommandKey = "http\\shell\\open\\command";
  static void SetCommand(const std::string& command) {
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, kCommandKey, REG_SZ, command.c_str(), 0), ERROR_SUCCESS);
  }
  std::string RecordFile_;
  bool HadCommand_ = false;
  std::string OldCommand_;
};

class DriverChecksTest : public TInstallCase {
 protected:
  void PlantBootFiles() {
    WriteWholeFile(SystemDriveRoot() + "ntldr", kOriginalBootLoader);
    WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status");
  }
  void ExpectNothingInstalled() { TInstallCase::ExpectNothingInstalled(kOriginalBootLoader); }
  // After an answer, the program shows nothing more and is usable again.
  void ExpectNothingMoreShown() {
    EXPECT_EQ(App_->WaitForOtherWindow(Main_, 1500), nullptr) << "a window followed the answer";
    EXPECT_TRUE(IsWindowEnabled(Main_));
  }
};

TEST_F(DriverChecksTest, MissingFilesShowTheDialogThatClosesWithEnterEscapeAndOk) {
  Start("");
  ASSERT_NE(Main_, nullptr);
  PlantBootFiles();

  ClickInstall();
  HWND dialog = App_->WaitForWindow("Driver files not found");
  ASSERT_NE(dialog, nullptr);
  TAppDriver::Screenshot(dialog, "missing_files");
  EXPECT_EQ(App_->TopLevelWindows().size(), 2u) << "only the main window and the dialog";
  EXPECT_FALSE(IsWindowEnabled(Main_)) << "the dialog is modal";
  ExpectClientSize(dialog, {563, 250});
  LONG style = GetWindowLongA(dialog, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed dialog border";
  EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  ExpectControls(dialog, dialog, kMissingFilesControls);
  EXPECT_TRUE(App_->ShowsProgramIcon(dialog, "WARNINGICON", {8, 8})) << "the warning icon at 8, 8";
  POINT dialogCenter = Center(TAppDriver::WindowRect(dialog)), mainCenter = Center(TAppDriver::WindowRect(Main_));
  EXPECT_NEAR(dialogCenter.x, mainCenter.x, 2) << "centred on the main window";
  EXPECT_NEAR(dialogCenter.y, mainCenter.y, 2) << "centred on the main window";

  TAppDriver::PressKeys(dialog, {VK_RETURN});
  EXPECT_TRUE(App_->WaitForWindowGone(dialog)) << "Enter closes the dialog";

  // Two of the three files are not enough.
  CopyFileOrFail(FixtureFile("v2.0.927.0", "ewf.sys"), Machine_.ProgramFolder + "\\ewf.sys");
  CopyFileOrFail(FixtureFile("v2.0.927.0", "ewfntldr"), Machine_.ProgramFolder + "\\ewfntldr");
  ClickInstall();
  dialog = App_->WaitForWindow("Driver files not found");
  ASSERT_NE(dialog, nullptr);
  TAppDriver::PressKeys(dialog, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForWindowGone(dialog)) << "Escape closes the dialog";

  ClickInstall();
  dialog = App_->WaitForWindow("Driver files not found");
  ASSERT_NE(dialog, nullptr);
  {
    TRecordedWebBrowser browser(Machine_.Root + "\\opened_by_keyboard.txt");
    TAppDriver::PressKeys(dialog, {VK_TAB, VK_RETURN});
    EXPECT_EQ(browser.Recorded(5000), std::string(kEvaluationPage) + "\r\n") << "Tab reaches the link, Enter opens it";
  }
  {
    TRecordedWebBrowser browser(Machine_.Root + "\\opened.txt");
    TAppDriver::ClickLink(TAppDriver::Control(dialog, kEvaluationPage));
    EXPECT_EQ(browser.Recorded(5000), std::string(kEvaluationPage) + "\r\n") << "the link opens the page";
  }
  EXPECT_TRUE(App_->Running());
  EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays after the link";
  TAppDriver::Click(TAppDriver::Control(dialog, "OK"));
  EXPECT_TRUE(App_->WaitForWindowGone(dialog));
  ExpectNothingMoreShown();
  ExpectNothingInstalled();
}

TEST_F(DriverChecksTest, AnOldDriverAnsweredNoOrEscapeStopsTheInstallation) {
  Start("v2.0.926.9999");
  ASSERT_NE(Main_, nullptr);
  PlantBootFiles();
  const std::string ewfSysWarning =
      CopiedDialogText("Warning", OldFileWarning("ewf.sys", "2.0.926.9999"), {"Yes", "No"});

  ClickInstall();
  HWND warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Screenshot(warning, "old_file_warning");
  EXPECT_TRUE(TAppDriver::ShowsSystemIcon(warning, IDI_EXCLAMATION)) << "the warning icon";
  EXPECT_EQ(TAppDriver::CopyDialogText(warning), ewfSysWarning);
  TAppDriver::Click(TAppDriver::Control(warning, "&No"));
  EXPECT_TRUE(App_->WaitForWindowGone(warning));
  ExpectNothingMoreShown();

  ClickInstall();
  warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::PressKeys(warning, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForWindowGone(warning)) << "Escape answers No";
  ExpectNothingMoreShown();

  // Yes to the driver leads on to the manager, older too; No there stops.
  ClickInstall();
  warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Click(TAppDriver::Control(warning, "&Yes"));
  EXPECT_TRUE(App_->WaitForWindowGone(warning));
  warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Screenshot(warning, "old_file_warning_ewfmgr");
  EXPECT_EQ(TAppDriver::CopyDialogText(warning),
            CopiedDialogText("Warning", OldFileWarning("ewfmgr.exe", "2.0.926.9999"), {"Yes", "No"}));
  TAppDriver::Click(TAppDriver::Control(warning, "&No"));
  EXPECT_TRUE(App_->WaitForWindowGone(warning));
  ExpectNothingMoreShown();
  ExpectNothingInstalled();
}

TEST_F(DriverChecksTest, ADriverWithoutVersionStopsWithoutAWord) {
  Start("noversion");
  ASSERT_NE(Main_, nullptr);
  PlantBootFiles();

  ClickInstall();
  EXPECT_EQ(App_->WaitForOtherWindow(Main_, 3000), nullptr) << "a window appeared";
  EXPECT_TRUE(IsWindowEnabled(Main_));
  ExpectNothingInstalled();

  // The same click with an old driver in its place does show the warning: the
  // silence above was the check's.
  CopyFileOrFail(FixtureFile("v2.0.926.9999", "ewf.sys"), Machine_.ProgramFolder + "\\ewf.sys");
  ClickInstall();
  HWND warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Click(TAppDriver::Control(warning, "&No"));
  EXPECT_TRUE(App_->WaitForWindowGone(warning));
  ExpectNothingInstalled();
}

}  // namespace
