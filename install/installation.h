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
  SavedKeySecurity& SavedRootKeySecurity;  // empty between installations
};

// What one click works with: the main window's context, and where ntldr goes
// (InstallFolder::SystemDrive), the partition the write filter protects and
// the completion message's note on them, found at the click (FindBootVolumes).
struct ClickContext : InstallContext {
  BootVolumes Boot;
};

// The whole click. Stops after the check's own message when a check fails or
// security cannot be disabled. Steps that fail later are named in one error
// message at the end instead of the completion message. A failed value write
// raises ERegistryError; the key's security is put back before it leaves.
void InstallEwfSupport(const InstallContext& context);
