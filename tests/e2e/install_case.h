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

class InstallCase : public ::testing::Test {
 protected:
  // fixtureSet as for CopyDriverFiles, empty for none; exeVariable names the program to run.
  void Start(const std::string& fixtureSet, const char* exeVariable = "STILLVANE_EXE") {
    Prepare(fixtureSet);
    Launch(exeVariable);
  }

  // The scratch machine alone, the program not yet started.
  void Prepare(const std::string& fixtureSet) {
    machine_ = MakeScratchMachine(::testing::UnitTest::GetInstance()->current_test_info()->name());
    if (!fixtureSet.empty()) CopyDriverFiles(machine_, fixtureSet);
  }

  // Starts the program on the prepared machine with its environment changed:
  // `environment` adds or replaces variables, `unset` removes them.
  void Launch(const char* exeVariable, const std::map<std::string, std::string>& environment = {},
              const std::vector<std::string>& unset = {}) {
    std::map<std::string, std::string> variables = machine_.Environment();
    for (const auto& [name, value] : environment) variables[name] = value;
    for (const std::string& name : unset) variables.erase(name);
    app_.reset();  // one Stillvane at a time: a copy still running would take the new start's place
    app_.reset(new AppDriver(machine_.programFolder, variables, unset, exeVariable));
    main_ = app_->WaitForWindow("Stillvane");
  }

  void ClickInstall() { AppDriver::Click(FindButton(main_, "Install EWF Support")); }

  std::string System32() const { return machine_.windowsFolder + "\\system32"; }
  std::string Drivers() const { return machine_.windowsFolder + "\\system32\\drivers"; }

  // Destroyed in reverse order: the program ends before anything is cleaned.
  SystemDriveRootFiles rootFiles_;
  InstallationRegistry registry_;
  ScratchMachine machine_;
  std::unique_ptr<AppDriver> app_;
  HWND main_ = nullptr;
};
