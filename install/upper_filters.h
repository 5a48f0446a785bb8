// The volume class's "UpperFilters" list (REG_MULTI_SZ) with the write filter
// in it, without losing the filters already there.
#pragma once

#include <vector>

#include "services/win_types.h"

// The new data for the value, from its present type and data (REG_NONE and no
// data when it is missing). Existing entries stay, in their order; "VolSnap"
// goes first and "Ewf" last, each only when not yet there (names compare
// case-insensitively). Empty entries are dropped and a missing final NUL is
// tolerated; data of a non-text type holds no filter names. With nothing else
// there the result is the 13 bytes "VolSnap\0Ewf\0\0"; applied to its own
// result it changes nothing.
std::vector<BYTE> UpperFiltersWithEwf(DWORD type, const std::vector<BYTE>& existing);

// Whether the data, read as a list of strings whatever its type, names
// "Ewf": a value Windows may still take for the list.
bool MentionsWriteFilter(const std::vector<BYTE>& data);

// Whether the list names "Ewf", or "VolSnap" (case-insensitively).
bool ListsWriteFilter(DWORD type, const std::vector<BYTE>& data);
bool ListsSnapshotFilter(DWORD type, const std::vector<BYTE>& data);

// The list without "Ewf", and without "VolSnap" when `dropVolSnap` (the
// installation added it); other entries stay, in their order, written as
// UpperFiltersWithEwf writes them. Empty when no entry is left.
std::vector<BYTE> UpperFiltersWithoutEwf(DWORD type, const std::vector<BYTE>& existing, bool dropVolSnap);
