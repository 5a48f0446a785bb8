#include "app/write_filter_status.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/message_dialog_text.h"
#include "services/ascii_text.h"
#include "services/boot_volumes.h"
#include "services/concat.h"
#include "services/environment.h"
#include "services/files.h"
#include "services/restart.h"
#include "services/step_failure.h"
#include "tuning/horm.h"

namespace {

// The parts added at the end of the text, with no text made for them on the way.
void Append(std::string& text, std::initializer_list<TextPart> parts) {
  for (const TextPart& part : parts) text += part.Text;
}

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

Pending PendingOf(ManagerCommand command) {
  return static_cast<Pending>(static_cast<int>(command) + 1);
}

// The first value of a report line, or empty.
std::string ReportValue(const WriteFilterState& state, const char* name) {
  const std::vector<std::string> values = ReportValues(state.Report.Output, name);
  return values.empty() ? std::string() : values.front();
}

// The manager's documentation gives -enable, -commit and -commitanddisable
// for RAM overlays (kept in the registry or not) and disk overlays alike,
// and nothing for a type it does not name.
bool OverlayTypeKnown(const std::string& type) {
  return StartsWithIgnoringCase(type.c_str(), "RAM") || StartsWithIgnoringCase(type.c_str(), "DISK");
}

// What the service, the manager and the mark of this start say, before the
// checks are weighed.
FilterStatus LiveStatus(const WriteFilterState& state, bool marked) {
  if (state.Service == ServiceState::Absent || state.Service == ServiceState::Stopped) {
    return marked ? FilterStatus::ProtectedAfterStart : FilterStatus::DidNotStart;
  }
  switch (state.Protection) {
    case WriteFilterProtection::On:
      return FilterStatus::Protected;
    case WriteFilterProtection::Off:
      return marked && PendingCommand(state.BootCommand) == Pending::Enable ? FilterStatus::ProtectedAfterStart
                                                                            : FilterStatus::NotProtected;
    case WriteFilterProtection::Unknown:
      break;
  }
  return FilterStatus::Unknown;
}

// The pending command, in words, after "Drive C: is protected now".
void AddPendingText(std::string& text, const std::string& bootCommand) {
  const char* const kept =
      ", and a commit is pending: at the next start, every change made to it since the computer last started is "
      "kept";
  switch (PendingCommand(bootCommand)) {
    case Pending::None:
      return Append(text, {": every change made to it is lost when the computer restarts."});
    case Pending::Commit:
      return Append(text, {kept, "."});
    case Pending::CommitAndDisable:
      return Append(text, {kept, ", and the write filter is turned off."});
    case Pending::Enable:
    case Pending::Other:
      break;
  }
  Append(text, {", and the manager names a command for the next start: ", bootCommand, "."});
}

// Begins the text, which is empty: every sentence starts with the drive, or
// with "Stillvane".
void AddFirstSentence(std::string& text, FilterStatus status, const WriteFilterState& state) {
  static const char* const kAfterDrive[] = {
      (" is not protected: EWF support is not installed on this computer.  Click Install EWF Support in the main "
       "window to install it."),
      " is not protected: the write filter did not start when the computer last started.",
      " is not protected now; it will be protected after the next start, when the write filter ",
      " is protected now.  ",
      " is not protected now: changes to it are kept.",
      " is protected now",
  };
  if (status == FilterStatus::Unknown) text += "Stillvane could not tell whether ";
  if (state.Volume.empty()) {
    text += "the drive Windows runs from";
  } else {
    Append(text, {"drive ", state.Volume});
  }
  text[0] = AsciiUpper(text[0]);
  text += kAfterDrive[static_cast<int>(status)];
  if (status == FilterStatus::ProtectedAfterStart) {
    Append(text, {state.Service == ServiceState::Loaded ? "carries out the pending enable" : "starts with Windows",
                  ".  Until then, changes to it are kept."});
  } else if (status == FilterStatus::Unknown) {
    text += state.WhyUnknown;
  } else if (status == FilterStatus::Protected) {
    AddPendingText(text, state.BootCommand);
  }
}

// Wrong lines first, then Not known, then OK, each group in the checks' order.
std::string ChecksText(const std::vector<StatusCheck>& checks) {
  static const char* const kMarks[] = {"Wrong: ", "Not known: ", "OK: "};
  static constexpr CheckOutcome kOrder[] = {CheckOutcome::Wrong, CheckOutcome::Unknown, CheckOutcome::Ok};
  std::string text;
  for (int group = 0; group < 3; ++group) {
    for (const StatusCheck& check : checks) {
      if (check.Outcome == kOrder[group]) Append(text, {text.empty() ? "" : "\r\n", kMarks[group], check.Text});
    }
  }
  return text;
}

const char* ServiceText(const WriteFilterState& state) {
  switch (state.Service) {
    case ServiceState::Absent:
      return "The service control manager knows no ewf service: the write filter is not at work.";
    case ServiceState::Stopped:
      return "The ewf service is stopped: the write filter is not at work.";
    case ServiceState::Loaded:
      return "The ewf service is running.";
    case ServiceState::Unknown:
      break;
  }
  return state.WhyUnknown.c_str();
}

// A size as the user reads it: "640 KB", "12 MB".
void AddSize(std::string& text, unsigned long bytes) {
  const bool small = bytes < (1u << 20);
  Append(text, {DecimalText(small ? (bytes + 1023) >> 10 : bytes >> 20), small ? " KB" : " MB"});
}

// The memory the overlay at work uses, from the report's "Memory used for
// ..." lines ("1024 bytes"), beside the computer's physical memory, on a
// line of its own; nothing when the overlay is not at work or the report
// gives none.
void AddOverlayText(std::string& text, TOs& os, const WriteFilterState& state) {
  unsigned long used = 0;
  bool told = false;
  for (const char* name : {"Memory used for data", "Memory used for mapping"}) {
    for (const std::string& value : ReportValues(state.Report.Output, name)) {
      unsigned long bytes = 0;
      for (size_t i = 0; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        bytes = bytes * 10 + static_cast<unsigned>(value[i] - '0');
      used += bytes;
      told = true;
    }
  }
  if (!told || state.Protection != WriteFilterProtection::On) return;
  MEMORYSTATUS memory = {};
  memory.dwLength = sizeof memory;
  os.GlobalMemoryStatus(&memory);
  const unsigned long physical = static_cast<unsigned long>(memory.dwTotalPhys);
  text += "\r\nThe overlay uses ";
  AddSize(text, used);
  text += " of memory; the computer has ";
  AddSize(text, physical);
  text += ".";
  if (used > physical / 100 * kOverlayWarningPercent) {
    Append(text, {"  That is more than ", DecimalText(kOverlayWarningPercent),
                  "% of it: restart the computer soon (after Commit, if the changes are wanted), before the "
                  "overlay fills the memory and Windows stops."});
  }
}

// Whether HORM can resume at the next start: its marker beside the boot
// loader, hibernation on, and the drive protected by an overlay in memory.
void AddHormText(std::string& text, TOs& os, const WriteFilterState& state, const std::string& type) {
  std::string unmapped, failure;
  const std::string marker = FindBootLoaderFolder(os, ReadSystemDriveFolder(os), &unmapped, &failure) + "resmany.dat";
  if (!LookForFile(os, marker).Present) return Append(text, {"HORM is not set up: ", marker, " is not there."});
  const bool hibernation = HibernationIsOn(os);
  const bool inMemory = state.Protection == WriteFilterProtection::On && StartsWithIgnoringCase(type.c_str(), "RAM");
  if (hibernation && inMemory) {
    return Append(text, {"HORM can resume at the next start: ", marker,
                         " is there, hibernation is on and the overlay is in memory."});
  }
  Append(text, {"HORM will not resume at the next start, though ", marker,
                " is there: ", hibernation ? "" : "hibernation is off", hibernation || inMemory ? "" : "; ",
                inMemory ? "" : "the drive is not protected by an overlay in memory", "."});
}

// What the service control manager recorded of ewf since Windows last
// started: the System log read from the newest record back to the event
// log service's start (event 6005 of EventLog, one at each start of
// Windows). Each as "event 7026 (ewf)", its strings in brackets; empty when
// there is none, or the log cannot be read.
std::string RecordedSinceStart(TOs& os) {
  const HANDLE log = os.OpenEventLogA(nullptr, "System");
  if (!log) return {};
  std::string found;
  std::string buffer(0x10000, '\0');
  DWORD read = 0, needed = 0;
  bool started = false;
  while (!started && os.ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD at = 0; !started && read - at >= sizeof(EVENTLOGRECORD);) {
      EVENTLOGRECORD record;
      std::memcpy(&record, &buffer[at], sizeof record);
      if (record.Length < sizeof record || record.Length > read - at || record.StringOffset > record.Length) break;
      // The record's texts, each cut at its NUL or at the record's end.
      const std::string_view whole(&buffer[at], record.Length);
      const std::string_view source = whole.substr(sizeof record, whole.find('\0', sizeof record) - sizeof record);
      const DWORD id = record.EventID & 0xFFFF;
      started = source == "EventLog" && id == 6005;
      std::string strings;
      size_t next = record.StringOffset;
      for (WORD i = 0; i < record.NumStrings && next < whole.size(); ++i) {
        const size_t end = std::min(whole.find('\0', next), whole.size());
        if (i) strings += ", ";
        strings.append(&buffer[at + next], end - next);
        next = end + 1;
      }
      if (source == "Service Control Manager" && AsciiUpperCased(strings).find("EWF") != std::string::npos) {
        found = Concat({"event ", DecimalText(id), " (", strings, ")", found.empty() ? "" : "; ", found});
      }
      at += record.Length;
    }
  }
  (void)os.CloseEventLog(log);
  return found;
}

// The manager's output as it can be shown: line breaks as the box needs
// them, and every other control character (a NUL would end the text) as
// \xNN.
std::string ShownOutput(const std::string& output) {
  std::string text;
  for (const char c : output) {
    const auto code = static_cast<unsigned char>(c);
    if ((code < ' ' && c != '\r' && c != '\n' && c != '\t') || code == 0x7F) {
      const char digits[] = "0123456789ABCDEF";
      text += "\\x";
      text += digits[code >> 4];
      text += digits[code & 15];
    } else {
      text += c;
    }
  }
  return MessageDisplayText(text);
}

// The command, "ewfmgr C: -enable" as the user would type it, and what it
// wrote, for the report box; why it did not run is said elsewhere.
void AddRunText(std::string& text, const std::string& arguments, const ManagerRun& run) {
  Append(text, {"ewfmgr ", arguments});
  if (run.Outcome != ManagerOutcome::Ended) return;
  Append(text, {"   (exit code ", DecimalText(run.ExitCode), ")\r\n", ShownOutput(run.Output)});
}

void AddCommandsNote(std::string& text, FilterStatus live, const WriteFilterState& state, bool typeKnown,
                     const std::string& type) {
  switch (live) {
    case FilterStatus::Protected:
    case FilterStatus::NotProtected:
      if (!typeKnown) {
        return Append(text, {"The manager reports an overlay of type \"", type,
                             "\", for which its documentation gives none of these commands."});
      }
      return Append(text, {"Each button runs \"ewfmgr ", state.Volume,
                           "\" with -enable, -commit or -commitanddisable, after a question; each takes effect when "
                           "the computer next starts."});
    case FilterStatus::ProtectedAfterStart:
      if (state.Service == ServiceState::Loaded) {
        text +=
            "The write filter turns on when the computer next starts; Commit and Commit and Disable can be used "
            "after that.";
        return;
      }
      [[fallthrough]];
    case FilterStatus::DidNotStart:
      text += "The manager's commands can be used once the write filter is at work.";
      return;
    case FilterStatus::NotInstalled:
      text += "The manager's commands can be used once EWF support is installed and the computer has restarted.";
      return;
    case FilterStatus::Unknown:
      break;
  }
  if (state.Volume.empty()) {
    text += "The manager's commands need a drive letter for the partition Windows runs from.";
    return;
  }
  Append(text, {"The manager's commands cannot be used, because Stillvane cannot tell the write filter's state: ",
                state.WhyUnknown});
}

bool Applies(ManagerCommand command, FilterStatus live) {
  if (command == ManagerCommand::Enable) return live == FilterStatus::NotProtected;
  return live == FilterStatus::Protected;
}

}  // namespace

StatusIcon IconOf(FilterStatus status) {
  static constexpr StatusIcon kIcons[] = {StatusIcon::Application, StatusIcon::Error,   StatusIcon::WindowsLogo,
                                          StatusIcon::Question,    StatusIcon::Warning, StatusIcon::Information};
  return kIcons[static_cast<int>(status)];
}

const char* ManagerCommandArgument(ManagerCommand command) {
  static const char* const kArguments[] = {"-enable", "-commit", "-commitanddisable"};
  return kArguments[static_cast<int>(command)];
}

std::string ManagerCommandQuestion(ManagerCommand command, const std::string& drive, const std::string& pending) {
  std::string text;
  Append(text, {"Stillvane will run \"ewfmgr ", drive, " ", ManagerCommandArgument(command), "\"."});
  if (PendingCommand(pending) != Pending::None) {
    Append(text, {"  It replaces the command the manager has pending for the next start, ", pending,
                  ", which is then not carried out."});
  }
  if (command == ManagerCommand::Enable) {
    Append(text, {"\r\rNothing is kept or lost now.  From the next start of the computer, the write filter protects "
                  "drive ",
                  drive,
                  ": every change made there is then kept in memory only, and lost at each restart unless it is "
                  "committed.  Until the restart, changes are kept as usual.\r\rDo you want to enable the write "
                  "filter?"});
    return text;
  }
  Append(text, {"\r\rKept: when the computer next starts, every change made to drive ", drive,
                " since the computer last started, wanted or not, up to the restart, is written to the drive.  A "
                "restart before this command drops those changes: ",
                command == ManagerCommand::Commit
                    ? "restart first to keep none of them.  Lost: nothing.  The write filter goes on protecting "
                      "the drive.\r\rDo you want to commit the changes?"
                    : "to turn the filter off without keeping them, restart first, then click Commit and Disable, as "
                      "Microsoft's procedure for an overlay in RAM says.  Then the write filter is turned off: from "
                      "then on changes are kept as usual, and nothing protects the drive.\r\rDo you want to commit "
                      "the changes and turn the write filter off?"});
  return text;
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
  InstallationStatus installation = CheckInstallation(Os_, FileVersionInfo_, WindowsFolder_);
  Installed_ = installation.Installed;
  Checks_ = std::move(installation.Checks);
  State_ = ReadWriteFilterState(Os_, WindowsFolder_);
  MarkedThisStart_ = MarkedThisStart(Os_);
  Compose();
}

void TWriteFilterStatus::Compose() {
  bool wrong = false, unknown = false;
  for (const StatusCheck& check : Checks_) {
    wrong = wrong || check.Outcome == CheckOutcome::Wrong;
    unknown = unknown || check.Outcome == CheckOutcome::Unknown;
  }
  FilterStatus live = LiveStatus(State_, MarkedThisStart_);
  // A damaged installation may not start: nothing is promised for the next start.
  if (wrong && live == FilterStatus::ProtectedAfterStart) live = FilterStatus::NotProtected;
  // Every other part of the view is set whole below.
  View_.Sentence.clear();
  View_.CommandsNote.clear();
  View_.Status = Installed_ ? live : FilterStatus::NotInstalled;
  View_.Damaged = wrong;
  AddFirstSentence(View_.Sentence, View_.Status, State_);
  const Pending pending = PendingCommand(State_.BootCommand);
  if (State_.Service == ServiceState::Loaded && pending != Pending::None && !MarkedThisStart_) {
    Append(View_.Sentence, {"  The manager names ", State_.BootCommand,
                            " for the next start, though no command was given here since the computer last "
                            "started: if it was given before, that start did not carry it out."});
  }
  if (View_.Status == FilterStatus::DidNotStart) {
    const std::string recorded = RecordedSinceStart(Os_);
    if (!recorded.empty()) Append(View_.Sentence, {"  Windows recorded: ", recorded, "."});
  }
  if (wrong) {
    View_.Sentence += "  EWF support is damaged: the lines marked Wrong say what to do.";
  } else if (View_.Status == FilterStatus::DidNotStart) {
    View_.Sentence += "  Click Install EWF Support again to mend the installation, then restart the computer.";
  } else if (unknown) {
    View_.Sentence += "  Some checks could not be made: the lines marked Not known say why.";
  }
  View_.Checks = ChecksText(Checks_);
  View_.Now = ServiceText(State_);
  const std::string type = ReportValue(State_, "Type");
  if (Installed_) {
    AddOverlayText(View_.Now, Os_, State_);
    View_.Now += "\r\n";
    AddHormText(View_.Now, Os_, State_, type);
  }
  View_.Report = Transcript_;
  if (State_.ManagerAsked) AddRunText(View_.Report, State_.Volume, State_.Report);
  const bool typeKnown = !State_.ManagerAsked || OverlayTypeKnown(type);
  for (int i = 0; i < kManagerCommandCount; ++i)
    View_.Applies[i] = State_.ManagerAsked && typeKnown && Applies(static_cast<ManagerCommand>(i), live);
  // Whatever the checks made of it, the commands wait for the filter at work.
  const bool atWork = State_.Service != ServiceState::Absent && State_.Service != ServiceState::Stopped;
  AddCommandsNote(View_.CommandsNote,
                  !Installed_ ? FilterStatus::NotInstalled
                  : atWork    ? live
                              : FilterStatus::DidNotStart,
                  State_, typeKnown, type);
}

bool TWriteFilterStatus::ConfirmCommand(ManagerCommand command) {
  return View_.Applies[static_cast<int>(command)] &&
         Dialogs_.ShowMessageDialog(ManagerCommandQuestion(command, State_.Volume, State_.BootCommand),
                                    MessageKind::Confirmation, MessageButtons::YesNo) == DialogResult::Yes;
}

bool TWriteFilterStatus::LastCommandPending() const {
  return LastRun_.Outcome == ManagerOutcome::Ended && LastRun_.ExitCode == 0 &&
         PendingCommand(State_.BootCommand) == PendingOf(LastCommand_);
}

void TWriteFilterStatus::RunCommand(ManagerCommand command) {
  const std::string arguments = Concat({State_.Volume, " ", ManagerCommandArgument(command)});
  LastCommand_ = command;
  LastRun_ = RunWriteFilterManager(Os_, WindowsFolder_ + kManagerFile, arguments);
  Transcript_.clear();
  AddRunText(Transcript_, arguments, LastRun_);
  Transcript_ += "\r\n\r\n";
  Read();
  // The command is waiting for a restart: the window says so until one has passed.
  if (LastCommandPending()) {
    MarkThisStart(Os_);
    MarkedThisStart_ = true;
    Compose();
  }
}

void TWriteFilterStatus::FinishCommand() {
  const std::string quoted = Concat({"\"ewfmgr ", State_.Volume, " ", ManagerCommandArgument(LastCommand_), "\""});
  if (LastRun_.Outcome != ManagerOutcome::Ended || LastRun_.ExitCode != 0) {
    std::string text = Concat({"The command ", quoted, " did not succeed.\r\r"});
    if (LastRun_.Outcome != ManagerOutcome::Ended) {
      text += LastRun_.Failure;
    } else {
      Append(text, {"It ended with exit code ", DecimalText(LastRun_.ExitCode), "."});
    }
    text += "\r\rThe Write Filter Status window shows what the manager wrote.";
    Dialogs_.ShowMessageDialog(text, MessageKind::Error, MessageButtons::Ok);
    return;
  }
  if (!LastCommandPending()) {
    std::string text = Concat({"The command ", quoted,
                               " ended with exit code 0, but the manager does not report it pending for the next "
                               "start, so restarting would carry nothing out.\r\rThe manager wrote:\r"});
    text += LastRun_.Output.empty() ? "(nothing)" : ShownOutput(LastRun_.Output);
    Dialogs_.ShowMessageDialog(text, MessageKind::Warning, MessageButtons::Ok);
    return;
  }
  if (Dialogs_.ShowMessageDialog(Concat({"The write filter carries out ", quoted,
                                         " when the computer next starts.\r\rDo you want to restart the computer "
                                         "now?  Save your work in other programs first."}),
                                 MessageKind::Confirmation, MessageButtons::YesNo) != DialogResult::Yes) {
    return;
  }
  const DWORD error = RestartComputer(Os_);
  if (!error) return;
  const bool forbidden = error == ERROR_NOT_ALL_ASSIGNED;
  Dialogs_.ShowMessageDialog(
      Concat({WithErrorCode(forbidden ? "Windows did not let Stillvane restart the computer, because this account may "
                                        "not shut it down."
                                      : "Windows did not restart the computer.",
                            error),
              forbidden ? "\r\rAsk an administrator to restart it." : "\r\rRestart it from the Start menu."}),
      MessageKind::Error, MessageButtons::Ok);
}

std::string TWriteFilterStatus::ClipboardText(const std::string& caption) const {
  const char kRule[] = "---------------------------\r\n";
  return Concat({kRule, caption, "\r\n", kRule, View_.Sentence, "\r\n", kRule, View_.Checks,
                 View_.Checks.empty() ? "" : "\r\n", kRule, View_.Now, "\r\n", View_.Report, "\r\n", kRule,
                 View_.CommandsNote, "\r\n", kRule});
}
