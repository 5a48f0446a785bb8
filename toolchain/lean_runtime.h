// What the trimmed runtime (lean_runtime.cpp) assumes of the library it
// stands in for, shared with its test (tests/lean_runtime).
#pragma once

#include <cstddef>

// Room for the library's header in front of each thrown object: its
// __cxa_refcounted_exception, 96 bytes in GCC 12's 32-bit runtime, with a
// margin. The header must start zeroed.
inline constexpr std::size_t kExceptionHeaderRoom = 128;
