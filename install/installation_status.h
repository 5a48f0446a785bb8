// Whether what Install EWF Support left on the machine is still there and
// whole: the files, checked as Install checks them, the boot loader and its
// backup against the installation's record, and the registry entries the
// write filter needs. Only reads.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"
#include "services/version_info.h"

enum class CheckOutcome {
  Ok,
  Wrong,    // with what to do
  Unknown,  // the check could not be made, and why
};

struct StatusCheck {
  CheckOutcome Outcome;
  std::string Text;  // what was found, in one or two sentences
};

struct InstallationStatus {
  // Something of the installation is there: the service key, Ewf in the
  // volume filter list, Enum\Root\LEGACY_EWF, or the record.
  bool Installed = false;
  std::vector<StatusCheck> Checks;  // in a fixed order; empty when nothing is installed
};

// windowsFolder ends with a backslash. FileVersionInfo is pointed at each
// driver file in turn.
InstallationStatus CheckInstallation(TOs& os, TVersionInfo& FileVersionInfo, const std::string& windowsFolder);
