#include "support/fake_processes.h"

#include <algorithm>
#include <cstring>

void TFakeProcesses::SetProgram(const std::string& path, const std::string& output, bool exits, DWORD exitCode) {
  SetProgram(path, [=](const std::string&) { return ProgramRun{output, exits, exitCode}; });
}

int TFakeProcesses::RunningCount() const {
  return static_cast<int>(
      std::count_if(Processes_.begin(), Processes_.end(), [](const Process& process) { return !process.Exited; }));
}

std::string TFakeProcesses::Describe(const void* handle) const {
  const auto found = Handles_.find(handle);
  if (found == Handles_.end()) return "unknown handle";
  static const char* const kNames[] = {"service manager", "service", "pipe read end", "pipe write end",
                                       "process",         "thread",  "token"};
  return kNames[static_cast<int>(found->second.Of)];
}

void* TFakeProcesses::NewHandle(Kind kind, int object) {
  void* const handle = reinterpret_cast<void*>(NextHandle_);
  NextHandle_ += 4;
  Handles_[handle] = {kind, object};
  return handle;
}

const TFakeProcesses::Handle* TFakeProcesses::Find(const void* handle, Kind kind) const {
  const auto found = Handles_.find(handle);
  return found != Handles_.end() && found->second.Of == kind ? &found->second : nullptr;
}

DWORD TFakeProcesses::OpenManager(SC_HANDLE* manager) {
  *manager = static_cast<SC_HANDLE>(NewHandle(Kind::Manager, 0));
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::OpenService(SC_HANDLE manager, const std::string& name, SC_HANDLE* service) {
  *service = nullptr;
  if (!Find(manager, Kind::Manager)) return ERROR_INVALID_HANDLE;
  if (Services_.count(name) == 0) return ERROR_SERVICE_DOES_NOT_EXIST;
  ServiceNames_.push_back(name);
  *service = static_cast<SC_HANDLE>(NewHandle(Kind::Service, static_cast<int>(ServiceNames_.size() - 1)));
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) const {
  const Handle* handle = Find(service, Kind::Service);
  if (!handle) return ERROR_INVALID_HANDLE;
  if (!status) return ERROR_INVALID_PARAMETER;
  std::memset(status, 0, sizeof *status);
  status->dwServiceType = 1;  // a kernel driver
  status->dwCurrentState = Services_.at(ServiceNames_[handle->Object]);
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::CloseService(SC_HANDLE handle) {
  if (!Find(handle, Kind::Manager) && !Find(handle, Kind::Service)) return ERROR_INVALID_HANDLE;
  Handles_.erase(handle);
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::CreatePipe(HANDLE* readEnd, HANDLE* writeEnd, DWORD size) {
  // Windows rounds small sizes up to a page or so; 4096 stands for it.
  Pipes_.push_back({std::string(), std::max<size_t>(size, 4096)});
  const int pipe = static_cast<int>(Pipes_.size() - 1);
  *readEnd = NewHandle(Kind::PipeRead, pipe);
  *writeEnd = NewHandle(Kind::PipeWrite, pipe);
  return ERROR_SUCCESS;
}

bool TFakeProcesses::HasWriter(int pipe) const {
  for (const auto& [address, handle] : Handles_)
    if (handle.Of == Kind::PipeWrite && handle.Object == pipe) return true;
  return std::any_of(Processes_.begin(), Processes_.end(),
                     [pipe](const Process& process) { return !process.Exited && process.Output == pipe; });
}

DWORD TFakeProcesses::Peek(HANDLE pipe, DWORD* available) const {
  const Handle* handle = Find(pipe, Kind::PipeRead);
  if (!handle) return ERROR_INVALID_HANDLE;
  // As Microsoft's PeekNamedPipe and ReadFile pages say of an anonymous
  // pipe: once every write handle is closed and nothing is left in it, the
  // reader is answered ERROR_BROKEN_PIPE.
  if (Pipes_[handle->Object].Bytes.empty() && !HasWriter(handle->Object)) return ERROR_BROKEN_PIPE;
  if (available) *available = static_cast<DWORD>(Pipes_[handle->Object].Bytes.size());
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::Read(HANDLE pipe, void* buffer, DWORD size, DWORD* read) {
  const Handle* handle = Find(pipe, Kind::PipeRead);
  if (!handle) return ERROR_INVALID_HANDLE;
  std::string& bytes = Pipes_[handle->Object].Bytes;
  // An empty pipe would block for as long as a writer lives; a caller that
  // reads only what it peeked never gets here.
  if (bytes.empty()) return ERROR_BROKEN_PIPE;
  const size_t taken = std::min<size_t>(size, bytes.size());
  std::memcpy(buffer, bytes.data(), taken);
  bytes.erase(0, taken);
  *read = static_cast<DWORD>(taken);
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::Start(const std::string& application, const std::string& commandLine, bool inheritHandles,
                            const STARTUPINFOA& startup, PROCESS_INFORMATION* started) {
  const auto program = Programs_.find(application);
  if (program == Programs_.end()) return ERROR_FILE_NOT_FOUND;
  Started_.push_back(commandLine);
  const ProgramRun run = program->second(commandLine);
  bool exits = run.Exits;
  const Handle* output =
      (startup.dwFlags & STARTF_USESTDHANDLES) && inheritHandles ? Find(startup.hStdOutput, Kind::PipeWrite) : nullptr;
  if (output && exits) {
    Pipe& pipe = Pipes_[output->Object];
    const std::string& text = run.Output;
    const size_t room = pipe.Capacity - std::min(pipe.Capacity, pipe.Bytes.size());
    pipe.Bytes += text.substr(0, room);
    exits = text.size() <= room;  // a full pipe holds the writer up
  }
  Processes_.push_back({exits, exits ? run.ExitCode : static_cast<DWORD>(STILL_ACTIVE), output ? output->Object : -1});
  const int process = static_cast<int>(Processes_.size() - 1);
  started->hProcess = NewHandle(Kind::Process, process);
  started->hThread = NewHandle(Kind::Thread, process);
  started->dwProcessId = started->dwThreadId = static_cast<DWORD>(1000 + process);
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::Wait(HANDLE handle, DWORD* result) const {
  const Handle* process = Find(handle, Kind::Process);
  if (!process) return ERROR_INVALID_HANDLE;
  *result = Processes_[process->Object].Exited ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  return ERROR_SUCCESS;
}

bool TFakeProcesses::Signalled(HANDLE handle) const {
  const Handle* process = Find(handle, Kind::Process);
  return process && Processes_[process->Object].Exited;
}

DWORD TFakeProcesses::ExitCode(HANDLE handle, DWORD* exitCode) const {
  const Handle* process = Find(handle, Kind::Process);
  if (!process) return ERROR_INVALID_HANDLE;
  if (!exitCode) return ERROR_INVALID_PARAMETER;
  *exitCode = Processes_[process->Object].ExitCode;
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::Terminate(HANDLE handle, DWORD exitCode) {
  const Handle* process = Find(handle, Kind::Process);
  if (!process) return ERROR_INVALID_HANDLE;
  Process& ended = Processes_[process->Object];
  if (ended.Exited) return ERROR_ACCESS_DENIED;  // as Windows answers for an ended process
  ended.Exited = true;
  ended.ExitCode = exitCode;
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::OpenToken(HANDLE* token, DWORD access) {
  *token = NewHandle(Kind::Token, static_cast<int>(access));
  return ERROR_SUCCESS;
}

DWORD TFakeProcesses::Close(HANDLE handle) {
  const auto found = Handles_.find(handle);
  if (found == Handles_.end() || found->second.Of == Kind::Manager || found->second.Of == Kind::Service) {
    return ERROR_INVALID_HANDLE;
  }
  Handles_.erase(found);
  return ERROR_SUCCESS;
}
