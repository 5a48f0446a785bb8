// Throws through the trimmed runtime (toolchain/lean_runtime.cpp) every way
// the program can, built as the program is: the same compiler, flags and
// link-time optimisation. Run under Wine by the Wine tier (wine_lean_runtime);
// prints each check that fails and exits 1 if any did. What must end the
// program instead of going on runs in a copy of it of its own.
#include "toolchain/lean_runtime.h"

#include <cxxabi.h>
#include <malloc.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Registers an unwind table, as crtbegin.o does (toolchain/lean_unwind_lookup.cpp).
extern "C" void __register_frame_info(  // NOLINT(bugprone-reserved-identifier,readability-identifier-naming)
    const void* begin, void* object);

namespace {

int failures = 0;

void Check(bool passed, const char* what) {
  if (passed) return;
  std::printf("FAILED: %s\n", what);
  ++failures;
}

// As the program's own error: a standard exception that carries its text.
class ETestError : public std::exception {
 public:
  explicit ETestError(std::string text) : Text_(std::move(text)) {}
  const char* what() const noexcept override { return Text_.c_str(); }

 private:
  std::string Text_;
};

int destroyed = 0;

struct Cleanup {
  Cleanup() = default;
  Cleanup(const Cleanup&) = delete;
  Cleanup& operator=(const Cleanup&) = delete;
  ~Cleanup() { ++destroyed; }
};

// Frames that only clean up, as most of the program's do.
[[gnu::noinline]] void ThrowThroughCleanups(const std::string& text, int frames) {
  const Cleanup cleanup;
  const std::string copy = text;
  if (frames == 1) throw ETestError(copy);
  ThrowThroughCleanups(copy, frames - 1);
}

std::string CaughtText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "nothing thrown";
}

// The library's header lies inside the room in front of the thrown object.
// The room starts zeroed, so the header's first field, its reference count
// (1 while caught), is the room's first word that is not 0; the exception's
// type, as the library reads it back, follows.
bool HeaderFitsTheRoom(const void* thrownObject) {
  const char* const object = static_cast<const char*>(thrownObject);
  const char* at = object - kExceptionHeaderRoom;
  int word = 0;
  while (word == 0 && at < object) {
    std::memcpy(&word, at, sizeof word);
    at += sizeof word;
  }
  if (word != 1) return false;
  const auto type = reinterpret_cast<std::uintptr_t>(abi::__cxa_current_exception_type());
  for (; at + sizeof type <= object; at += sizeof(int)) {
    std::uintptr_t field;
    std::memcpy(&field, at, sizeof field);
    if (field == type) return true;
  }
  return false;
}

void ByBaseClass() {
  destroyed = 0;
  Check(CaughtText([] { ThrowThroughCleanups("by base class", 4); }) == "by base class",
        "an error is caught by its base class, through std::function");
  Check(destroyed == 4, "every frame it passed cleaned up");
  try {
    ThrowThroughCleanups("header", 1);
  } catch (const ETestError& error) {
    Check(HeaderFitsTheRoom(&error), "the library's exception header fits the room in front of the thrown object");
  }
}

// As the registry key's guard: its destructor runs while an error is on its
// way, and meets and catches one of its own.
struct Guard {
  Guard() = default;
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  ~Guard() {
    InFlight = std::uncaught_exceptions();
    Inner = CaughtText([] { ThrowThroughCleanups("inner", 2); });
  }
  static int InFlight;
  static std::string Inner;
};
int Guard::InFlight = 0;
std::string Guard::Inner;

void DuringUnwinding() {
  const std::string outer = CaughtText([] {
    const Guard guard;
    ThrowThroughCleanups("outer", 2);
  });
  Check(Guard::InFlight == 1, "one exception in flight while the guard's destructor runs");
  Check(Guard::Inner == "inner", "an exception thrown and caught during unwinding");
  Check(outer == "outer", "the exception being unwound arrives after it");
  Check(std::uncaught_exceptions() == 0, "none in flight afterwards");
}

int copies = 0;

struct CopyFails {
  CopyFails() = default;
  CopyFails(const CopyFails& /*other*/) {
    if (++copies == 3) throw ETestError("third copy");
  }
  CopyFails& operator=(const CopyFails&) = default;
  ~CopyFails() = default;
};

void Rethrow() {
  Check(CaughtText([] {
          try {
            ThrowThroughCleanups("rethrown", 2);
          } catch (...) {
            Check(abi::__cxa_current_exception_type() != nullptr, "the caught exception is known");
            throw;
          }
        }) == "rethrown",
        "an exception rethrown is caught again");
  // The library's own catch (...) { ...; throw; } as a vector grows.
  Check(CaughtText([] {
          std::vector<CopyFails> items(5);
          copies = 0;
          items.reserve(10);
        }) == "third copy",
        "an exception rethrown by the library");
}

volatile std::size_t hugeSize = 0x7FFF0000;
volatile std::size_t arrayLength = 0x40000001;
void* volatile kept = nullptr;

void BadAlloc() {
  bool caught = false;
  try {
    kept = ::operator new(hugeSize);
  } catch (const std::bad_alloc&) {
    caught = true;
  }
  Check(caught, "operator new throws bad_alloc");
  caught = false;
  try {
    kept = new int[arrayLength];
  } catch (const std::bad_alloc&) {
    caught = true;
  }
  Check(caught, "an array length too large throws bad_alloc");
  // The library's allocator asked for more than it can count.
  for (const std::size_t count : {std::size_t{0x30000000}, std::size_t{arrayLength}}) {
    caught = false;
    try {
      kept = std::allocator<int>().allocate(count);
    } catch (const std::bad_alloc&) {
      caught = true;
    }
    Check(caught, "the library's allocator throws bad_alloc");
  }
}

volatile std::size_t position = 5;

void LibraryMessages() {
  Check(CaughtText([] { (void)std::string("abc").substr(position); }) ==
            "basic_string::substr: __pos (which is 5) > this->size() (which is 3)",
        "a library message shows its values, not its format");
  Check(CaughtText([] { (void)std::vector<int>(2).at(position + 2); }) ==
            "vector::_M_range_check: __n (which is 7) >= this->size() (which is 2)",
        "a library message shows its values, not its format (vector)");
  Check(CaughtText([] { std::string().reserve(std::string().max_size() + position); }) == "basic_string::_M_create",
        "a length error shows the library's message");
  Check(CaughtText([] { std::function<void()>()(); }) == "bad_function_call", "an empty std::function called");
}

// Bytes the C runtime's heap hands out, and whether the heaps are whole.
std::size_t HeapInUse() {
  _HEAPINFO entry{};
  std::size_t used = 0;
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) used += entry._size;
  }
  return used;
}

bool HeapsAreWhole() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapValidate(heaps[i], 0, nullptr)) return false;
  }
  return _heapchk() == _HEAPOK;
}

void ManyThrows() {
  const std::size_t before = HeapInUse();
  int caught = 0;
  for (int i = 0; i < 20000; ++i) {
    try {
      ThrowThroughCleanups("many", 3);
    } catch (const std::exception&) {
      ++caught;
    }
  }
  Check(caught == 20000, "20,000 throws caught");
  Check(HeapInUse() == before, "20,000 throws leave the heap as it was");
  Check(HeapsAreWhole(), "20,000 throws leave the heap whole");
}

// With the heap exhausted, bad_alloc is still thrown and caught, more times
// than the reserve has slots, also while the object whose construction ran
// out of memory is itself being thrown.
void* hoard[4096];

void OutOfMemory() {
  int held = 0;
  for (std::size_t size = 1 << 28; size > 0 && held < 4096;) {
    void* block = std::malloc(size);
    if (block) {
      hoard[held++] = block;
    } else {
      size /= 2;
    }
  }
  int plain = 0;
  int nested = 0;
  for (int i = 0; i < 10; ++i) {
    try {
      kept = ::operator new(64);
    } catch (const std::bad_alloc&) {
      ++plain;
    }
    try {
      throw ETestError(std::string(100, 'x'));
    } catch (const std::bad_alloc&) {
      ++nested;
    } catch (const std::exception&) {
    }
  }
  const bool exhausted = held < 4096;
  while (held > 0) std::free(hoard[--held]);
  Check(exhausted, "the heap was exhausted");
  Check(plain == 10, "bad_alloc thrown 10 times with the heap exhausted");
  Check(nested == 10, "bad_alloc thrown while the object being thrown is made");
  Check(HeapsAreWhole(), "the heap is whole after running out");
}

DWORD WINAPI ThrowOnASecondThread(void* /*unused*/) {
  CaughtText([] { ThrowThroughCleanups("second thread", 2); });
  return 0;
}

// A second unwind table, or a throw on a second thread: abort, whose exit
// code is 3, ends the copy; 0 says it went on.
int Misuse(const std::string& which) {
  if (which == "second-table") {
    static const std::uint32_t emptyTable = 0;
    static char object[64];
    __register_frame_info(&emptyTable, object);
  } else if (which == "second-thread") {
    CaughtText([] { ThrowThroughCleanups("first thread", 2); });
    HANDLE thread = CreateThread(nullptr, 0, ThrowOnASecondThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
  }
  return 0;
}

DWORD ExitCodeOfMisuse(const char* which) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string command = std::string("\"") + path + "\" " + which;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 0;
  }
  WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

void Fences() {
  Check(ExitCodeOfMisuse("second-table") == 3, "a second unwind table registered ends the program");
  Check(ExitCodeOfMisuse("second-thread") == 3, "a throw on a second thread ends the program");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return Misuse(argv[1]);
  ByBaseClass();
  DuringUnwinding();
  Rethrow();
  BadAlloc();
  LibraryMessages();
  ManyThrows();
  OutOfMemory();
  Fences();
  std::printf("lean runtime: %s\n", failures == 0 ? "every check passed" : "checks failed");
  return failures == 0 ? 0 : 1;
}
