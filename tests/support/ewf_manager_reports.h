// The ewf service and its manager as a machine protected by the write filter
// shows them, for TFakeOs.
#pragma once

#include <string>

#include "support/fake_os.h"
#include "support/write_filter_messages.h"

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
inline void RunTheWriteFilter(TFakeOs& os, const std::string& windowsFolder, const std::string& report,
                              bool managerExits = true) {
  os.Processes().SetService("ewf", SERVICE_RUNNING);
  os.Processes().SetProgram(windowsFolder + "system32\\ewfmgr.exe", report, managerExits);
}
