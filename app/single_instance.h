// One Stillvane at a time. Two copies could overlap on the same boot loader
// and registry key permissions, whoever started them: the mutex lives in the
// Global namespace, so that a copy in another user's session (Fast User
// Switching, Remote Desktop) counts too. Its default security admits only
// that user; another user's start is refused access, which says the same.
#pragma once

#include "services/os.h"

inline constexpr char kSingleInstanceMutex[] = "Global\\Stillvane-682C5085-FE50-42F0-87C7-91DBE21C1220";

enum class InstanceClaim {
  First,       // this copy runs; the mutex stays open until it exits
  AlreadyRuns  // another copy holds the mutex, in this session or another
};

// When the mutex cannot be made for another reason, this copy runs: the
// guard must not stand between the user and the program.
InstanceClaim ClaimSingleInstance(Os& os);
