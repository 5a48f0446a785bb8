// TRegistry::OpenKey answers only true or false, but a failed installation
// step must be reported with its Windows error code. This Os passes every
// call through unchanged and keeps the result of the last key open or create.
#pragma once

#include "services/os.h"

class KeyOpenResults final : public Os {
 public:
  explicit KeyOpenResults(Os& os) : os_(os) {}

  // What the last RegCreateKeyExA or RegOpenKeyExA returned; ERROR_SUCCESS before any.
  LONG LastKeyOpenResult() const { return lastKeyOpenResult_; }

  LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) override {
    return lastKeyOpenResult_ =
               os_.RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, security, result, disposition);
  }
  LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) override {
    return lastKeyOpenResult_ = os_.RegOpenKeyExA(key, subKey, options, access, result);
  }

  LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD dataSize) override {
    return os_.RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
  }
  LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD dataSize) override {
    return os_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
  }
  LONG RegCloseKey(HKEY key) override { return os_.RegCloseKey(key); }
  LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) override {
    return os_.RegGetKeySecurity(key, info, descriptor, size);
  }
  LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) override {
    return os_.RegSetKeySecurity(key, info, descriptor);
  }
  DWORD BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                 PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount, PEXPLICIT_ACCESS_A auditEntries,
                                 PSECURITY_DESCRIPTOR oldDescriptor, PULONG size,
                                 PSECURITY_DESCRIPTOR* newDescriptor) override {
    return os_.BuildSecurityDescriptorA(owner, group, accessCount, accessEntries, auditCount, auditEntries,
                                        oldDescriptor, size, newDescriptor);
  }

  HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) override {
    return os_.FindFirstFileA(fileName, findData);
  }
  BOOL FindClose(HANDLE findHandle) override { return os_.FindClose(findHandle); }
  BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) override {
    return os_.CopyFileA(existingFile, newFile, failIfExists);
  }
  BOOL MoveFileA(LPCSTR existingFile, LPCSTR newFile) override { return os_.MoveFileA(existingFile, newFile); }
  HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flagsAndAttributes, HANDLE templateFile) override {
    return os_.CreateFileA(fileName, access, shareMode, security, disposition, flagsAndAttributes, templateFile);
  }
  BOOL CloseHandle(HANDLE handle) override { return os_.CloseHandle(handle); }

  DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) override {
    return os_.GetEnvironmentVariableA(name, buffer, size);
  }
  DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) override {
    return os_.GetModuleFileNameA(module, fileName, size);
  }
  BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo) override { return os_.GetVersionExA(versionInfo); }
  HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) override { return os_.LocalAlloc(flags, bytes); }
  HLOCAL LocalFree(HLOCAL memory) override { return os_.LocalFree(memory); }
  BOOL IsDBCSLeadByte(BYTE testChar) override { return os_.IsDBCSLeadByte(testChar); }
  DWORD GetLastError() override { return os_.GetLastError(); }
  void SetLastError(DWORD errorCode) override { os_.SetLastError(errorCode); }

  DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) override {
    return os_.GetFileVersionInfoSizeA(fileName, handle);
  }
  BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) override {
    return os_.GetFileVersionInfoA(fileName, handle, size, data);
  }
  BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) override {
    return os_.VerQueryValueA(block, subBlock, buffer, length);
  }

  HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                          INT showCommand) override {
    return os_.ShellExecuteA(owner, verb, file, parameters, directory, showCommand);
  }

 private:
  Os& os_;
  LONG lastKeyOpenResult_ = ERROR_SUCCESS;
};
