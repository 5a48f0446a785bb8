// The Write Filter Status window without its window: what it says (the
// state in one sentence, the checks behind it, the service and the
// manager's report) and what its buttons do (the manager's commands, each
// after a question, and the offer to restart). Reading writes nothing.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"
#include "services/version_info.h"
#include "services/write_filter_state.h"

enum class FilterStatus {
  NotInstalled,
  Damaged,             // a check found something wrong
  StartsAtRestart,     // installed, the driver not loaded yet
  Unknown,             // the manager could not say
  NotProtected,        // the overlay is disabled
  ProtectedAtRestart,  // disabled, and enabled at the next start
  Protected,           // enabled now
};

// The manager's commands the window offers, in the order of its buttons.
enum class ManagerCommand { Enable, Commit, CommitAndDisable };
inline constexpr int kManagerCommandCount = 3;

struct StatusView {
  FilterStatus Status = FilterStatus::NotInstalled;
  MessageKind Kind = MessageKind::Information;  // the icon beside the sentence
  std::string Sentence;
  std::string Checks;   // one line each, CR LF between
  std::string Service;  // what the service control manager said
  std::string Report;   // what the manager wrote, or why it was not asked; CR LF line breaks
  bool Applies[kManagerCommandCount] = {};
  std::string CommandsNote;  // what the buttons do, or why none can be used
};

// "-enable", "-commit", "-commitanddisable", as the manager takes them.
const char* ManagerCommandArgument(ManagerCommand command);
// The Yes/No question before the command is run for `drive` ("C:").
std::string ManagerCommandQuestion(ManagerCommand command, const std::string& drive);

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
  // Says why the command did not succeed, or offers to restart.
  void FinishCommand();

  // The whole window as text, for the clipboard.
  std::string ClipboardText(const std::string& caption) const;

 private:
  void Read();

  TOs& Os_;
  TDialogs& Dialogs_;
  TVersionInfo& FileVersionInfo_;
  std::string WindowsFolder_;
  WriteFilterState State_;
  std::string Transcript_;  // the last command and what it wrote, until the next Refresh
  std::string LastCommand_;
  ManagerRun LastRun_;
  StatusView View_;
};
