// Registry key permissions as the bytes of a self-relative security
// descriptor, the form RegGetKeySecurity gives and RegSetKeySecurity takes.
#pragma once

#include <cstddef>
#include <vector>

#include "services/win_types.h"

// The standard permissions of a key that only Windows itself may change: the
// System account has full control, the Everyone group read access; subkeys
// created later inherit both. Windows gives the Enum tree of the registry
// these, and administrators no entry of their own: they read through
// Everyone, and may always take ownership.
std::vector<BYTE> StandardKeySecurity();

// The permissions of a key only administrators may change: owned by the
// Administrators group; the System account and that group have full control, nobody else any
// access; nothing is inherited from the parent (SE_DACL_PROTECTED), and
// subkeys created later inherit both entries.
std::vector<BYTE> AdministratorsOnlyKeySecurity();

// AdministratorsOnlyKeySecurity with the Administrators group as the owner:
// what a key taken over from Windows is given.
std::vector<BYTE> AdministratorsOwnedKeySecurity();

// True when the descriptor lets everyone do everything with the key: it has
// no DACL, or a NULL one, as after an interrupted installation. A block too
// short to be a descriptor counts as open too: it cannot be trusted either.
bool LeavesKeyOpen(const BYTE* descriptor, size_t size);
