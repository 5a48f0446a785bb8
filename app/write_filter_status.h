// The Write Filter Status window without its window: what it says (first
// whether the drive is protected now, then what is wrong, the checks behind
// it, the service, the overlay and HORM, and the manager's report) and what
// its buttons do (the manager's commands, each after a question that says
// what is kept and what is lost, and the offer to restart). Reading writes
// nothing.
#pragma once

#include <string>
#include <vector>

#include "install/installation_status.h"
#include "services/dialogs.h"
#include "services/os.h"
#include "services/version_info.h"
#include "services/write_filter_state.h"

// Whether the drive Windows runs from is protected right now.
enum class FilterStatus {
  NotInstalled,
  DidNotStart,          // installed before the computer last started, and not at work
  ProtectedAfterStart,  // installed, or enabled, since the computer last started
  Unknown,              // it could not be told
  NotProtected,         // the overlay is disabled, or the filter not at work
  Protected,            // the overlay is enabled
};

// The system icon beside the sentence, a different one for each state, as
// the IDI_ numbers LoadIcon takes.
enum class StatusIcon {
  Application = 32512,  // not installed: a plain window
  Error = 32513,        // the driver did not start
  Question = 32514,     // could not tell
  Warning = 32515,      // not protected
  Information = 32516,  // protected now
  WindowsLogo = 32517,  // protected once Windows starts again
};
StatusIcon IconOf(FilterStatus status);

// A RAM overlay grows with every change until the computer restarts, in the
// physical memory Windows and its programs need too; when that runs out,
// Windows stops. Past half of it, the rest is soon too little, so the window
// warns there.
inline constexpr unsigned kOverlayWarningPercent = 50;

// The manager's commands the window offers, in the order of its buttons.
enum class ManagerCommand { Enable, Commit, CommitAndDisable };
inline constexpr int kManagerCommandCount = 3;

struct StatusView {
  FilterStatus Status = FilterStatus::NotInstalled;
  bool Damaged = false;  // a check found something wrong
  std::string Sentence;  // whether the drive is protected now, then what is wrong and what to do
  std::string Checks;    // Wrong lines first, then Not known, then OK; CR LF between
  std::string Now;       // the service, the overlay's memory, HORM: one line each, CR LF between
  std::string Report;    // the commands given and what the manager wrote, nothing else; CR LF line breaks
  bool Applies[kManagerCommandCount] = {};
  std::string CommandsNote;  // what the buttons do, or why none can be used
};

// "-enable", "-commit", "-commitanddisable", as the manager takes them.
const char* ManagerCommandArgument(ManagerCommand command);
// The Yes/No question before the command is run for `drive` ("C:"), with
// the command the manager has pending for the next start ("NO_CMD" or empty
// for none), which it would replace.
std::string ManagerCommandQuestion(ManagerCommand command, const std::string& drive, const std::string& pending);

class TWriteFilterStatus {
 public:
  // windowsFolder ends with a backslash.
  TWriteFilterStatus(TOs& os, TDialogs& dialogs, TVersionInfo& FileVersionInfo, std::string windowsFolder);

  // Reads everything again and forgets the last command's output.
  const StatusView& Refresh();
  const StatusView& View() const { return View_; }

  // A command in three steps, so that the window can show it is busy while
  // it runs, and what it wrote before anything else is asked. Whether to
  // run it: false for No, or for a command that does not apply now.
  [[nodiscard]] bool ConfirmCommand(ManagerCommand command);
  // Runs it, then reads everything again: the view shows the command and
  // what it wrote above the report.
  void RunCommand(ManagerCommand command);
  // Says why the command did not succeed, or that the manager does not
  // report it pending, or offers to restart.
  void FinishCommand();

  // The whole window as text, for the clipboard.
  std::string ClipboardText(const std::string& caption) const;

 private:
  void Read();
  void Compose();
  bool LastCommandPending() const;

  TOs& Os_;
  TDialogs& Dialogs_;
  TVersionInfo& FileVersionInfo_;
  std::string WindowsFolder_;
  WriteFilterState State_;
  std::vector<StatusCheck> Checks_;
  bool Installed_ = false;
  bool MarkedThisStart_ = false;  // Install or a command ran since Windows last started
  std::string Transcript_;        // the last command and what it wrote, until the next Refresh
  ManagerCommand LastCommand_ = ManagerCommand::Enable;
  ManagerRun LastRun_;
  StatusView View_;
};
