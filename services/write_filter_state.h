// Whether the write filter protects the volume Windows runs from right now.
// While it does, every change made there lives only in its overlay and is
// gone at the next restart, so the actions that write to the machine ask
// first.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"

enum class WriteFilterProtection { Off, On, Unknown };

struct WriteFilterState {
  WriteFilterProtection Protection = WriteFilterProtection::Off;
  std::string Volume;      // the drive Windows runs from, "C:"; empty when it has no letter
  std::string WhyUnknown;  // for Unknown: what could not be found out, in the user's words
};

// The ewf service's state from the service control manager; when it is not
// stopped, the overlay's state as the installed manager (system32\ewfmgr.exe,
// run for the volume) reports it. windowsFolder ends with a backslash.
WriteFilterState ReadWriteFilterState(TOs& os, const std::string& windowsFolder);

// True when changes may be written: the filter is not protecting the volume,
// or its state cannot be told and the user chose to go on. Otherwise tells
// the user why nothing may be written and how to turn the filter off.
[[nodiscard]] bool ConfirmChangesWillLast(TOs& os, TDialogs& dialogs, const std::string& windowsFolder);
