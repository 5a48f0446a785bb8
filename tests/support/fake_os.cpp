#include "support/fake_os.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "support/fake_version.h"
#include "support/security_descriptor_bytes.h"

namespace {

constexpr DWORD kProcessAborted = 1067;  // ERROR_PROCESS_ABORTED

std::string Text(LPCSTR text) {
  return text ? text : "NULL";
}
std::string Pointer(const void* pointer) {
  return pointer ? "&" : "NULL";
}
std::string Hex(DWORD value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(value));
  return buffer;
}
std::string Number(unsigned long long value) {
  return std::to_string(value);
}

}  // namespace

TFakeOs::TFakeOs() : files_([this](BYTE c) { return IsDBCSLeadByte(c) != FALSE; }) {
  dosDevices_["C:"] = "\\Device\\HarddiskVolume1";
  // Every Windows has it.
  registry_.CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control");
}

TFakeOs::~TFakeOs() = default;

std::vector<std::string> TFakeOs::CallsNamed(const std::string& name) const {
  std::vector<std::string> named;
  for (const std::string& call : calls_) {
    if (call.compare(0, name.size() + 1, name + "(") == 0) named.push_back(call);
  }
  return named;
}

void TFakeOs::FailNthCall(int nth, DWORD error) {
  faults_.push_back({"", "", nth, error});
}

void TFakeOs::FailCall(const std::string& name, DWORD error, int nth) {
  faults_.push_back({name, "", nth, error});
}

void TFakeOs::FailCallsContaining(const std::string& text, DWORD error) {
  faults_.push_back({"", text, 0, error});
}

void TFakeOs::StopProcessAtCall(int nth, bool halfway) {
  stopAt_ = nth;
  stopHalfway_ = halfway;
}

void TFakeOs::StartProcessAgain() {
  registry_.CloseAll();
  files_.CloseAll();
  processes_.CloseAll();
  allocations_.clear();
  versionBlocks_.clear();
  faults_.clear();
  stopAt_ = 0;
  stopped_ = stoppingNow_ = false;
  lastError_ = 0;
}

std::optional<DWORD> TFakeOs::Record(const std::string& name, const std::string& arguments) {
  // What a dead process would have done never happens.
  stoppingNow_ = false;
  if (stopped_) return kProcessAborted;
  if (stopAt_ > 0 && --stopAt_ == 0) stopped_ = stoppingNow_ = true;
  calls_.push_back(name + "(" + arguments + ")");
  std::optional<DWORD> injected;
  for (Fault& fault : faults_) {
    if (!fault.name.empty() && fault.name != name) continue;
    if (!fault.text.empty() && calls_.back().find(fault.text) == std::string::npos) continue;
    ++fault.seen;
    if (!injected && (fault.nth == 0 || fault.seen == fault.nth)) injected = fault.error;
  }
  return injected;
}

bool TFakeOs::Succeeds(DWORD error) {
  if (error == ERROR_SUCCESS) return true;
  lastError_ = error;
  return false;
}

HLOCAL TFakeOs::Allocate(size_t bytes, bool zeroed) {
  // Exactly the size asked for, so that the sanitizers see any overrun.
  std::unique_ptr<BYTE[]> block(zeroed ? new BYTE[bytes ? bytes : 1]() : new BYTE[bytes ? bytes : 1]);
  const HLOCAL memory = block.get();
  allocations_[memory] = {std::move(block), nextAllocation_++};
  return memory;
}

// Registry

LONG TFakeOs::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                             LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
  if (const auto error =
          Record("RegCreateKeyExA", registry_.Describe(key) + ", " + Text(subKey) + ", " + Number(reserved) + ", " +
                                        Text(keyClass) + ", " + Number(options) + ", " + Hex(access) + ", " +
                                        Pointer(security) + ", " + Pointer(disposition))) {
    return static_cast<LONG>(*error);
  }
  if (reserved != 0) return ERROR_INVALID_PARAMETER;
  return registry_.Create(key, subKey, access, result, disposition);
}

LONG TFakeOs::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  if (const auto error = Record("RegOpenKeyExA", registry_.Describe(key) + ", " + Text(subKey) + ", " +
                                                     Number(options) + ", " + Hex(access))) {
    return static_cast<LONG>(*error);
  }
  return registry_.Open(key, subKey, access, result);
}

LONG TFakeOs::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                              LPDWORD dataSize) {
  if (const auto error = Record("RegQueryValueExA", registry_.Describe(key) + ", " + Text(valueName))) {
    return static_cast<LONG>(*error);
  }
  if (reserved) return ERROR_INVALID_PARAMETER;
  return registry_.QueryValue(key, valueName, type, data, dataSize);
}

LONG TFakeOs::RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  if (const auto error =
          Record("RegSetValueExA", registry_.Describe(key) + ", " + Text(valueName) + ", " + Number(reserved) + ", " +
                                       Number(type) + ", " + Number(dataSize))) {
    return static_cast<LONG>(*error);
  }
  return registry_.SetValue(key, valueName, type, data, dataSize);
}

LONG TFakeOs::RegCloseKey(HKEY key) {
  if (const auto error = Record("RegCloseKey", registry_.Describe(key))) return static_cast<LONG>(*error);
  return registry_.Close(key);
}

LONG TFakeOs::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                           LPDWORD classSize, LPFILETIME lastWriteTime) {
  if (const auto error = Record("RegEnumKeyExA", registry_.Describe(key) + ", " + Number(index))) {
    return static_cast<LONG>(*error);
  }
  if (reserved || keyClass || classSize || lastWriteTime) return ERROR_INVALID_PARAMETER;
  return registry_.EnumKey(key, index, name, nameSize);
}

LONG TFakeOs::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (const auto error = Record("RegDeleteKeyA", registry_.Describe(key) + ", " + Text(subKey))) {
    return static_cast<LONG>(*error);
  }
  return registry_.DeleteSubKey(key, subKey);
}

LONG TFakeOs::RegDeleteValueA(HKEY key, LPCSTR valueName) {
  if (const auto error = Record("RegDeleteValueA", registry_.Describe(key) + ", " + Text(valueName))) {
    return static_cast<LONG>(*error);
  }
  return registry_.DeleteValue(key, valueName);
}

// Every write of the fake is durable at once; a flush only needs a key.
LONG TFakeOs::RegFlushKey(HKEY key) {
  if (const auto error = Record("RegFlushKey", registry_.Describe(key))) return static_cast<LONG>(*error);
  return registry_.Flush(key);
}

LONG TFakeOs::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  if (const auto error =
          Record("RegGetKeySecurity", registry_.Describe(key) + ", " + Number(info) + ", " + Pointer(descriptor) +
                                          ", " + (size ? Number(*size) : std::string("NULL")))) {
    return static_cast<LONG>(*error);
  }
  return registry_.GetSecurity(key, info, descriptor, size);
}

LONG TFakeOs::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
  if (const auto error =
          Record("RegSetKeySecurity", registry_.Describe(key) + ", " + Number(info) + ", " + Pointer(descriptor))) {
    return static_cast<LONG>(*error);
  }
  return registry_.SetSecurity(key, info, descriptor);
}

DWORD TFakeOs::BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                       PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount,
                                       PEXPLICIT_ACCESS_A auditEntries, PSECURITY_DESCRIPTOR oldDescriptor, PULONG size,
                                       PSECURITY_DESCRIPTOR* newDescriptor) {
  if (const auto error =
          Record("BuildSecurityDescriptorA", Pointer(owner) + ", " + Pointer(group) + ", " + Number(accessCount) +
                                                 ", " + Pointer(accessEntries) + ", " + Number(auditCount) + ", " +
                                                 Pointer(auditEntries) + ", " + Pointer(oldDescriptor))) {
    return *error;
  }
  if (buildSecurityDescriptorResult_ != ERROR_SUCCESS) return buildSecurityDescriptorResult_;
  // Only the one request the program makes is modelled: nothing in, a blank descriptor out.
  if (owner || group || accessCount || auditCount || oldDescriptor) return ERROR_CALL_NOT_IMPLEMENTED;
  if (!size || !newDescriptor) return ERROR_INVALID_PARAMETER;
  const std::vector<BYTE> blank = BlankSecurityDescriptor();
  *newDescriptor = Allocate(blank.size(), false);
  std::memcpy(*newDescriptor, blank.data(), blank.size());
  *size = static_cast<ULONG>(blank.size());
  return ERROR_SUCCESS;
}

// Files

void TFakeOs::SetDosDevice(const std::string& drive, const std::string& target) {
  if (target.empty()) {
    dosDevices_.erase(drive);
  } else {
    dosDevices_[drive] = target;
  }
}

void TFakeOs::SetHibernation(bool supported, bool enabled) {
  hibernationSupported_ = supported;
  hibernationEnabled_ = enabled;
}

int TFakeOs::MutexHandleCount(const std::string& name) const {
  return static_cast<int>(std::count_if(mutexHandles_.begin(), mutexHandles_.end(),
                                        [&name](const auto& open) { return open.second == name; }));
}

HANDLE TFakeOs::FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (const auto error = Record("FindFirstFileA", Text(fileName))) {
    lastError_ = *error;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
  return Succeeds(files_.FindFirst(fileName, findData, &handle)) ? handle : INVALID_HANDLE_VALUE;
}

BOOL TFakeOs::FindClose(HANDLE findHandle) {
  if (const auto error = Record("FindClose", files_.Describe(findHandle))) return Succeeds(*error);
  return Succeeds(files_.CloseFind(findHandle));
}

BOOL TFakeOs::CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  if (const auto error = Record("CopyFileA", Text(existingFile) + ", " + Text(newFile) + ", " + Number(failIfExists))) {
    return Succeeds(*error);
  }
  const bool halfway = stoppingNow_ && stopHalfway_;
  if (!Succeeds(files_.Copy(existingFile, newFile, failIfExists != FALSE))) return FALSE;
  if (halfway) {
    std::string& written = files_.Find(newFile)->contents;
    written.resize(written.size() / 2);
  }
  return TRUE;
}

BOOL TFakeOs::MoveFileA(LPCSTR existingFile, LPCSTR newFile) {
  if (const auto error = Record("MoveFileA", Text(existingFile) + ", " + Text(newFile))) return Succeeds(*error);
  return Succeeds(files_.Move(existingFile, newFile));
}

HANDLE TFakeOs::CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  if (const auto error = Record("CreateFileA", Text(fileName) + ", " + Hex(access) + ", " + Hex(shareMode) + ", " +
                                                   Pointer(security) + ", " + Number(disposition) + ", " +
                                                   Hex(flagsAndAttributes) + ", " + Pointer(templateFile))) {
    lastError_ = *error;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool existed = false;
  if (!Succeeds(files_.Create(fileName, access, shareMode, disposition, flagsAndAttributes, &handle, &existed))) {
    return INVALID_HANDLE_VALUE;
  }
  // Windows tells "opened an existing file" this way for the two dispositions that may create.
  const bool mayCreate = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  lastError_ = (mayCreate && existed) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

BOOL TFakeOs::CloseHandle(HANDLE handle) {
  const auto mutex = mutexHandles_.find(handle);
  const bool processes = processes_.Owns(handle);
  if (const auto error = Record("CloseHandle", mutex != mutexHandles_.end() ? "mutex " + mutex->second
                                               : processes                  ? processes_.Describe(handle)
                                                                            : files_.Describe(handle))) {
    return Succeeds(*error);
  }
  if (mutex != mutexHandles_.end()) {
    mutexHandles_.erase(mutex);
    return TRUE;
  }
  if (processes) return Succeeds(processes_.Close(handle));
  return Succeeds(files_.CloseFile(handle));
}

BOOL TFakeOs::MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) {
  if (const auto error = Record("MoveFileExA", Text(existingFile) + ", " + Text(newFile) + ", " + Hex(flags))) {
    return Succeeds(*error);
  }
  return Succeeds(files_.Move(existingFile, newFile, (flags & MOVEFILE_REPLACE_EXISTING) != 0));
}

BOOL TFakeOs::DeleteFileA(LPCSTR fileName) {
  if (const auto error = Record("DeleteFileA", Text(fileName))) return Succeeds(*error);
  return Succeeds(files_.Delete(fileName));
}

DWORD TFakeOs::GetFileAttributesA(LPCSTR fileName) {
  if (const auto error = Record("GetFileAttributesA", Text(fileName))) {
    lastError_ = *error;
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  return Succeeds(files_.Attributes(fileName, &attributes)) ? attributes : INVALID_FILE_ATTRIBUTES;
}

BOOL TFakeOs::SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
  if (const auto error = Record("SetFileAttributesA", Text(fileName) + ", " + Hex(attributes))) {
    return Succeeds(*error);
  }
  return Succeeds(files_.SetAttributes(fileName, attributes));
}

BOOL TFakeOs::ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  if (bytesRead) *bytesRead = 0;
  const bool pipe = processes_.Owns(file);
  if (const auto error =
          Record("ReadFile", (pipe ? processes_.Describe(file) : files_.Describe(file)) + ", " + Number(bytesToRead))) {
    return Succeeds(*error);
  }
  if (!bytesRead || overlapped) return Succeeds(ERROR_INVALID_PARAMETER);
  if (pipe) return Succeeds(processes_.Read(file, buffer, bytesToRead, bytesRead));
  return Succeeds(files_.Read(file, buffer, bytesToRead, bytesRead));
}

DWORD TFakeOs::GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (const auto error = Record("GetFileSize", files_.Describe(file))) {
    lastError_ = *error;
    return INVALID_FILE_SIZE;
  }
  DWORD size = INVALID_FILE_SIZE;
  if (!Succeeds(files_.Size(file, &size))) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = 0;
  lastError_ = ERROR_SUCCESS;
  return size;
}

BOOL TFakeOs::FlushFileBuffers(HANDLE file) {
  if (const auto error = Record("FlushFileBuffers", files_.Describe(file))) return Succeeds(*error);
  return Succeeds(files_.Flush(file));
}

DWORD TFakeOs::QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size) {
  if (const auto error = Record("QueryDosDeviceA", Text(deviceName) + ", " + Number(size))) {
    lastError_ = *error;
    return 0;
  }
  const auto found = dosDevices_.find(Text(deviceName));
  if (!deviceName || found == dosDevices_.end()) {
    lastError_ = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  // The one name, its NUL and the NUL that ends the list.
  const std::string& target = found->second;
  const DWORD stored = static_cast<DWORD>(target.size() + 2);
  if (!targetPath || size < stored) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(targetPath, target.c_str(), target.size() + 1);
  targetPath[target.size() + 1] = '\0';
  return stored;
}

// Process, memory and platform

DWORD TFakeOs::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  if (const auto error = Record("GetEnvironmentVariableA", Text(name) + ", " + Number(size))) {
    lastError_ = *error;
    return 0;
  }
  const auto found = environment_.find(Text(name));
  if (found == environment_.end()) {
    lastError_ = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  const std::string& value = found->second;
  if (!buffer || size <= value.size()) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

DWORD TFakeOs::GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (const auto error = Record("GetModuleFileNameA", Pointer(module) + ", " + Number(size))) {
    lastError_ = *error;
    return 0;
  }
  if (module) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  if (size == 0) {
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  // Cut short to fit, NUL included, and the whole size returned.
  if (size <= modulePath_.size()) {
    std::memcpy(fileName, modulePath_.data(), size - 1);
    fileName[size - 1] = '\0';
    lastError_ = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  std::memcpy(fileName, modulePath_.c_str(), modulePath_.size() + 1);
  return static_cast<DWORD>(modulePath_.size());
}

BOOL TFakeOs::GetVersionExA(LPOSVERSIONINFOA versionInfo) {
  if (const auto error = Record("GetVersionExA", versionInfo ? Number(versionInfo->dwOSVersionInfoSize) : "NULL")) {
    return Succeeds(*error);
  }
  if (!versionInfo) return Succeeds(ERROR_INVALID_PARAMETER);
  if (versionInfo->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return Succeeds(ERROR_INSUFFICIENT_BUFFER);
  versionInfo->dwMajorVersion = 5;
  versionInfo->dwMinorVersion = 1;
  versionInfo->dwBuildNumber = 2600;
  versionInfo->dwPlatformId = platformId_;
  std::strcpy(versionInfo->szCSDVersion, "Service Pack 3");
  return TRUE;
}

HLOCAL TFakeOs::LocalAlloc(UINT flags, SIZE_T bytes) {
  if (const auto error = Record("LocalAlloc", Hex(flags) + ", " + Number(bytes))) {
    lastError_ = *error;
    return nullptr;
  }
  return Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL TFakeOs::LocalFree(HLOCAL memory) {
  const auto found = allocations_.find(memory);
  const std::string which = !memory                       ? "NULL"
                            : found == allocations_.end() ? "<unknown>"
                                                          : "#" + Number(found->second.serial);
  if (const auto error = Record("LocalFree", which)) {
    lastError_ = *error;
    return memory;
  }
  if (!memory) return nullptr;
  if (found == allocations_.end()) {
    lastError_ = ERROR_INVALID_HANDLE;
    return memory;
  }
  allocations_.erase(found);
  return nullptr;
}

BOOL TFakeOs::IsDBCSLeadByte(BYTE testChar) {
  if (codePage_ != 932) return FALSE;
  return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
}

UINT TFakeOs::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (const auto error = Record("GetSystemDirectoryA", Number(size))) {
    lastError_ = *error;
    return 0;
  }
  if (!buffer || size <= systemFolder_.size()) return static_cast<UINT>(systemFolder_.size() + 1);
  std::memcpy(buffer, systemFolder_.c_str(), systemFolder_.size() + 1);
  return static_cast<UINT>(systemFolder_.size());
}

HANDLE TFakeOs::CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) {
  if (const auto error = Record("CreateMutexA", Pointer(security) + ", " + Number(initialOwner) + ", " + Text(name))) {
    lastError_ = *error;
    return nullptr;
  }
  // Only named mutexes are modelled; ownership is not.
  if (!name) {
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return nullptr;
  }
  const bool existed = MutexHandleCount(name) > 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(nextMutexHandle_);
  nextMutexHandle_ += 4;
  mutexHandles_[handle] = name;
  lastError_ = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

// Services and other programs

SC_HANDLE TFakeOs::OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) {
  if (const auto error = Record("OpenSCManagerA", Text(machineName) + ", " + Text(databaseName) + ", " + Hex(access))) {
    lastError_ = *error;
    return nullptr;
  }
  SC_HANDLE manager = nullptr;
  return Succeeds(processes_.OpenManager(&manager)) ? manager : nullptr;
}

SC_HANDLE TFakeOs::OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
  if (const auto error = Record("OpenServiceA", Pointer(manager) + ", " + Text(serviceName) + ", " + Hex(access))) {
    lastError_ = *error;
    return nullptr;
  }
  SC_HANDLE service = nullptr;
  return Succeeds(processes_.OpenService(manager, Text(serviceName), &service)) ? service : nullptr;
}

BOOL TFakeOs::QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (const auto error = Record("QueryServiceStatus", Pointer(service))) return Succeeds(*error);
  return Succeeds(processes_.QueryStatus(service, status));
}

BOOL TFakeOs::CloseServiceHandle(SC_HANDLE handle) {
  if (const auto error = Record("CloseServiceHandle", processes_.Describe(handle))) return Succeeds(*error);
  return Succeeds(processes_.CloseService(handle));
}

BOOL TFakeOs::CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES security, DWORD size) {
  if (const auto error =
          Record("CreatePipe",
                 std::string(security && security->bInheritHandle ? "inheritable" : "private") + ", " + Number(size))) {
    return Succeeds(*error);
  }
  if (!readPipe || !writePipe) return Succeeds(ERROR_INVALID_PARAMETER);
  return Succeeds(processes_.CreatePipe(readPipe, writePipe, size));
}

BOOL TFakeOs::PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPDWORD bytesAvailable,
                           LPDWORD bytesLeftThisMessage) {
  if (const auto error = Record("PeekNamedPipe", processes_.Describe(pipe) + ", " + Number(size))) {
    return Succeeds(*error);
  }
  // Only asking how much there is is modelled.
  if (buffer || size || bytesRead || bytesLeftThisMessage) return Succeeds(ERROR_CALL_NOT_IMPLEMENTED);
  return Succeeds(processes_.Peek(pipe, bytesAvailable));
}

BOOL TFakeOs::CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                            LPSECURITY_ATTRIBUTES threadSecurity, BOOL inheritHandles, DWORD creationFlags,
                            LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                            LPPROCESS_INFORMATION processInformation) {
  const DWORD shown = startupInfo && (startupInfo->dwFlags & STARTF_USESHOWWINDOW) ? startupInfo->wShowWindow : 1;
  if (const auto error =
          Record("CreateProcessA", Text(applicationName) + ", " + Text(commandLine) + ", " + Number(inheritHandles) +
                                       ", " + Hex(creationFlags) + ", show " + Number(shown))) {
    return Succeeds(*error);
  }
  if (!applicationName || !startupInfo || !processInformation || processSecurity || threadSecurity || environment ||
      currentDirectory) {
    return Succeeds(ERROR_INVALID_PARAMETER);
  }
  return Succeeds(
      processes_.Start(applicationName, Text(commandLine), inheritHandles != FALSE, *startupInfo, processInformation));
}

DWORD TFakeOs::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (const auto error = Record("WaitForSingleObject", processes_.Describe(handle) + ", " + Number(milliseconds))) {
    lastError_ = *error;
    return WAIT_FAILED;
  }
  DWORD result = WAIT_FAILED;
  return Succeeds(processes_.Wait(handle, &result)) ? result : WAIT_FAILED;
}

BOOL TFakeOs::TerminateProcess(HANDLE process, UINT exitCode) {
  if (const auto error = Record("TerminateProcess", processes_.Describe(process) + ", " + Number(exitCode))) {
    return Succeeds(*error);
  }
  return Succeeds(processes_.Terminate(process));
}

// Libraries

HMODULE TFakeOs::LoadLibraryA(LPCSTR fileName) {
  if (const auto error = Record("LoadLibraryA", Text(fileName))) {
    lastError_ = *error;
    return nullptr;
  }
  if (!fileName || !files_.IsFile(fileName)) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  auto& module = libraries_[fileName];
  if (!module) module = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000 + 0x10000 * libraries_.size()));
  return module;
}

namespace {
intptr_t NotToBeCalled() {
  return 0;
}
}  // namespace

FARPROC TFakeOs::GetProcAddress(HMODULE module, LPCSTR procName) {
  if (const auto error = Record("GetProcAddress", Pointer(module) + ", " + Text(procName))) {
    lastError_ = *error;
    return nullptr;
  }
  const bool known = std::any_of(libraries_.begin(), libraries_.end(),
                                 [module](const auto& library) { return library.second == module; });
  if (!known) {
    lastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(&NotToBeCalled);
}

BOOL TFakeOs::SetDllDirectoryA(LPCSTR pathName) {
  if (const auto error = Record("SetDllDirectoryA", Text(pathName))) return Succeeds(*error);
  dllDirectory_ = Text(pathName);
  return TRUE;
}

// Version resources

DWORD TFakeOs::GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  if (handle) *handle = 0;
  if (const auto error = Record("GetFileVersionInfoSizeA", Text(fileName))) {
    lastError_ = *error;
    return 0;
  }
  DWORD size = 0;
  return Succeeds(files_.VersionInfoSize(Text(fileName), &size)) ? size : 0;
}

BOOL TFakeOs::GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) {
  if (const auto error = Record("GetFileVersionInfoA", Text(fileName) + ", " + Number(handle) + ", " + Number(size))) {
    return Succeeds(*error);
  }
  DWORD copied = 0;
  if (!Succeeds(files_.VersionInfo(Text(fileName), size, static_cast<BYTE*>(data), &copied))) return FALSE;
  versionBlocks_[data] = copied;
  return TRUE;
}

BOOL TFakeOs::VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  if (const auto error = Record("VerQueryValueA", Text(subBlock))) return Succeeds(*error);
  if (!block || !buffer || !length) return FALSE;
  // A block this fake filled is known to end where its copy ended; any
  // other is taken at its word.
  const auto* bytes = static_cast<const BYTE*>(block);
  const auto known = versionBlocks_.find(block);
  if (known != versionBlocks_.end() && known->second < 2) return Succeeds(ERROR_RESOURCE_TYPE_NOT_FOUND);
  const size_t stated = bytes[0] | (bytes[1] << 8);
  const size_t limit = known != versionBlocks_.end() ? std::min(known->second, stated) : stated;
  const BYTE* value = nullptr;
  if (!FindVersionValue(bytes, limit, Text(subBlock).c_str(), &value, length))
    return Succeeds(ERROR_RESOURCE_TYPE_NOT_FOUND);
  *buffer = const_cast<BYTE*>(value);
  return TRUE;
}

// Shell

HINSTANCE TFakeOs::ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                INT showCommand) {
  if (const auto error =
          Record("ShellExecuteA", Pointer(owner) + ", " + Text(verb) + ", " + Text(file) + ", " + Text(parameters) +
                                      ", " + Text(directory) + ", " + Number(static_cast<unsigned>(showCommand)))) {
    // ShellExecuteA reports failure as a small number in place of the instance.
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(*error <= 32 ? *error : 0));
  }
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(42));
}

// Power management

BOOLEAN TFakeOs::GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
  if (const auto error = Record("GetPwrCapabilities", Pointer(capabilities))) return Succeeds(*error);
  if (!capabilities) return Succeeds(ERROR_INVALID_PARAMETER);
  std::memset(capabilities, 0, sizeof *capabilities);
  capabilities->SystemS4 = hibernationSupported_;
  capabilities->HiberFilePresent = hibernationSupported_ && hibernationEnabled_;
  return TRUE;
}
