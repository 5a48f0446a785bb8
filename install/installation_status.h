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

// Whether Windows has started again since Install EWF Support or one of the
// status window's commands last ran: they make a volatile key, which Windows
// keeps in memory only and drops when it restarts (RegCreateKeyEx,
// REG_OPTION_VOLATILE). The boot time would serve too, but XP reports it
// only through GetTickCount, which wraps round every 49.7 days. The key is
// below the record's, so that Remove EWF Support takes it away with it.
inline constexpr char kThisStartKey[] = "SOFTWARE\\Stillvane\\Since this start";
// Best effort: without the mark the window only says less.
void MarkThisStart(TOs& os);
bool MarkedThisStart(TOs& os);
