// One end-to-end case of "Install EWF Support": a scratch machine with a set
// of stand-in driver files, the program started on it, and the registry keys
// and system drive files it may touch cleaned before and after.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "e2e/e2e_environment.h"
#include "e2e/layout_check.h"
#include "e2e/machine_state.h"
#include "e2e/message_text.h"

class TInstallCase : public ::testing::Test {
 protected:
  // fixtureSet as for CopyDriverFiles, empty for none; exeVariable names the program to run.
  void Start(const std::string& fixtureSet, const char* exeVariable = "STILLVANE_EXE") {
    Prepare(fixtureSet);
    Launch(exeVariable);
  }

  // The scratch machine alone, the program not yet started.
  void Prepare(const std::string& fixtureSet) {
    Machine_ = MakeScratchMachine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    if (!fixtureSet.empty()) CopyDriverFiles(Machine_, fixtureSet);
  }

  // Starts the program on the prepared machine with its environment changed:
  // `environment` adds or replaces variables, `unset` removes them.
  void Launch(const char* exeVariable, const std::map<std::string, std::string>& environment = {},
              const std::vector<std::string>& unset = {}) {
    std::map<std::string, std::string> variables = Machine_.Environment();
    for (const auto& [name, value] : environment) variables[name] = value;
    for (const std::string& name : unset) variables.erase(name);
    App_.reset();  // one Stillvane at a time: a copy still running would take the new start's place
    App_.reset(new TAppDriver(Machine_.ProgramFolder, variables, unset, exeVariable));
    Main_ = App_->WaitForWindow("Stillvane");
  }

  void ClickInstall() { TAppDriver::Click(FindButton(Main_, "Install EWF Support")); }

  // Starts the test build that supplies the blank descriptor, as Windows
  // does, on a machine with these volume filters, this boot loader (given
  // its attributes) and a boot status file; false when no window came up.
  bool StartBeforeInstall(const std::vector<std::string>& filters, const std::string& bootLoader,
                          DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString(filters));
    Start("v2.0.927.0", "STILLVANE_BLANK_DESCRIPTOR_EXE");
    if (!Main_) {
      ADD_FAILURE() << "no main window";
      return false;
    }
    WriteWholeFile(SystemDriveRoot() + "ntldr", bootLoader);
    WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", "boot status");
    SetFileAttributesA((SystemDriveRoot() + "ntldr").c_str(), attributes);
    return true;
  }

  void InstallAndExpectSuccess() {
    ClickInstall();
    EXPECT_EQ(AnswerLastMessage("Information"),
              CopiedDialogText("Information", "EWF installation completed successfully.", {"OK"}));
  }

  // Answers OK to the message a click ends with, once it appears (within 30
  // seconds), and checks that nothing follows; returns its copied text.
  std::string AnswerLastMessage(const std::string& caption, const std::string& screenshot = "") {
    HWND message = App_->WaitForWindow(caption, 30000);
    if (!message) return "no \"" + caption + "\" message";
    if (!screenshot.empty()) TAppDriver::Screenshot(message, screenshot);
    const std::string text = TAppDriver::CopyDialogText(message);
    TAppDriver::Click(TAppDriver::Control(message, "OK"));
    EXPECT_TRUE(App_->WaitForWindowGone(message));
    EXPECT_EQ(App_->WaitForOtherWindow(Main_, 500), nullptr) << "a window followed the message";
    return text;
  }

  // Nothing copied, renamed or registered: the files planted are as they
  // were (bootstat.dat, and ntldr holding `bootLoader`), and no copy is left.
  void ExpectNothingInstalled(const std::string& bootLoader) {
    EXPECT_TRUE(FilesIn(Drivers()).empty());
    EXPECT_TRUE(FilesIn(System32()).empty());
    EXPECT_EQ(FilesIn(Machine_.WindowsFolder), std::vector<std::string>{"bootstat.dat"});
    EXPECT_EQ(ReadWholeFile(SystemDriveRoot() + "ntldr"), bootLoader);
    EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.bak"));
    EXPECT_FALSE(FileExists(SystemDriveRoot() + "ntldr.stillvane-new"));
    EXPECT_FALSE(MachineKeyExists(kLegacyEwfKey));
    EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
  }

  std::string System32() const { return Machine_.WindowsFolder + "\\system32"; }
  std::string Drivers() const { return Machine_.WindowsFolder + "\\system32\\drivers"; }

  // Destroyed in reverse order: the program ends before anything is cleaned.
  TSystemDriveRootFiles RootFiles_;
  TInstallationRegistry Registry_;
  ScratchMachine Machine_;
  std::unique_ptr<TAppDriver> App_;
  HWND Main_ = nullptr;
};
