// The TOs seam on real Windows: every method calls the Win32 function of the
// same name with the same arguments and returns its result unchanged. Three
// are found at run time rather than imported: SetDllDirectoryA (XP SP1 and
// later; ERROR_CALL_NOT_IMPLEMENTED before), and ShellExecuteA and
// GetPwrCapabilities, from shell32 and powrprof loaded out of the system
// folder on first use (SE_ERR_DLLNOTFOUND or FALSE when that fails).
#pragma once

#include "services/os.h"

class TWin32Os : public TOs {
 public:
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
  DWORD GetTickCount() override;
  void GlobalMemoryStatus(LPMEMORYSTATUS buffer) override;
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

  HANDLE GetCurrentProcess() override;
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
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override;
  HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD errorCode) override;

  HMODULE LoadLibraryA(LPCSTR fileName) override;
  FARPROC GetProcAddress(HMODULE module, LPCSTR procName) override;
  BOOL SetDllDirectoryA(LPCSTR pathName) override;

  DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) override;
  BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) override;
  BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) override;

  HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                          INT showCommand) override;

  BOOLEAN GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) override;
};
