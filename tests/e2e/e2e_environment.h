// A scratch machine for one end-to-end case: a program folder, a Windows
// folder with system32\drivers, and the environment that points there.
#pragma once

#include <map>
#include <string>

struct ScratchMachine {
  std::string Root;           // the case's scratch folder
  std::string ProgramFolder;  // where Stillvane.exe is copied
  std::string WindowsFolder;  // "windir"
  std::map<std::string, std::string> Environment() const { return {{"windir", WindowsFolder}}; }
};

ScratchMachine MakeScratchMachine(const std::string& name);

// A stand-in driver file of the product build: fixtureSet is a folder below
// STILLVANE_FIXTURES ("v2.0.927.0", "noversion", ...).
std::string FixtureFile(const std::string& fixtureSet, const std::string& name);
// Copies ewf.sys, ewfmgr.exe and ewfntldr of the set into the program folder.
void CopyDriverFiles(const ScratchMachine& machine, const std::string& fixtureSet);
