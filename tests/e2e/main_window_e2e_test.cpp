// The main window, About and Reducing disk writes, driven from outside; and
// every window at the display the prefix has.
#include <gtest/gtest.h>

#include <tuple>

#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"
#include "e2e/layout_check.h"
#include "e2e/machine_state.h"
#include "e2e/message_text.h"
#include "e2e/status_window.h"

namespace {

const char kLabel1[] =
    "Configures your system to support write protection of your system partition by installing the EWF (Enhanced "
    "Write Filter) driver and configuration tools.";
const char kLabel2[] =
    "Enables settings in the Windows Registry that minimize or prevent unnecessary disk writes.  This helps to keep "
    "the RAM overlay used by the EWF filter from growing too large, and also increases the performance of your "
    "system.  This step is optional, but highly recommended.";
const char kLabel3[] =
    "Enables Hibernate Once Resume Many support.  HORM allows you to restore your system to the exact same state "
    "every time you start your computer.  Unlike conventional hibernation, HORM resumes from the same hibernation "
    "file each time.  This step is optional.";
const char kTipsLink[] = "Other ways to increase performance and reduce disk writes";
const char kContactAddress[] = "stillvane@example.org";
const char kEvaluationPage[] = "http://www.microsoft.com/windows/embedded/eval/";

// Frame caption, then its controls: text, left, top, width, height.
const std::vector<FrameLayout> kMainFrames = {
    {"Install EWF Driver",
     {8, 8, 534, 121},
     {{kLabel1, {64, 24, 454, 57}}, {"Install EWF Support", {413, 80, 113, 33}}}},
    {"Minimize Disk Writes",
     {8, 136, 534, 121},
     {{kLabel2, {64, 24, 454, 57}}, {kTipsLink, {64, 96, 286, 13}}, {"Minimize Disk Writes", {413, 80, 113, 33}}}},
    {"HORM", {8, 264, 534, 121}, {{kLabel3, {64, 24, 454, 57}}, {"Enable HORM", {413, 80, 113, 33}}}},
};
const std::vector<ControlLayout> kMainButtons = {{"About", {352, 424, 89, 27}}, {"Close", {448, 424, 89, 27}}};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Machine_ = MakeScratchMachine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    App_.reset(new TAppDriver(Machine_.ProgramFolder, Machine_.Environment()));
    Main_ = App_->WaitForWindow("Stillvane");
    ASSERT_NE(Main_, nullptr);
  }
  ScratchMachine Machine_;
  std::unique_ptr<TAppDriver> App_;
  HWND Main_ = nullptr;
};

TEST_F(MainWindowTest, ShowsTheThreeSectionsAsTabled) {
  TAppDriver::Screenshot(Main_, "main_window");
  ExpectClientSize(Main_, {550, 458});
  LONG style = GetWindowLongA(Main_, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_THICKFRAME);
  ExpectFrames(Main_, kMainFrames);
  ExpectControls(Main_, Main_, kMainButtons);
  // Each frame's picture at 16, 24 in the frame.
  EXPECT_TRUE(App_->ShowsProgramIcon(Main_, "TASKINSTALLICON", {8 + 16, 8 + 24}));
  EXPECT_TRUE(App_->ShowsProgramIcon(Main_, "TASKDISKWRITESICON", {8 + 16, 136 + 24}));
  EXPECT_TRUE(App_->ShowsProgramIcon(Main_, "TASKHORMICON", {8 + 16, 264 + 24}));

  // Centred on the screen's work area.
  RECT window = TAppDriver::WindowRect(Main_);
  RECT workArea{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
  EXPECT_NEAR((window.left + window.right) / 2.0, (workArea.left + workArea.right) / 2.0, 2);
  EXPECT_NEAR((window.top + window.bottom) / 2.0, (workArea.top + workArea.bottom) / 2.0, 2);
}

TEST_F(MainWindowTest, WideningStretchesFramesAndKeepsButtonsAtTheCorners) {
  RECT window = TAppDriver::WindowRect(Main_);
  SetWindowPos(Main_, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 60,
               SWP_NOMOVE | SWP_NOZORDER);
  Sleep(300);
  TAppDriver::Screenshot(Main_, "main_window_resized");
  std::vector<FrameLayout> frames = kMainFrames;
  for (FrameLayout& frame : frames) {
    frame.Rect.Width += 100;
    for (ControlLayout& control : frame.Controls) {
      if (control.Rect.Width == 454) control.Rect.Width += 100;  // description: all four sides
      if (control.Rect.Width == 113) control.Rect.Left += 100;   // task button: right, bottom
    }
  }
  ExpectFrames(Main_, frames);
  ExpectControls(Main_, Main_, {{"About", {452, 484, 89, 27}}, {"Close", {548, 484, 89, 27}}});
  // Redrawn in place.
  EXPECT_TRUE(App_->ShowsProgramIcon(Main_, "TASKINSTALLICON", {8 + 16, 8 + 24}));
  EXPECT_TRUE(App_->ShowsProgramIcon(Main_, "TASKHORMICON", {8 + 16, 264 + 24}));
}

TEST_F(MainWindowTest, TabMovesThroughTheButtonsAndTheLinkInOrder) {
  HWND install = FindButton(Main_, "Install EWF Support");
  EXPECT_EQ(App_->FocusedControl(), install);
  const char* order[] = {"Minimize Disk Writes", kTipsLink, "Enable HORM", "Close", "About", "Install EWF Support"};
  for (const char* next : order) {
    TAppDriver::PressKeys(Main_, {VK_TAB});
    EXPECT_EQ(App_->FocusedControl(), TAppDriver::Control(Main_, next)) << "after Tab, expected focus on " << next;
  }
}

// What a user of any display sees, window by window; the runs at 120 and
// 144 DPI, without Tahoma and in high contrast run this alone. The links
// are reached with Tab; the tips link is opened with Enter and with Space.
TEST_F(MainWindowTest, EveryWindowIsReadableAndItsLinksReachable) {
  TAppDriver::Screenshot(Main_, "main_window");
  ExpectReadable(*App_, Main_);
  TAppDriver::PressKeys(Main_, {VK_TAB, VK_TAB});
  EXPECT_EQ(App_->FocusedControl(), TAppDriver::Control(Main_, kTipsLink));
  TAppDriver::Screenshot(Main_, "main_window_link_focused");
  for (WORD key : {VK_RETURN, VK_SPACE}) {
    TAppDriver::PressKeys(Main_, {key});
    HWND tips = App_->WaitForWindow("Reducing disk writes");
    ASSERT_NE(tips, nullptr) << "key " << key;
    TAppDriver::Screenshot(tips, "reducing_disk_writes");
    ExpectReadable(*App_, tips);
    TAppDriver::PressKeys(tips, {VK_ESCAPE});
    ASSERT_TRUE(App_->WaitForWindowGone(tips));
  }

  // Tab from OK reaches the link, which comes first in reading order.
  for (auto [button, caption, link, picture] :
       {std::tuple{"About", "About", kContactAddress, "about"},
        {"Install EWF Support", "Driver files not found", kEvaluationPage, "missing_files"}}) {
    TAppDriver::Click(FindButton(Main_, button));
    HWND dialog = App_->WaitForWindow(caption);
    ASSERT_NE(dialog, nullptr) << caption;
    TAppDriver::Screenshot(dialog, picture);
    ExpectReadable(*App_, dialog);
    TAppDriver::PressKeys(dialog, {VK_TAB});
    EXPECT_EQ(App_->FocusedControl(), TAppDriver::Control(dialog, link)) << caption;
    TAppDriver::Click(FindButton(dialog, "OK"));
    ASSERT_TRUE(App_->WaitForWindowGone(dialog));
  }

  // Write Filter Status, on a machine where only the service key is left:
  // every check has its line, the Wrong ones first; the driver did not
  // start; then, with the mark Install leaves until Windows restarts, not
  // protected.
  WriteMachineValue(kEwfServiceKey, "Start", REG_DWORD, {3, 0, 0, 0});
  const HWND status = status_window::Open(*App_, Main_);
  ASSERT_NE(status, nullptr);
  TAppDriver::Screenshot(status, "write_filter_status");
  ExpectReadable(*App_, status);
  HKEY mark = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane\\Since this start", 0, nullptr,
                            REG_OPTION_VOLATILE, KEY_QUERY_VALUE, nullptr, &mark, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(mark);
  ASSERT_TRUE(status_window::Refreshed(status, status_window::Text(status, status_window::Sentence)));
  TAppDriver::Screenshot(status, "write_filter_status_not_protected_damaged");
  ExpectReadable(*App_, status);
  DeleteMachineKey(kInstallationRecordKey);
  TAppDriver::PressKeys(status, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForWindowGone(status));
  DeleteMachineKey(kEwfServiceKey);

  // With old driver files, the longest message the program has.
  CopyDriverFiles(Machine_, "v2.0.926.9999");
  TAppDriver::Click(FindButton(Main_, "Install EWF Support"));
  HWND warning = App_->WaitForWindow("Warning");
  ASSERT_NE(warning, nullptr);
  TAppDriver::Screenshot(warning, "message_old_file");
  ExpectReadable(*App_, warning);
  TAppDriver::PressKeys(warning, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForWindowGone(warning));
}

TEST_F(MainWindowTest, EscapeClosesTheProgram) {
  TAppDriver::PressKeys(Main_, {VK_ESCAPE});
  EXPECT_TRUE(App_->WaitForExit(5000));
}

TEST_F(MainWindowTest, CloseButtonEndsTheProgram) {
  TAppDriver::Click(FindButton(Main_, "Close"));
  EXPECT_TRUE(App_->WaitForExit(5000));
}

TEST_F(MainWindowTest, AboutClosesWithEnterButNotWithEscape) {
  TAppDriver::Click(FindButton(Main_, "About"));
  HWND about = App_->WaitForWindow("About");
  ASSERT_NE(about, nullptr);
  TAppDriver::Screenshot(about, "about");
  ExpectClientSize(about, {443, 198});
  ExpectControls(about, about,
                 {{"Stillvane Version 1.0 (BETA)", {48, 28, 156, 13}},
                  {"Send any bug reports, comments or suggestions regarding this tool to:", {48, 120, 339, 13}},
                  {"OK", {360, 166, 75, 25}}});
  EXPECT_TRUE(App_->ShowsProgramIcon(about, "MAINICON", {8, 8}));
  EXPECT_FALSE(IsWindowEnabled(Main_)) << "the main window is disabled while About is up";

  TAppDriver::PressKeys(about, {VK_ESCAPE});
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(about)) << "Escape must not close About";
  TAppDriver::PressKeys(about, {VK_RETURN});
  EXPECT_TRUE(App_->WaitForWindowGone(about));
  EXPECT_TRUE(IsWindowEnabled(Main_));
  EXPECT_TRUE(App_->Running());
}

TEST_F(MainWindowTest, ReducingDiskWritesClosesWithEscapeAndWithEnter) {
  for (WORD key : {VK_ESCAPE, VK_RETURN}) {
    TAppDriver::ClickLink(TAppDriver::Control(Main_, kTipsLink));
    HWND tips = App_->WaitForWindow("Reducing disk writes");
    ASSERT_NE(tips, nullptr);
    if (key == VK_ESCAPE) {
      TAppDriver::Screenshot(tips, "reducing_disk_writes");
      ExpectClientSize(tips, {450, 193});
      ExpectControls(
          tips, tips,
          {{"There are some settings that this tool cannot currently change.  It is highly recommended that you "
            "manually make changes to the following settings:",
            {16, 16, 417, 26}},
           {"Turn off System Restore", {40, 64, 138, 13}},
           {"Disable the page file", {40, 88, 114, 13}},
           {"Use FAT32 partitions instead of NTFS (unless you require file security)", {40, 112, 392, 13}},
           {"OK", {363, 158, 75, 25}}});
    }
    TAppDriver::PressKeys(tips, {key});
    EXPECT_TRUE(App_->WaitForWindowGone(tips)) << "key " << key;
  }
  EXPECT_TRUE(App_->Running());
}

// Another copy of the program, started from another folder, hands over to
// this one: it comes back from the taskbar to the front, and the new one ends.
TEST_F(MainWindowTest, ASecondStartBringsTheRunningOneToTheFrontAndEnds) {
  ShowWindow(Main_, SW_MINIMIZE);
  for (int i = 0; i < 50 && !IsIconic(Main_); ++i) Sleep(50);
  ASSERT_TRUE(IsIconic(Main_));

  TAppDriver second(ScratchFolder("second_copy"), Machine_.Environment());
  EXPECT_TRUE(second.WaitForExit(10000)) << "the second copy still runs";
  EXPECT_TRUE(second.TopLevelWindows().empty());
  bool inFront = false;
  for (int i = 0; i < 60 && !inFront; ++i) {
    inFront = !IsIconic(Main_) && GetForegroundWindow() == Main_;
    if (!inFront) Sleep(50);
  }
  EXPECT_TRUE(inFront) << "iconic " << IsIconic(Main_) << ", foreground " << GetForegroundWindow();
  EXPECT_TRUE(App_->Running());
  TAppDriver::Screenshot(Main_, "main_window_after_second_start");
}

// The program's mutex: a test that fails here if the two names part.
const char kInstanceName[] = "Global\\Stillvane-682C5085-FE50-42F0-87C7-91DBE21C1220";

// Started while something else holds the program's name: only this message,
// and the start ends after OK.
void ExpectTheStartEndsWith(const std::string& folderName, const char* caption, const char* screenshot,
                            const std::string& text) {
  const ScratchMachine machine = MakeScratchMachine(folderName);
  TAppDriver app(machine.ProgramFolder, machine.Environment());
  const HWND message = app.WaitForWindow(caption, 15000);
  ASSERT_NE(message, nullptr);
  TAppDriver::Screenshot(message, screenshot);
  EXPECT_EQ(TAppDriver::CopyDialogText(message), CopiedDialogText(caption, text, {"OK"}));
  EXPECT_EQ(app.FindWindowByCaption("Stillvane"), nullptr);
  TAppDriver::Click(TAppDriver::Control(message, "OK"));
  EXPECT_TRUE(app.WaitForExit(5000));
}

// A copy in another user's session holds the program's name, but no window
// of it can be found from here: the new start says so and ends.
TEST(SingleInstance, WithTheNameHeldElsewhereTheUserIsToldAndTheStartEnds) {
  const HANDLE held = CreateMutexA(nullptr, FALSE, kInstanceName);
  ASSERT_NE(held, nullptr);
  ExpectTheStartEndsWith("SingleInstanceHeldElsewhere", "Information", "already_running",
                         "Stillvane is already running, perhaps in another user's session.  Only one copy can "
                         "run at a time, because two could change the boot loader and the same registry keys at "
                         "once.\r\rUse the copy that is running, or close it and start Stillvane again.  A copy "
                         "in another user's session can be closed by that user.");
  CloseHandle(held);
}

// An event under the program's mutex name: Windows refuses the mutex with
// ERROR_INVALID_HANDLE, and the start ends rather than run unguarded.
TEST(SingleInstance, WithTheNameSquattedByAnEventTheStartEnds) {
  const HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kInstanceName);
  ASSERT_NE(squatter, nullptr);
  ExpectTheStartEndsWith("SingleInstanceSquatted", "Error", "instance_name_squatted",
                         "Stillvane cannot start, because Windows did not let it claim the name that keeps a "
                         "second copy from running at the same time.  Error 6\r\rAnother program holds that "
                         "name.  Restart Windows, then start Stillvane again.");
  CloseHandle(squatter);
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR first) {
  *reinterpret_cast<std::string*>(first) = IS_INTRESOURCE(name) ? "#" + std::to_string(ULONG_PTR(name)) : name;
  return FALSE;
}

// Explorer shows the first icon group of the file as the program's icon.
TEST(ProgramIconTest, TheFirstIconGroupIsTheChip) {
  HMODULE exe = LoadLibraryExA(DosPathFromEnvironment("STILLVANE_EXE").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  std::string first;
  EnumResourceNamesA(exe, RT_GROUP_ICON, TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  FreeLibrary(exe);
  EXPECT_EQ(first, "MAINICON");
}

}  // namespace
