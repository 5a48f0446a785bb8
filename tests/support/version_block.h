// Reading a version resource's nodes: the pieces both test readers share
// (the one that checks every length and the one that trusts them).
#pragma once

#include <cstddef>

#include "services/win_types.h"

namespace version_block {

constexpr WORD kTextType = 1;  // wType of a node whose value is text

// Nodes, keys and values start on 32-bit boundaries.
inline size_t AlignUp(size_t offset) {
  return (offset + 3) & ~size_t{3};
}

inline WORD WordAt(const BYTE* block, size_t at) {
  return static_cast<WORD>(block[at] | (block[at + 1] << 8));
}

}  // namespace version_block
