// Drives the real Stillvane.exe from outside, the way a user would: starts it
// in a scratch folder with its own "windir" and "SystemDrive", finds windows
// and controls by their texts, clicks, types keys, reads message dialogs via
// Ctrl+C, measures geometry and saves screenshots.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Paths given to the tests by CTest as Unix paths, seen through Wine's Z: drive.
std::string DosPathFromEnvironment(const char* variable);
std::string ScratchFolder(const std::string& name);  // empty, fresh folder; ends without backslash
void CopyFileOrFail(const std::string& source, const std::string& target);
bool FileExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);

struct ControlInfo {
  HWND Hwnd;
  std::string ClassName;
  std::string Text;
};

class TAppDriver {
 public:
  // Copies the program named by the environment variable exeVariable into
  // folder as Stillvane.exe and starts it there with the given environment
  // overrides (name -> value) and without unsetVariables. "SystemDrive",
  // which Wine sets in every new process, is set from inside the program
  // before its own code runs (fault_dll/environment_dll.cpp).
  TAppDriver(const std::string& folder, const std::map<std::string, std::string>& environment,
             const std::vector<std::string>& unsetVariables = {}, const char* exeVariable = "STILLVANE_EXE");
  ~TAppDriver();  // closes the program if it still runs

  // Loads the test build's registry fault library into the program (see
  // fault_dll/): from then on the value named by STILLVANE_FAIL_VALUE in the
  // program's environment cannot be written, and a write of the one named by
  // STILLVANE_HANG_VALUE never returns.
  void LoadFaultLibrary();

  // The program's kernel handles, GDI objects and USER objects. Where the
  // system cannot say (Wine's GetProcessHandleCount and GetGuiResources
  // answer 0), they are counted: the handles by duplicating each possible
  // handle value, the GUI objects from inside (probe_dll/).
  struct ObjectCounts {
    DWORD Handles = 0;
    DWORD Gdi = 0;
    DWORD User = 0;
    bool Counted = false;  // by the fallback
  };
  ObjectCounts CountObjects();
  // Measures, inside the program, each control's text in its own font and
  // leaves the size on the control (see TextExtent in layout_check.h); the
  // number of controls measured.
  DWORD MeasureTexts();

  bool Running() const;
  // Ends the program at once, as End Process or a power cut would.
  void Kill();
  bool WaitForExit(DWORD milliseconds);
  DWORD ProcessId() const { return Process_.dwProcessId; }
  // Full paths of the modules loaded in the program, the exe included.
  std::vector<std::string> LoadedModules() const;

  // A visible top-level window of the program with this caption; waits for it.
  HWND WaitForWindow(const std::string& caption, DWORD milliseconds = 10000) const;
  HWND FindWindowByCaption(const std::string& caption) const;
  // A visible top-level window of the program other than `besides` that
  // appears within the time given; nullptr when none does.
  HWND WaitForOtherWindow(HWND besides, DWORD milliseconds) const;
  bool WaitForWindowGone(HWND window, DWORD milliseconds = 10000) const;
  std::vector<HWND> TopLevelWindows() const;

  static std::vector<ControlInfo> Controls(HWND window);
  static HWND Control(HWND window, const std::string& text);  // fails the test if missing
  static std::string Text(HWND window);

  static void Click(HWND button);  // posts BM_CLICK
  static void ClickLink(HWND label);
  // Puts the window in front and types keys with SendInput (virtual-key codes).
  static void PressKeys(HWND window, const std::vector<WORD>& keys, bool withCtrl = false);
  HWND FocusedControl() const;

  // Ctrl+C in a message dialog: the text block it puts on the clipboard.
  static std::string CopyDialogText(HWND dialog);
  // The text of a standard message box (the error report).
  static std::string MessageBoxText(HWND box);

  // Rectangle of a control in the client coordinates of the window or, for a
  // control in a frame, of that frame.
  static RECT RectIn(HWND control, HWND parentWindowOrFrame);
  static SIZE ClientSize(HWND window);
  static RECT WindowRect(HWND window);

  // How far the lightness of what the control shows strays from its
  // background's, 0 to 255: how well its text stands out.
  static int TextContrast(HWND control);
  // Saves the window, frame included, as build/screenshots/<name>.bmp.
  static void Screenshot(HWND window, const std::string& name);
  // Whether the window shows this system icon (IDI_...), as drawn on a dialog's
  // face, somewhere in the top left of its client area.
  static bool ShowsSystemIcon(HWND window, LPCSTR icon);
  // Whether the window shows the program's icon resource at 32 by 32, as drawn
  // on a dialog's face, with its top left at this point of its client area.
  bool ShowsProgramIcon(HWND window, const char* resource, POINT at) const;

 private:
  // Loads the library into the program; its module handle there.
  HMODULE LoadLibraryInProgram(const std::string& library);
  // Runs an export of a library loaded by LoadLibraryInProgram as a thread of
  // the program; the thread's exit code.
  DWORD RunInProgram(const std::string& library, HMODULE remoteModule, const char* function);
  // The same for an export of the probe library (probe_dll/), loaded first if need be.
  DWORD RunProbe(const char* function);

  std::string Exe_;  // the program's copy in its folder
  PROCESS_INFORMATION Process_{};
  HMODULE GuiObjectsModule_ = nullptr;
};

// Registry helpers for checking what the program wrote (HKEY_LOCAL_MACHINE).
struct RegistryValue {
  bool Present = false;
  DWORD Type = 0;
  std::vector<BYTE> Data;
};
RegistryValue ReadMachineValue(const std::string& keyPath, const std::string& valueName);
void DeleteMachineKeyTree(const std::string& keyPath);
void DeleteMachineValue(const std::string& keyPath, const std::string& valueName);
