// Running the write filter's manager, <Windows folder>\system32\ewfmgr.exe,
// the one way the program does it: hidden, what it writes read through a
// pipe, for at most 10 seconds, while this thread's windows are still drawn
// and the cursor says the program is busy. The state check before a task
// writes and the status window's commands both run it so.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "services/os.h"

inline constexpr char kManagerFile[] = "system32\\ewfmgr.exe";  // below the Windows folder
// The manager answers at once; this bounds how long a hung one is waited for.
inline constexpr DWORD kManagerTimeoutMilliseconds = 10000;

enum class ManagerOutcome {
  Ended,    // it ran and ended: its exit code and output are known
  Missing,  // there is no such file
  Failed,   // it could not be started, did not end in time, or could not be read
};

struct ManagerRun {
  ManagerOutcome Outcome = ManagerOutcome::Failed;
  DWORD ExitCode = 0;   // when it ended
  std::string Output;   // what it wrote, when it ended
  std::string Failure;  // otherwise: why, in the user's words
};

// Runs "<managerPath> <arguments>" and waits for it; a manager that does not
// end in time is ended. Leaves nothing open or running.
ManagerRun RunWriteFilterManager(TOs& os, const std::string& managerPath, const std::string& arguments);

// Waits until the object is signalled, or at most `milliseconds`, while
// this thread's windows are drawn: WAIT_OBJECT_0, WAIT_TIMEOUT or
// WAIT_FAILED. Clicks and keys that come meanwhile are dropped, so that
// nothing else starts; other messages wait in the queue.
[[nodiscard]] DWORD WaitDrawingWindows(TOs& os, HANDLE object, DWORD milliseconds);

// The values of a report's lines with this name ("State", "Boot Command"),
// in order: what follows the name on its line, spaces trimmed. The manager
// writes "  Name    VALUE"; nothing else of its layout is relied on.
std::vector<std::string> ReportValues(const std::string& report, std::string_view name);
