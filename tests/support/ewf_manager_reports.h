// The ewf service and its manager as a machine protected by the write filter
// shows them, for FakeOs; and the message the program then shows.
#pragma once

#include <string>

#include "support/fake_os.h"

// What "ewfmgr C:" prints for a RAM overlay kept in the registry.
inline std::string EwfManagerReport(const std::string& state) {
  return "Protected Volume Configuration\r\n"
         "  Type                RAM (REG)\r\n"
         "  State               " +
         state +
         "\r\n"
         "  Boot Command        NO_CMD\r\n"
         "    Param1            0\r\n"
         "    Param2            0\r\n"
         "  Volume ID           B4 2A 9F 01 00 7E 00 00 00 00 00 00 00 00 00 00\r\n"
         "  Device Name         \"\\Device\\HarddiskVolume1\" [C:]\r\n"
         "  Max Levels          1\r\n"
         "  Clump Size          512\r\n"
         "  Current Level       1\r\n"
         "\r\n"
         "  Memory used for data     1024 bytes\r\n"
         "  Memory used for mapping  4096 bytes\r\n";
}

// The ewf service running and system32\ewfmgr.exe of windowsFolder printing
// `report` (or never finishing).
inline void RunTheWriteFilter(FakeOs& os, const std::string& windowsFolder, const std::string& report,
                              bool managerExits = true) {
  os.Processes().SetService("ewf", SERVICE_RUNNING);
  os.Processes().SetProgram(windowsFolder + "system32\\ewfmgr.exe", report, managerExits);
}

inline std::string OverlayOnMessage(const std::string& drive) {
  return "Nothing was changed, because the Enhanced Write Filter protects drive " + drive +
         " right now: whatever is written there lasts only until the computer restarts.\r\r"
         "To turn the filter off, open a command prompt and run:\r\r"
         "ewfmgr " +
         drive +
         " -commitanddisable\r"
         "shutdown -r -t 0\r\r"
         "The first command keeps the changes made on drive " +
         drive +
         " since the computer started and turns the filter off from the next start (an overlay in RAM whose "
         "settings are kept in the registry cannot be turned off without keeping them). The second restarts the "
         "computer. Then use Stillvane again.";
}
