#include "services/write_filter_manager.h"

#include <algorithm>
#include <vector>

#include "services/ascii_text.h"
#include "services/concat.h"
#include "services/handles.h"
#include "services/step_failure.h"

namespace {

// Its report is a few hundred bytes; a manager writing more than the pipe
// holds would wait for a reader and be taken for hung.
constexpr DWORD kOutputLimit = 65536;
// Enough for every window to be drawn once; a window that never takes its
// paint message off the queue must not hold the wait up.
constexpr int kMessagesPerWake = 64;

struct MessageRange {
  UINT First, Last;
};
// What the user types or clicks, in the client area and on the frame.
constexpr MessageRange kInput[] = {
    {WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST}, {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
constexpr MessageRange kDrawing[] = {{WM_PAINT, WM_PAINT}, {WM_TIMER, WM_TIMER}};

void DrawWindows(TOs& os) {
  MSG message;
  for (const MessageRange& input : kInput) {
    for (int n = 0; n < kMessagesPerWake && os.PeekMessageA(&message, nullptr, input.First, input.Last, PM_REMOVE);)
      ++n;
  }
  for (const MessageRange& drawing : kDrawing) {
    for (int n = 0; n < kMessagesPerWake && os.PeekMessageA(&message, nullptr, drawing.First, drawing.Last, PM_REMOVE);
         ++n) {
      os.DispatchMessageA(&message);
    }
  }
}

// Why the manager's run failed: the sentence that names it, and the Windows error.
std::string Failed(const char* before, const std::string& managerPath, const char* after, DWORD error) {
  return WithErrorCode(Concat({before, managerPath, after}), error);
}

}  // namespace

DWORD WaitDrawingWindows(TOs& os, HANDLE object, DWORD milliseconds) {
  // Differences of tick counts stay right when the count wraps round.
  const DWORD started = os.GetTickCount();
  for (;;) {
    const DWORD waited = os.GetTickCount() - started;
    if (waited >= milliseconds) return WAIT_TIMEOUT;
    const DWORD woke = os.MsgWaitForMultipleObjects(1, &object, FALSE, milliseconds - waited, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) return woke;
    DrawWindows(os);
  }
}

ManagerRun RunWriteFilterManager(TOs& os, const std::string& managerPath, const std::string& arguments) {
  ManagerRun run;
  // Only the write end is for the manager, but inheriting the read end too
  // does no harm: nothing here waits for the pipe to close.
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!os.CreatePipe(&readEnd, &writeEnd, &inheritable, kOutputLimit)) {
    run.Failure = Failed("No pipe could be made to read what ", managerPath, " reports.", FailureCode(os));
    return run;
  }
  const UniqueKernelObject reader(os, readEnd);
  UniqueKernelObject writer(os, writeEnd);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  // CreateProcessA may write to the command line: the string's own characters, ended by its NUL.
  std::string commandLine = Concat({"\"", managerPath, "\" ", arguments});
  PROCESS_INFORMATION started = {};
  if (!os.CreateProcessA(managerPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &started)) {
    const DWORD error = FailureCode(os);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      run.Outcome = ManagerOutcome::Missing;
      run.Failure = Concat({managerPath, " is not there."});
    } else {
      run.Failure = Failed("", managerPath, " could not be started.", error);
    }
    return run;
  }
  const UniqueKernelObject process(os, started.hProcess);
  const UniqueKernelObject thread(os, started.hThread);
  writer.reset();

  const HCURSOR previousCursor = os.SetCursor(os.LoadCursorA(nullptr, IDC_WAIT));
  const DWORD waited = WaitDrawingWindows(os, process.get(), kManagerTimeoutMilliseconds);
  const DWORD waitError = waited == WAIT_FAILED ? FailureCode(os) : 0;
  os.SetCursor(previousCursor);
  if (waited == WAIT_TIMEOUT) {
    // Whether or not it can be ended, its answer is not known.
    (void)os.TerminateProcess(process.get(), 1);
    run.Failure =
        Concat({managerPath, " did not finish within ", DecimalText(kManagerTimeoutMilliseconds / 1000), " seconds."});
    return run;
  }
  if (waited != WAIT_OBJECT_0) {
    run.Failure = Failed("Waiting for ", managerPath, " failed.", waitError ? waitError : FailureCode(os));
    return run;
  }
  if (!os.GetExitCodeProcess(process.get(), &run.ExitCode)) {
    run.Failure = Failed("The exit code of ", managerPath, " could not be read.", FailureCode(os));
    return run;
  }

  // The manager has ended, so all it wrote is in the pipe: read just that,
  // never waiting on a pipe that something else might still hold open.
  // A pipe that is empty once its last writer has gone answers
  // ERROR_BROKEN_PIPE: the manager wrote nothing, which is no failure.
  DWORD available = 0;
  if (!os.PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr)) {
    const DWORD error = FailureCode(os);
    if (error != ERROR_BROKEN_PIPE) {
      run.Failure = Failed("What ", managerPath, " reported could not be read.", error);
      return run;
    }
  }
  std::string output(available, '\0');
  DWORD got = 0;
  while (got < available) {
    DWORD read = 0;
    if (!os.ReadFile(reader.get(), &output[got], available - got, &read, nullptr)) {
      run.Failure = Failed("What ", managerPath, " reported could not be read.", FailureCode(os));
      return run;
    }
    if (read == 0) break;
    got += read;
  }
  output.resize(got);
  run.Outcome = ManagerOutcome::Ended;
  run.Output = std::move(output);
  return run;
}

std::vector<std::string> ReportValues(const std::string& report, std::string_view name) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  std::vector<std::string> values;
  for (size_t start = 0; start < report.size();) {
    const size_t end = std::min(report.find('\n', start), report.size());
    // The name's words against the line's, one by one, wherever the spaces fall.
    size_t at = start, word = 0;
    bool named = false;
    for (;;) {
      while (word < name.size() && isSpace(name[word])) ++word;
      if (word == name.size()) break;
      while (at < end && isSpace(report[at])) ++at;
      for (named = true; named && word < name.size() && !isSpace(name[word]); ++at, ++word)
        named = at < end && AsciiUpper(report[at]) == AsciiUpper(name[word]);
      named = named && (at == end || isSpace(report[at]));
      if (!named) break;
    }
    if (named) {
      while (at < end && isSpace(report[at])) ++at;
      size_t last = end;
      while (last > at && isSpace(report[last - 1])) --last;
      values.push_back(report.substr(at, last - at));
    }
    start = end + 1;
  }
  return values;
}
