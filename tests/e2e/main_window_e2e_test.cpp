// The main window, About and Reducing disk writes, driven from outside.
#include <gtest/gtest.h>

#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"
#include "e2e/layout_check.h"
#include "e2e/message_text.h"

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
    machine_ = MakeScratchMachine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    app_.reset(new AppDriver(machine_.programFolder, machine_.Environment()));
    main_ = app_->WaitForWindow("Stillvane");
    ASSERT_NE(main_, nullptr);
  }
  ScratchMachine machine_;
  std::unique_ptr<AppDriver> app_;
  HWND main_ = nullptr;
};

TEST_F(MainWindowTest, ShowsTheThreeSectionsAsTabled) {
  AppDriver::Screenshot(main_, "main_window");
  EXPECT_EQ(AppDriver::ClientSize(main_).cx, 550);
  EXPECT_EQ(AppDriver::ClientSize(main_).cy, 458);
  LONG style = GetWindowLongA(main_, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_THICKFRAME);
  ExpectFrames(main_, kMainFrames);
  ExpectControls(main_, main_, kMainButtons);
  // Each frame's picture at 16, 24 in the frame.
  EXPECT_TRUE(app_->ShowsProgramIcon(main_, "INSTALLICON", {8 + 16, 8 + 24}));
  EXPECT_TRUE(app_->ShowsProgramIcon(main_, "DISKWRITESICON", {8 + 16, 136 + 24}));
  EXPECT_TRUE(app_->ShowsProgramIcon(main_, "HORMICON", {8 + 16, 264 + 24}));

  // Centred on the screen.
  RECT window = AppDriver::WindowRect(main_);
  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  EXPECT_NEAR((window.left + window.right) / 2, desktop.right / 2, 2);
  EXPECT_NEAR((window.top + window.bottom) / 2, desktop.bottom / 2, 2);
}

TEST_F(MainWindowTest, WideningStretchesFramesAndKeepsButtonsAtTheCorners) {
  RECT window = AppDriver::WindowRect(main_);
  SetWindowPos(main_, nullptr, 0, 0, window.right - window.left + 100, window.bottom - window.top + 60,
               SWP_NOMOVE | SWP_NOZORDER);
  Sleep(300);
  AppDriver::Screenshot(main_, "main_window_resized");
  std::vector<FrameLayout> frames = kMainFrames;
  for (FrameLayout& frame : frames) {
    frame.rect.width += 100;
    for (ControlLayout& control : frame.controls) {
      if (control.rect.width == 454) control.rect.width += 100;  // description: all four sides
      if (control.rect.width == 113) control.rect.left += 100;   // task button: right, bottom
    }
  }
  ExpectFrames(main_, frames);
  ExpectControls(main_, main_, {{"About", {452, 484, 89, 27}}, {"Close", {548, 484, 89, 27}}});
  // Redrawn in place.
  EXPECT_TRUE(app_->ShowsProgramIcon(main_, "INSTALLICON", {8 + 16, 8 + 24}));
  EXPECT_TRUE(app_->ShowsProgramIcon(main_, "HORMICON", {8 + 16, 264 + 24}));
}

TEST_F(MainWindowTest, TabMovesThroughTheButtonsInOrder) {
  HWND install = FindButton(main_, "Install EWF Support");
  EXPECT_EQ(app_->FocusedControl(), install);
  const char* order[] = {"Minimize Disk Writes", "Enable HORM", "Close", "About", "Install EWF Support"};
  for (const char* next : order) {
    AppDriver::PressKeys(main_, {VK_TAB});
    EXPECT_EQ(app_->FocusedControl(), FindButton(main_, next)) << "after Tab, expected focus on " << next;
  }
}

TEST_F(MainWindowTest, EscapeClosesTheProgram) {
  AppDriver::PressKeys(main_, {VK_ESCAPE});
  EXPECT_TRUE(app_->WaitForExit(5000));
}

TEST_F(MainWindowTest, CloseButtonEndsTheProgram) {
  AppDriver::Click(FindButton(main_, "Close"));
  EXPECT_TRUE(app_->WaitForExit(5000));
}

TEST_F(MainWindowTest, AboutClosesWithEnterButNotWithEscape) {
  AppDriver::Click(FindButton(main_, "About"));
  HWND about = app_->WaitForWindow("About");
  ASSERT_NE(about, nullptr);
  AppDriver::Screenshot(about, "about");
  EXPECT_EQ(AppDriver::ClientSize(about).cx, 443);
  EXPECT_EQ(AppDriver::ClientSize(about).cy, 198);
  ExpectControls(about, about,
                 {{"Stillvane Version 1.0 (BETA)", {48, 28, 156, 13}},
                  {"Send any bug reports, comments or suggestions regarding this tool to:", {48, 120, 339, 13}},
                  {"OK", {360, 166, 75, 25}}});
  EXPECT_TRUE(app_->ShowsProgramIcon(about, "MAINICON", {8, 8}));
  EXPECT_FALSE(IsWindowEnabled(main_)) << "the main window is disabled while About is up";

  AppDriver::PressKeys(about, {VK_ESCAPE});
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(about)) << "Escape must not close About";
  AppDriver::PressKeys(about, {VK_RETURN});
  EXPECT_TRUE(app_->WaitForWindowGone(about));
  EXPECT_TRUE(IsWindowEnabled(main_));
  EXPECT_TRUE(app_->Running());
}

TEST_F(MainWindowTest, ReducingDiskWritesClosesWithEscapeAndWithEnter) {
  for (WORD key : {VK_ESCAPE, VK_RETURN}) {
    AppDriver::ClickLink(AppDriver::Control(main_, kTipsLink));
    HWND tips = app_->WaitForWindow("Reducing disk writes");
    ASSERT_NE(tips, nullptr);
    if (key == VK_ESCAPE) {
      AppDriver::Screenshot(tips, "reducing_disk_writes");
      EXPECT_EQ(AppDriver::ClientSize(tips).cx, 450);
      EXPECT_EQ(AppDriver::ClientSize(tips).cy, 193);
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
    AppDriver::PressKeys(tips, {key});
    EXPECT_TRUE(app_->WaitForWindowGone(tips)) << "key " << key;
  }
  EXPECT_TRUE(app_->Running());
}

// Another copy of the program, started from another folder, hands over to
// this one: it comes back from the taskbar to the front, and the new one ends.
TEST_F(MainWindowTest, ASecondStartBringsTheRunningOneToTheFrontAndEnds) {
  ShowWindow(main_, SW_MINIMIZE);
  for (int i = 0; i < 50 && !IsIconic(main_); ++i) Sleep(50);
  ASSERT_TRUE(IsIconic(main_));

  AppDriver second(ScratchFolder("second_copy"), machine_.Environment());
  EXPECT_TRUE(second.WaitForExit(10000)) << "the second copy still runs";
  EXPECT_TRUE(second.TopLevelWindows().empty());
  bool inFront = false;
  for (int i = 0; i < 60 && !inFront; ++i) {
    inFront = !IsIconic(main_) && GetForegroundWindow() == main_;
    if (!inFront) Sleep(50);
  }
  EXPECT_TRUE(inFront) << "iconic " << IsIconic(main_) << ", foreground " << GetForegroundWindow();
  EXPECT_TRUE(app_->Running());
  AppDriver::Screenshot(main_, "main_window_after_second_start");
}

// A copy in another user's session holds the program's name, but no window
// of it can be found from here: the new start says so and ends.
TEST(SingleInstance, WithTheNameHeldElsewhereTheUserIsToldAndTheStartEnds) {
  const ScratchMachine machine = MakeScratchMachine("SingleInstanceHeldElsewhere");
  // The program's mutex: a test that fails here if the two names part.
  const HANDLE held = CreateMutexA(nullptr, FALSE, "Global\\Stillvane-682C5085-FE50-42F0-87C7-91DBE21C1220");
  ASSERT_NE(held, nullptr);
  AppDriver app(machine.programFolder, machine.Environment());
  const HWND message = app.WaitForWindow("Information", 15000);
  ASSERT_NE(message, nullptr);
  AppDriver::Screenshot(message, "already_running");
  EXPECT_EQ(AppDriver::CopyDialogText(message),
            CopiedDialogText("Information",
                             "Stillvane is already running, perhaps in another user's session.  Only one copy can "
                             "run at a time,\rbecause two could change the boot loader and the same registry keys "
                             "at once.",
                             {"OK"}));
  EXPECT_EQ(app.FindWindowByCaption("Stillvane"), nullptr);
  AppDriver::Click(AppDriver::Control(message, "OK"));
  EXPECT_TRUE(app.WaitForExit(5000));
  CloseHandle(held);
}

}  // namespace
