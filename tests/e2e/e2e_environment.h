// A scratch machine for one end-to-end case: a program folder, a Windows
// folder with system32\drivers, and the environment that points there.
#pragma once

#include <map>
#include <string>

struct ScratchMachine {
  std::string root;           // the case's scratch folder
  std::string programFolder;  // where Stillvane.exe is copied
  std::string windowsFolder;  // "windir"
  std::map<std::string, std::string> Environment() const { return {{"windir", windowsFolder}}; }
};

ScratchMachine MakeScratchMachine(const std::string& name);
