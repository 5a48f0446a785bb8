// The ewf service and its manager as a machine protected by the write filter
// shows them, for TFakeOs.
#pragma once

#include <string>

#include "support/ewf_manager_report.h"
#include "support/fake_os.h"
#include "support/write_filter_messages.h"

// What "ewfmgr C:" prints for a RAM overlay kept in the registry.
inline std::string EwfManagerReport(const std::string& state, const std::string& bootCommand = "NO_CMD") {
  return EWF_MANAGER_REPORT_BEFORE_STATE + state + EWF_MANAGER_REPORT_BEFORE_BOOT_COMMAND + bootCommand +
         EWF_MANAGER_REPORT_AFTER_BOOT_COMMAND;
}

// The ewf service running and system32\ewfmgr.exe of windowsFolder printing
// `report` (or never finishing).
inline void RunTheWriteFilter(TFakeOs& os, const std::string& windowsFolder, const std::string& report,
                              bool managerExits = true) {
  os.Processes().SetService("ewf", SERVICE_RUNNING);
  os.Processes().SetProgram(windowsFolder + "system32\\ewfmgr.exe", report, managerExits);
}
