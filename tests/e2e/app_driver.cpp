#include "e2e/app_driver.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The parent's environment with some variables replaced or removed.
std::string EnvironmentBlock(const std::map<std::string, std::string>& overrides,
                             const std::vector<std::string>& unset) {
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry; entry += strlen(entry) + 1) {
    std::string text(entry);
    size_t equals = text.find('=', 1);
    std::string name = text.substr(0, equals);
    bool dropped = false;
    for (const auto& item : overrides) dropped |= SameTextIgnoringCase(name, item.first);
    for (const auto& item : unset) dropped |= SameTextIgnoringCase(name, item);
    if (!dropped) block += text + '\0';
  }
  FreeEnvironmentStringsA(strings);
  for (const auto& item : overrides) block += item.first + "=" + item.second + '\0';
  block += '\0';
  return block;
}

void Pump(DWORD milliseconds) {
  Sleep(milliseconds);
}

struct WindowSearch {
  DWORD ProcessId;
  std::vector<HWND> Found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->ProcessId && IsWindowVisible(window)) search->Found.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectControl(HWND child, LPARAM parameter) {
  char className[64] = "";
  GetClassNameA(child, className, sizeof className);
  reinterpret_cast<std::vector<ControlInfo>*>(parameter)->push_back({child, className, TAppDriver::Text(child)});
  return TRUE;
}

}  // namespace

std::string DosPathFromEnvironment(const char* variable) {
  const char* value = getenv(variable);
  if (!value || !*value) {
    ADD_FAILURE() << variable << " is not set";
    return std::string();
  }
  std::string path(value);
  if (path[0] != '/') return path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

std::string ScratchFolder(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "stillvane-e2e\\" + name;
  std::replace(folder.begin(), folder.end(), '/', '-');  // of parameterised test names
  std::string command = "cmd /c rd /s /q \"" + folder + "\" 2>nul";
  system(command.c_str());
  CreateDirectoryA((std::string(temp) + "stillvane-e2e").c_str(), nullptr);
  EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
  return folder;
}

void CopyFileOrFail(const std::string& source, const std::string& target) {
  ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE))
      << source << " -> " << target << " error " << GetLastError();
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TAppDriver::TAppDriver(const std::string& folder, const std::map<std::string, std::string>& environment,
                       const std::vector<std::string>& unsetVariables, const char* exeVariable) {
  Exe_ = folder + "\\Stillvane.exe";
  const std::string& exe = Exe_;
  CopyFileOrFail(DosPathFromEnvironment(exeVariable), exe);
  // Wine sets SystemDrive=C: in every new process whatever the block says:
  // the environment library sets the wanted value inside the program instead.
  std::map<std::string, std::string> overrides;
  bool systemDriveInside = false;
  for (const auto& [name, value] : environment) {
    const bool systemDrive = SameTextIgnoringCase(name, "SystemDrive");
    overrides[systemDrive ? "STILLVANE_SYSTEMDRIVE" : name] = value;
    systemDriveInside |= systemDrive;
  }
  for (const std::string& name : unsetVariables) {
    if (!SameTextIgnoringCase(name, "SystemDrive")) continue;
    overrides["STILLVANE_SYSTEMDRIVE"] = "<unset>";
    systemDriveInside = true;
  }
  std::string block = EnvironmentBlock(overrides, unsetVariables);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + exe + "\"";
  BOOL started =
      CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, systemDriveInside ? CREATE_SUSPENDED : 0,
                     &block[0], folder.c_str(), &startup, &Process_);
  EXPECT_TRUE(started) << "cannot start " << exe << ": " << GetLastError();
  if (!started) return;
  if (systemDriveInside) {
    EXPECT_NE(LoadLibraryInProgram(DosPathFromEnvironment("STILLVANE_ENVIRONMENT_DLL")), nullptr)
        << "SystemDrive could not be set inside the program";
    ResumeThread(Process_.hThread);
  }
  WaitForInputIdle(Process_.hProcess, 10000);
}

TAppDriver::~TAppDriver() {
  if (!Process_.hProcess) return;
  if (Running()) {
    for (HWND window : TopLevelWindows()) PostMessageA(window, WM_CLOSE, 0, 0);
    if (!WaitForExit(3000)) TerminateProcess(Process_.hProcess, 1);
  }
  CloseHandle(Process_.hThread);
  CloseHandle(Process_.hProcess);
}

void TAppDriver::Kill() {
  TerminateProcess(Process_.hProcess, 1);
  WaitForExit(10000);
}

HMODULE TAppDriver::LoadLibraryInProgram(const std::string& library) {
  void* remote = VirtualAllocEx(Process_.hProcess, nullptr, library.size() + 1, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) return nullptr;
  HMODULE loaded = nullptr;
  if (WriteProcessMemory(Process_.hProcess, remote, library.c_str(), library.size() + 1, nullptr)) {
    // kernel32 lies at the same address in every process of the prefix.
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    if (HANDLE thread = CreateRemoteThread(Process_.hProcess, nullptr, 0, loadLibrary, remote, 0, nullptr)) {
      WaitForSingleObject(thread, 10000);
      DWORD module = 0;
      GetExitCodeThread(thread, &module);
      loaded = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(module));
      CloseHandle(thread);
    }
  }
  VirtualFreeEx(Process_.hProcess, remote, 0, MEM_RELEASE);
  return loaded;
}

DWORD TAppDriver::RunInProgram(const std::string& library, HMODULE remoteModule, const char* function) {
  // The export lies at the same offset from the module's start in both processes.
  HMODULE local = LoadLibraryA(library.c_str());
  if (!local) {
    ADD_FAILURE() << "cannot load " << library;
    return 0;
  }
  const FARPROC exported = GetProcAddress(local, function);
  if (!exported) {
    ADD_FAILURE() << library << " has no export " << function;
    FreeLibrary(local);
    return 0;
  }
  const auto offset =
      reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(exported)) - reinterpret_cast<ULONG_PTR>(local);
  auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<ULONG_PTR>(remoteModule) + offset);
  DWORD result = 0;
  if (HANDLE thread = CreateRemoteThread(Process_.hProcess, nullptr, 0, start, nullptr, 0, nullptr)) {
    EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0) << function;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
  } else {
    ADD_FAILURE() << "cannot run " << function << " in the program: " << GetLastError();
  }
  FreeLibrary(local);
  return result;
}

void TAppDriver::LoadFaultLibrary() {
  ASSERT_NE(LoadLibraryInProgram(DosPathFromEnvironment("STILLVANE_FAULT_DLL")), nullptr)
      << "the fault library did not load into the program";
}

TAppDriver::ObjectCounts TAppDriver::CountObjects() {
  ObjectCounts counts;
  GetProcessHandleCount(Process_.hProcess, &counts.Handles);
  counts.Gdi = GetGuiResources(Process_.hProcess, GR_GDIOBJECTS);
  counts.User = GetGuiResources(Process_.hProcess, GR_USEROBJECTS);
  if (counts.Handles && counts.Gdi && counts.User) return counts;

  // A handle value is in use when it can be duplicated; Wine hands them out
  // from 4 upwards in steps of 4.
  counts = ObjectCounts{};
  counts.Counted = true;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    HANDLE copy = nullptr;
    if (DuplicateHandle(Process_.hProcess, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      ++counts.Handles;
      CloseHandle(copy);
    }
  }
  counts.Gdi = RunProbe("CountGdiObjects");
  counts.User = RunProbe("CountUserObjects");
  return counts;
}

DWORD TAppDriver::RunProbe(const char* function) {
  const std::string library = DosPathFromEnvironment("STILLVANE_GUI_OBJECTS_DLL");
  if (!GuiObjectsModule_) GuiObjectsModule_ = LoadLibraryInProgram(library);
  if (!GuiObjectsModule_) {
    ADD_FAILURE() << "cannot load " << library << " into the program";
    return 0;
  }
  return RunInProgram(library, GuiObjectsModule_, function);
}

DWORD TAppDriver::MeasureTexts() {
  return RunProbe("MeasureTexts");
}

bool TAppDriver::Running() const {
  return Process_.hProcess && WaitForSingleObject(Process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::vector<std::string> TAppDriver::LoadedModules() const {
  std::vector<std::string> modules;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Process_.dwProcessId);
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
    modules.push_back(module.szExePath);
  }
  CloseHandle(snapshot);
  return modules;
}

bool TAppDriver::WaitForExit(DWORD milliseconds) {
  return WaitForSingleObject(Process_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

std::vector<HWND> TAppDriver::TopLevelWindows() const {
  WindowSearch search{Process_.dwProcessId, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND TAppDriver::FindWindowByCaption(const std::string& caption) const {
  for (HWND window : TopLevelWindows())
    if (Text(window) == caption) return window;
  return nullptr;
}

HWND TAppDriver::WaitForWindow(const std::string& caption, DWORD milliseconds) const {
  for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
    if (HWND window = FindWindowByCaption(caption)) {
      Pump(150);  // let it finish drawing
      return window;
    }
    Pump(50);
  }
  ADD_FAILURE() << "no window captioned \"" << caption << "\" appeared";
  return nullptr;
}

HWND TAppDriver::WaitForOtherWindow(HWND besides, DWORD milliseconds) const {
  for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
    for (HWND window : TopLevelWindows())
      if (window != besides) return window;
    Pump(50);
  }
  return nullptr;
}

bool TAppDriver::WaitForWindowGone(HWND window, DWORD milliseconds) const {
  for (DWORD waited = 0; waited <= milliseconds; waited += 50) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Pump(50);
  }
  return false;
}

std::vector<ControlInfo> TAppDriver::Controls(HWND window) {
  std::vector<ControlInfo> controls;
  EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

HWND TAppDriver::Control(HWND window, const std::string& text) {
  for (const ControlInfo& control : Controls(window))
    if (control.Text == text) return control.Hwnd;
  ADD_FAILURE() << "no control \"" << text << "\" in window \"" << Text(window) << "\"";
  return nullptr;
}

std::string TAppDriver::Text(HWND window) {
  char buffer[4096] = "";
  DWORD_PTR length = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000,
                      &length);
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

void TAppDriver::Click(HWND button) {
  ASSERT_NE(button, nullptr);
  PostMessageA(button, BM_CLICK, 0, 0);
}

void TAppDriver::ClickLink(HWND label) {
  ASSERT_NE(label, nullptr);
  PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void TAppDriver::PressKeys(HWND window, const std::vector<WORD>& keys, bool withCtrl) {
  SetForegroundWindow(window);
  Pump(150);
  std::vector<INPUT> inputs;
  auto key = [&](WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (withCtrl) key(VK_CONTROL, false);
  for (WORD code : keys) {
    key(code, false);
    key(code, true);
  }
  if (withCtrl) key(VK_CONTROL, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Pump(300);
}

HWND TAppDriver::FocusedControl() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(Process_.dwThreadId, &info);
  return info.hwndFocus;
}

std::string TAppDriver::CopyDialogText(HWND dialog) {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  PressKeys(dialog, {'C'}, true);
  std::string text;
  for (int attempt = 0; attempt < 20 && text.empty(); ++attempt) {
    if (OpenClipboard(nullptr)) {
      if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
          text = chars;
          GlobalUnlock(data);
        }
      }
      CloseClipboard();
    }
    if (text.empty()) Pump(100);
  }
  return text;
}

std::string TAppDriver::MessageBoxText(HWND box) {
  // A message too large for the screen is shown in a scrolling box instead.
  for (const char* className : {"Static", "Edit"}) {
    for (const ControlInfo& control : Controls(box))
      if (lstrcmpiA(control.ClassName.c_str(), className) == 0 && !control.Text.empty()) return control.Text;
  }
  return std::string();
}

RECT TAppDriver::RectIn(HWND control, HWND parent) {
  // Frames have no border, so a frame's client area starts at its corner.
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE TAppDriver::ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

RECT TAppDriver::WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

namespace {

// 24-bit pixels, bottom-up rows padded to four bytes, as in a .bmp file.
struct Pixels {
  BITMAPINFOHEADER Header{};
  std::vector<BYTE> Bits;

  Pixels(int width, int height) : Bits(Stride(width) * height) {
    Header.biSize = sizeof Header;
    Header.biWidth = width;
    Header.biHeight = height;
    Header.biPlanes = 1;
    Header.biBitCount = 24;
    Header.biCompression = BI_RGB;
  }
  static size_t Stride(int width) { return (size_t(width) * 3 + 3) / 4 * 4; }
  // Row y from the top.
  const BYTE* Row(int y) const { return Bits.data() + Stride(Header.biWidth) * (Header.biHeight - 1 - y); }

  // Lets draw into the pixels; they are copied back when done.
  template <typename Draw>
  void DrawWith(Draw draw) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* dib = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&Header), DIB_RGB_COLORS, &dib, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    draw(memory, screen);
    GdiFlush();
    std::copy_n(static_cast<const BYTE*>(dib), Bits.size(), Bits.begin());
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }
};

Pixels CaptureScreen(const RECT& rect) {
  Pixels pixels(rect.right - rect.left, rect.bottom - rect.top);
  pixels.DrawWith([&](HDC memory, HDC screen) {
    BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left, rect.top, SRCCOPY);
  });
  return pixels;
}

}  // namespace

int TAppDriver::TextContrast(HWND control) {
  const RECT rect = WindowRect(control);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return 0;
  const Pixels shown = CaptureScreen(rect);
  auto luminance = [](const BYTE* bgr) { return (114 * bgr[0] + 587 * bgr[1] + 299 * bgr[2]) / 1000; };
  // Text starts below the top row: its first pixel is background.
  const int background = luminance(shown.Row(0));
  int strongest = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      strongest = std::max(strongest, std::abs(luminance(shown.Row(y) + x * 3) - background));
  }
  return strongest;
}

void TAppDriver::Screenshot(HWND window, const std::string& name) {
  const char* folder = getenv("STILLVANE_SCREENSHOTS");
  if (!folder || !window) return;
  std::string directory = DosPathFromEnvironment("STILLVANE_SCREENSHOTS") + "\\screenshots";
  CreateDirectoryA(directory.c_str(), nullptr);
  RECT rect = WindowRect(window);
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  const Pixels pixels = CaptureScreen(rect);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof pixels.Header;
  file.bfSize = DWORD(file.bfOffBits + pixels.Bits.size());
  // Runs at other display settings name their pictures after the setting.
  const char* set = getenv("STILLVANE_SCREENSHOT_SET");
  const std::string picture = (set && *set ? std::string(set) + "_" : std::string()) + name;
  std::ofstream out(directory + "\\" + picture + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&pixels.Header), sizeof pixels.Header);
  out.write(reinterpret_cast<const char*>(pixels.Bits.data()), std::streamsize(pixels.Bits.size()));
}

namespace {

// Whether the icon, drawn at that size on a dialog's face, is on the screen
// with its top left somewhere in the given part of the window's client area.
bool ShowsIcon(HWND window, HICON icon, int size, const RECT& searched) {
  if (!icon) return false;
  Pixels expected(size, size);
  expected.DrawWith([&](HDC memory, HDC) {
    RECT all{0, 0, size, size};
    FillRect(memory, &all, GetSysColorBrush(COLOR_BTNFACE));
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  });
  POINT origin{searched.left, searched.top};
  ClientToScreen(window, &origin);
  const int width = searched.right - searched.left + size - 1, height = searched.bottom - searched.top + size - 1;
  const Pixels shown = CaptureScreen(RECT{origin.x, origin.y, origin.x + width, origin.y + height});
  const size_t rowBytes = size_t(size) * 3;
  for (int top = 0; top + size <= height; ++top) {
    for (int left = 0; left + size <= width; ++left) {
      bool same = true;
      for (int y = 0; same && y < size; ++y)
        same = std::equal(expected.Row(y), expected.Row(y) + rowBytes, shown.Row(top + y) + left * 3);
      if (same) return true;
    }
  }
  return false;
}

}  // namespace

bool TAppDriver::ShowsSystemIcon(HWND window, LPCSTR icon) {
  const int size = GetSystemMetrics(SM_CXICON);
  return ShowsIcon(window, LoadIconA(nullptr, icon), size, RECT{0, 0, 2 * size, 2 * size});
}

bool TAppDriver::ShowsProgramIcon(HWND window, const char* resource, POINT at) const {
  HMODULE program = LoadLibraryExA(Exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!program) return false;
  HICON icon = static_cast<HICON>(LoadImageA(program, resource, IMAGE_ICON, 32, 32, 0));
  const bool shown = ShowsIcon(window, icon, 32, RECT{at.x, at.y, at.x + 1, at.y + 1});
  if (icon) DestroyIcon(icon);
  FreeLibrary(program);
  return shown;
}

RegistryValue ReadMachineValue(const std::string& keyPath, const std::string& valueName) {
  RegistryValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &value.Type, nullptr, &size) == ERROR_SUCCESS) {
    value.Data.resize(size);
    value.Present =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &value.Type, value.Data.data(), &size) == ERROR_SUCCESS;
    value.Data.resize(size);
  }
  RegCloseKey(key);
  return value;
}

void DeleteMachineValue(const std::string& keyPath, const std::string& valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, valueName.c_str());
  RegCloseKey(key);
}

void DeleteMachineKeyTree(const std::string& keyPath) {
  std::string command = "reg delete \"HKLM\\" + keyPath + "\" /f >nul 2>nul";
  system(command.c_str());
}
