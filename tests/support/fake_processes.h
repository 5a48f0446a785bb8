// For TFakeOs: the services the service control manager knows, the programs
// that can be started, and the pipes that carry their output back. Handles
// are plain numbers; every one given out must be closed again.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "services/win_types.h"
#include "support/case_insensitive.h"

class TFakeProcesses {
 public:
  // A service and its state (SERVICE_STOPPED, SERVICE_RUNNING, ...).
  void SetService(const std::string& name, DWORD state) { Services_[name] = state; }
  // What a program does when started with a command line: writes `Output`
  // to its standard output and exits with `ExitCode`; or, when it does not
  // exit, writes nothing and runs until ended.
  struct ProgramRun {
    std::string Output;
    bool Exits = true;
    DWORD ExitCode = 0;
  };
  using ProgramBehaviour = std::function<ProgramRun(const std::string& commandLine)>;
  void SetProgram(const std::string& path, ProgramBehaviour behaviour) { Programs_[path] = std::move(behaviour); }
  // A program that does the same whatever its command line.
  void SetProgram(const std::string& path, const std::string& output, bool exits = true, DWORD exitCode = 0);
  // Command lines of the programs started, oldest first.
  const std::vector<std::string>& Started() const { return Started_; }
  int OpenHandleCount() const { return static_cast<int>(Handles_.size()); }
  // Processes that were started and have not exited or been ended.
  int RunningCount() const;

  bool Owns(const void* handle) const { return Handles_.count(handle) > 0; }
  std::string Describe(const void* handle) const;
  void CloseAll() { Handles_.clear(); }

  // Each returns ERROR_SUCCESS or the Windows error code of the failure.
  DWORD OpenManager(SC_HANDLE* manager);
  DWORD OpenService(SC_HANDLE manager, const std::string& name, SC_HANDLE* service);
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS* status) const;
  DWORD CloseService(SC_HANDLE handle);
  DWORD CreatePipe(HANDLE* readEnd, HANDLE* writeEnd, DWORD size);
  DWORD Peek(HANDLE pipe, DWORD* available) const;
  DWORD Read(HANDLE pipe, void* buffer, DWORD size, DWORD* read);
  DWORD Start(const std::string& application, const std::string& commandLine, bool inheritHandles,
              const STARTUPINFOA& startup, PROCESS_INFORMATION* started);
  DWORD Wait(HANDLE handle, DWORD* result) const;
  // Whether the process has ended; kernel objects of other kinds are never
  // signalled here.
  bool Signalled(HANDLE handle) const;
  DWORD ExitCode(HANDLE process, DWORD* exitCode) const;
  DWORD Terminate(HANDLE process, DWORD exitCode);
  DWORD OpenToken(HANDLE* token, DWORD access);
  bool IsToken(HANDLE handle) const { return Find(handle, Kind::Token) != nullptr; }
  DWORD TokenAccess(HANDLE token) const { return static_cast<DWORD>(Find(token, Kind::Token)->Object); }
  DWORD Close(HANDLE handle);

 private:
  enum class Kind { Manager, Service, PipeRead, PipeWrite, Process, Thread, Token };
  struct Handle {
    Kind Of;
    int Object;  // the pipe, process or service it stands for; a token's access
  };
  struct Process {
    bool Exited;
    DWORD ExitCode;
    int Output;  // the pipe its standard output writes to, or -1
  };
  struct Pipe {
    std::string Bytes;
    size_t Capacity;
  };

  void* NewHandle(Kind kind, int object);
  const Handle* Find(const void* handle, Kind kind) const;
  // A write handle to the pipe is open, or a running process writes to it.
  bool HasWriter(int pipe) const;

  std::map<std::string, DWORD, CaseInsensitiveLess> Services_;
  std::vector<std::string> ServiceNames_;
  std::map<std::string, ProgramBehaviour, CaseInsensitiveLess> Programs_;
  std::map<const void*, Handle> Handles_;
  std::vector<Pipe> Pipes_;
  std::vector<Process> Processes_;
  std::vector<std::string> Started_;
  uintptr_t NextHandle_ = 0xA00000;
};
