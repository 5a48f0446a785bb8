// "Install EWF Support": checks the driver files, opens up the Enum\Root key,
// places the files, registers the driver, puts the key's security back and
// tells the user how it went.
#pragma once

#include <string>

#include "install/driver_checks.h"
#include "install/security_bracket.h"
#include "services/boot_volumes.h"
#include "services/dialogs.h"
#include "services/os.h"
#include "services/version_info.h"

// What the main window hands the installation.
struct InstallContext {
  TOs& Os;
  TInstallDialogs& Dialogs;
  TVersionInfo& FileVersionInfo;  // the main window's reader
  std::string SourceFolder;       // each folder ends with a backslash
  std::string WindowsFolder;
  std::string SystemDriveFolder;
};

// What one click works with: the main window's context, and where ntldr goes
// (InstallFolder::SystemDrive), the partition the write filter protects and
// the completion message's note on them, found at the click (FindBootVolumes).
struct ClickContext : InstallContext {
  BootVolumes Boot;
};

// The whole click. Stops after the check's own message when a check fails or
// security cannot be disabled. The record of what the click is about to do
// is written before the first change and marked after each step. Steps that
// fail later are named in one error message at the end instead of the
// completion message. A failed value write ends the click there: the key's
// security is put back, then the error report names the value.
void InstallEwfSupport(const InstallContext& context);
