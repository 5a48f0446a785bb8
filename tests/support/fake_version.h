// VerQueryValueA for TFakeOs: finds a binary value in a VS_VERSIONINFO block
// as Windows stores it (wLength, wValueLength, wType, UTF-16 key, padding to
// 4, value, padding to 4, children).
#pragma once

#include <cstddef>

#include "services/win_types.h"

// Never reads outside [block, block + limit) nor outside a node's own length:
// a damaged or hostile block gives false. Keys match without regard to case;
// empty path parts are skipped, so "\" is the root's value. Text values other
// than empty ones are not supported (false).
bool FindVersionValue(const BYTE* block, size_t limit, const char* subBlock, const BYTE** value, UINT* length);
