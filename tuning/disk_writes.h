// "Minimize Disk Writes": four registry settings that cut background writes.
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"

// Writes the settings under HKEY_LOCAL_MACHINE and tells the user the outcome;
// nothing while the write filter would throw the changes away. windowsFolder
// ends with a backslash. A failed value write raises ERegistryError.
void MinimizeDiskWrites(TOs& os, TDialogs& dialogs, const std::string& windowsFolder);
