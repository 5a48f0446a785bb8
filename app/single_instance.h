// One Stillvane at a time. Two copies could overlap on the same boot loader
// and registry key permissions, whoever started them: the mutex lives in the
// Global namespace, so that a copy in another user's session (Fast User
// Switching, Remote Desktop) counts too. Its default security admits only
// that user; another user's start is refused access, which says the same.
#pragma once

#include <string>

#include "services/os.h"

inline constexpr char kSingleInstanceMutex[] = "Global\\Stillvane-682C5085-FE50-42F0-87C7-91DBE21C1220";

enum class InstanceClaim {
  First,        // this copy runs; the mutex stays open until it exits
  AlreadyRuns,  // another copy holds the mutex, in this session or another
  Refused       // the name cannot be had (another kind of object holds it, or Windows refuses): no copy may run
};

// `error` gets what Windows answered when the claim is Refused. Without the
// mutex nothing would keep a second copy out, so no copy runs then.
InstanceClaim ClaimSingleInstance(TOs& os, DWORD* error);

// What a second start says when no window of the running copy can be shown.
std::string AlreadyRunningMessage();
// Why the start ends when the claim is Refused, and what to do.
std::string InstanceRefusedMessage(DWORD error);
