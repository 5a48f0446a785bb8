#include "support/fake_os.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "support/fake_version.h"
#include "support/security_descriptor_bytes.h"

namespace {

constexpr DWORD kProcessAborted = 1067;  // ERROR_PROCESS_ABORTED
// The LUIDs Windows gives the privileges modelled here.
constexpr struct {
  const char* Name;
  DWORD Luid;
} kPrivileges[] = {{SE_SHUTDOWN_NAME, 19}, {SE_TAKE_OWNERSHIP_NAME, 9}, {SE_RESTORE_NAME, 18}};
constexpr DWORD kShutdownPrivilege = 19;

// A system cursor as LoadCursorA(NULL, name) gives it: the same every time.
HCURSOR LoadedCursor(LPCSTR name) {
  return reinterpret_cast<HCURSOR>(0x50000 + reinterpret_cast<uintptr_t>(name));
}

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

TFakeOs::TFakeOs() : Files_([this](BYTE c) { return IsDBCSLeadByte(c) != FALSE; }) {
  DosDevices_["C:"] = "\\Device\\HarddiskVolume1";
  // Every Windows has it.
  Registry_.CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control");
}

TFakeOs::~TFakeOs() = default;

std::vector<std::string> TFakeOs::CallsNamed(const std::string& name) const {
  std::vector<std::string> named;
  for (const std::string& call : Calls_) {
    if (call.compare(0, name.size() + 1, name + "(") == 0) named.push_back(call);
  }
  return named;
}

void TFakeOs::FailNthCall(int nth, DWORD error) {
  Faults_.push_back({"", "", nth, error});
}

void TFakeOs::FailCall(const std::string& name, DWORD error, int nth) {
  Faults_.push_back({name, "", nth, error});
}

void TFakeOs::FailCallsContaining(const std::string& text, DWORD error) {
  Faults_.push_back({"", text, 0, error});
}

void TFakeOs::StopProcessAtCall(int nth, bool halfway) {
  StopAt_ = nth;
  StopHalfway_ = halfway;
}

void TFakeOs::StartProcessAgain() {
  Registry_.CloseAll();
  Files_.CloseAll();
  Processes_.CloseAll();
  Allocations_.clear();
  VersionBlocks_.clear();
  Faults_.clear();
  StopAt_ = 0;
  Stopped_ = StoppingNow_ = false;
  LastError_ = 0;
}

std::optional<DWORD> TFakeOs::Record(const std::string& name, const std::string& arguments) {
  // What a dead process would have done never happens.
  StoppingNow_ = false;
  if (Stopped_) return kProcessAborted;
  if (StopAt_ > 0 && --StopAt_ == 0) Stopped_ = StoppingNow_ = true;
  Calls_.push_back(name + "(" + arguments + ")");
  std::optional<DWORD> injected;
  for (Fault& fault : Faults_) {
    if (!fault.Name.empty() && fault.Name != name) continue;
    if (!fault.Text.empty() && Calls_.back().find(fault.Text) == std::string::npos) continue;
    ++fault.Seen;
    if (!injected && (fault.Nth == 0 || fault.Seen == fault.Nth)) injected = fault.Error;
  }
  return injected;
}

bool TFakeOs::Succeeds(DWORD error) {
  if (error == ERROR_SUCCESS) return true;
  LastError_ = error;
  return false;
}

HLOCAL TFakeOs::Allocate(size_t bytes, bool zeroed) {
  // Exactly the size asked for, so that the sanitizers see any overrun.
  std::unique_ptr<BYTE[]> block(zeroed ? new BYTE[bytes ? bytes : 1]() : new BYTE[bytes ? bytes : 1]);
  const HLOCAL memory = block.get();
  Allocations_[memory] = {std::move(block), NextAllocation_++};
  return memory;
}

// Registry

LONG TFakeOs::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                              LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
  if (const auto error =
          Record("RegCreateKeyExA", Registry_.Describe(key) + ", " + Text(subKey) + ", " + Number(reserved) + ", " +
                                        Text(keyClass) + ", " + Number(options) + ", " + Hex(access) + ", " +
                                        Pointer(security) + ", " + Pointer(disposition))) {
    return static_cast<LONG>(*error);
  }
  if (reserved != 0) return ERROR_INVALID_PARAMETER;
  return Registry_.Create(key, subKey, access, result, disposition,
                          security ? security->lpSecurityDescriptor : nullptr);
}

LONG TFakeOs::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  if (const auto error = Record("RegOpenKeyExA", Registry_.Describe(key) + ", " + Text(subKey) + ", " +
                                                     Number(options) + ", " + Hex(access))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.Open(key, subKey, access, result);
}

LONG TFakeOs::RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                               LPDWORD dataSize) {
  if (const auto error = Record("RegQueryValueExA", Registry_.Describe(key) + ", " + Text(valueName))) {
    return static_cast<LONG>(*error);
  }
  if (reserved) return ERROR_INVALID_PARAMETER;
  return Registry_.QueryValue(key, valueName, type, data, dataSize);
}

LONG TFakeOs::RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  if (const auto error =
          Record("RegSetValueExA", Registry_.Describe(key) + ", " + Text(valueName) + ", " + Number(reserved) + ", " +
                                       Number(type) + ", " + Number(dataSize))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.SetValue(key, valueName, type, data, dataSize);
}

LONG TFakeOs::RegCloseKey(HKEY key) {
  if (const auto error = Record("RegCloseKey", Registry_.Describe(key))) return static_cast<LONG>(*error);
  return Registry_.Close(key);
}

LONG TFakeOs::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR keyClass,
                            LPDWORD classSize, LPFILETIME lastWriteTime) {
  if (const auto error = Record("RegEnumKeyExA", Registry_.Describe(key) + ", " + Number(index))) {
    return static_cast<LONG>(*error);
  }
  if (reserved || keyClass || classSize || lastWriteTime) return ERROR_INVALID_PARAMETER;
  return Registry_.EnumKey(key, index, name, nameSize);
}

LONG TFakeOs::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (const auto error = Record("RegDeleteKeyA", Registry_.Describe(key) + ", " + Text(subKey))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.DeleteSubKey(key, subKey);
}

LONG TFakeOs::RegDeleteValueA(HKEY key, LPCSTR valueName) {
  if (const auto error = Record("RegDeleteValueA", Registry_.Describe(key) + ", " + Text(valueName))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.DeleteValue(key, valueName);
}

// Every write of the fake is durable at once; a flush only needs a key.
LONG TFakeOs::RegFlushKey(HKEY key) {
  if (const auto error = Record("RegFlushKey", Registry_.Describe(key))) return static_cast<LONG>(*error);
  return Registry_.Flush(key);
}

LONG TFakeOs::RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
  if (const auto error =
          Record("RegGetKeySecurity", Registry_.Describe(key) + ", " + Number(info) + ", " + Pointer(descriptor) +
                                          ", " + (size ? Number(*size) : std::string("NULL")))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.GetSecurity(key, info, descriptor, size);
}

LONG TFakeOs::RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
  if (const auto error =
          Record("RegSetKeySecurity", Registry_.Describe(key) + ", " + Number(info) + ", " + Pointer(descriptor))) {
    return static_cast<LONG>(*error);
  }
  return Registry_.SetSecurity(key, info, descriptor);
}

DWORD TFakeOs::BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                        PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount,
                                        PEXPLICIT_ACCESS_A auditEntries, PSECURITY_DESCRIPTOR oldDescriptor,
                                        PULONG size, PSECURITY_DESCRIPTOR* newDescriptor) {
  if (const auto error =
          Record("BuildSecurityDescriptorA", Pointer(owner) + ", " + Pointer(group) + ", " + Number(accessCount) +
                                                 ", " + Pointer(accessEntries) + ", " + Number(auditCount) + ", " +
                                                 Pointer(auditEntries) + ", " + Pointer(oldDescriptor))) {
    return *error;
  }
  if (BuildSecurityDescriptorResult_ != ERROR_SUCCESS) return BuildSecurityDescriptorResult_;
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
    DosDevices_.erase(drive);
  } else {
    DosDevices_[drive] = target;
  }
}

void TFakeOs::SetHibernation(bool supported, bool enabled) {
  HibernationSupported_ = supported;
  HibernationEnabled_ = enabled;
}

int TFakeOs::MutexHandleCount(const std::string& name) const {
  return static_cast<int>(std::count_if(MutexHandles_.begin(), MutexHandles_.end(),
                                        [&name](const auto& open) { return open.second == name; }));
}

HANDLE TFakeOs::FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (const auto error = Record("FindFirstFileA", Text(fileName))) {
    LastError_ = *error;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
  return Succeeds(Files_.FindFirst(fileName, findData, &handle)) ? handle : INVALID_HANDLE_VALUE;
}

BOOL TFakeOs::FindClose(HANDLE findHandle) {
  if (const auto error = Record("FindClose", Files_.Describe(findHandle))) return Succeeds(*error);
  return Succeeds(Files_.CloseFind(findHandle));
}

BOOL TFakeOs::CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  if (const auto error = Record("CopyFileA", Text(existingFile) + ", " + Text(newFile) + ", " + Number(failIfExists))) {
    return Succeeds(*error);
  }
  const bool halfway = StoppingNow_ && StopHalfway_;
  if (!Succeeds(Files_.Copy(existingFile, newFile, failIfExists != FALSE))) return FALSE;
  if (halfway) {
    std::string& written = Files_.Find(newFile)->Contents;
    written.resize(written.size() / 2);
  }
  return TRUE;
}

BOOL TFakeOs::MoveFileA(LPCSTR existingFile, LPCSTR newFile) {
  if (const auto error = Record("MoveFileA", Text(existingFile) + ", " + Text(newFile))) return Succeeds(*error);
  return Succeeds(Files_.Move(existingFile, newFile));
}

HANDLE TFakeOs::CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  if (const auto error = Record("CreateFileA", Text(fileName) + ", " + Hex(access) + ", " + Hex(shareMode) + ", " +
                                                   Pointer(security) + ", " + Number(disposition) + ", " +
                                                   Hex(flagsAndAttributes) + ", " + Pointer(templateFile))) {
    LastError_ = *error;
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool existed = false;
  if (!Succeeds(Files_.Create(fileName, access, shareMode, disposition, flagsAndAttributes, &handle, &existed))) {
    return INVALID_HANDLE_VALUE;
  }
  // Windows tells "opened an existing file" this way for the two dispositions that may create.
  const bool mayCreate = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  LastError_ = (mayCreate && existed) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

BOOL TFakeOs::CloseHandle(HANDLE handle) {
  const auto mutex = MutexHandles_.find(handle);
  const bool processes = Processes_.Owns(handle);
  if (const auto error = Record("CloseHandle", mutex != MutexHandles_.end() ? "mutex " + mutex->second
                                               : processes                  ? Processes_.Describe(handle)
                                                                            : Files_.Describe(handle))) {
    return Succeeds(*error);
  }
  if (mutex != MutexHandles_.end()) {
    MutexHandles_.erase(mutex);
    return TRUE;
  }
  if (processes) return Succeeds(Processes_.Close(handle));
  return Succeeds(Files_.CloseFile(handle));
}

BOOL TFakeOs::MoveFileExA(LPCSTR existingFile, LPCSTR newFile, DWORD flags) {
  if (const auto error = Record("MoveFileExA", Text(existingFile) + ", " + Text(newFile) + ", " + Hex(flags))) {
    return Succeeds(*error);
  }
  return Succeeds(Files_.Move(existingFile, newFile, (flags & MOVEFILE_REPLACE_EXISTING) != 0));
}

BOOL TFakeOs::DeleteFileA(LPCSTR fileName) {
  if (const auto error = Record("DeleteFileA", Text(fileName))) return Succeeds(*error);
  return Succeeds(Files_.Delete(fileName));
}

DWORD TFakeOs::GetFileAttributesA(LPCSTR fileName) {
  if (const auto error = Record("GetFileAttributesA", Text(fileName))) {
    LastError_ = *error;
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  return Succeeds(Files_.Attributes(fileName, &attributes)) ? attributes : INVALID_FILE_ATTRIBUTES;
}

BOOL TFakeOs::SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
  if (const auto error = Record("SetFileAttributesA", Text(fileName) + ", " + Hex(attributes))) {
    return Succeeds(*error);
  }
  return Succeeds(Files_.SetAttributes(fileName, attributes));
}

BOOL TFakeOs::ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  if (bytesRead) *bytesRead = 0;
  const bool pipe = Processes_.Owns(file);
  if (const auto error =
          Record("ReadFile", (pipe ? Processes_.Describe(file) : Files_.Describe(file)) + ", " + Number(bytesToRead))) {
    return Succeeds(*error);
  }
  if (!bytesRead || overlapped) return Succeeds(ERROR_INVALID_PARAMETER);
  if (pipe) return Succeeds(Processes_.Read(file, buffer, bytesToRead, bytesRead));
  return Succeeds(Files_.Read(file, buffer, bytesToRead, bytesRead));
}

DWORD TFakeOs::GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (const auto error = Record("GetFileSize", Files_.Describe(file))) {
    LastError_ = *error;
    return INVALID_FILE_SIZE;
  }
  DWORD size = INVALID_FILE_SIZE;
  if (!Succeeds(Files_.Size(file, &size))) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = 0;
  LastError_ = ERROR_SUCCESS;
  return size;
}

BOOL TFakeOs::FlushFileBuffers(HANDLE file) {
  if (const auto error = Record("FlushFileBuffers", Files_.Describe(file))) return Succeeds(*error);
  return Succeeds(Files_.Flush(file));
}

BOOL TFakeOs::DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                              LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  const USHORT format = in && inSize >= sizeof(USHORT) ? *static_cast<const USHORT*>(in) : 0xFFFF;
  if (const auto error = Record("DeviceIoControl", Files_.Describe(device) + ", " + Hex(controlCode) + ", " +
                                                       Number(format) + ", " + Pointer(out) + ", " + Number(outSize))) {
    return Succeeds(*error);
  }
  // Only the one control the program sends; a synchronous call needs somewhere to say how much came back.
  if (controlCode != FSCTL_SET_COMPRESSION) return Succeeds(ERROR_INVALID_FUNCTION);
  if (!bytesReturned || overlapped || format == 0xFFFF) return Succeeds(ERROR_INVALID_PARAMETER);
  *bytesReturned = 0;
  return Succeeds(Files_.SetCompression(device, format));
}

DWORD TFakeOs::QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD size) {
  if (const auto error = Record("QueryDosDeviceA", Text(deviceName) + ", " + Number(size))) {
    LastError_ = *error;
    return 0;
  }
  const auto found = DosDevices_.find(Text(deviceName));
  if (!deviceName || found == DosDevices_.end()) {
    LastError_ = ERROR_FILE_NOT_FOUND;
    return 0;
  }
  // The one name, its NUL and the NUL that ends the list.
  const std::string& target = found->second;
  const DWORD stored = static_cast<DWORD>(target.size() + 2);
  if (!targetPath || size < stored) {
    LastError_ = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::memcpy(targetPath, target.c_str(), target.size() + 1);
  targetPath[target.size() + 1] = '\0';
  return stored;
}

// Process, memory and platform

DWORD TFakeOs::GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  if (const auto error = Record("GetEnvironmentVariableA", Text(name) + ", " + Number(size))) {
    LastError_ = *error;
    return 0;
  }
  const auto found = Environment_.find(Text(name));
  if (found == Environment_.end()) {
    LastError_ = ERROR_ENVVAR_NOT_FOUND;
    return 0;
  }
  const std::string& value = found->second;
  if (!buffer || size <= value.size()) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

DWORD TFakeOs::GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (const auto error = Record("GetModuleFileNameA", Pointer(module) + ", " + Number(size))) {
    LastError_ = *error;
    return 0;
  }
  if (module) {
    LastError_ = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  if (size == 0) {
    LastError_ = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  // Cut short to fit, NUL included, and the whole size returned.
  if (size <= ModulePath_.size()) {
    std::memcpy(fileName, ModulePath_.data(), size - 1);
    fileName[size - 1] = '\0';
    LastError_ = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  std::memcpy(fileName, ModulePath_.c_str(), ModulePath_.size() + 1);
  return static_cast<DWORD>(ModulePath_.size());
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
  versionInfo->dwPlatformId = PlatformId_;
  std::strcpy(versionInfo->szCSDVersion, "Service Pack 3");
  return TRUE;
}

HLOCAL TFakeOs::LocalAlloc(UINT flags, SIZE_T bytes) {
  if (const auto error = Record("LocalAlloc", Hex(flags) + ", " + Number(bytes))) {
    LastError_ = *error;
    return nullptr;
  }
  return Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
}

HLOCAL TFakeOs::LocalFree(HLOCAL memory) {
  const auto found = Allocations_.find(memory);
  const std::string which = !memory                       ? "NULL"
                            : found == Allocations_.end() ? "<unknown>"
                                                          : "#" + Number(found->second.Serial);
  if (const auto error = Record("LocalFree", which)) {
    LastError_ = *error;
    return memory;
  }
  if (!memory) return nullptr;
  if (found == Allocations_.end()) {
    LastError_ = ERROR_INVALID_HANDLE;
    return memory;
  }
  Allocations_.erase(found);
  return nullptr;
}

BOOL TFakeOs::IsDBCSLeadByte(BYTE testChar) {
  if (CodePage_ != 932) return FALSE;
  return (testChar >= 0x81 && testChar <= 0x9F) || (testChar >= 0xE0 && testChar <= 0xFC);
}

UINT TFakeOs::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (const auto error = Record("GetSystemDirectoryA", Number(size))) {
    LastError_ = *error;
    return 0;
  }
  if (!buffer || size <= SystemFolder_.size()) return static_cast<UINT>(SystemFolder_.size() + 1);
  std::memcpy(buffer, SystemFolder_.c_str(), SystemFolder_.size() + 1);
  return static_cast<UINT>(SystemFolder_.size());
}

HANDLE TFakeOs::CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name) {
  if (const auto error = Record("CreateMutexA", Pointer(security) + ", " + Number(initialOwner) + ", " + Text(name))) {
    LastError_ = *error;
    return nullptr;
  }
  // Only named mutexes are modelled; ownership is not.
  if (!name) {
    LastError_ = ERROR_CALL_NOT_IMPLEMENTED;
    return nullptr;
  }
  const bool existed = MutexHandleCount(name) > 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(NextMutexHandle_);
  NextMutexHandle_ += 4;
  MutexHandles_[handle] = name;
  LastError_ = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

// The event log

void TFakeOs::AddSystemEvent(const std::string& source, DWORD id, const std::vector<std::string>& strings) {
  std::vector<BYTE> record(sizeof(EVENTLOGRECORD));
  record.insert(record.end(), source.c_str(), source.c_str() + source.size() + 1);
  const size_t stringOffset = record.size();
  for (const std::string& text : strings) record.insert(record.end(), text.c_str(), text.c_str() + text.size() + 1);
  record.resize((record.size() + 3) & ~size_t(3));
  EVENTLOGRECORD fixed = {};
  fixed.Length = static_cast<DWORD>(record.size() + 4);  // the length again ends the record
  fixed.EventID = id;
  fixed.NumStrings = static_cast<WORD>(strings.size());
  fixed.StringOffset = static_cast<DWORD>(stringOffset);
  std::memcpy(record.data(), &fixed, sizeof fixed);
  record.insert(record.end(), reinterpret_cast<const BYTE*>(&fixed.Length),
                reinterpret_cast<const BYTE*>(&fixed.Length) + 4);
  SystemEvents_.push_back(std::move(record));
}

HANDLE TFakeOs::OpenEventLogA(LPCSTR server, LPCSTR source) {
  if (const auto error = Record("OpenEventLogA", Text(server) + ", " + Text(source))) {
    LastError_ = *error;
    return nullptr;
  }
  ++OpenEventLogs_;
  EventsRead_ = 0;
  return reinterpret_cast<HANDLE>(uintptr_t{0xE7E7});
}

// Only reading from the newest back, as many whole records as fit, is modelled.
BOOL TFakeOs::ReadEventLogA(HANDLE log, DWORD flags, DWORD offset, LPVOID buffer, DWORD size, DWORD* read,
                            DWORD* needed) {
  if (const auto error = Record("ReadEventLogA", Hex(flags) + ", " + Number(offset) + ", " + Number(size))) {
    return Succeeds(*error);
  }
  if (log != reinterpret_cast<HANDLE>(uintptr_t{0xE7E7}) || !OpenEventLogs_) return Succeeds(ERROR_INVALID_HANDLE);
  if (flags != (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ)) return Succeeds(ERROR_CALL_NOT_IMPLEMENTED);
  *read = *needed = 0;
  if (EventsRead_ == SystemEvents_.size()) return Succeeds(ERROR_HANDLE_EOF);
  auto* out = static_cast<BYTE*>(buffer);
  while (EventsRead_ < SystemEvents_.size()) {
    const std::vector<BYTE>& record = SystemEvents_[SystemEvents_.size() - 1 - EventsRead_];
    if (*read + record.size() > size) break;
    std::memcpy(out + *read, record.data(), record.size());
    *read += static_cast<DWORD>(record.size());
    ++EventsRead_;
  }
  if (*read) return TRUE;
  *needed = static_cast<DWORD>(SystemEvents_[SystemEvents_.size() - 1 - EventsRead_].size());
  return Succeeds(ERROR_INSUFFICIENT_BUFFER);
}

BOOL TFakeOs::CloseEventLog(HANDLE log) {
  if (const auto error = Record("CloseEventLog", "")) return Succeeds(*error);
  if (log != reinterpret_cast<HANDLE>(uintptr_t{0xE7E7}) || !OpenEventLogs_) return Succeeds(ERROR_INVALID_HANDLE);
  --OpenEventLogs_;
  return TRUE;
}

// Services and other programs

SC_HANDLE TFakeOs::OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access) {
  if (const auto error = Record("OpenSCManagerA", Text(machineName) + ", " + Text(databaseName) + ", " + Hex(access))) {
    LastError_ = *error;
    return nullptr;
  }
  SC_HANDLE manager = nullptr;
  return Succeeds(Processes_.OpenManager(&manager)) ? manager : nullptr;
}

SC_HANDLE TFakeOs::OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access) {
  if (const auto error = Record("OpenServiceA", Pointer(manager) + ", " + Text(serviceName) + ", " + Hex(access))) {
    LastError_ = *error;
    return nullptr;
  }
  SC_HANDLE service = nullptr;
  return Succeeds(Processes_.OpenService(manager, Text(serviceName), &service)) ? service : nullptr;
}

BOOL TFakeOs::QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (const auto error = Record("QueryServiceStatus", Pointer(service))) return Succeeds(*error);
  return Succeeds(Processes_.QueryStatus(service, status));
}

BOOL TFakeOs::CloseServiceHandle(SC_HANDLE handle) {
  if (const auto error = Record("CloseServiceHandle", Processes_.Describe(handle))) return Succeeds(*error);
  return Succeeds(Processes_.CloseService(handle));
}

BOOL TFakeOs::CreatePipe(PHANDLE readPipe, PHANDLE writePipe, LPSECURITY_ATTRIBUTES security, DWORD size) {
  if (const auto error =
          Record("CreatePipe",
                 std::string(security && security->bInheritHandle ? "inheritable" : "private") + ", " + Number(size))) {
    return Succeeds(*error);
  }
  if (!readPipe || !writePipe) return Succeeds(ERROR_INVALID_PARAMETER);
  return Succeeds(Processes_.CreatePipe(readPipe, writePipe, size));
}

BOOL TFakeOs::PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD size, LPDWORD bytesRead, LPDWORD bytesAvailable,
                            LPDWORD bytesLeftThisMessage) {
  if (const auto error = Record("PeekNamedPipe", Processes_.Describe(pipe) + ", " + Number(size))) {
    return Succeeds(*error);
  }
  // Only asking how much there is is modelled.
  if (buffer || size || bytesRead || bytesLeftThisMessage) return Succeeds(ERROR_CALL_NOT_IMPLEMENTED);
  return Succeeds(Processes_.Peek(pipe, bytesAvailable));
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
      Processes_.Start(applicationName, Text(commandLine), inheritHandles != FALSE, *startupInfo, processInformation));
}

DWORD TFakeOs::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (const auto error = Record("WaitForSingleObject", Processes_.Describe(handle) + ", " + Number(milliseconds))) {
    LastError_ = *error;
    return WAIT_FAILED;
  }
  DWORD result = WAIT_FAILED;
  return Succeeds(Processes_.Wait(handle, &result)) ? result : WAIT_FAILED;
}

BOOL TFakeOs::TerminateProcess(HANDLE process, UINT exitCode) {
  if (const auto error = Record("TerminateProcess", Processes_.Describe(process) + ", " + Number(exitCode))) {
    return Succeeds(*error);
  }
  return Succeeds(Processes_.Terminate(process, exitCode));
}

BOOL TFakeOs::GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  if (const auto error = Record("GetExitCodeProcess", Processes_.Describe(process))) return Succeeds(*error);
  return Succeeds(Processes_.ExitCode(process, exitCode));
}

// Waiting and the message queue

void TFakeOs::QueueMessageAt(DWORD tick, UINT message) {
  Coming_.push_back({tick, message});
}

std::vector<UINT> TFakeOs::QueuedMessages() const {
  return Queue_;
}

DWORD TFakeOs::MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wakeAll, DWORD milliseconds,
                                         DWORD wakeMask) {
  std::string described;
  for (DWORD i = 0; handles && i < count; ++i) described += Processes_.Describe(handles[i]) + ", ";
  if (const auto error = Record("MsgWaitForMultipleObjects", described + Number(milliseconds) + ", " + Hex(wakeMask))) {
    LastError_ = *error;
    return WAIT_FAILED;
  }
  if (!handles || count != 1 || wakeAll || milliseconds == 0xFFFFFFFF) {
    LastError_ = ERROR_INVALID_PARAMETER;  // only what the program asks is modelled
    return WAIT_FAILED;
  }
  if (!Processes_.Owns(handles[0])) {
    LastError_ = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  if (Processes_.Signalled(handles[0])) return WAIT_OBJECT_0;
  // The message due first within the time, counted round the wrap as Windows does.
  auto next = Coming_.end();
  for (auto it = Coming_.begin(); it != Coming_.end(); ++it) {
    const DWORD wait = it->Due - Tick_ <= 0x7FFFFFFF ? it->Due - Tick_ : 0;
    if (wait <= milliseconds && (next == Coming_.end() || wait < next->Due - Tick_)) next = it;
  }
  if (next != Coming_.end() && (wakeMask & QS_ALLINPUT)) {
    if (next->Due - Tick_ <= 0x7FFFFFFF) Tick_ = next->Due;
    Queue_.push_back(next->Message);
    Coming_.erase(next);
    return WAIT_OBJECT_0 + count;
  }
  Tick_ += milliseconds;
  return WAIT_TIMEOUT;
}

BOOL TFakeOs::PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  if (const auto error =
          Record("PeekMessageA", Pointer(window) + ", " + Hex(first) + ", " + Hex(last) + ", " + Number(remove))) {
    return Succeeds(*error);
  }
  for (auto it = Queue_.begin(); it != Queue_.end(); ++it) {
    if ((first || last) && (*it < first || *it > last)) continue;
    *message = MSG{};
    message->message = *it;
    if (remove & PM_REMOVE) Queue_.erase(it);
    return TRUE;
  }
  return FALSE;
}

LRESULT TFakeOs::DispatchMessageA(const MSG* message) {
  (void)Record("DispatchMessageA", Hex(message->message));
  return 0;
}

HCURSOR TFakeOs::SetCursor(HCURSOR cursor) {
  if (const auto error = Record("SetCursor", cursor == LoadedCursor(IDC_WAIT) ? "wait" : Pointer(cursor))) {
    LastError_ = *error;
    return nullptr;
  }
  return std::exchange(Cursor_, cursor);
}

HCURSOR TFakeOs::LoadCursorA(HINSTANCE instance, LPCSTR cursorName) {
  if (const auto error =
          Record("LoadCursorA", Pointer(instance) + ", " + Number(reinterpret_cast<uintptr_t>(cursorName)))) {
    LastError_ = *error;
    return nullptr;
  }
  if (instance) {  // the program has no cursors of its own
    LastError_ = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  return LoadedCursor(cursorName);
}

// Restarting

BOOL TFakeOs::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (const auto error = Record("OpenProcessToken", Hex(access))) return Succeeds(*error);
  if (process != GetCurrentProcess() || !token) return Succeeds(ERROR_INVALID_PARAMETER);
  return Succeeds(Processes_.OpenToken(token, access));
}

BOOL TFakeOs::LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
  if (const auto error = Record("LookupPrivilegeValueA", Text(systemName) + ", " + Text(name))) {
    return Succeeds(*error);
  }
  constexpr DWORD kNoSuchPrivilege = 1313;
  for (const auto& privilege : kPrivileges) {
    if (luid && Text(name) == privilege.Name) {
      *luid = LUID{privilege.Luid, 0};
      return TRUE;
    }
  }
  return Succeeds(kNoSuchPrivilege);
}

bool TFakeOs::PrivilegeEnabled(const std::string& name) const {
  for (const auto& privilege : kPrivileges) {
    if (name == privilege.Name) {
      const auto found = PrivilegesEnabled_.find(privilege.Luid);
      return found != PrivilegesEnabled_.end() && found->second;
    }
  }
  return false;
}

BOOL TFakeOs::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                                    PTOKEN_PRIVILEGES previousState, PDWORD returnLength) {
  const bool enable =
      newState && newState->PrivilegeCount == 1 && (newState->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED) != 0;
  if (const auto error = Record("AdjustTokenPrivileges", Number(disableAll) + ", " + (enable ? "enable" : "disable") +
                                                             ", " + Pointer(previousState))) {
    return Succeeds(*error);
  }
  // The modelled privileges, one at a time.
  const DWORD luid = newState && newState->PrivilegeCount == 1 ? newState->Privileges[0].Luid.LowPart : 0;
  const bool known = std::any_of(std::begin(kPrivileges), std::end(kPrivileges),
                                 [luid](const auto& privilege) { return privilege.Luid == luid; });
  if (!Processes_.IsToken(token) || disableAll || !known) return Succeeds(ERROR_INVALID_PARAMETER);
  // "AdjustTokenPrivileges function": the handle needs TOKEN_ADJUST_PRIVILEGES,
  // and TOKEN_QUERY too when the previous state is asked for.
  const DWORD access = Processes_.TokenAccess(token);
  if (!(access & TOKEN_ADJUST_PRIVILEGES) || (previousState && !(access & TOKEN_QUERY))) {
    return Succeeds(ERROR_ACCESS_DENIED);
  }
  bool& enabled = PrivilegesEnabled_[luid];
  if (previousState) {
    if (bufferLength < sizeof(TOKEN_PRIVILEGES)) return Succeeds(ERROR_INSUFFICIENT_BUFFER);
    previousState->PrivilegeCount = 1;
    previousState->Privileges[0] = {{luid, 0}, enabled ? SE_PRIVILEGE_ENABLED : 0u};
    if (returnLength) *returnLength = sizeof(TOKEN_PRIVILEGES);
  }
  if (luid == kShutdownPrivilege && !ShutdownPrivilegeHeld_) {
    LastError_ = ERROR_NOT_ALL_ASSIGNED;  // and yet it answers TRUE
    return TRUE;
  }
  enabled = enable;
  Registry_.SetPrivileges(PrivilegeEnabled(SE_TAKE_OWNERSHIP_NAME), PrivilegeEnabled(SE_RESTORE_NAME));
  LastError_ = ERROR_SUCCESS;
  return TRUE;
}

BOOL TFakeOs::InitiateSystemShutdownExA(LPSTR machineName, LPSTR message, DWORD timeout, BOOL forceAppsClosed,
                                        BOOL rebootAfterShutdown, DWORD reason) {
  if (const auto error =
          Record("InitiateSystemShutdownExA", Text(machineName) + ", " + Text(message) + ", " + Number(timeout) + ", " +
                                                  Number(forceAppsClosed) + ", " + Number(rebootAfterShutdown) + ", " +
                                                  Hex(reason))) {
    return Succeeds(*error);
  }
  return Succeeds(ShutdownPrivilegeEnabled() ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

// Libraries

HMODULE TFakeOs::LoadLibraryA(LPCSTR fileName) {
  if (const auto error = Record("LoadLibraryA", Text(fileName))) {
    LastError_ = *error;
    return nullptr;
  }
  if (!fileName || !Files_.IsFile(fileName)) {
    LastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  auto& module = Libraries_[fileName];
  if (!module) module = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000 + 0x10000 * Libraries_.size()));
  return module;
}

namespace {
intptr_t NotToBeCalled() {
  return 0;
}
}  // namespace

FARPROC TFakeOs::GetProcAddress(HMODULE module, LPCSTR procName) {
  if (const auto error = Record("GetProcAddress", Pointer(module) + ", " + Text(procName))) {
    LastError_ = *error;
    return nullptr;
  }
  const bool known = std::any_of(Libraries_.begin(), Libraries_.end(),
                                 [module](const auto& library) { return library.second == module; });
  if (!known) {
    LastError_ = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(&NotToBeCalled);
}

BOOL TFakeOs::SetDllDirectoryA(LPCSTR pathName) {
  if (const auto error = Record("SetDllDirectoryA", Text(pathName))) return Succeeds(*error);
  DllDirectory_ = Text(pathName);
  return TRUE;
}

// Version resources

DWORD TFakeOs::GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
  if (handle) *handle = 0;
  if (const auto error = Record("GetFileVersionInfoSizeA", Text(fileName))) {
    LastError_ = *error;
    return 0;
  }
  DWORD size = 0;
  return Succeeds(Files_.VersionInfoSize(Text(fileName), &size)) ? size : 0;
}

BOOL TFakeOs::GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) {
  if (const auto error = Record("GetFileVersionInfoA", Text(fileName) + ", " + Number(handle) + ", " + Number(size))) {
    return Succeeds(*error);
  }
  DWORD copied = 0;
  if (!Succeeds(Files_.VersionInfo(Text(fileName), size, static_cast<BYTE*>(data), &copied))) return FALSE;
  VersionBlocks_[data] = copied;
  return TRUE;
}

BOOL TFakeOs::VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
  if (const auto error = Record("VerQueryValueA", Text(subBlock))) return Succeeds(*error);
  if (!block || !buffer || !length) return FALSE;
  // A block this fake filled is known to end where its copy ended; any
  // other is taken at its word.
  const auto* bytes = static_cast<const BYTE*>(block);
  const auto known = VersionBlocks_.find(block);
  if (known != VersionBlocks_.end() && known->second < 2) return Succeeds(ERROR_RESOURCE_TYPE_NOT_FOUND);
  const size_t stated = bytes[0] | (bytes[1] << 8);
  const size_t limit = known != VersionBlocks_.end() ? std::min(known->second, stated) : stated;
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
  capabilities->SystemS4 = HibernationSupported_;
  capabilities->HiberFilePresent = HibernationSupported_ && HibernationEnabled_;
  return TRUE;
}
