#include "e2e/e2e_environment.h"

#include <windows.h>

#include "e2e/app_driver.h"

ScratchMachine MakeScratchMachine(const std::string& name) {
  ScratchMachine machine;
  machine.root = ScratchFolder(name);
  machine.programFolder = machine.root + "\\program";
  machine.windowsFolder = machine.root + "\\Windows";
  CreateDirectoryA(machine.programFolder.c_str(), nullptr);
  CreateDirectoryA(machine.windowsFolder.c_str(), nullptr);
  CreateDirectoryA((machine.windowsFolder + "\\system32").c_str(), nullptr);
  CreateDirectoryA((machine.windowsFolder + "\\system32\\drivers").c_str(), nullptr);
  return machine;
}

std::string FixtureFile(const std::string& fixtureSet, const std::string& name) {
  return DosPathFromEnvironment("STILLVANE_FIXTURES") + "\\" + fixtureSet + "\\" + name;
}

void CopyDriverFiles(const ScratchMachine& machine, const std::string& fixtureSet) {
  for (const char* name : {"ewf.sys", "ewfmgr.exe", "ewfntldr"})
    CopyFileOrFail(FixtureFile(fixtureSet, name), machine.programFolder + "\\" + name);
}
