#include "e2e/e2e_environment.h"

#include <windows.h>

#include "e2e/app_driver.h"

ScratchMachine MakeScratchMachine(const std::string& name) {
  ScratchMachine machine;
  machine.Root = ScratchFolder(name);
  machine.ProgramFolder = machine.Root + "\\program";
  machine.WindowsFolder = machine.Root + "\\Windows";
  CreateDirectoryA(machine.ProgramFolder.c_str(), nullptr);
  CreateDirectoryA(machine.WindowsFolder.c_str(), nullptr);
  CreateDirectoryA((machine.WindowsFolder + "\\system32").c_str(), nullptr);
  CreateDirectoryA((machine.WindowsFolder + "\\system32\\drivers").c_str(), nullptr);
  return machine;
}

std::string FixtureFile(const std::string& fixtureSet, const std::string& name) {
  return DosPathFromEnvironment("STILLVANE_FIXTURES") + "\\" + fixtureSet + "\\" + name;
}

void CopyDriverFiles(const ScratchMachine& machine, const std::string& fixtureSet) {
  for (const char* name : {"ewf.sys", "ewfmgr.exe", "ewfntldr"})
    CopyFileOrFail(FixtureFile(fixtureSet, name), machine.ProgramFolder + "\\" + name);
}
