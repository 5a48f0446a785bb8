// The operating system as the program sees it: one method per Win32 call,
// with the call's own name, arguments, constants and return convention.
// TWin32Os forwards to Windows; tests substitute an in-memory TFakeOs. Nothing
// outside TWin32Os calls the Windows API for these operations directly.
#pragma once

#include "services/win_types.h"

class TOs {
 public:
  virtual ~TOs() = default;

  // Registry (advapi32). Return ERROR_SUCCESS or a Windows error code.
  virtual LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                               LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) = 0;
  virtual LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) = 0;
  virtual LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) = 0;
  virtual LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD dataSize) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  // Names the subkey at `index` (0, 1, ...) in `name` and its length in
  // *nameSize (without the NUL); ERROR_NO_MORE_ITEMS past the last one.
  virtual LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                             LPDWORD classSize, LPFILETIME lastWriteTime) = 0;
  // Deletes a subkey that has no subkeys of its own.
  virtual LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) = 0;
  virtual LONG RegDeleteValueA(HKEY key, LPCSTR valueName) = 0;
  // Writes the key's hive to disk before it returns.
  virtual LONG RegFlushKey(HKEY key) = 0;
  virtual LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor,
                                 LPDWORD size) = 0;
  virtual LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) = 0;
  // Returns ERROR_SUCCESS and a LocalAlloc'ed self-relative descriptor, or an error code.
  virtual DWORD BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                         PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount,
                                         PEXPLICIT_ACCESS_A auditEntries, PSECURITY_DESCRIPTOR oldDescriptor,
                                         PULONG size, PSECURITY_DESCRIPTOR* newDescriptor) = 0;

  // Files (kernel32). BOOL results: FALSE on failure, GetLastError() tells why.
  virtual HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) = 0;
  virtual BOOL FindClose(HANDLE findHandle) = 0;
  virtual BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) = 0;
  virtual BOOL MoveFileA(LPCSTR existingFile, LPCSTR newFile) = 0;
  virtual HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;
  // The device a drive letter ("C:") stands for: NUL-separated names ending
  // with two NULs; returns the characters stored, 0 on failure.
  virtual DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size) = 0;

  // Placing files safely (kernel32). BOOL results as above; on failure
  // GetFileAttributesA answers INVALID_FILE_ATTRIBUTES and GetFileSize
  // INVALID_FILE_SIZE, and GetLastError() tells why.
  virtual BOOL MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) = 0;
  virtual BOOL DeleteFileA(LPCSTR fileName) = 0;
  virtual DWORD GetFileAttributesA(LPCSTR fileName) = 0;
  virtual BOOL SetFileAttributesA(LPCSTR fileName, DWORD attributes) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) = 0;
  virtual DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) = 0;
  virtual BOOL FlushFileBuffers(HANDLE file) = 0;
  // A file system control on an open file, e.g. FSCTL_SET_COMPRESSION with
  // a USHORT format in `in` (the handle needs write access).
  virtual BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                               LPDWORD bytesReturned, LPOVERLAPPED overlapped) = 0;

  // Services (advapi32). NULL or FALSE on failure, GetLastError() tells why.
  virtual SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) = 0;
  virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) = 0;
  virtual BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) = 0;
  virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;

  // Other programs (kernel32). BOOL results as above. ReadFile and
  // CloseHandle serve pipes and processes too.
  virtual BOOL CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES security, DWORD size) = 0;
  // How much a pipe holds, without taking it out.
  virtual BOOL PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPDWORD bytesAvailable,
                             LPDWORD bytesLeftThisMessage) = 0;
  virtual BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                              LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD creationFlags,
                              LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                              LPPROCESS_INFORMATION processInformation) = 0;
  // WAIT_OBJECT_0 once the object is signalled, WAIT_TIMEOUT, or WAIT_FAILED.
  virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
  virtual BOOL TerminateProcess(HANDLE process, UINT exitCode) = 0;
  // STILL_ACTIVE while the process runs.
  virtual BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) = 0;
  // Milliseconds since Windows started, round every 49.7 days.
  virtual DWORD GetTickCount() = 0;

  // Waiting while this thread's windows stay drawn (user32).
  // WAIT_OBJECT_0 + i once handles[i] is signalled (wakeAll FALSE),
  // WAIT_OBJECT_0 + count when a message of `wakeMask` has come in since the
  // queue was last looked at, WAIT_TIMEOUT, or WAIT_FAILED.
  virtual DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wakeAll, DWORD milliseconds,
                                          DWORD wakeMask) = 0;
  // The first queued message between `first` and `last` (0 and 0: any);
  // FALSE when there is none. Messages sent from elsewhere are answered
  // meanwhile.
  virtual BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) = 0;
  virtual LRESULT DispatchMessageA(const MSG* message) = 0;
  // The previous cursor, or NULL.
  virtual HCURSOR SetCursor(HCURSOR cursor) = 0;
  virtual HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName) = 0;

  // The event log (advapi32). NULL or FALSE on failure, GetLastError() tells
  // why: ERROR_HANDLE_EOF past the last record, ERROR_INSUFFICIENT_BUFFER
  // (with *needed) for a record larger than the buffer.
  virtual HANDLE OpenEventLogA(LPCSTR server, LPCSTR source) = 0;
  virtual BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD size, DWORD* read,
                             DWORD* needed) = 0;
  virtual BOOL CloseEventLog(HANDLE log) = 0;

  // Restarting the computer (advapi32). BOOL results as above.
  // A pseudo-handle that needs no closing.
  virtual HANDLE GetCurrentProcess() = 0;
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) = 0;
  // TRUE even when a privilege the token lacks was not enabled; the last
  // error is then ERROR_NOT_ALL_ASSIGNED, else ERROR_SUCCESS.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                     PTOKEN_PRIVILEGES previousState, PDWORD returnLength) = 0;
  // Starts the shutdown and returns; it goes on without the caller.
  virtual BOOL InitiateSystemShutdownExA(LPSTR machineName, LPSTR message, DWORD timeout, BOOL forceAppsClosed,
                                         BOOL rebootAfterShutdown, DWORD reason) = 0;

  // Process, memory and platform (kernel32).
  // Returns the length copied (without the NUL), the size needed (with the
  // NUL) when the buffer is too small, or 0 when the variable is not set.
  virtual DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) = 0;
  // Returns the length copied; when it equals size the path may be truncated.
  virtual DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo) = 0;
  // The computer's memory; dwTotalPhys is its physical memory in bytes.
  virtual void GlobalMemoryStatus(LPMEMORYSTATUS buffer) = 0;
  virtual HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) = 0;
  virtual HLOCAL LocalFree(HLOCAL memory) = 0;
  virtual BOOL IsDBCSLeadByte(BYTE testChar) = 0;
  // Returns the length copied (without the NUL), the size needed (with the
  // NUL) when the buffer is too small, or 0 on failure.
  virtual UINT GetSystemDirectoryA(LPSTR buffer, UINT size) = 0;
  // NULL on failure; a second call for an existing name opens it and sets
  // the last error to ERROR_ALREADY_EXISTS.
  virtual HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) = 0;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD errorCode) = 0;

  // Libraries loaded at run time. NULL on failure.
  virtual HMODULE LoadLibraryA(LPCSTR fileName) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, LPCSTR procName) = 0;
  // Found at run time (XP SP1 and later); without it FALSE and
  // ERROR_CALL_NOT_IMPLEMENTED.
  virtual BOOL SetDllDirectoryA(LPCSTR pathName) = 0;

  // Version resources (version.dll).
  virtual DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) = 0;
  virtual BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) = 0;
  virtual BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) = 0;

  // Shell (shell32). Returns a value greater than 32 on success.
  virtual HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                  INT showCommand) = 0;

  // Power management (powrprof, loaded on first use). FALSE on failure.
  virtual BOOLEAN GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) = 0;
};

// For code that answers ERROR_SUCCESS or the error: the code of a call that
// has just failed. One that left none must not read as success.
[[nodiscard]] inline DWORD FailureCode(TOs& os) {
  const DWORD error = os.GetLastError();
  return error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_FUNCTION_FAILED) : error;
}
