#include "support/fault_plan.h"

#include <map>

#include "install/replace_protocol.h"
#include "support/case_insensitive.h"
#include "support/fault_machine.h"

namespace fault {

namespace {

const char kDisabling[] = "disabling security in the registry";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && FoldedCase(text.substr(text.size() - end.size())) == FoldedCase(end);
}

std::string LastName(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Argument(const std::vector<std::string>& arguments, size_t at) {
  return at < arguments.size() ? arguments[at] : std::string();
}

bool IsRootKeyOpenForDacl(const std::string& call) {
  const std::vector<std::string> args = CallArguments(call);
  return CallName(call) == "RegOpenKeyExA" && Argument(args, 0) == "HKLM" && Argument(args, 1) == kRootKey &&
         Argument(args, 3) == "0x40001";
}

bool IsRootKeySecuritySet(const std::string& call) {
  return CallName(call) == "RegSetKeySecurity" && Argument(CallArguments(call), 0) == "HKLM\\" + std::string(kRootKey);
}

// The file whose version resource the reader took last before `index`.
std::string FileBeingRead(const std::vector<std::string>& calls, size_t index) {
  for (size_t i = index + 1; i-- > 0;) {
    if (CallName(calls[i]) == "GetFileVersionInfoSizeA") return Argument(CallArguments(calls[i]), 0);
  }
  return std::string();
}

}  // namespace

std::string CallName(const std::string& call) {
  return call.substr(0, call.find('('));
}

std::vector<std::string> CallArguments(const std::string& call) {
  std::vector<std::string> arguments;
  const size_t open = call.find('(');
  if (open == std::string::npos || call.back() != ')') return arguments;
  const std::string inside = call.substr(open + 1, call.size() - open - 2);
  for (size_t at = 0;;) {
    const size_t comma = inside.find(", ", at);
    arguments.push_back(inside.substr(at, comma - at));
    if (comma == std::string::npos) break;
    at = comma + 2;
  }
  return arguments;
}

std::vector<DWORD> PlausibleErrors(const std::string& callName) {
  static const std::map<std::string, std::vector<DWORD>> kErrors = {
      {"RegCreateKeyExA", {ERROR_ACCESS_DENIED, ERROR_CANTWRITE}},
      {"RegOpenKeyExA", {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}},
      // ERROR_MORE_DATA: the value grew between asking its size and reading it.
      {"RegQueryValueExA", {ERROR_ACCESS_DENIED, ERROR_MORE_DATA}},
      {"RegSetValueExA", {ERROR_ACCESS_DENIED, ERROR_CANTWRITE}},
      {"RegCloseKey", {ERROR_INVALID_HANDLE}},
      {"RegEnumKeyExA", {ERROR_ACCESS_DENIED}},
      {"RegDeleteKeyA", {ERROR_ACCESS_DENIED}},
      {"RegDeleteValueA", {ERROR_ACCESS_DENIED, ERROR_CANTWRITE}},
      {"RegFlushKey", {ERROR_CANTWRITE}},
      {"RegGetKeySecurity", {ERROR_ACCESS_DENIED}},
      {"RegSetKeySecurity", {ERROR_ACCESS_DENIED, ERROR_CANTWRITE}},
      // Taking over a key Windows owns, and giving it back.
      {"OpenProcessToken", {ERROR_ACCESS_DENIED}},
      {"LookupPrivilegeValueA", {ERROR_NO_SUCH_PRIVILEGE}},
      {"AdjustTokenPrivileges", {ERROR_ACCESS_DENIED}},
      // ERROR_CALL_NOT_IMPLEMENTED is Wine's answer.
      {"BuildSecurityDescriptorA", {ERROR_NOT_ENOUGH_MEMORY, ERROR_CALL_NOT_IMPLEMENTED}},
      {"FindFirstFileA", {ERROR_ACCESS_DENIED}},
      {"FindClose", {ERROR_INVALID_HANDLE}},
      {"CopyFileA",
       {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}},
      {"MoveFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}},
      {"CreateFileA", {ERROR_ACCESS_DENIED, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}},
      {"CloseHandle", {ERROR_INVALID_HANDLE}},
      {"MoveFileExA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}},
      {"DeleteFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
      {"GetFileAttributesA", {ERROR_ACCESS_DENIED}},
      {"SetFileAttributesA", {ERROR_ACCESS_DENIED}},
      // ERROR_CRC: a bad sector; a failing USB stick or share answers like this.
      {"ReadFile", {ERROR_CRC, ERROR_SHARING_VIOLATION}},
      {"GetFileSize", {ERROR_ACCESS_DENIED}},
      {"FlushFileBuffers", {ERROR_DISK_FULL, ERROR_CANTWRITE}},
      // A file system without compression; a handle without write access.
      {"DeviceIoControl", {ERROR_INVALID_FUNCTION, ERROR_ACCESS_DENIED}},
      {"QueryDosDeviceA", {ERROR_FILE_NOT_FOUND, ERROR_INSUFFICIENT_BUFFER}},
      // A user the service control manager will not answer.
      {"OpenSCManagerA", {ERROR_ACCESS_DENIED}},
      {"OpenServiceA", {ERROR_ACCESS_DENIED}},
      {"CloseServiceHandle", {ERROR_INVALID_HANDLE}},
      {"LocalAlloc", {ERROR_NOT_ENOUGH_MEMORY}},
      {"LocalFree", {ERROR_INVALID_HANDLE}},
      // Set, the variable reads as unset: the only way this call fails.
      {"GetEnvironmentVariableA", {ERROR_ENVVAR_NOT_FOUND}},
      {"GetModuleFileNameA", {ERROR_ACCESS_DENIED}},
      {"GetVersionExA", {ERROR_INSUFFICIENT_BUFFER}},
      {"GetFileVersionInfoSizeA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_RESOURCE_TYPE_NOT_FOUND}},
      {"GetFileVersionInfoA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
      {"VerQueryValueA", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
      // powrprof.dll missing from the system folder.
      {"GetPwrCapabilities", {ERROR_MOD_NOT_FOUND}},
  };
  const auto found = kErrors.find(callName);
  return found == kErrors.end() ? std::vector<DWORD>{} : found->second;
}

std::string ReleasedKind(const std::string& call) {
  const std::string callName = CallName(call);
  if (callName == "RegCloseKey") return "key";
  if (callName == "FindClose") return "find";
  if (callName == "CloseHandle") return call == "CloseHandle(token)" ? "" : "file";
  if (callName == "LocalFree") return "memory";
  return std::string();
}

bool IsSecurityRestore(const std::vector<std::string>& calls, size_t index) {
  if (!IsRootKeyOpenForDacl(calls[index]) && !IsRootKeySecuritySet(calls[index])) return false;
  for (size_t i = 0; i < index; ++i) {
    if (IsRootKeySecuritySet(calls[i])) return true;
  }
  return false;
}

bool IsRecoveryCall(const std::vector<std::string>& calls, size_t index) {
  // Discarding a temporary file (made writable first when the delete is
  // refused), and giving ntldr its attributes back after a failed switch.
  const std::string name = CallName(calls[index]);
  const std::string before = index > 0 ? CallName(calls[index - 1]) : std::string();
  const bool discards = (name == "DeleteFileA" || (name == "SetFileAttributesA" && before == "DeleteFileA")) &&
                        EndsWith(Argument(CallArguments(calls[index]), 0), TemporaryNameFor(""));
  const bool putsAttributesBack = name == "SetFileAttributesA" && before == "MoveFileExA" &&
                                  EndsWith(Argument(CallArguments(calls[index - 1]), 1), "\\ntldr") &&
                                  EndsWith(Argument(CallArguments(calls[index]), 0), "\\ntldr");
  return discards || putsAttributesBack || IsSecurityRestore(calls, index);
}

namespace {

// A file written under its temporary name is told about by its final name.
std::string FinalName(const std::string& path) {
  const std::string temporary = TemporaryNameFor("");
  return EndsWith(path, temporary) ? path.substr(0, path.size() - temporary.size()) : path;
}

std::vector<std::string> PathSubjects(const std::vector<std::string>& calls, size_t index) {
  const std::string& call = calls[index];
  const std::string name = CallName(call);
  const std::vector<std::string> args = CallArguments(call);
  if (IsSecurityRestore(calls, index)) return {"HKEY_LOCAL_MACHINE\\" + std::string(kRootKey)};
  if (name == "CopyFileA" || name == "MoveFileA" || name == "MoveFileExA")
    return {Argument(args, 0), Argument(args, 1)};
  if (name == "CreateFileA" || name == "DeleteFileA" || name == "GetFileAttributesA" || name == "SetFileAttributesA" ||
      name == "ReadFile" || name == "GetFileSize" || name == "FlushFileBuffers" || name == "DeviceIoControl") {
    return {Argument(args, 0)};
  }
  if (name == "FindFirstFileA") {
    // The presence check of the driver files answers with the missing-files dialog.
    const std::string path = Argument(args, 0);
    if (path.rfind(kSourceFolder, 0) == 0) return {path, "missing files"};
    return {path};
  }
  if (name == "RegCreateKeyExA") return {Argument(args, 1)};
  if (name == "RegDeleteKeyA" || name == "RegEnumKeyExA") {
    // A key is deleted with the keys below it, and named by its top.
    std::string key = name == "RegDeleteKeyA" ? Argument(args, 1) : Argument(args, 0).substr(5);
    std::vector<std::string> keys;
    for (size_t cut = key.size(); cut != std::string::npos; cut = key.rfind('\\', cut - 1)) {
      keys.push_back(key.substr(0, cut));
      if (cut == 0) break;
    }
    return keys;
  }
  if (name == "RegDeleteValueA") return {Argument(args, 1)};
  // Enum\\Root opened to read a value of it (its hive flushed after a deletion below it) is named by its path.
  if (name == "RegOpenKeyExA") {
    // The mark of this start lives below the record's key, and goes with it.
    if (Argument(args, 1).rfind("SOFTWARE\\Stillvane\\", 0) == 0) return {Argument(args, 1), "SOFTWARE\\Stillvane"};
    return {Argument(args, 1) == kRootKey && Argument(args, 3) != "0x1" ? kDisabling : Argument(args, 1)};
  }
  if (name == "RegSetValueExA" || name == "RegQueryValueExA") return {Argument(args, 1)};
  // The record's key is named by its path.
  if (name == "RegSetKeySecurity" && Argument(args, 0) == "HKLM\\SOFTWARE\\Stillvane") return {"SOFTWARE\\Stillvane"};
  // A key taken over from Windows, or given back, is named by its path.
  const std::string key = Argument(args, 0);
  if ((name == "RegGetKeySecurity" || name == "RegSetKeySecurity" || name == "RegFlushKey") &&
      key.rfind("HKLM\\" + std::string(kRootKey) + "\\", 0) == 0) {
    return {key.substr(5)};
  }
  if (name == "OpenProcessToken" || name == "LookupPrivilegeValueA" || name == "AdjustTokenPrivileges") {
    return {"LEGACY_EWF"};
  }
  if (name == "RegGetKeySecurity" || name == "RegSetKeySecurity" || name == "BuildSecurityDescriptorA" ||
      name == "LocalAlloc") {
    return {kDisabling};
  }
  if (name == "GetFileVersionInfoSizeA" || name == "GetFileVersionInfoA" || name == "VerQueryValueA") {
    // A source file, or the copy of one, is named as "ewf.sys"; an installed one by its path.
    const std::string path = FileBeingRead(calls, index);
    return {"\"" + LastName(FinalName(path)) + "\"", path};
  }
  return {};
}

}  // namespace

std::vector<std::string> Subjects(const std::vector<std::string>& calls, size_t index) {
  std::vector<std::string> subjects = PathSubjects(calls, index);
  for (std::string& subject : subjects) subject = FinalName(subject);
  return subjects;
}

bool ReadsDriverVersion(const std::vector<std::string>& calls, size_t index) {
  const std::string name = CallName(calls[index]);
  if (name != "GetFileVersionInfoSizeA" && name != "GetFileVersionInfoA") return false;
  return EndsWith(Argument(CallArguments(calls[index]), 0), "\\ewf.sys");
}

}  // namespace fault
