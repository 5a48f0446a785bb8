// Start-up and click benchmark. Starts, in turn, Stillvane.exe (A), the same
// main window in raw Win32 with the same manifest and icons (R), the empty
// minimal window (B) and B with Stillvane's manifest (B'), and measures for
// each start the time from process creation to the main window being visible
// and idle, the working set and private bytes then, the highest private
// bytes seen, and the time from a click on a task button to the first dialog
// it brings up; and for Stillvane the time from the system menu command to
// Write Filter Status drawn and idle, against About's. Run by
// scripts/bench.sh:
//
//     bench_driver.exe STILLVANE_EXE RAW_EXE MINIMAL_EXE MINIMAL_THEMED_EXE [PAIRS]
//
// The programs are copied into a scratch folder first, so that Stillvane finds
// no driver files beside it and Install EWF Support opens the missing-files
// dialog.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const DWORD kTimeout = 20000;  // ms for any one step

double Now() {
  static LARGE_INTEGER frequency{};
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return 1000.0 * double(counter.QuadPart) / double(frequency.QuadPart);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bench: %s (error %lu)\n", what.c_str(), GetLastError());
  std::exit(1);
}

std::string Text(HWND window) {
  char buffer[256] = "";
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                      &length);
  return buffer;
}

struct WindowSearch {
  DWORD ProcessId;
  const char* Caption;
  HWND Found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->ProcessId || !IsWindowVisible(window)) return TRUE;
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);
  if (lstrcmpA(caption, search->Caption) != 0) return TRUE;
  search->Found = window;
  return FALSE;
}

BOOL CALLBACK MatchChild(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  if (Text(window) != search->Caption) return TRUE;
  search->Found = window;
  return FALSE;
}

HWND FindTopLevel(DWORD processId, const char* caption) {
  WindowSearch search{processId, caption, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND FindControl(HWND window, const char* caption) {
  WindowSearch search{0, caption, nullptr};
  EnumChildWindows(window, MatchChild, reinterpret_cast<LPARAM>(&search));
  if (!search.Found) Fail(std::string("no control \"") + caption + "\"");
  return search.Found;
}

// Polls until the process shows a window with this caption and its thread
// has answered a message, that is: the window is up and the program idle.
HWND WaitUntilShownAndIdle(DWORD processId, const char* caption) {
  const double start = Now();
  HWND window = nullptr;
  while (!(window = FindTopLevel(processId, caption))) {
    if (Now() - start > kTimeout) Fail(std::string("no window \"") + caption + "\"");
    Sleep(1);
  }
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeout, &result);
  return window;
}

void WaitUntilGone(HWND window) {
  const double start = Now();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (Now() - start > kTimeout) Fail("a dialog did not close");
    Sleep(1);
  }
}

struct Memory {
  double PeakWorkingSet;  // KiB
  double PeakPrivate;     // KiB
};

// Windows gives the peak of the commit charge (private bytes) as
// PeakPagefileUsage. Wine gives there the anonymous resident memory of the
// process now (the same as PagefileUsage; PrivateUsage stays 0), so the
// driver keeps the highest of its samples. The peak working set is a real
// peak on both.
Memory MemoryOf(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
    Fail("GetProcessMemoryInfo");
  }
  return Memory{counters.PeakWorkingSetSize / 1024.0, counters.PeakPagefileUsage / 1024.0};
}

class TProgram {
 public:
  TProgram(const std::string& commandLine, const char* caption) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    const double start = Now();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &Process_)) {
      Fail("cannot start " + commandLine);
    }
    if (WaitForInputIdle(Process_.hProcess, kTimeout) != 0) Fail("no input idle: " + commandLine);
    Window_ = WaitUntilShownAndIdle(Process_.dwProcessId, caption);
    StartMs_ = Now() - start;
  }
  ~TProgram() {
    PostMessageA(Window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(Process_.hProcess, kTimeout) != WAIT_OBJECT_0) TerminateProcess(Process_.hProcess, 1);
    CloseHandle(Process_.hThread);
    CloseHandle(Process_.hProcess);
  }

  double StartMs() const { return StartMs_; }
  Memory MemoryNow() const { return MemoryOf(Process_.hProcess); }

  // Clicks the button and waits for the dialog it opens; presses the
  // dialog's answer button and waits until it is gone. Returns the time from
  // the click to the dialog being shown and idle.
  double ClickToDialog(const char* button, const char* dialogCaption, const char* answer, RECT* dialogRect = nullptr) {
    return ToDialog(FindControl(Window_, button), BM_CLICK, 0, dialogCaption, answer, dialogRect);
  }
  // The same for a command of the main window's system menu.
  double MenuCommandToDialog(UINT command, const char* dialogCaption, const char* answer) {
    return ToDialog(Window_, WM_SYSCOMMAND, command, dialogCaption, answer, nullptr);
  }

 private:
  double ToDialog(HWND target, UINT message, WPARAM wParam, const char* dialogCaption, const char* answer,
                  RECT* dialogRect) {
    const double start = Now();
    PostMessageA(target, message, wParam, 0);
    HWND dialog = WaitUntilShownAndIdle(Process_.dwProcessId, dialogCaption);
    const double elapsed = Now() - start;
    if (dialogRect) GetWindowRect(dialog, dialogRect);
    PostMessageA(FindControl(dialog, answer), BM_CLICK, 0, 0);
    WaitUntilGone(dialog);
    // Back at the main window's own message loop.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(Window_, WM_NULL, 0, 0, SMTO_NORMAL, kTimeout, &result);
    return elapsed;
  }

  PROCESS_INFORMATION Process_{};
  HWND Window_ = nullptr;
  double StartMs_ = 0;
};

struct Sample {
  double StartMs;
  Memory Memory;       // once the main window is idle
  double PeakPrivate;  // the highest of the samples taken (see MemoryOf)
  double ClickMs[3];   // A: Install, Minimize Disk Writes, Enable HORM; R, B: one button
  double AboutMs;      // A: About, then Write Filter Status from the system menu, each to its window drawn
  double StatusMs;
};

// The main window's system menu command that opens Write Filter Status.
constexpr UINT kStatusCommand = 0x0110;

const char* const kStillvaneButtons[3] = {"Install EWF Support", "Minimize Disk Writes", "Enable HORM"};

Sample RunStillvane(const std::string& exe, RECT* informationRect = nullptr) {
  TProgram program("\"" + exe + "\"", "Stillvane");
  Sample sample{};
  sample.StartMs = program.StartMs();
  sample.Memory = program.MemoryNow();
  sample.ClickMs[0] = program.ClickToDialog(kStillvaneButtons[0], "Driver files not found", "OK");
  sample.ClickMs[1] = program.ClickToDialog(kStillvaneButtons[1], "Information", "OK", informationRect);
  sample.ClickMs[2] = program.ClickToDialog(kStillvaneButtons[2], "Confirm", "&No");
  sample.AboutMs = program.ClickToDialog("About", "About", "OK");
  sample.StatusMs = program.MenuCommandToDialog(kStatusCommand, "Write Filter Status", "Close");
  sample.PeakPrivate = std::max(sample.Memory.PeakPrivate, program.MemoryNow().PeakPrivate);
  return sample;
}

// A yardstick: its window's caption, and the button that shows its message
// dialog, of the size of Stillvane's Information dialog.
struct Yardstick {
  std::string Exe;
  const char* Caption;
  const char* Button;
};

Sample RunYardstick(const Yardstick& yardstick, const RECT& dialogRect) {
  char size[64];
  std::snprintf(size, sizeof size, " %ld %ld", dialogRect.right - dialogRect.left, dialogRect.bottom - dialogRect.top);
  TProgram program("\"" + yardstick.Exe + "\"" + size, yardstick.Caption);
  Sample sample{};
  sample.StartMs = program.StartMs();
  sample.Memory = program.MemoryNow();
  sample.ClickMs[0] = program.ClickToDialog(yardstick.Button, "Information", "OK");
  sample.PeakPrivate = std::max(sample.Memory.PeakPrivate, program.MemoryNow().PeakPrivate);
  return sample;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// target 0: none.
void PrintRatios(const char* what, const std::vector<double>& ratios, double target) {
  const double median = Median(ratios);
  std::printf("  %-42s median %.3f  min %.3f  max %.3f", what, median, *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  if (target > 0) std::printf("   target <= %.2f: %s", target, median <= target ? "met" : "MISSED");
  std::printf("\n");
}

long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) Fail("cannot read " + path);
  return long(data.nFileSizeLow);
}

// A fresh folder of the scratch area with a copy of the program in it.
std::string CopyIntoScratch(const std::string& source, const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "stillvane-bench";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += std::string("\\") + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string target = folder + "\\" + name + ".exe";
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) Fail("cannot copy " + source);
  return target;
}

// Each figure of A over the same figure of a yardstick, pair by pair.
struct Ratios {
  std::vector<double> Start, Private, PeakPrivate, WorkingSet, Click[3];
  void Add(const Sample& a, const Sample& y) {
    Start.push_back(a.StartMs / y.StartMs);
    Private.push_back(a.Memory.PeakPrivate / y.Memory.PeakPrivate);
    PeakPrivate.push_back(a.PeakPrivate / y.PeakPrivate);
    WorkingSet.push_back(a.Memory.PeakWorkingSet / y.Memory.PeakWorkingSet);
    for (int i = 0; i < 3; ++i) Click[i].push_back(a.ClickMs[i] / y.ClickMs[0]);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: bench_driver STILLVANE_EXE RAW_EXE MINIMAL_EXE MINIMAL_THEMED_EXE [PAIRS]\n");
    return 2;
  }
  const int pairs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 20;
  const std::string a = CopyIntoScratch(argv[1], "Stillvane");
  const Yardstick r{CopyIntoScratch(argv[2], "raw_main_window"), "Raw window", kStillvaneButtons[0]};
  const Yardstick b{CopyIntoScratch(argv[3], "minimal_window"), "Minimal window", "Show message"};
  const Yardstick t{CopyIntoScratch(argv[4], "minimal_window_themed"), "Minimal window", "Show message"};
  std::printf("A  = Stillvane.exe              %6ld bytes (stripped)\n", FileSize(a));
  std::printf(
      "R  = raw_main_window.exe        %6ld bytes (stripped): A's main window in raw Win32, A's manifest, icons\n",
      FileSize(r.Exe));
  std::printf("B  = minimal_window.exe         %6ld bytes (stripped): an empty window and one button\n",
              FileSize(b.Exe));
  std::printf("B' = minimal_window_themed.exe  %6ld bytes (stripped): B with A's manifest\n\n", FileSize(t.Exe));

  // One unmeasured round each, so that all meet warm caches; it also gives
  // the size of Stillvane's Information dialog, which the yardsticks' copies.
  RECT informationRect{};
  RunStillvane(a, &informationRect);
  for (const Yardstick* yardstick : {&r, &b, &t}) RunYardstick(*yardstick, informationRect);

  Ratios againstR, againstB, againstT;
  std::vector<double> startA, startR, startB, startT, privateA, privateR, clickA[3], clickR, clickB, aboutA, statusA,
      statusRatio;
  std::printf("times in ms, memory in KiB; private bytes with the main window up and idle\n");
  std::printf(
      "pair  start A     R     B    B'  A/R  | private A     R     B    B'  A/R  |"
      " click install minimize  HORM | R     B\n");
  for (int pair = 1; pair <= pairs; ++pair) {
    // A and R take turns to go first, so that neither always meets what the
    // other left behind.
    Sample sa, sr;
    if (pair % 2) {
      sa = RunStillvane(a);
      sr = RunYardstick(r, informationRect);
    } else {
      sr = RunYardstick(r, informationRect);
      sa = RunStillvane(a);
    }
    const Sample sb = RunYardstick(b, informationRect);
    const Sample st = RunYardstick(t, informationRect);
    againstR.Add(sa, sr);
    againstB.Add(sa, sb);
    againstT.Add(sa, st);
    startA.push_back(sa.StartMs);
    startR.push_back(sr.StartMs);
    startB.push_back(sb.StartMs);
    startT.push_back(st.StartMs);
    privateA.push_back(sa.Memory.PeakPrivate);
    privateR.push_back(sr.Memory.PeakPrivate);
    for (int i = 0; i < 3; ++i) clickA[i].push_back(sa.ClickMs[i]);
    clickR.push_back(sr.ClickMs[0]);
    clickB.push_back(sb.ClickMs[0]);
    aboutA.push_back(sa.AboutMs);
    statusA.push_back(sa.StatusMs);
    statusRatio.push_back(sa.StatusMs / sa.AboutMs);
    std::printf(
        "%4d  %7.1f %5.1f %5.1f %5.1f %5.2f | %9.0f %5.0f %5.0f %5.0f %5.2f | %13.1f %8.1f %5.1f |"
        " %4.1f %5.1f\n",
        pair, sa.StartMs, sr.StartMs, sb.StartMs, st.StartMs, againstR.Start.back(), sa.Memory.PeakPrivate,
        sr.Memory.PeakPrivate, sb.Memory.PeakPrivate, st.Memory.PeakPrivate, againstR.Private.back(), sa.ClickMs[0],
        sa.ClickMs[1], sa.ClickMs[2], sr.ClickMs[0], sb.ClickMs[0]);
  }

  std::printf(
      "\nmedians over %d pairs: start-up A %.1f ms, R %.1f ms, B %.1f ms, B' %.1f ms;\nprivate bytes A %.0f KiB, R "
      "%.0f KiB; click to first dialog A %.1f / %.1f / %.1f ms (install / "
      "minimize / HORM), R %.1f ms, B %.1f ms\n",
      pairs, Median(startA), Median(startR), Median(startB), Median(startT), Median(privateA), Median(privateR),
      Median(clickA[0]), Median(clickA[1]), Median(clickA[2]), Median(clickR), Median(clickB));
  std::printf("A/R, the same window in raw Win32, pair by pair:\n");
  PrintRatios("start-up time", againstR.Start, 1.10);
  PrintRatios("private bytes at start-up", againstR.Private, 1.15);
  PrintRatios("peak working set at start-up", againstR.WorkingSet, 0);
  PrintRatios("click Install EWF Support", againstR.Click[0], 1.2);
  PrintRatios("click Minimize Disk Writes", againstR.Click[1], 1.2);
  PrintRatios("click Enable HORM", againstR.Click[2], 1.2);
  std::printf("A/B, the empty window, pair by pair:\n");
  PrintRatios("start-up time", againstB.Start, 1.15);
  PrintRatios("peak private bytes (A: after its dialogs)", againstB.PeakPrivate, 1.25);
  PrintRatios("click Install EWF Support", againstB.Click[0], 1.2);
  PrintRatios("click Minimize Disk Writes", againstB.Click[1], 1.2);
  PrintRatios("click Enable HORM", againstB.Click[2], 1.2);
  std::printf("A/B', the empty window themed, pair by pair:\n");
  PrintRatios("start-up time", againstT.Start, 0);
  PrintRatios("private bytes at start-up", againstT.Private, 0);
  std::printf("A, its own windows (medians: About %.1f ms, Write Filter Status %.1f ms), pair by pair:\n",
              Median(aboutA), Median(statusA));
  PrintRatios("Write Filter Status / About", statusRatio, 0);
  std::printf("  %-42s %ld bytes  (%.1f KiB)   target <= 200 KiB: %s\n", "Stillvane.exe size", FileSize(a),
              FileSize(a) / 1024.0, FileSize(a) <= 200 * 1024 ? "met" : "MISSED");
  return 0;
}
