// Shell requests and the platform family.
#pragma once

#include <string>

#include "services/os.h"

// ShellExecuteA(owner, "open", target, no parameters, no folder, SW_SHOWNORMAL).
void ShellOpen(TOs& os, HWND owner, const std::string& target);
// dwPlatformId from GetVersionExA; 0 when the query fails.
DWORD PlatformId(TOs& os);
