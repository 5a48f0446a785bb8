// The Write Filter Status window's logic on the campaign's machine: the
// sentence and the check lines for each state a machine can be in, the
// manager's commands as its documentation spells them, and the restart.
#include "app/write_filter_status.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "support/ewf_manager_reports.h"
#include "support/fault_machine.h"
#include "support/stand_in_image.h"
#include "support/version_resource_builder.h"

namespace fault {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const std::string kManager = std::string(kWindowsFolder) + "system32\\ewfmgr.exe";

// The stand-in manager of the end-to-end tests, for the fake machine: it
// reports the overlay in `state`, and a command given after the volume
// becomes the boot command it reports from then on.
void RunStandInManager(TFakeOs& os, const std::string& state, std::string bootCommand = "NO_CMD") {
  os.Processes().SetService("ewf", SERVICE_RUNNING);
  auto pending = std::make_shared<std::string>(std::move(bootCommand));
  os.Processes().SetProgram(kManager, [state, pending](const std::string& commandLine) {
    for (const auto& [option, command] : {std::pair<std::string, const char*>{" -enable", "ENABLE"},
                                          {" -commit", "COMMIT"},
                                          {" -commitanddisable", "COMMIT_AND_DISABLE"}}) {
      if (commandLine.size() > option.size() &&
          commandLine.compare(commandLine.size() - option.size(), option.size(), option) == 0) {
        *pending = command;
      }
    }
    return TFakeProcesses::ProgramRun{EwfManagerReport(state, *pending)};
  });
}

// A machine where Install EWF Support has just run, as each case starts.
class WriteFilterStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Machine_ = std::make_unique<FaultMachine>();
    StartUp(*Machine_);
    ClickInstall(*Machine_);
    ASSERT_THAT(Machine_->Dialogs.Shown.back(), HasSubstr("completed successfully"));
    Machine_->Dialogs = TRecordingDialogs();
  }
  TWriteFilterStatus Status() {
    return TWriteFilterStatus(Machine_->Os, Machine_->Dialogs, *Machine_->Reader, Machine_->WindowsFolder);
  }
  std::unique_ptr<FaultMachine> Machine_;
};

// Calls that would change the machine.
std::vector<std::string> Writes(const TFakeOs& os) {
  std::vector<std::string> writes;
  for (const std::string& call : os.Calls()) {
    for (const char* name :
         {"RegCreateKeyExA", "RegSetValueExA", "RegDeleteKeyA", "RegDeleteValueA", "RegSetKeySecurity", "CopyFileA",
          "MoveFileA", "MoveFileExA", "DeleteFileA", "SetFileAttributesA", "InitiateSystemShutdownExA"}) {
      if (call.rfind(std::string(name) + "(", 0) == 0) writes.push_back(call);
    }
    if (call.rfind("CreateFileA(", 0) == 0 && call.find(", 0x80000000, ") == std::string::npos) writes.push_back(call);
  }
  return writes;
}

TEST_F(WriteFilterStatusTest, EachStateOfTheMachineHasItsSentenceAndItsCheckLines) {
  const std::string driver = std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys";
  struct Case {
    const char* What;
    std::function<void(TFakeOs&)> Arrange;
    FilterStatus Status;
    std::string Sentence;
    std::string Line;    // one of the check lines, or none when empty
    std::string Report;  // what the report box begins with
    std::vector<bool> Applies;
  };
  const std::string stopped = "The manager is asked only while the ewf service runs.";
  const std::string noCommand =
      "The manager's commands cannot be used, because Stillvane cannot tell the write filter's state: ";
  const std::vector<Case> cases = {
      {"installed, service stopped",
       [](TFakeOs& os) { os.Processes().SetService("ewf", SERVICE_STOPPED); },
       FilterStatus::StartsAtRestart,
       "EWF support is installed; the write filter starts with Windows when the computer next restarts.  Until "
       "then nothing protects drive C:.",
       "OK: " + driver + " is in place and whole, version 2.0.927.0.",
       stopped,
       {false, false, false}},
      {"protected",
       [](TFakeOs& os) { RunStandInManager(os, "ENABLED"); },
       FilterStatus::Protected,
       "Drive C: is protected now: every change made to it is lost when the computer restarts.",
       "OK: The write filter protects multi(0)disk(0)rdisk(0)partition(1), the partition Windows runs from.",
       "ewfmgr C:   (exit code 0)\r\nProtected Volume Configuration\r\n",
       {false, true, true}},
      {"protected, a commit pending",
       [](TFakeOs& os) { RunStandInManager(os, "ENABLED", "COMMIT"); },
       FilterStatus::Protected,
       "Drive C: is protected now, and a commit is pending: at the next start, the changes made to it since the "
       "computer started are kept.",
       "",
       "ewfmgr C:",
       {false, true, true}},
      {"not protected",
       [](TFakeOs& os) { RunStandInManager(os, "DISABLED"); },
       FilterStatus::NotProtected,
       "EWF support is installed, but drive C: is not protected: changes to it are kept.  To protect it, click "
       "Enable, then restart the computer.",
       "",
       "ewfmgr C:",
       {true, false, false}},
      {"disabled with a pending enable",
       [](TFakeOs& os) { RunStandInManager(os, "DISABLED", "ENABLE"); },
       FilterStatus::ProtectedAtRestart,
       "Drive C: is not protected yet: the write filter turns on when the computer next starts.  Until then, "
       "changes to it are kept.",
       "",
       "ewfmgr C:",
       {false, false, false}},
      {"loader replaced by another",
       [](TFakeOs& os) { os.Files().AddFile("C:\\ntldr", StandInBootLoader("a service pack's ntldr")); },
       FilterStatus::Damaged,
       "EWF support is installed, but damaged: the lines marked Wrong say what is wrong and what to do.  Click "
       "Install EWF Support again to mend it, or choose Remove EWF Support to take it out.",
       "Wrong: C:\\ntldr is not the ewfntldr that was installed: another program or a service pack has replaced "
       "it, and HORM cannot resume without it.  Click Install EWF Support again.",
       stopped,
       {false, false, false}},
      {"backup deleted",
       [](TFakeOs& os) { os.Files().Remove("C:\\ntldr.bak"); },
       FilterStatus::Damaged,
       "",
       "Wrong: C:\\ntldr.bak, the copy of the earlier boot loader, is missing, so Remove EWF Support cannot put "
       "that loader back.  Keep a copy of it at hand, as the guide says under IF WINDOWS DOES NOT START.",
       stopped,
       {false, false, false}},
      {"Ewf missing from the list",
       [](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                                {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 0});
       },
       FilterStatus::Damaged,
       "",
       "Wrong: Ewf is not in the \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" + std::string(kClassKey) +
           ", so the write filter does not start with Windows.  Click Install EWF Support again: the other "
           "filters stay.",
       stopped,
       {false, false, false}},
      {"service started on demand",
       [](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, kServiceKey, "Start", REG_DWORD, {3, 0, 0, 0});
       },
       FilterStatus::Damaged,
       "",
       "Wrong: The \"Start\" value of HKEY_LOCAL_MACHINE\\" + std::string(kServiceKey) +
           " is 3, not 0 as the installation wrote it.  Click Install EWF Support again.",
       stopped,
       {false, false, false}},
      {"driver older than the minimum",
       [driver](TFakeOs& os) {
         os.Files().AddFile(driver, StandInDriver("old ewf.sys")).VersionResource =
             BuildVersionResource(FileVersionParts{2, 0, 926, 9999});
       },
       FilterStatus::Damaged,
       "",
       "Wrong: " + driver +
           " cannot be used: it is version 2.0.926.9999, older than 2.0.927.0.  Click Install EWF Support again: it "
           "keeps this file aside and puts a whole copy in its place.",
       stopped,
       {false, false, false}},
      {"record unreadable",
       [](TFakeOs& os) { os.FailCallsContaining(", Installation)", ERROR_ACCESS_DENIED); },
       FilterStatus::StartsAtRestart,
       "EWF support is installed; the write filter starts with Windows when the computer next restarts.  Until "
       "then nothing protects drive C:.  Some checks could not be made: the lines marked Not known say why.",
       "Not known: The record of the installation, the \"Installation\" value of HKEY_LOCAL_MACHINE\\SOFTWARE\\"
       "Stillvane, could not be read.  Error 5  Log on as an administrator to check it.",
       stopped,
       {false, false, false}},
      {"manager missing",
       [](TFakeOs& os) {
         os.Processes().SetService("ewf", SERVICE_RUNNING);
         os.Files().Remove(kManager);
       },
       FilterStatus::Damaged,
       "",
       "Wrong: " + kManager + " is missing.  Click Install EWF Support again.",
       "ewfmgr C:\r\n" + kManager + " is not there.",
       {false, false, false}},
      {"manager hung",
       [](TFakeOs& os) { RunTheWriteFilter(os, kWindowsFolder, "", false); },
       FilterStatus::Unknown,
       "EWF support is installed, but Stillvane could not tell whether it protects drive C: now.  The lines below "
       "say why.",
       "",
       "ewfmgr C:\r\n" + kManager + " did not finish within 10 seconds.",
       {false, false, false}},
      {"manager exiting non-zero",
       [](TFakeOs& os) {
         os.Processes().SetService("ewf", SERVICE_RUNNING);
         os.Processes().SetProgram(kManager, EwfManagerReport("DISABLED"), true, 3);
       },
       FilterStatus::Unknown,
       "",
       "",
       "ewfmgr C:   (exit code 3)\r\nProtected Volume Configuration",
       {false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    SetUp();
    c.Arrange(Machine_->Os);
    Machine_->Os.ClearCalls();
    TWriteFilterStatus status = Status();
    const StatusView& view = status.Refresh();
    EXPECT_EQ(view.Status, c.Status);
    if (!c.Sentence.empty()) {
      EXPECT_EQ(view.Sentence, c.Sentence);
    }
    if (!c.Line.empty()) {
      EXPECT_THAT(view.Checks, HasSubstr(c.Line));
    }
    EXPECT_THAT(view.Report, StartsWith(c.Report));
    EXPECT_EQ(std::vector<bool>(std::begin(view.Applies), std::end(view.Applies)), c.Applies);
    // Why no button can be used, where the manager could not say.
    if (c.Status == FilterStatus::Unknown || view.Report.rfind("ewfmgr C:\r\n", 0) == 0) {
      EXPECT_THAT(view.CommandsNote, StartsWith(noCommand));
    }
    EXPECT_THAT(Writes(Machine_->Os), IsEmpty()) << "opening the window writes nothing";
    EXPECT_THAT(Machine_->Dialogs.Shown, IsEmpty());
    EXPECT_EQ(Machine_->Os.OpenKeyCount() + Machine_->Os.OpenFileHandleCount() + Machine_->Os.OpenProcessHandleCount(),
              0);
    EXPECT_EQ(Machine_->Os.Processes().RunningCount(), 0);
  }
}

TEST(WriteFilterStatus, NothingInstalledIsSaidSoWithoutCheckLines) {
  FaultMachine machine;
  StartUp(machine);
  TWriteFilterStatus status(machine.Os, machine.Dialogs, *machine.Reader, machine.WindowsFolder);
  const StatusView& view = status.Refresh();
  EXPECT_EQ(view.Status, FilterStatus::NotInstalled);
  EXPECT_EQ(view.Sentence,
            "EWF support is not installed on this computer: nothing protects drive C:.  Click Install EWF Support "
            "in the main window to install it.");
  EXPECT_EQ(view.Checks, "");
  EXPECT_EQ(view.Service, "The service control manager knows no ewf service: the write filter is not at work.");
  EXPECT_THAT(status.ClipboardText("Write Filter Status"),
              AllOf(StartsWith("---------------------------\r\nWrite Filter Status\r\n---"),
                    HasSubstr(view.Sentence + "\r\n"), HasSubstr(view.CommandsNote + "\r\n")));
}

// Each command after its question; its exact command line, run hidden; what
// it wrote above the report read again; then the offer to restart.
TEST_F(WriteFilterStatusTest, TheCommandsRunTheManagerAsDocumentedAfterAQuestion) {
  struct Case {
    ManagerCommand Command;
    const char* State;
    const char* Argument;
    FilterStatus After;
    std::string Question;
  };
  const std::string run = "Stillvane will run \"ewfmgr C: ";
  const std::string kept =
      "When the computer next starts, every change made to drive C: since it last started, up to the restart, is "
      "written to the drive and kept";
  const std::vector<Case> cases = {
      {ManagerCommand::Enable, "DISABLED", "-enable", FilterStatus::ProtectedAtRestart,
       run + "-enable\".\r\rFrom the next start of the computer, the write filter protects drive C:.  Every change "
             "made there is then kept in memory only, and lost at each restart unless it is committed.  Until the "
             "restart, changes are kept as usual.\r\rDo you want to enable the write filter?"},
      {ManagerCommand::Commit, "ENABLED", "-commit", FilterStatus::Protected,
       run + "-commit\".\r\r" + kept +
           ".  The write filter goes on protecting the drive after that.\r\rDo you want to commit the changes?"},
      {ManagerCommand::CommitAndDisable, "ENABLED", "-commitanddisable", FilterStatus::Protected,
       run + "-commitanddisable\".\r\r" + kept +
           ", and the write filter is turned off: from then on changes are kept as usual, and nothing protects the "
           "drive.\r\rDo you want to commit the changes and turn the write filter off?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Argument);
    SetUp();
    RunStandInManager(Machine_->Os, c.State);
    TWriteFilterStatus status = Status();
    status.Refresh();
    EXPECT_FALSE(status.ConfirmCommand(c.Command)) << "answered No";
    ASSERT_EQ(Machine_->Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Machine_->Dialogs.Messages[0].Text, c.Question);
    EXPECT_EQ(Machine_->Dialogs.Messages[0].Buttons, MessageButtons::YesNo);

    Machine_->Dialogs.QueueAnswer(DialogResult::Yes);
    ASSERT_TRUE(status.ConfirmCommand(c.Command));
    Machine_->Os.ClearCalls();
    status.RunCommand(c.Command);
    EXPECT_THAT(Machine_->Os.Processes().Started(), Contains("\"" + kManager + "\" C: " + c.Argument));
    EXPECT_THAT(Machine_->Os.CallsNamed("CreateProcessA"),
                ElementsAre(HasSubstr(", 1, 0x8000000, show 0)"), HasSubstr(", 1, 0x8000000, show 0)")))
        << "the command, then the report, each hidden";
    EXPECT_EQ(status.View().Status, c.After);
    EXPECT_THAT(status.View().Report,
                StartsWith("ewfmgr C: " + std::string(c.Argument) + "   (exit code 0)\r\nProtected Volume"));
    EXPECT_THAT(status.View().Report, HasSubstr("\r\n\r\newfmgr C:   (exit code 0)\r\n"));

    Machine_->Dialogs.Messages.clear();
    status.FinishCommand();
    ASSERT_EQ(Machine_->Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Machine_->Dialogs.Messages[0].Text,
              "The write filter carries out \"ewfmgr C: " + std::string(c.Argument) +
                  "\" when the computer next starts.\r\rDo you want to restart the computer now?  Save your work in "
                  "other programs first.");
    EXPECT_THAT(Machine_->Os.CallsNamed("InitiateSystemShutdownExA"), IsEmpty()) << "answered No";
  }

  // A command that does not apply is not even asked about.
  SetUp();
  RunStandInManager(Machine_->Os, "ENABLED");
  TWriteFilterStatus status = Status();
  status.Refresh();
  Machine_->Dialogs.QueueAnswer(DialogResult::Yes);
  EXPECT_FALSE(status.ConfirmCommand(ManagerCommand::Enable));
  EXPECT_THAT(Machine_->Dialogs.Shown, IsEmpty());
}

TEST_F(WriteFilterStatusTest, ACommandThatFailsIsToldWithWhatTheManagerWrote) {
  Machine_->Os.Processes().SetService("ewf", SERVICE_RUNNING);
  Machine_->Os.Processes().SetProgram(kManager, [](const std::string& commandLine) {
    const bool command = commandLine.find(" -") != std::string::npos;
    return TFakeProcesses::ProgramRun{command ? "The volume is busy.\n" : EwfManagerReport("ENABLED"), true,
                                      command ? 2u : 0u};
  });
  TWriteFilterStatus status = Status();
  status.Refresh();
  status.RunCommand(ManagerCommand::Commit);
  EXPECT_THAT(status.View().Report, StartsWith("ewfmgr C: -commit   (exit code 2)\r\nThe volume is busy.\r\n\r\n"));
  status.FinishCommand();
  ASSERT_EQ(Machine_->Dialogs.Messages.size(), 1u);
  EXPECT_EQ(Machine_->Dialogs.Messages[0].Text,
            "The command \"ewfmgr C: -commit\" did not succeed.\r\rIt ended with exit code 2.\r\rThe Write Filter "
            "Status window shows what the manager wrote.");
  EXPECT_EQ(Machine_->Dialogs.Messages[0].Kind, MessageKind::Error);
}

// The shutdown privilege is enabled for the one request and put back; an
// account that may not shut the computer down is told so, with the code.
TEST_F(WriteFilterStatusTest, TheRestartEnablesTheShutdownPrivilegeForItsOneCallOrSaysItWasRefused) {
  for (const bool held : {true, false}) {
    SCOPED_TRACE(held ? "privilege held" : "privilege refused");
    SetUp();
    RunStandInManager(Machine_->Os, "ENABLED");
    Machine_->Os.SetShutdownPrivilegeHeld(held);
    TWriteFilterStatus status = Status();
    status.Refresh();
    status.RunCommand(ManagerCommand::CommitAndDisable);
    Machine_->Os.ClearCalls();
    Machine_->Dialogs.QueueAnswer(DialogResult::Yes);
    status.FinishCommand();
    std::vector<std::string> restart;
    for (const std::string& call : Machine_->Os.Calls())
      if (call.rfind("AdjustTokenPrivileges", 0) == 0 || call.rfind("InitiateSystemShutdownExA", 0) == 0)
        restart.push_back(call);
    if (held) {
      EXPECT_THAT(restart, ElementsAre("AdjustTokenPrivileges(0, enable, &)",
                                       "InitiateSystemShutdownExA(NULL, NULL, 0, 0, 1, 0x800000FF)",
                                       "AdjustTokenPrivileges(0, disable, NULL)"));
      EXPECT_EQ(Machine_->Dialogs.Messages.size(), 1u) << "only the question";
    } else {
      EXPECT_THAT(restart, ElementsAre("AdjustTokenPrivileges(0, enable, &)"));
      ASSERT_EQ(Machine_->Dialogs.Messages.size(), 2u);
      EXPECT_EQ(Machine_->Dialogs.Messages[1].Text,
                "Windows did not let Stillvane restart the computer, because this account may not shut it down.  "
                "Error 1300\r\rAsk an administrator to restart it.");
    }
    EXPECT_FALSE(Machine_->Os.ShutdownPrivilegeEnabled());
    EXPECT_EQ(Machine_->Os.OpenProcessHandleCount(), 0);
  }
}

}  // namespace
}  // namespace fault
