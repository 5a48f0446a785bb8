// The record as an adversary or a damaged hive leaves it: the records real
// installations write, mutated, and Remove EWF Support run on each. Whatever
// the record says, afterwards:
// 1. C:\ntldr is there and is a boot loader;
// 2. Windows' own loader is at C:\ntldr, or at a backup a message names, or
//    nothing was removed;
// 3. Ewf is never listed without its driver file and its service;
// 4. "EWF support was removed." only when nothing of the installation is left.
#pragma once

#include "support/fault_campaign.h"

namespace fault {

// Each record tried is a fault point and a run. `perState` mutated records
// for each starting state (one installation, two with different loaders, a
// failed one, a killed one, a second one killed after its record).
Figures FuzzRecords(size_t perState);

}  // namespace fault
