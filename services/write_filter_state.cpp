#include "services/write_filter_state.h"

#include <optional>
#include <vector>

#include "services/ascii_text.h"
#include "services/concat.h"
#include "services/handles.h"
#include "services/step_failure.h"

namespace {

constexpr char kServiceName[] = "ewf";

// The drive letter of a folder "X:\...", as "X:"; empty for any other form.
std::string DriveOf(const std::string& folder) {
  const char letter = AsciiUpper(folder.empty() ? '\0' : folder[0]);
  if (folder.size() < 3 || letter < 'A' || letter > 'Z' || folder[1] != ':' || folder[2] != '\\') return {};
  return std::string(1, letter) + ":";
}

// Absent or Stopped: the filter is off. Loaded in any other state: the
// overlay's own state is asked next. Unknown when the service control
// manager would not say.
void AskServiceControlManager(TOs& os, WriteFilterState& state) {
  const UniqueServiceHandle manager(os, os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const UniqueServiceHandle service(
      os, manager ? os.OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS status = {};
  if (service && os.QueryServiceStatus(service.get(), &status)) {
    state.Service = status.dwCurrentState == SERVICE_STOPPED ? ServiceState::Stopped : ServiceState::Loaded;
    if (state.Service == ServiceState::Loaded) state.Protection = WriteFilterProtection::On;
    return;
  }
  const DWORD error = FailureCode(os);
  if (manager && !service && error == ERROR_SERVICE_DOES_NOT_EXIST) return;
  state.Protection = WriteFilterProtection::Unknown;
  state.Service = ServiceState::Unknown;
  state.WhyUnknown = WithErrorCode(!manager   ? "The service control manager could not be opened."
                                   : !service ? "The ewf service could not be opened."
                                              : "The state of the ewf service could not be read.",
                                   error);
}

// What "ewfmgr <drive>" reports on its State lines: ENABLED or DISABLED.
// Nothing when there is no such line, or lines that disagree.
std::optional<bool> OverlayEnabled(const std::string& report) {
  std::optional<bool> enabled;
  for (const std::string& value : ReportValues(report, "State")) {
    bool thisLine;
    if (SameTextIgnoringCase(value, "ENABLED")) {
      thisLine = true;
    } else if (SameTextIgnoringCase(value, "DISABLED")) {
      thisLine = false;
    } else {
      return std::nullopt;
    }
    if (enabled && *enabled != thisLine) return std::nullopt;
    enabled = thisLine;
  }
  return enabled;
}

// Runs the manager for the volume and reads the overlay's state from what it reports.
void ReadOverlayState(TOs& os, const std::string& managerPath, WriteFilterState& state) {
  state.ManagerAsked = true;
  state.Report = RunWriteFilterManager(os, managerPath, state.Volume);
  const ManagerRun& run = state.Report;
  // Empty until now: the service is running.
  std::string& why = state.WhyUnknown;
  if (run.Outcome == ManagerOutcome::Missing) {
    why = Concat({"The ewf service is running, but its manager ", managerPath, " is not there."});
  } else if (run.Outcome == ManagerOutcome::Failed) {
    why = run.Failure;
  } else if (run.ExitCode != 0) {
    why = Concat({"\"ewfmgr ", state.Volume, "\" ended with exit code ", DecimalText(run.ExitCode),
                  ", so its report is not relied on."});
  }
  const std::vector<std::string> bootCommands = ReportValues(run.Output, "Boot Command");
  if (!bootCommands.empty()) state.BootCommand = bootCommands.front();
  const std::optional<bool> enabled = why.empty() ? OverlayEnabled(run.Output) : std::nullopt;
  if (why.empty() && !enabled) {
    why = Concat({"The report of \"ewfmgr ", state.Volume, "\" does not say whether the filter is enabled."});
  }
  if (!why.empty()) {
    state.Protection = WriteFilterProtection::Unknown;
    return;
  }
  state.Protection = *enabled ? WriteFilterProtection::On : WriteFilterProtection::Off;
}

}  // namespace

WriteFilterState ReadWriteFilterState(TOs& os, const std::string& windowsFolder) {
  WriteFilterState state;
  AskServiceControlManager(os, state);
  state.Volume = DriveOf(windowsFolder);
  if (state.Service != ServiceState::Loaded) return state;
  if (state.Volume.empty()) {
    state.Protection = WriteFilterProtection::Unknown;
    state.WhyUnknown = Concat({"The ewf service is running, and Windows does not run from a drive with a letter (",
                               windowsFolder, "), so its manager cannot be asked about it."});
    return state;
  }
  ReadOverlayState(os, windowsFolder + kManagerFile, state);
  return state;
}

namespace {

// The message of a task that wrote nothing while the filter protects the
// drive: how to turn the filter off. Restarting first throws the session's
// changes away, so that turning the filter off, which with a RAM Reg overlay
// always commits, keeps only what changed since that restart.
const char kOnlyUntilRestart[] =
    " at the moment, so whatever is written there would last only until the computer restarts.\r\r"
    "To turn the filter off without keeping what changed there since the computer started, restart the computer "
    "first.  Right after the restart, open a command prompt and run:\r\r"
    "ewfmgr ";
const char kCommitAndRestart[] =
    " -commitanddisable\r"
    "shutdown -r -t 0\r\r"
    "The first command turns the filter off from the next start, keeping the few changes made on ";
const char kWhatTheCommandsDo[] =
    " since that restart (an overlay in RAM whose settings are kept in the registry cannot be turned off without "
    "keeping them).  The second restarts the computer.  Then use Stillvane again.  To keep the changes made before, "
    "run the two commands without the first restart.";

}  // namespace

bool ConfirmChangesWillLast(TOs& os, TDialogs& dialogs, const std::string& windowsFolder) {
  const WriteFilterState state = ReadWriteFilterState(os, windowsFolder);
  const std::string drive = state.Volume.empty() ? std::string("the drive Windows runs from") : "drive " + state.Volume;
  switch (state.Protection) {
    case WriteFilterProtection::Off:
      return true;
    case WriteFilterProtection::On:
      dialogs.ShowMessageDialog(Concat({"Nothing was changed, because the Enhanced Write Filter is protecting ", drive,
                                        kOnlyUntilRestart, state.Volume, kCommitAndRestart, drive, kWhatTheCommandsDo}),
                                MessageKind::Error, MessageButtons::Ok);
      return false;
    case WriteFilterProtection::Unknown:
      break;
  }
  const char* const question =
      "\r\rIf it is, every change made there will be lost when the computer restarts.  Do you want to go on?";
  return dialogs.ShowMessageDialog(Concat({"Stillvane could not tell whether the Enhanced Write Filter is protecting ",
                                           drive, " at the moment.\r\r", state.WhyUnknown, question}),
                                   MessageKind::Warning, MessageButtons::YesNo) == DialogResult::Yes;
}
