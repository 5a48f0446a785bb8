// A small in-memory Windows behind the TOs seam, for unit tests: a registry
// (TFakeRegistry, with HKLM\SYSTEM\CurrentControlSet\Control), a file
// system (TFakeFiles), environment variables, the program's own path, the
// platform, a code page, LocalAlloc'ed memory, and
// version resources per file. Every call is written to a log ("Name(args)")
// and can be made to fail on purpose.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/os.h"
#include "support/fake_files.h"
#include "support/fake_processes.h"
#include "support/fake_registry.h"

class TFakeOs : public TOs {
 public:
  TFakeOs();
  ~TFakeOs() override;

  TFakeRegistry& Registry() { return Registry_; }
  TFakeFiles& Files() { return Files_; }
  // Services, programs that can be started, pipes; none unless told.
  TFakeProcesses& Processes() { return Processes_; }
  const TFakeProcesses& Processes() const { return Processes_; }

  void SetEnv(const std::string& name, const std::string& value) { Environment_[name] = value; }
  void UnsetEnv(const std::string& name) { Environment_.erase(name); }
  void SetModulePath(const std::string& path) { ModulePath_ = path; }
  void SetPlatformId(DWORD platformId) { PlatformId_ = platformId; }
  // 1252 (the default) or 932, the Japanese double-byte code page.
  void SetCodePage(UINT codePage) { CodePage_ = codePage; }
  // What BuildSecurityDescriptorA answers: 0 (the default) gives a blank,
  // NULL-DACL descriptor from LocalAlloc, as Windows does; Wine answers 120.
  void SetBuildSecurityDescriptorResult(DWORD result) { BuildSecurityDescriptorResult_ = result; }
  // GetSystemDirectoryA's answer; C:\WINDOWS\system32 unless told.
  void SetSystemFolder(const std::string& folder) { SystemFolder_ = folder; }
  // What QueryDosDeviceA tells of a drive ("C:"); C: is \Device\HarddiskVolume1
  // unless told. An empty target removes the drive.
  void SetDosDevice(const std::string& drive, const std::string& target);
  // LoadLibraryA loads a library whose path names a file of Files(), and
  // GetProcAddress finds any function in it.
  // The path SetDllDirectoryA was last given; "<unset>" before.
  const std::string& DllDirectory() const { return DllDirectory_; }
  // What GetPwrCapabilities tells: whether the hardware can hibernate (S4)
  // and whether hibernation is turned on (the hibernation file is there).
  void SetHibernation(bool supported, bool enabled);
  // A record of the System event log, newer than those before it.
  void AddSystemEvent(const std::string& source, DWORD id, const std::vector<std::string>& strings);
  // The physical memory GlobalMemoryStatus tells; 512 MB unless told.
  void SetPhysicalMemory(SIZE_T bytes) { PhysicalMemory_ = bytes; }
  // Named mutexes, as another process would hold them.
  int MutexHandleCount(const std::string& name) const;

  // Time and this thread's message queue. GetTickCount starts near the
  // point where it wraps round, and moves only while MsgWaitForMultipleObjects
  // waits: it wakes for the next message due within its time, else when
  // the time is up.
  DWORD Tick() const { return Tick_; }
  // A message that comes in once the tick count reaches `tick`.
  void QueueMessageAt(DWORD tick, UINT message);
  // Messages come in but not yet taken out, oldest first.
  std::vector<UINT> QueuedMessages() const;
  // The cursor SetCursor was last given (NULL before); LoadCursorA's
  // cursors stand for themselves.
  HCURSOR Cursor() const { return Cursor_; }

  // Whether the account may shut the computer down (it may unless told);
  // whether the privilege is enabled in the process's token right now. The
  // administrator also holds SeTakeOwnershipPrivilege and SeRestorePrivilege,
  // disabled until enabled.
  void SetShutdownPrivilegeHeld(bool held) { ShutdownPrivilegeHeld_ = held; }
  bool ShutdownPrivilegeEnabled() const { return PrivilegeEnabled(SE_SHUTDOWN_NAME); }
  bool PrivilegeEnabled(const std::string& name) const;

  // The call log, oldest first, e.g. "RegOpenKeyExA(HKLM, SOFTWARE\X, 0, 0x20019)".
  // GetLastError, SetLastError, IsDBCSLeadByte, GetTickCount and
  // GetCurrentProcess are not logged.
  const std::vector<std::string>& Calls() const { return Calls_; }
  std::vector<std::string> CallsNamed(const std::string& name) const;
  void ClearCalls() { Calls_.clear(); }

  // Fault injection. A failing call does nothing but report `error`: LONG
  // and DWORD-status calls return it, the others set it as the last error
  // and return FALSE, NULL, 0 or INVALID_HANDLE_VALUE.
  // The nth logged call from now, whatever it is (1 = the next one).
  void FailNthCall(int nth, DWORD error);
  // Calls of one name: every one (nth = 0), or only the nth from now.
  void FailCall(const std::string& name, DWORD error, int nth = 0);
  // Every call whose log line contains `text`, e.g. "Dfrg" or "Enable,".
  void FailCallsContaining(const std::string& text, DWORD error);

  // Process death. The nth logged call from now is the process's last: it
  // is carried out (a CopyFileA with `halfway` writes only the first half of
  // its target), and every call after it changes nothing and fails, so the
  // machine stays as it stood at that instant.
  void StopProcessAtCall(int nth, bool halfway);
  bool ProcessStopped() const { return Stopped_; }
  // A new process on the same machine: what the old one held (keys, handles,
  // memory) is gone, and so are its faults and its stop.
  void StartProcessAgain();

  // Leak checks.
  int OpenKeyCount() const { return Registry_.OpenKeyCount(); }
  int OpenFindHandleCount() const { return Files_.OpenFindHandleCount(); }
  int OpenFileHandleCount() const { return Files_.OpenFileHandleCount(); }
  int OpenProcessHandleCount() const { return Processes_.OpenHandleCount(); }
  int OpenEventLogCount() const { return OpenEventLogs_; }
  int LiveLocalAllocationCount() const { return static_cast<int>(Allocations_.size()); }

  // TOs
  LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) override;
  LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD dataSize) override;
  LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                     LPDWORD classSize, LPFILETIME lastWriteTime) override;
  LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) override;
  LONG RegDeleteValueA(HKEY key, LPCSTR valueName) override;
  LONG RegFlushKey(HKEY key) override;
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) override;
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) override;
  DWORD BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                 PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount, PEXPLICIT_ACCESS_A auditEntries,
                                 PSECURITY_DESCRIPTOR oldDescriptor, PULONG size,
                                 PSECURITY_DESCRIPTOR* newDescriptor) override;

  HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) override;
  BOOL FindClose(HANDLE findHandle) override;
  BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) override;
  BOOL MoveFileA(LPCSTR existingFile, LPCSTR newFile) override;
  HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flagsAndAttributes, HANDLE templateFile) override;
  BOOL CloseHandle(HANDLE handle) override;
  DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size) override;

  BOOL MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) override;
  BOOL DeleteFileA(LPCSTR fileName) override;
  DWORD GetFileAttributesA(LPCSTR fileName) override;
  BOOL SetFileAttributesA(LPCSTR fileName, DWORD attributes) override;
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) override;
  DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) override;
  BOOL FlushFileBuffers(HANDLE file) override;
  BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                       LPDWORD bytesReturned, LPOVERLAPPED overlapped) override;

  SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) override;
  BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;

  BOOL CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES security, DWORD size) override;
  BOOL PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPDWORD bytesAvailable,
                     LPDWORD bytesLeftThisMessage) override;
  BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                      LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD creationFlags,
                      LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                      LPPROCESS_INFORMATION processInformation) override;
  DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override;
  BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) override;
  DWORD GetTickCount() override { return Tick_; }
  void GlobalMemoryStatus(LPMEMORYSTATUS buffer) override { buffer->dwTotalPhys = PhysicalMemory_; }
  HANDLE OpenEventLogA(LPCSTR server, LPCSTR source) override;
  BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD size, DWORD* read,
                     DWORD* needed) override;
  BOOL CloseEventLog(HANDLE log) override;

  DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wakeAll, DWORD milliseconds,
                                  DWORD wakeMask) override;
  BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) override;
  LRESULT DispatchMessageA(const MSG* message) override;
  HCURSOR SetCursor(HCURSOR cursor) override;
  HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName) override;

  HANDLE GetCurrentProcess() override { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override;
  BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                             PTOKEN_PRIVILEGES previousState, PDWORD returnLength) override;
  BOOL InitiateSystemShutdownExA(LPSTR machineName, LPSTR message, DWORD timeout, BOOL forceAppsClosed,
                                 BOOL rebootAfterShutdown, DWORD reason) override;

  DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) override;
  DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) override;
  BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo) override;
  HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override;
  HLOCAL LocalFree(HLOCAL memory) override;
  BOOL IsDBCSLeadByte(BYTE testChar) override;
  DWORD GetLastError() override { return LastError_; }
  void SetLastError(DWORD errorCode) override { LastError_ = errorCode; }
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override;
  HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) override;

  HMODULE LoadLibraryA(LPCSTR fileName) override;
  FARPROC GetProcAddress(HMODULE module, LPCSTR procName) override;
  BOOL SetDllDirectoryA(LPCSTR pathName) override;

  DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) override;
  BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) override;
  BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) override;

  HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                          INT showCommand) override;

  BOOLEAN GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) override;

 private:
  struct Fault {
    std::string Name;  // empty: any call
    std::string Text;  // empty: any arguments
    int Nth;           // 0: every matching call
    DWORD Error;
    int Seen = 0;
  };
  struct Allocation {
    std::unique_ptr<BYTE[]> Bytes;
    int Serial;
  };

  // Logs the call; answers the injected error when a fault hits it.
  std::optional<DWORD> Record(const std::string& name, const std::string& arguments);
  // Sets the last error from a call's result: true on success.
  bool Succeeds(DWORD error);
  HLOCAL Allocate(size_t bytes, bool zeroed);

  TFakeRegistry Registry_;
  TFakeFiles Files_;
  TFakeProcesses Processes_;
  std::map<std::string, std::string, CaseInsensitiveLess> Environment_;
  std::string ModulePath_ = "C:\\Program Files\\Stillvane\\Stillvane.exe";
  DWORD PlatformId_ = VER_PLATFORM_WIN32_NT;
  UINT CodePage_ = 1252;
  DWORD BuildSecurityDescriptorResult_ = ERROR_SUCCESS;
  DWORD LastError_ = 0;
  std::vector<std::string> Calls_;
  std::vector<Fault> Faults_;
  int StopAt_ = 0;  // counts down the logged calls to the last one; 0: none armed
  bool StopHalfway_ = false;
  bool Stopped_ = false;
  bool StoppingNow_ = false;  // the current call is the last
  std::map<HLOCAL, Allocation> Allocations_;
  int NextAllocation_ = 1;
  std::map<const void*, size_t> VersionBlocks_;
  std::string SystemFolder_ = "C:\\WINDOWS\\system32";
  std::map<std::string, std::string, CaseInsensitiveLess> DosDevices_;
  std::map<std::string, HMODULE, CaseInsensitiveLess> Libraries_;
  std::string DllDirectory_ = "<unset>";
  bool HibernationSupported_ = true;
  bool HibernationEnabled_ = true;
  SIZE_T PhysicalMemory_ = SIZE_T(512) << 20;
  std::vector<std::vector<BYTE>> SystemEvents_;  // whole records, oldest first
  int OpenEventLogs_ = 0;
  size_t EventsRead_ = 0;  // from the newest, by the one log handle read backwards
  std::map<HANDLE, std::string> MutexHandles_;
  DWORD Tick_ = 0xFFFFF000;  // 4 seconds before it wraps round
  struct TimedMessage {
    DWORD Due;
    UINT Message;
  };
  std::vector<TimedMessage> Coming_;  // in the order queued
  std::vector<UINT> Queue_;
  HCURSOR Cursor_ = nullptr;
  bool ShutdownPrivilegeHeld_ = true;
  std::map<DWORD, bool> PrivilegesEnabled_;  // by LUID
  uintptr_t NextMutexHandle_ = 0x900000;     // what GetFileVersionInfoA filled, and how far
};
