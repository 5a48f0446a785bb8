// Whether the write filter protects the volume Windows runs from right now.
// While it does, every change made there lives only in its overlay and is
// gone at the next restart, so the actions that write to the machine ask
// first.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"
#include "services/write_filter_manager.h"

enum class WriteFilterProtection { Off, On, Unknown };

// What the service control manager says of the ewf service: not there,
// stopped, loaded (running, or starting or stopping), or nothing.
enum class ServiceState { Absent, Stopped, Loaded, Unknown };

struct WriteFilterState {
  WriteFilterProtection Protection = WriteFilterProtection::Off;
  std::string Volume;      // the drive Windows runs from, "C:"; empty when it has no letter
  std::string WhyUnknown;  // for Unknown: what could not be found out, in the user's words
  ServiceState Service = ServiceState::Absent;
  bool ManagerAsked = false;  // the manager was run for the volume
  ManagerRun Report;          // and what became of it
  std::string BootCommand;    // the value of the report's Boot Command line; empty without one
};

// The ewf service's state from the service control manager; when it is not
// stopped, the overlay's state as the installed manager (system32\ewfmgr.exe,
// run for the volume) reports it on its State line, provided it ends with
// exit code 0. windowsFolder ends with a backslash.
WriteFilterState ReadWriteFilterState(TOs& os, const std::string& windowsFolder);

// True when changes may be written: the filter is not protecting the volume,
// or its state cannot be told and the user chose to go on. Otherwise tells
// the user why nothing may be written and how to turn the filter off.
[[nodiscard]] bool ConfirmChangesWillLast(TOs& os, TDialogs& dialogs, const std::string& windowsFolder);
