// What the driver files must be inside, whatever their names and version
// resources say: read from the file itself, before anything is placed and
// again on the copy that is about to be placed.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"

enum class FileKind {
  KernelDriver,  // a whole 32-bit x86 PE image for the native subsystem, not a DLL
  Program,       // a whole 32-bit x86 PE executable for the Windows GUI or console subsystem
  BootLoader,    // a real-mode loader: MinBootLoaderSize to MaxBootLoaderSize bytes of code, not text, not a program
};

// The boot loaders of Windows NT 4.0, 2000 and XP (and the write filter's)
// are all well over 150 KB; a quarter megabyte is typical. 64 KB lies far
// below any of them, so no real loader is refused, while an empty file, a
// placeholder or a copy cut off early is caught before it becomes the one
// file the computer cannot start without.
inline constexpr DWORD kMinBootLoaderSize = 64 * 1024;
// The boot sector loads the whole loader and starts it in real mode, where
// only the first 640 KB of memory can be reached: no loader is larger.
inline constexpr DWORD kMaxBootLoaderSize = 640 * 1024;
// The driver and its manager are read whole, to check them and to compare
// what is placed with what was checked; theirs are below 100 KB.
inline constexpr DWORD kMaxImageFileSize = 32 * 1024 * 1024;

struct ContentCheck {
  DWORD Error;                   // reading the file failed with this; 0 when it was read
  std::string Problem;           // when read: what is wrong, as "it is ...", empty when it fits the kind
  std::vector<BYTE> Bytes = {};  // when it fits: the whole file as it was read
  bool Fits() const { return Error == 0 && Problem.empty(); }
};
[[nodiscard]] ContentCheck CheckFileContents(TOs& os, const std::string& path, FileKind kind);

// What is wrong with `bytes` as a file of `kind`; empty when nothing is.
std::string ContentProblem(const std::vector<BYTE>& bytes, FileKind kind);

// The message for a file that failed its check: names the file and what is
// wrong, and what to do.
std::string ContentProblemText(const std::string& path, const ContentCheck& check);
