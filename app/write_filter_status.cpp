#include "app/write_filter_status.h"

#include "app/message_dialog_text.h"
#include "install/installation_status.h"
#include "services/ascii_text.h"
#include "services/restart.h"
#include "services/step_failure.h"

namespace {

// What the manager reports it will do at the next start, from its Boot
// Command line.
enum class Pending { None, Enable, Commit, CommitAndDisable, Other };

Pending PendingCommand(const std::string& bootCommand) {
  const std::string value = AsciiUpperCased(bootCommand);
  const bool commit = value.find("COMMIT") != std::string::npos;
  const bool disable = value.find("DISABLE") != std::string::npos;
  if (value.empty() || value == "NO_CMD") return Pending::None;
  if (value == "ENABLE") return Pending::Enable;
  if (commit) return disable ? Pending::CommitAndDisable : Pending::Commit;
  return Pending::Other;
}

// The state of the filter at work, from the service and the manager.
FilterStatus LiveStatus(const WriteFilterState& state) {
  if (state.Service == ServiceState::Absent || state.Service == ServiceState::Stopped) {
    return FilterStatus::StartsAtRestart;
  }
  switch (state.Protection) {
    case WriteFilterProtection::On:
      return FilterStatus::Protected;
    case WriteFilterProtection::Off:
      return PendingCommand(state.BootCommand) == Pending::Enable ? FilterStatus::ProtectedAtRestart
                                                                  : FilterStatus::NotProtected;
    case WriteFilterProtection::Unknown:
      break;
  }
  return FilterStatus::Unknown;
}

std::string ProtectedSentence(const std::string& drive, const std::string& bootCommand) {
  const char* rest = nullptr;
  switch (PendingCommand(bootCommand)) {
    case Pending::None:
      rest = ": every change made to it is lost when the computer restarts.";
      break;
    case Pending::Commit:
      rest =
          ", and a commit is pending: at the next start, the changes made to it since the computer started are "
          "kept.";
      break;
    case Pending::CommitAndDisable:
      rest =
          ", and a commit is pending: at the next start, the changes made to it since the computer started are "
          "kept, and the write filter is turned off.";
      break;
    case Pending::Enable:
    case Pending::Other:
      return Concat({"Drive ", drive,
                     " is protected now, and the manager names a command for the next start: ", bootCommand, "."});
  }
  return Concat({"Drive ", drive, " is protected now", rest});
}

std::string Sentence(FilterStatus status, const WriteFilterState& state) {
  const std::string drive =
      state.Volume.empty() ? std::string("the drive Windows runs from") : Concat({"drive ", state.Volume});
  switch (status) {
    case FilterStatus::NotInstalled:
      return Concat({"EWF support is not installed on this computer: nothing protects ", drive,
                     ".  Click Install EWF Support in the main window to install it."});
    case FilterStatus::Damaged:
      return "EWF support is installed, but damaged: the lines marked Wrong say what is wrong and what to do.  "
             "Click Install EWF Support again to mend it, or choose Remove EWF Support to take it out.";
    case FilterStatus::StartsAtRestart:
      return Concat(
          {"EWF support is installed; the write filter starts with Windows when the computer next "
           "restarts.  Until then nothing protects ",
           drive, "."});
    case FilterStatus::Unknown:
      return Concat({"EWF support is installed, but Stillvane could not tell whether it protects ", drive,
                     " now.  The lines below say why."});
    case FilterStatus::NotProtected:
      return Concat({"EWF support is installed, but ", drive,
                     " is not protected: changes to it are kept.  To protect it, click Enable, then restart the "
                     "computer."});
    case FilterStatus::ProtectedAtRestart:
      return Concat({"Drive ", state.Volume,
                     " is not protected yet: the write filter turns on when the computer next starts.  Until "
                     "then, changes to it are kept."});
    case FilterStatus::Protected:
      return ProtectedSentence(state.Volume, state.BootCommand);
  }
  return {};
}

MessageKind KindOf(FilterStatus status) {
  switch (status) {
    case FilterStatus::Damaged:
      return MessageKind::Error;
    case FilterStatus::Unknown:
    case FilterStatus::NotProtected:
      return MessageKind::Warning;
    default:
      return MessageKind::Information;
  }
}

std::string ChecksText(const std::vector<StatusCheck>& checks) {
  std::string text;
  for (const StatusCheck& check : checks) {
    const char* mark = check.Outcome == CheckOutcome::Ok      ? "OK: "
                       : check.Outcome == CheckOutcome::Wrong ? "Wrong: "
                                                              : "Not known: ";
    text += Concat({text.empty() ? "" : "\r\n", mark, check.Text});
  }
  return text;
}

std::string ServiceText(const WriteFilterState& state) {
  switch (state.Service) {
    case ServiceState::Absent:
      return "The service control manager knows no ewf service: the write filter is not at work.";
    case ServiceState::Stopped:
      return "The ewf service is stopped: the write filter is not at work until the computer restarts.";
    case ServiceState::Loaded:
      return "The ewf service is running.";
    case ServiceState::Unknown:
      break;
  }
  return state.WhyUnknown;
}

// "ewfmgr C: -enable", as the user would type it.
std::string CommandText(const std::string& arguments) {
  return Concat({"ewfmgr ", arguments});
}

// The command and what came of it, for the report box.
std::string RunText(const std::string& arguments, const ManagerRun& run) {
  const std::string command = CommandText(arguments);
  if (run.Outcome != ManagerOutcome::Ended) return Concat({command, "\r\n", run.Failure});
  return Concat({command, "   (exit code ", std::to_string(run.ExitCode), ")\r\n", MessageDisplayText(run.Output)});
}

std::string ReportText(const WriteFilterState& state) {
  if (state.ManagerAsked) return RunText(state.Volume, state.Report);
  return "The manager is asked only while the ewf service runs.";
}

std::string CommandsNote(FilterStatus live, const WriteFilterState& state) {
  switch (live) {
    case FilterStatus::Protected:
    case FilterStatus::NotProtected:
      return Concat({"Each button runs \"ewfmgr ", state.Volume,
                     "\" with -enable, -commit or -commitanddisable, after a question; each takes effect when the "
                     "computer next starts."});
    case FilterStatus::ProtectedAtRestart:
      return "The write filter turns on when the computer next starts; Commit and Commit and Disable can be used "
             "after that.";
    case FilterStatus::StartsAtRestart:
      return "The manager's commands can be used once the computer has restarted and the write filter runs.";
    case FilterStatus::NotInstalled:
      return "The manager's commands can be used once EWF support is installed and the computer has restarted.";
    default:
      break;
  }
  if (state.Volume.empty()) return "The manager's commands need a drive letter for the partition Windows runs from.";
  return Concat({"The manager's commands cannot be used, because Stillvane cannot tell the write filter's state: ",
                 state.WhyUnknown});
}

bool Applies(ManagerCommand command, FilterStatus live) {
  if (command == ManagerCommand::Enable) return live == FilterStatus::NotProtected;
  return live == FilterStatus::Protected;
}

}  // namespace

const char* ManagerCommandArgument(ManagerCommand command) {
  switch (command) {
    case ManagerCommand::Enable:
      return "-enable";
    case ManagerCommand::Commit:
      return "-commit";
    case ManagerCommand::CommitAndDisable:
      return "-commitanddisable";
  }
  return "";
}

std::string ManagerCommandQuestion(ManagerCommand command, const std::string& drive) {
  const char* const kept = " since it last started, up to the restart, is written to the drive and kept";
  const char* rest =
      ", and the write filter is turned off: from then on changes are kept as usual, and nothing protects the "
      "drive.\r\rDo you want to commit the changes and turn the write filter off?";
  switch (command) {
    case ManagerCommand::Enable: {
      const char* const lost =
          ".  Every change made there is then kept in memory only, and lost at each restart unless it is "
          "committed.  Until the restart, changes are kept as usual.\r\rDo you want to enable the write filter?";
      return Concat({"Stillvane will run \"ewfmgr ", drive,
                     " -enable\".\r\rFrom the next start of the computer, the write filter protects drive ", drive,
                     lost});
    }
    case ManagerCommand::Commit:
      rest = ".  The write filter goes on protecting the drive after that.\r\rDo you want to commit the changes?";
      break;
    case ManagerCommand::CommitAndDisable:
      break;
  }
  return Concat({"Stillvane will run \"ewfmgr ", drive, " ", ManagerCommandArgument(command),
                 "\".\r\rWhen the computer next starts, every change made to drive ", drive, kept, rest});
}

TWriteFilterStatus::TWriteFilterStatus(TOs& os, TDialogs& dialogs, TVersionInfo& FileVersionInfo,
                                       std::string windowsFolder)
    : Os_(os), Dialogs_(dialogs), FileVersionInfo_(FileVersionInfo), WindowsFolder_(std::move(windowsFolder)) {}

const StatusView& TWriteFilterStatus::Refresh() {
  Transcript_.clear();
  Read();
  return View_;
}

void TWriteFilterStatus::Read() {
  const InstallationStatus installation = CheckInstallation(Os_, FileVersionInfo_, WindowsFolder_);
  State_ = ReadWriteFilterState(Os_, WindowsFolder_);
  const FilterStatus live = LiveStatus(State_);
  bool wrong = false, unknown = false;
  for (const StatusCheck& check : installation.Checks) {
    wrong = wrong || check.Outcome == CheckOutcome::Wrong;
    unknown = unknown || check.Outcome == CheckOutcome::Unknown;
  }
  View_ = StatusView{};
  View_.Status = !installation.Installed ? FilterStatus::NotInstalled : wrong ? FilterStatus::Damaged : live;
  View_.Kind = KindOf(View_.Status);
  View_.Sentence = Sentence(View_.Status, State_);
  if (unknown && !wrong) View_.Sentence += "  Some checks could not be made: the lines marked Not known say why.";
  View_.Checks = ChecksText(installation.Checks);
  View_.Service = ServiceText(State_);
  View_.Report = Transcript_ + ReportText(State_);
  for (int i = 0; i < kManagerCommandCount; ++i)
    View_.Applies[i] = !State_.Volume.empty() && Applies(static_cast<ManagerCommand>(i), live);
  View_.CommandsNote = CommandsNote(installation.Installed ? live : FilterStatus::NotInstalled, State_);
}

bool TWriteFilterStatus::ConfirmCommand(ManagerCommand command) {
  return View_.Applies[static_cast<int>(command)] &&
         Dialogs_.ShowMessageDialog(ManagerCommandQuestion(command, State_.Volume), MessageKind::Confirmation,
                                    MessageButtons::YesNo) == DialogResult::Yes;
}

void TWriteFilterStatus::RunCommand(ManagerCommand command) {
  const std::string arguments = Concat({State_.Volume, " ", ManagerCommandArgument(command)});
  LastCommand_ = CommandText(arguments);
  LastRun_ = RunWriteFilterManager(Os_, WindowsFolder_ + kManagerFile, arguments);
  Transcript_ = Concat({RunText(arguments, LastRun_), "\r\n\r\n"});
  Read();
}

void TWriteFilterStatus::FinishCommand() {
  const std::string quoted = Concat({"\"", LastCommand_, "\""});
  if (LastRun_.Outcome != ManagerOutcome::Ended || LastRun_.ExitCode != 0) {
    const std::string why = LastRun_.Outcome != ManagerOutcome::Ended
                                ? LastRun_.Failure
                                : Concat({"It ended with exit code ", std::to_string(LastRun_.ExitCode), "."});
    Dialogs_.ShowMessageDialog(Concat({"The command ", quoted, " did not succeed.\r\r", why,
                                       "\r\rThe Write Filter Status window shows what the manager wrote."}),
                               MessageKind::Error, MessageButtons::Ok);
    return;
  }
  if (Dialogs_.ShowMessageDialog(Concat({"The write filter carries out ", quoted,
                                         " when the computer next starts.\r\rDo you want to restart the computer "
                                         "now?  Save your work in other programs first."}),
                                 MessageKind::Confirmation, MessageButtons::YesNo) != DialogResult::Yes) {
    return;
  }
  const DWORD error = RestartComputer(Os_);
  if (error == ERROR_NOT_ALL_ASSIGNED) {
    Dialogs_.ShowMessageDialog(
        Concat({WithErrorCode("Windows did not let Stillvane restart the computer, because this account may not shut "
                              "it down.",
                              error),
                "\r\rAsk an administrator to restart it."}),
        MessageKind::Error, MessageButtons::Ok);
  } else if (error) {
    Dialogs_.ShowMessageDialog(
        Concat({WithErrorCode("Windows did not restart the computer.", error), "\r\rRestart it from the Start menu."}),
        MessageKind::Error, MessageButtons::Ok);
  }
}

std::string TWriteFilterStatus::ClipboardText(const std::string& caption) const {
  const char kRule[] = "---------------------------\r\n";
  return Concat({kRule, caption, "\r\n", kRule, View_.Sentence, "\r\n", kRule, View_.Checks,
                 View_.Checks.empty() ? "" : "\r\n", kRule, View_.Service, "\r\n", View_.Report, "\r\n", kRule,
                 View_.CommandsNote, "\r\n", kRule});
}
