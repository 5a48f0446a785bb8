// Restarting the computer, as the user asked: Windows restarts only for a
// process that holds the shutdown privilege and has it enabled, so it is
// enabled for that one request and put back as it was after.
#pragma once

#include "services/os.h"

// ERROR_SUCCESS once Windows has begun to restart (it goes on without the
// program, and the user or another program may still stop it), else the
// error: ERROR_NOT_ALL_ASSIGNED when the account may not shut the computer
// down.
[[nodiscard]] DWORD RestartComputer(TOs& os);
