// The Write Filter Status window's logic on the campaign's machine: the
// sentence and the check lines for each state a machine can be in, the
// manager's commands as its documentation spells them, and the restart.
#include "app/write_filter_status.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "install/installation_status.h"
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
using ::testing::Not;
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

// Windows started again: the mark Install and the commands leave goes, as
// a volatile key does; the ewf service is in the state that start left it.
void Restart(TFakeOs& os, DWORD ewf) {
  os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, kThisStartKey);
  os.Processes().SetService("ewf", ewf);
}

// The volume's report with the overlay using this much memory for its data.
std::string ReportUsing(const std::string& state, const std::string& bytes) {
  std::string report = EwfManagerReport(state);
  report.replace(report.find("1024 bytes"), 4, bytes);
  return report;
}

// Each machine state, before and after a restart: the first sentence says
// whether the drive is protected now, the icon is the state's own, and the
// line to act on comes first.
TEST_F(WriteFilterStatusTest, EachStateOfTheMachineHasItsSentenceIconAndFirstLines) {
  const std::string driver = std::string(kWindowsFolder) + "system32\\drivers\\ewf.sys";
  const std::string volume = "SYSTEM\\CurrentControlSet\\Services\\ewf\\Parameters\\Protected\\Volume0";
  const std::string partition2 = "multi(0)disk(0)rdisk(0)partition(2)";
  const auto text = [](const std::string& value) { return std::vector<BYTE>(value.begin(), value.end() + 1); };
  struct Case {
    const char* What;
    std::function<void(TFakeOs&)> Arrange;
    FilterStatus Status;
    std::string Sentence;   // what the sentence begins with
    std::string FirstLine;  // what the check lines begin with
    std::string Report;     // what the report box begins with
    std::vector<bool> Applies;
    std::string Now;  // one of the lines about the filter now, or none when empty
  };
  const std::string afterStart =
      "Drive C: is not protected now; it will be protected after the next start, when the write filter ";
  const std::string didNotCarry =
      " for the next start, though no command was given here since the computer last started: if it was given "
      "before, that start did not carry it out.";
  const std::string damaged = "  EWF support is damaged: the lines marked Wrong say what to do.";
  const std::string okFirst = "OK: The record of the installation";
  const std::vector<Case> cases = {
      {"installed, not restarted",
       [](TFakeOs&) {},
       FilterStatus::ProtectedAfterStart,
       afterStart + "starts with Windows.  Until then, changes to it are kept.",
       okFirst,
       "",
       {false, false, false},
       "The service control manager knows no ewf service: the write filter is not at work."},
      {"restarted, the service stopped",
       [](TFakeOs& os) { Restart(os, SERVICE_STOPPED); },
       FilterStatus::DidNotStart,
       "Drive C: is not protected: the write filter did not start when the computer last started.  Click Install "
       "EWF Support again to mend the installation, then restart the computer.",
       okFirst,
       "",
       {false, false, false},
       "The ewf service is stopped: the write filter is not at work."},
      {"restarted, the service stopped, Windows' record of it",
       [](TFakeOs& os) {
         os.AddSystemEvent("Service Control Manager", 0xC0001B58, {"Ewf", "%%2"});  // 7000, before this start
         os.AddSystemEvent("EventLog", 0x80001775, {});                             // 6005: Windows started
         os.AddSystemEvent("Service Control Manager", 0xC0001B72, {"Ewf"});         // 7026
         os.AddSystemEvent("Service Control Manager", 0xC0001B58, {"Tcpip", "%%2"});
         os.AddSystemEvent("Service Control Manager", 0xC0001B58, {"ewf", "%%1058"});
         Restart(os, SERVICE_STOPPED);
       },
       FilterStatus::DidNotStart,
       "Drive C: is not protected: the write filter did not start when the computer last started.  Windows "
       "recorded: event 7026 (Ewf); event 7000 (ewf, %%1058).  Click Install EWF Support again",
       okFirst,
       "",
       {false, false, false},
       ""},
      {"restarted, protected",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "ENABLED");
       },
       FilterStatus::Protected,
       "Drive C: is protected now: every change made to it is lost when the computer restarts.",
       okFirst,
       "ewfmgr C:   (exit code 0)\r\nProtected Volume Configuration\r\n",
       {false, true, true},
       "The overlay uses 5 KB of memory; the computer has 512 MB."},
      {"restarted, a commit the start did not carry out",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "ENABLED", "COMMIT");
       },
       FilterStatus::Protected,
       "Drive C: is protected now, and a commit is pending: at the next start, every change made to it since the "
       "computer last started is kept.  The manager names COMMIT" +
           didNotCarry,
       okFirst,
       "ewfmgr C:",
       {false, true, true},
       ""},
      {"a commit given since the start",
       [](TFakeOs& os) { RunStandInManager(os, "ENABLED", "COMMIT_AND_DISABLE"); },
       FilterStatus::Protected,
       "Drive C: is protected now, and a commit is pending: at the next start, every change made to it since the "
       "computer last started is kept, and the write filter is turned off.",
       okFirst,
       "ewfmgr C:",
       {false, true, true},
       ""},
      {"restarted, not protected",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "DISABLED");
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now: changes to it are kept.",
       okFirst,
       "ewfmgr C:",
       {true, false, false},
       "HORM is not set up: C:\\resmany.dat is not there."},
      {"an enable given since the start",
       [](TFakeOs& os) { RunStandInManager(os, "DISABLED", "ENABLE"); },
       FilterStatus::ProtectedAfterStart,
       afterStart + "carries out the pending enable.",
       okFirst,
       "ewfmgr C:",
       {false, false, false},
       ""},
      {"restarted, an enable the start did not carry out",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "DISABLED", "ENABLE");
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now: changes to it are kept.  The manager names ENABLE" + didNotCarry,
       okFirst,
       "ewfmgr C:",
       {true, false, false},
       ""},
      {"restarted, HORM set up and protected",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "ENABLED");
         os.Files().AddFile("C:\\resmany.dat", "");
       },
       FilterStatus::Protected,
       "Drive C: is protected now",
       okFirst,
       "ewfmgr C:",
       {false, true, true},
       "HORM can resume at the next start: C:\\resmany.dat is there, hibernation is on and the overlay is in memory."},
      {"HORM marker, hibernation off, not protected",
       [](TFakeOs& os) {
         os.Files().AddFile("C:\\resmany.dat", "");
         os.SetHibernation(true, false);
       },
       FilterStatus::ProtectedAfterStart,
       afterStart,
       okFirst,
       "",
       {false, false, false},
       "HORM will not resume at the next start, though C:\\resmany.dat is there: hibernation is off; the drive is not "
       "protected by an overlay in memory."},
      {"an overlay past half the memory",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "ENABLED");
         os.Processes().SetProgram(kManager, ReportUsing("ENABLED", "300000000"));
       },
       FilterStatus::Protected,
       "Drive C: is protected now",
       okFirst,
       "ewfmgr C:",
       {false, true, true},
       "The overlay uses 286 MB of memory; the computer has 512 MB.  That is more than 50% of it: restart the "
       "computer soon (after Commit, if the changes are wanted), before the overlay fills the memory and Windows "
       "stops."},
      {"an overlay of a type the manager's documentation does not name",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         std::string report = EwfManagerReport("ENABLED");
         report.replace(report.find("RAM (REG)"), 9, "FLASH");
         RunTheWriteFilter(os, kWindowsFolder, report);
       },
       FilterStatus::Protected,
       "Drive C: is protected now",
       okFirst,
       "ewfmgr C:",
       {false, false, false},
       ""},
      {"a control character in the report",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunTheWriteFilter(os, kWindowsFolder, std::string("Note\0\x1b!\r\n", 9) + EwfManagerReport("ENABLED"));
       },
       FilterStatus::Protected,
       "Drive C: is protected now",
       okFirst,
       "ewfmgr C:   (exit code 0)\r\nNote\\x00\\x1B!\r\nProtected Volume",
       {false, true, true},
       ""},
      {"restarted, protected, the loader replaced",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunStandInManager(os, "ENABLED");
         os.Files().AddFile("C:\\ntldr", StandInBootLoader("a service pack's ntldr"));
       },
       FilterStatus::Protected,
       "Drive C: is protected now: every change made to it is lost when the computer restarts." + damaged,
       "Wrong: C:\\ntldr is not the ewfntldr that was installed: another program or a service pack has replaced "
       "it, and HORM cannot resume without it.  Click Install EWF Support again.\r\nOK: ",
       "ewfmgr C:",
       {false, true, true},
       ""},
      {"backup deleted, not restarted",
       [](TFakeOs& os) { os.Files().Remove("C:\\ntldr.bak"); },
       FilterStatus::NotProtected,
       "Drive C: is not protected now: changes to it are kept." + damaged,
       "Wrong: C:\\ntldr.bak, the copy of the earlier boot loader, is missing, so Remove EWF Support cannot put "
       "that loader back.  Keep a copy of it at hand, as the guide says under IF WINDOWS DOES NOT START.",
       "",
       {false, false, false},
       ""},
      {"Ewf missing from the list",
       [](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, kClassKey, "UpperFilters", REG_MULTI_SZ,
                                {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 0});
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now",
       "Wrong: Ewf is not in the \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" + std::string(kClassKey) +
           ", so the write filter does not start with Windows.  Click Install EWF Support again: the other "
           "filters stay.",
       "",
       {false, false, false},
       ""},
      {"Ewf in the filter list alone, restarted",
       [](TFakeOs& os) {
         os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, kServiceKey);
         os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF");
         os.Registry().DeleteKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane");
       },
       FilterStatus::DidNotStart,
       "Drive C: is not protected: the write filter did not start",
       "Wrong: The registry key HKEY_LOCAL_MACHINE\\" + std::string(kServiceKey) + " is missing.",
       "",
       {false, false, false},
       ""},
      {"service started on demand",
       [](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, kServiceKey, "Start", REG_DWORD, {3, 0, 0, 0});
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now",
       "Wrong: The \"Start\" value of HKEY_LOCAL_MACHINE\\" + std::string(kServiceKey) +
           " is 3, not 0 as the installation wrote it.  Click Install EWF Support again.",
       "",
       {false, false, false},
       ""},
      {"driver older than the minimum",
       [driver](TFakeOs& os) {
         os.Files().AddFile(driver, StandInDriver("old ewf.sys")).VersionResource =
             BuildVersionResource(FileVersionParts{2, 0, 926, 9999});
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now",
       "Wrong: " + driver +
           " cannot be used: it is version 2.0.926.9999, older than 2.0.927.0.  Click Install EWF Support again: it "
           "keeps this file aside and puts a whole copy in its place.",
       "",
       {false, false, false},
       ""},
      {"the protected volume on partition 2, where Windows runs",
       [&](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                                text(partition2));
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, volume, "ArcName", REG_SZ, text(partition2));
       },
       FilterStatus::ProtectedAfterStart,
       afterStart,
       okFirst,
       "",
       {false, false, false},
       ""},
      {"another partition protected than the one Windows runs from",
       [&](TFakeOs& os) { os.Registry().SetValue(HKEY_LOCAL_MACHINE, volume, "ArcName", REG_SZ, text(partition2)); },
       FilterStatus::NotProtected,
       "Drive C: is not protected now",
       "Wrong: The write filter protects \"" + partition2 +
           "\", but Windows runs from multi(0)disk(0)rdisk(0)partition(1) (drive C:).  Click Install EWF Support "
           "again.",
       "",
       {false, false, false},
       ""},
      {"which partition Windows runs from not known",
       [&](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control", "SystemBootDevice", REG_SZ,
                                text("no partition"));
       },
       FilterStatus::ProtectedAfterStart,
       afterStart,
       "Not known: Which partition Windows runs from could not be found out",
       "",
       {false, false, false},
       ""},
      {"the filter list unreadable",
       [](TFakeOs& os) { os.FailCallsContaining(", UpperFilters)", ERROR_ACCESS_DENIED); },
       FilterStatus::ProtectedAfterStart,
       afterStart,
       "Not known: Reading the \"UpperFilters\" value of HKEY_LOCAL_MACHINE\\" + std::string(kClassKey) +
           " failed.  Error 5",
       "",
       {false, false, false},
       ""},
      {"record unreadable",
       [](TFakeOs& os) { os.FailCallsContaining(", Installation)", ERROR_ACCESS_DENIED); },
       FilterStatus::ProtectedAfterStart,
       afterStart + "starts with Windows.  Until then, changes to it are kept.  Some checks could not be made: the "
                    "lines marked Not known say why.",
       "Not known: The record of the installation, the \"Installation\" value of HKEY_LOCAL_MACHINE\\SOFTWARE\\"
       "Stillvane, could not be read.  Error 5  Log on as an administrator to check it.",
       "",
       {false, false, false},
       ""},
      {"a record of another kind",
       [](TFakeOs& os) {
         os.Registry().SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Stillvane", "Installation", REG_DWORD, {1, 0, 0, 0});
       },
       FilterStatus::NotProtected,
       "Drive C: is not protected now",
       "Wrong: The record of the installation, the \"Installation\" value of HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane, "
       "could not be read.  Error 13  It is not of the kind Stillvane writes, so Remove EWF Support cannot use it.",
       "",
       {false, false, false},
       ""},
      {"manager missing",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         os.Files().Remove(kManager);
       },
       FilterStatus::Unknown,
       "Stillvane could not tell whether drive C: is protected now.  The ewf service is running, but its manager " +
           kManager + " is not there." + damaged,
       "Wrong: " + kManager + " is missing.  Click Install EWF Support again.",
       "ewfmgr C:",
       {false, false, false},
       ""},
      {"manager hung",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         RunTheWriteFilter(os, kWindowsFolder, "", false);
       },
       FilterStatus::Unknown,
       "Stillvane could not tell whether drive C: is protected now.  " + kManager +
           " did not finish within 10 seconds.",
       okFirst,
       "ewfmgr C:",
       {false, false, false},
       ""},
      {"manager exiting non-zero",
       [](TFakeOs& os) {
         Restart(os, SERVICE_RUNNING);
         os.Processes().SetProgram(kManager, EwfManagerReport("DISABLED"), true, 3);
       },
       FilterStatus::Unknown,
       "Stillvane could not tell whether drive C: is protected now.",
       okFirst,
       "ewfmgr C:   (exit code 3)\r\nProtected Volume Configuration",
       {false, false, false},
       ""},
  };
  const StatusIcon icons[] = {StatusIcon::Application, StatusIcon::Error,   StatusIcon::WindowsLogo,
                              StatusIcon::Question,    StatusIcon::Warning, StatusIcon::Information};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    SetUp();
    c.Arrange(Machine_->Os);
    Machine_->Os.ClearCalls();
    TWriteFilterStatus status = Status();
    const StatusView& view = status.Refresh();
    EXPECT_EQ(view.Status, c.Status);
    EXPECT_EQ(IconOf(view.Status), icons[static_cast<int>(c.Status)]);
    EXPECT_THAT(view.Sentence, StartsWith(c.Sentence));
    EXPECT_THAT(view.Checks, StartsWith(c.FirstLine));
    EXPECT_EQ(view.Damaged, c.FirstLine.rfind("Wrong:", 0) == 0);
    EXPECT_THAT(view.Report, StartsWith(c.Report));
    if (c.Report.empty()) {
      EXPECT_EQ(view.Report, "") << "the program's own words stay out of the report box";
      EXPECT_EQ(view.CommandsNote, "The manager's commands can be used once the write filter is at work.");
    }
    if (!c.Now.empty()) {
      EXPECT_THAT(view.Now, HasSubstr(c.Now));
    }
    EXPECT_EQ(std::vector<bool>(std::begin(view.Applies), std::end(view.Applies)), c.Applies);
    EXPECT_THAT(Writes(Machine_->Os), IsEmpty()) << "opening the window writes nothing";
    EXPECT_THAT(Machine_->Dialogs.Shown, IsEmpty());
    EXPECT_EQ(Machine_->Os.OpenKeyCount() + Machine_->Os.OpenFileHandleCount() + Machine_->Os.OpenProcessHandleCount() +
                  Machine_->Os.OpenEventLogCount(),
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
            "Drive C: is not protected: EWF support is not installed on this computer.  Click Install EWF Support "
            "in the main window to install it.");
  EXPECT_EQ(IconOf(view.Status), StatusIcon::Application);
  EXPECT_EQ(view.Checks, "");
  EXPECT_EQ(view.Now, "The service control manager knows no ewf service: the write filter is not at work.");
  EXPECT_THAT(status.ClipboardText("Write Filter Status"),
              AllOf(StartsWith("---------------------------\r\nWrite Filter Status\r\n---"),
                    HasSubstr(view.Sentence + "\r\n"), HasSubstr(view.CommandsNote + "\r\n")));
}

// Each command after its question, which says what is kept and what is
// lost; its exact command line, run hidden; what it wrote above the report
// read again; the mark that it waits for a restart; then the offer to
// restart.
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
      "Kept: when the computer next starts, every change made to drive C: since the computer last started, wanted "
      "or not, up to the restart, is written to the drive.  A restart before this command drops those changes: ";
  const std::vector<Case> cases = {
      {ManagerCommand::Enable, "DISABLED", "-enable", FilterStatus::ProtectedAfterStart,
       run + "-enable\".\r\rNothing is kept or lost now.  From the next start of the computer, the write filter "
             "protects drive C:: every change made there is then kept in memory only, and lost at each restart "
             "unless it is committed.  Until the restart, changes are kept as usual.\r\rDo you want to enable the "
             "write filter?"},
      {ManagerCommand::Commit, "ENABLED", "-commit", FilterStatus::Protected,
       run + "-commit\".\r\r" + kept +
           "restart first to keep none of them.  Lost: nothing.  The write filter goes on protecting the "
           "drive.\r\rDo you want to commit the changes?"},
      {ManagerCommand::CommitAndDisable, "ENABLED", "-commitanddisable", FilterStatus::Protected,
       run + "-commitanddisable\".\r\r" + kept +
           "to turn the filter off without keeping them, restart first, then click Commit and Disable, as "
           "Microsoft's procedure for an overlay in RAM says.  Then the write filter is turned off: from then on "
           "changes are kept as usual, and nothing protects the drive.\r\rDo you want to commit the changes and "
           "turn the write filter off?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Argument);
    SetUp();
    Restart(Machine_->Os, SERVICE_RUNNING);
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
    EXPECT_THAT(status.View().Sentence, Not(HasSubstr("did not carry it out"))) << "given since the start";
    EXPECT_TRUE(Machine_->Os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kThisStartKey));
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

// With a commit-and-disable pending, Commit says it replaces it.
TEST_F(WriteFilterStatusTest, ACommandThatReplacesAPendingOneSaysSo) {
  RunStandInManager(Machine_->Os, "ENABLED", "COMMIT_AND_DISABLE");
  TWriteFilterStatus status = Status();
  status.Refresh();
  EXPECT_FALSE(status.ConfirmCommand(ManagerCommand::Commit));
  ASSERT_EQ(Machine_->Dialogs.Messages.size(), 1u);
  EXPECT_THAT(Machine_->Dialogs.Messages[0].Text,
              StartsWith("Stillvane will run \"ewfmgr C: -commit\".  It replaces the command the manager has pending "
                         "for the next start, COMMIT_AND_DISABLE, which is then not carried out.\r\rKept: "));
}

// A manager that exits 0 without the command pending (having printed an
// error, or nothing, which is no failure): its words, and no restart.
TEST_F(WriteFilterStatusTest, NoRestartIsOfferedUnlessTheReportShowsTheCommandPending) {
  for (const std::string& printed : {std::string("Invalid volume\0!\r\n", 17), std::string()}) {
    SCOPED_TRACE(printed.empty() ? "nothing printed" : "an error printed");
    SetUp();
    Machine_->Os.Processes().SetService("ewf", SERVICE_RUNNING);
    Machine_->Os.Processes().SetProgram(kManager, [printed](const std::string& commandLine) {
      return TFakeProcesses::ProgramRun{commandLine.find(" -") != std::string::npos ? printed
                                                                                    : EwfManagerReport("DISABLED")};
    });
    TWriteFilterStatus status = Status();
    status.Refresh();
    status.RunCommand(ManagerCommand::Enable);
    status.FinishCommand();
    ASSERT_EQ(Machine_->Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Machine_->Dialogs.Messages[0].Text,
              "The command \"ewfmgr C: -enable\" ended with exit code 0, but the manager does not report it pending "
              "for the next start, so restarting would carry nothing out.\r\rThe manager wrote:\r" +
                  std::string(printed.empty() ? "(nothing)" : "Invalid volume\\x00!\r\n"));
    EXPECT_EQ(Machine_->Dialogs.Messages[0].Kind, MessageKind::Warning);
    EXPECT_THAT(Machine_->Os.CallsNamed("InitiateSystemShutdownExA"), IsEmpty());
  }
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
  enum Outcome { Restarted, PrivilegeRefused, ShutdownRefused };
  for (const Outcome outcome : {Restarted, PrivilegeRefused, ShutdownRefused}) {
    SCOPED_TRACE(outcome);
    SetUp();
    RunStandInManager(Machine_->Os, "ENABLED");
    Machine_->Os.SetShutdownPrivilegeHeld(outcome != PrivilegeRefused);
    if (outcome == ShutdownRefused) Machine_->Os.FailCallsContaining("InitiateSystemShutdownExA", ERROR_ACCESS_DENIED);
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
    if (outcome == Restarted) {
      EXPECT_THAT(restart, ElementsAre("AdjustTokenPrivileges(0, enable, &)",
                                       "InitiateSystemShutdownExA(NULL, NULL, 0, 0, 1, 0x800000FF)",
                                       "AdjustTokenPrivileges(0, disable, NULL)"));
      EXPECT_EQ(Machine_->Dialogs.Messages.size(), 1u) << "only the question";
    } else if (outcome == PrivilegeRefused) {
      EXPECT_THAT(restart, ElementsAre("AdjustTokenPrivileges(0, enable, &)"));
      ASSERT_EQ(Machine_->Dialogs.Messages.size(), 2u);
      EXPECT_EQ(Machine_->Dialogs.Messages[1].Text,
                "Windows did not let Stillvane restart the computer, because this account may not shut it down.  "
                "Error 1300\r\rAsk an administrator to restart it.");
    } else {
      ASSERT_EQ(Machine_->Dialogs.Messages.size(), 2u);
      EXPECT_EQ(Machine_->Dialogs.Messages[1].Text,
                "Windows did not restart the computer.  Error 5\r\rRestart it from the Start menu.");
    }
    EXPECT_FALSE(Machine_->Os.ShutdownPrivilegeEnabled());
    EXPECT_EQ(Machine_->Os.OpenProcessHandleCount(), 0);
  }
}

}  // namespace
}  // namespace fault
