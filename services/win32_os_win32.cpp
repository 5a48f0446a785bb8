#include "services/win32_os.h"

#include "services/system_library.h"

LONG TWin32Os::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                               LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
  return ::RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, security, result, disposition);
}

LONG TWin32Os::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  return ::RegOpenKeyExA(key, subKey, options, access, result);
}

LONG TWin32Os::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG TWin32Os::RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD dataSize) {
  return ::RegSetValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG TWin32Os::RegCloseKey(HKEY key) {
  return ::RegCloseKey(key);
}

LONG TWin32Os::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                             LPDWORD classSize, LPFILETIME lastWriteTime) {
  return ::RegEnumKeyExA(key, index, name, nameSize, reserved, keyClass, classSize, lastWriteTime);
}

LONG TWin32Os::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  return ::RegDeleteKeyA(key, subKey);
}

LONG TWin32Os::RegDeleteValueA(HKEY key, LPCSTR valueName) {
  return ::RegDeleteValueA(key, valueName);
}

LONG TWin32Os::RegFlushKey(HKEY key) {
  return ::RegFlushKey(key);
}

LONG TWin32Os::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  return ::RegGetKeySecurity(key, info, descriptor, size);
}

LONG TWin32Os::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
  return ::RegSetKeySecurity(key, info, descriptor);
}

DWORD TWin32Os::BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                         PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount,
                                         PEXPLICIT_ACCESS_A auditEntries, PSECURITY_DESCRIPTOR oldDescriptor,
                                         PULONG size, PSECURITY_DESCRIPTOR* newDescriptor) {
  return ::BuildSecurityDescriptorA(owner, group, accessCount, accessEntries, auditCount, auditEntries, oldDescriptor,
                                    size, newDescriptor);
}

HANDLE TWin32Os::FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  return ::FindFirstFileA(fileName, findData);
}

BOOL TWin32Os::FindClose(HANDLE findHandle) {
  return ::FindClose(findHandle);
}

BOOL TWin32Os::CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  return ::CopyFileA(existingFile, newFile, failIfExists);
}

BOOL TWin32Os::MoveFileA(LPCSTR existingFile, LPCSTR newFile) {
  return ::MoveFileA(existingFile, newFile);
}

HANDLE TWin32Os::CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  return ::CreateFileA(fileName, access, shareMode, security, disposition, flagsAndAttributes, templateFile);
}

BOOL TWin32Os::CloseHandle(HANDLE handle) {
  return ::CloseHandle(handle);
}

BOOL TWin32Os::MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) {
  return ::MoveFileExA(existingFile, newFile, flags);
}

BOOL TWin32Os::DeleteFileA(LPCSTR fileName) {
  return ::DeleteFileA(fileName);
}

DWORD TWin32Os::GetFileAttributesA(LPCSTR fileName) {
  return ::GetFileAttributesA(fileName);
}

BOOL TWin32Os::SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
  return ::SetFileAttributesA(fileName, attributes);
}

BOOL TWin32Os::ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  return ::ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
}

DWORD TWin32Os::GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  return ::GetFileSize(file, sizeHigh);
}

BOOL TWin32Os::FlushFileBuffers(HANDLE file) {
  return ::FlushFileBuffers(file);
}

BOOL TWin32Os::DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                               LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  return ::DeviceIoControl(device, controlCode, in, inSize, out, outSize, bytesReturned, overlapped);
}

DWORD TWin32Os::QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size) {
  return ::QueryDosDeviceA(deviceName, targetPath, size);
}

SC_HANDLE TWin32Os::OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) {
  return ::OpenSCManagerA(machineName, databaseName, access);
}

SC_HANDLE TWin32Os::OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
  return ::OpenServiceA(manager, serviceName, access);
}

BOOL TWin32Os::QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  return ::QueryServiceStatus(service, status);
}

BOOL TWin32Os::CloseServiceHandle(SC_HANDLE handle) {
  return ::CloseServiceHandle(handle);
}

BOOL TWin32Os::CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES security, DWORD size) {
  return ::CreatePipe(readPipe, writePipe, security, size);
}

BOOL TWin32Os::PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPDWORD bytesAvailable,
                             LPDWORD bytesLeftThisMessage) {
  return ::PeekNamedPipe(pipe, buffer, size, bytesRead, bytesAvailable, bytesLeftThisMessage);
}

BOOL TWin32Os::CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                              LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD creationFlags,
                              LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                              LPPROCESS_INFORMATION processInformation) {
  return ::CreateProcessA(applicationName, commandLine, processSecurity, threadSecurity, inheritHandles, creationFlags,
                          environment, currentDirectory, startupInfo, processInformation);
}

DWORD TWin32Os::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

BOOL TWin32Os::TerminateProcess(HANDLE process, UINT exitCode) {
  return ::TerminateProcess(process, exitCode);
}

BOOL TWin32Os::GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  return ::GetExitCodeProcess(process, exitCode);
}

DWORD TWin32Os::GetTickCount() {
  return ::GetTickCount();
}

void TWin32Os::GlobalMemoryStatus(LPMEMORYSTATUS buffer) {
  ::GlobalMemoryStatus(buffer);
}

HANDLE TWin32Os::OpenEventLogA(LPCSTR server, LPCSTR source) {
  return ::OpenEventLogA(server, source);
}

BOOL TWin32Os::ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD size, DWORD* read,
                             DWORD* needed) {
  return ::ReadEventLogA(log, flags, offset, buffer, size, read, needed);
}

BOOL TWin32Os::CloseEventLog(HANDLE log) {
  return ::CloseEventLog(log);
}

DWORD TWin32Os::MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wakeAll, DWORD milliseconds,
                                          DWORD wakeMask) {
  return ::MsgWaitForMultipleObjects(count, handles, wakeAll, milliseconds, wakeMask);
}

BOOL TWin32Os::PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  return ::PeekMessageA(message, window, first, last, remove);
}

LRESULT TWin32Os::DispatchMessageA(const MSG* message) {
  return ::DispatchMessageA(message);
}

HCURSOR TWin32Os::SetCursor(HCURSOR cursor) {
  return ::SetCursor(cursor);
}

HCURSOR TWin32Os::LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
  return ::LoadCursorA(instance, cursorName);
}

HANDLE TWin32Os::GetCurrentProcess() {
  return ::GetCurrentProcess();
}

BOOL TWin32Os::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  return ::OpenProcessToken(process, access, token);
}

BOOL TWin32Os::LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
  return ::LookupPrivilegeValueA(systemName, name, luid);
}

BOOL TWin32Os::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                     PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
  return ::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength);
}

BOOL TWin32Os::InitiateSystemShutdownExA(LPSTR machineName, LPSTR message, DWORD timeout, BOOL forceAppsClosed,
                                         BOOL rebootAfterShutdown, DWORD reason) {
  return ::InitiateSystemShutdownExA(machineName, message, timeout, forceAppsClosed, rebootAfterShutdown, reason);
}

DWORD TWin32Os::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  return ::GetEnvironmentVariableA(name, buffer, size);
}

DWORD TWin32Os::GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  return ::GetModuleFileNameA(module, fileName, size);
}

BOOL TWin32Os::GetVersionExA(LPOSVERSIONINFOA versionInfo) {
  return ::GetVersionExA(versionInfo);
}

HLOCAL TWin32Os::LocalAlloc(UINT flags, SIZE_T bytes) {
  return ::LocalAlloc(flags, bytes);
}

HLOCAL TWin32Os::LocalFree(HLOCAL memory) {
  return ::LocalFree(memory);
}

BOOL TWin32Os::IsDBCSLeadByte(BYTE testChar) {
  return ::IsDBCSLeadByte(testChar);
}

UINT TWin32Os::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  return ::GetSystemDirectoryA(buffer, size);
}

HANDLE TWin32Os::CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) {
  return ::CreateMutexA(security, initialOwner, name);
}

HMODULE TWin32Os::LoadLibraryA(LPCSTR fileName) {
  return ::LoadLibraryA(fileName);
}

FARPROC TWin32Os::GetProcAddress(HMODULE module, LPCSTR procName) {
  return ::GetProcAddress(module, procName);
}

BOOL TWin32Os::SetDllDirectoryA(LPCSTR pathName) {
  // Windows XP before SP1 lacks it; kernel32 is always loaded.
  using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);
  const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
  const auto setDllDirectory = kernel32 ? reinterpret_cast<SetDllDirectoryFunction>(
                                              reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDllDirectoryA")))
                                        : nullptr;
  if (!setDllDirectory) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return setDllDirectory(pathName);
}

DWORD TWin32Os::GetLastError() {
  return ::GetLastError();
}

void TWin32Os::SetLastError(DWORD errorCode) {
  ::SetLastError(errorCode);
}

DWORD TWin32Os::GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  return ::GetFileVersionInfoSizeA(fileName, handle);
}

BOOL TWin32Os::GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) {
  return ::GetFileVersionInfoA(fileName, handle, size, data);
}

BOOL TWin32Os::VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  return ::VerQueryValueA(block, subBlock, buffer, length);
}

HINSTANCE TWin32Os::ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                  INT showCommand) {
  // shell32, and the shell libraries it pulls in, is loaded on first use:
  // only the links need it, and loading it with the program would slow every
  // start. It stays loaded once it is.
  using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
  const auto shellExecute = reinterpret_cast<ShellExecuteFunction>(
      reinterpret_cast<void*>(SystemLibraryFunction(*this, "shell32.dll", "ShellExecuteA")));
  if (!shellExecute) return reinterpret_cast<HINSTANCE>(SE_ERR_DLLNOTFOUND);
  return shellExecute(owner, verb, file, parameters, directory, showCommand);
}

BOOLEAN TWin32Os::GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
  // Only "Enable HORM" asks, so powrprof is loaded then.
  using GetPwrCapabilitiesFunction = BOOLEAN(WINAPI*)(PSYSTEM_POWER_CAPABILITIES);
  const auto getPwrCapabilities = reinterpret_cast<GetPwrCapabilitiesFunction>(
      reinterpret_cast<void*>(SystemLibraryFunction(*this, "powrprof.dll", "GetPwrCapabilities")));
  if (!getPwrCapabilities) return FALSE;
  return getPwrCapabilities(capabilities);
}
