// Whether the write filter protects the volume before anything is written:
// the service control manager's answer, the manager's report, and every way
// of not finding out.
#include "services/write_filter_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "support/ewf_manager_reports.h"
#include "support/fake_os.h"
#include "support/recording_dialogs.h"
#include "tuning/disk_writes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kWindows = "C:\\WINDOWS\\";
const std::string kManager = "C:\\WINDOWS\\system32\\ewfmgr.exe";

std::string UnknownMessage(const std::string& drive, const std::string& why) {
  return "Stillvane could not tell whether the Enhanced Write Filter is protecting " + drive + " at the moment.\r\r" +
         why + "\r\rIf it is, every change made there will be lost when the computer restarts.  Do you want to go on?";
}

void ExpectNothingHeld(const TFakeOs& os) {
  EXPECT_EQ(os.OpenProcessHandleCount(), 0);
  EXPECT_EQ(os.Processes().RunningCount(), 0);
}

TEST(WriteFilterState, TheServiceAndTheManagersReportDecide) {
  struct Case {
    const char* What;
    std::function<void(TFakeOs&)> Arrange;
    std::string WindowsFolder;
    WriteFilterProtection Protection;
    std::string WhyUnknown;
    bool ManagerRun;
  };
  const std::string noReport = "The report of \"ewfmgr C:\" does not say whether the filter is enabled.";
  const std::vector<Case> cases = {
      {"no ewf service", [](TFakeOs&) {}, kWindows, WriteFilterProtection::Off, "", false},
      {"the service stopped",
       [](TFakeOs& os) {
         RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED"));
         os.Processes().SetService("ewf", SERVICE_STOPPED);
       },
       kWindows, WriteFilterProtection::Off, "", false},
      {"the overlay enabled", [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED")); },
       kWindows, WriteFilterProtection::On, "", true},
      {"the overlay disabled", [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("DISABLED")); },
       kWindows, WriteFilterProtection::Off, "", true},
      {"the service still starting",
       [](TFakeOs& os) {
         RunTheWriteFilter(os, kWindows, EwfManagerReport("enabled"));
         os.Processes().SetService("ewf", SERVICE_START_PENDING);
       },
       kWindows, WriteFilterProtection::On, "", true},
      {"Windows on drive D:", [](TFakeOs& os) { RunTheWriteFilter(os, "D:\\WINNT\\", EwfManagerReport("DISABLED")); },
       "d:\\WINNT\\", WriteFilterProtection::Off, "", true},
      {"no manager", [](TFakeOs& os) { os.Processes().SetService("ewf", SERVICE_RUNNING); }, kWindows,
       WriteFilterProtection::Unknown, "The ewf service is running, but its manager " + kManager + " is not there.",
       false},
      {"an error instead of a report",
       [](TFakeOs& os) {
         RunTheWriteFilter(os, kWindows, "Failed getting protected volume configuration with error 1.\r\n");
       },
       kWindows, WriteFilterProtection::Unknown, noReport, true},
      {"no output", [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, ""); }, kWindows, WriteFilterProtection::Unknown,
       noReport, true},
      {"a state of another name", [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("UNKNOWN")); },
       kWindows, WriteFilterProtection::Unknown, noReport, true},
      {"two volumes that disagree",
       [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("DISABLED") + EwfManagerReport("ENABLED")); },
       kWindows, WriteFilterProtection::Unknown, noReport, true},
      {"a report larger than the pipe holds",
       [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, std::string(70000, ' ') + EwfManagerReport("DISABLED")); },
       kWindows, WriteFilterProtection::Unknown, kManager + " did not finish within 10 seconds.", true},
      {"a manager that ends with exit code 3",
       [](TFakeOs& os) {
         os.Processes().SetService("ewf", SERVICE_RUNNING);
         os.Processes().SetProgram(kManager, EwfManagerReport("DISABLED"), true, 3);
       },
       kWindows, WriteFilterProtection::Unknown,
       "\"ewfmgr C:\" ended with exit code 3, so its report is not relied on.", true},
      {"a manager that never finishes",
       [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("DISABLED"), false); }, kWindows,
       WriteFilterProtection::Unknown, kManager + " did not finish within 10 seconds.", true},
      {"Windows on a share", [](TFakeOs& os) { RunTheWriteFilter(os, kWindows, EwfManagerReport("DISABLED")); },
       "\\\\server\\xp\\WINDOWS\\", WriteFilterProtection::Unknown,
       "The ewf service is running, and Windows does not run from a drive with a letter (\\\\server\\xp\\WINDOWS\\), "
       "so its manager cannot be asked about it.",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TFakeOs os;
    c.Arrange(os);
    const WriteFilterState state = ReadWriteFilterState(os, c.WindowsFolder);
    EXPECT_EQ(state.Protection, c.Protection);
    EXPECT_EQ(state.WhyUnknown, c.WhyUnknown);
    if (c.ManagerRun) {
      const std::string drive(1, static_cast<char>(std::toupper(c.WindowsFolder[0])));
      EXPECT_THAT(os.Processes().Started(),
                  ElementsAre("\"" + c.WindowsFolder + "system32\\ewfmgr.exe\" " + drive + ":"));
      EXPECT_THAT(os.CallsNamed("CreateProcessA"), ElementsAre(HasSubstr(", 1, 0x8000000, show 0)")))
          << "handles inherited, no console, hidden";
    } else {
      EXPECT_THAT(os.Processes().Started(), IsEmpty());
    }
    EXPECT_EQ(
        os.CallsNamed("TerminateProcess").size(),
        os.Processes().Started().size() == 1 && c.WhyUnknown.find("did not finish") != std::string::npos ? 1u : 0u);
    ExpectNothingHeld(os);
  }
}

// A hung manager is waited for 10 seconds in all, whatever comes in
// meanwhile (the tick count wrapping round included): the windows are drawn,
// clicks and keys are dropped so that nothing else starts, other messages
// wait, and the cursor says the program is busy until it is done.
TEST(WriteFilterState, AHungManagerIsWaitedForTenSecondsWhileTheWindowsAreDrawn) {
  TFakeOs os;
  RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED"), false);
  const DWORD start = os.Tick();
  for (const auto& [after, message] : {std::pair<DWORD, UINT>{1000, WM_PAINT},
                                       {2000, WM_LBUTTONDOWN},
                                       {3000, WM_CLOSE},
                                       {4500, WM_KEYDOWN},
                                       {6000, WM_TIMER},
                                       {12000, WM_PAINT}}) {
    os.QueueMessageAt(start + after, message);
  }
  const WriteFilterState state = ReadWriteFilterState(os, kWindows);
  EXPECT_EQ(state.WhyUnknown, kManager + " did not finish within 10 seconds.");
  EXPECT_EQ(os.Tick() - start, 10000u);
  EXPECT_THAT(os.CallsNamed("DispatchMessageA"), ElementsAre("DispatchMessageA(0xF)", "DispatchMessageA(0x113)"));
  EXPECT_THAT(os.QueuedMessages(), ElementsAre(static_cast<UINT>(WM_CLOSE)));
  EXPECT_THAT(os.CallsNamed("SetCursor"), ElementsAre("SetCursor(wait)", "SetCursor(NULL)"));
  EXPECT_EQ(os.Cursor(), nullptr);
  ExpectNothingHeld(os);
}

TEST(WriteFilterState, TheUserIsToldWhyNothingIsWrittenOrAskedWhenNobodyCanSay) {
  TFakeOs os;
  TRecordingDialogs dialogs;
  EXPECT_TRUE(ConfirmChangesWillLast(os, dialogs, kWindows));
  EXPECT_THAT(dialogs.Shown, IsEmpty());

  RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED"));
  EXPECT_FALSE(ConfirmChangesWillLast(os, dialogs, kWindows));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  EXPECT_EQ(dialogs.Messages[0].Text, OverlayOnMessage("C:"));
  EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Error);
  EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::Ok);

  RunTheWriteFilter(os, kWindows, "garbage");
  for (const DialogResult answer : {DialogResult::Yes, DialogResult::No, DialogResult::Cancel}) {
    dialogs.Messages.clear();
    dialogs.QueueAnswer(answer);
    EXPECT_EQ(ConfirmChangesWillLast(os, dialogs, kWindows), answer == DialogResult::Yes);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text,
              UnknownMessage("drive C:", "The report of \"ewfmgr C:\" does not say whether the filter is enabled."));
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::YesNo);
  }
  ExpectNothingHeld(os);
}

// The filter on, and each call failing in turn: nothing may be written
// unasked, the user learns the Windows error, and nothing stays open.
TEST(WriteFilterState, EveryFailingCallIsNamedAndNeverLetsAWriteThroughUnasked) {
  const auto protectedMachine = [] {
    auto os = std::make_unique<TFakeOs>();
    RunTheWriteFilter(*os, kWindows, EwfManagerReport("ENABLED"));
    return os;
  };
  size_t callCount = 0;
  {
    const auto os = protectedMachine();
    TRecordingDialogs dialogs;
    EXPECT_FALSE(ConfirmChangesWillLast(*os, dialogs, kWindows));
    callCount = os->Calls().size();
  }
  ASSERT_GE(callCount, 12u);
  for (size_t nth = 1; nth <= callCount; ++nth) {
    const auto os = protectedMachine();
    TRecordingDialogs dialogs;
    os->FailNthCall(static_cast<int>(nth), ERROR_ACCESS_DENIED);
    const bool goesOn = ConfirmChangesWillLast(*os, dialogs, kWindows);
    const std::string failed = os->Calls()[nth - 1];
    SCOPED_TRACE(failed);
    EXPECT_FALSE(goesOn);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    const bool released = failed.rfind("Close", 0) == 0;
    // The busy cursor is for show: without it the state is still read.
    const bool cursor = failed.rfind("SetCursor", 0) == 0 || failed.rfind("LoadCursorA", 0) == 0;
    if (released) {
      // The one close that failed is all that stays open.
      EXPECT_EQ(dialogs.Messages[0].Text, OverlayOnMessage("C:"));
      EXPECT_EQ(os->OpenProcessHandleCount(), 1);
    } else if (cursor) {
      EXPECT_EQ(dialogs.Messages[0].Text, OverlayOnMessage("C:"));
      ExpectNothingHeld(*os);
    } else {
      EXPECT_THAT(dialogs.Messages[0].Text, HasSubstr(".  Error 5\r\r"));
      EXPECT_EQ(dialogs.Messages[0].Buttons, MessageButtons::YesNo);
      ExpectNothingHeld(*os);
    }
  }
}

TEST(WriteFilterState, MinimizeDiskWritesWritesNothingWhileTheFilterWouldDiscardIt) {
  TFakeOs os;
  TRecordingDialogs dialogs;
  RunTheWriteFilter(os, kWindows, EwfManagerReport("ENABLED"));
  MinimizeDiskWrites(os, dialogs, kWindows);
  EXPECT_THAT(os.CallsNamed("RegCreateKeyExA"), IsEmpty());
  EXPECT_THAT(dialogs.Shown, ElementsAre("message: " + OverlayOnMessage("C:")));

  RunTheWriteFilter(os, kWindows, "");
  dialogs.QueueAnswer(DialogResult::Yes);
  MinimizeDiskWrites(os, dialogs, kWindows);
  EXPECT_EQ(os.CallsNamed("RegCreateKeyExA").size(), 4u) << "the user chose to go on";
}

}  // namespace
