// "Minimize Disk Writes": four registry settings that cut background writes.
#pragma once

#include "services/dialogs.h"
#include "services/os.h"

// Writes the settings under HKEY_LOCAL_MACHINE and tells the user the outcome.
// A failed value write raises ERegistryError.
void MinimizeDiskWrites(Os& os, Dialogs& dialogs);
