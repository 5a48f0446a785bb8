// The static C++ runtime, trimmed to what a small GUI program needs.
//
// The library's default terminate handler names the escaped exception on
// stderr, which a GUI program has not got; its demangler and printf would be
// half the size of the program. And the library's own __throw_* helpers
// construct every standard exception type, which drags in a second,
// copy-on-write string implementation. Ours end the program, or throw a small
// exception that RunAction reports like any other.
//
// The exception bookkeeping is single-threaded like the program: the
// library's per-thread version brings emulated thread-local storage and a
// threads layer, and its emergency pool takes some 20 KB of heap at start-up
// for exceptions this program throws one at a time.
#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace {

class RuntimeLibraryError : public std::exception {
 public:
  explicit RuntimeLibraryError(const char* message) : Message_(message) {}
  const char* what() const noexcept override { return Message_; }

 private:
  const char* Message_;
};

// Room for the library's header in front of each thrown object (its
// __cxa_refcounted_exception, 96 bytes in this 32-bit runtime), with a margin
// for a runtime whose header grows. The header must start zeroed.
constexpr std::size_t kHeaderRoom = 128;

// Where exceptions go once the heap is exhausted, so that bad_alloc can still
// be thrown and reported, even while the object whose construction ran out of
// memory is itself being thrown. Taken from the heap at start-up (static
// storage would sit in the exe's file: this toolchain puts zeroed data in
// .data when each variable has a section of its own).
constexpr std::size_t kReserveSlotSize = kHeaderRoom + 64;
constexpr int kReserveSlots = 4;
char* const reserve = static_cast<char*>(std::malloc(kReserveSlots * kReserveSlotSize));
bool reserveInUse[kReserveSlots];

char* ReserveSlot(int slot) {
  return reserve + slot * kReserveSlotSize;
}

}  // namespace

namespace __cxxabiv1 {
// The library's layout: the chain of caught exceptions, and how many are in
// flight.
struct __cxa_eh_globals {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};
}  // namespace __cxxabiv1

extern "C" {

__cxxabiv1::__cxa_eh_globals* __cxa_get_globals() noexcept {
  static __cxxabiv1::__cxa_eh_globals globals;
  return &globals;
}

__cxxabiv1::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  return __cxa_get_globals();
}

void* __cxa_allocate_exception(std::size_t thrownSize) noexcept {
  const std::size_t size = kHeaderRoom + thrownSize;
  char* block = static_cast<char*>(std::malloc(size));
  for (int slot = 0; !block && reserve && size <= kReserveSlotSize && slot < kReserveSlots; ++slot) {
    if (!reserveInUse[slot]) {
      reserveInUse[slot] = true;
      block = ReserveSlot(slot);
    }
  }
  if (!block) std::terminate();
  std::memset(block, 0, kHeaderRoom);
  return block + kHeaderRoom;
}

void __cxa_free_exception(void* thrownObject) noexcept {
  char* block = static_cast<char*>(thrownObject) - kHeaderRoom;
  for (int slot = 0; reserve && slot < kReserveSlots; ++slot) {
    if (block == ReserveSlot(slot)) {
      reserveInUse[slot] = false;
      return;
    }
  }
  std::free(block);
}

}  // extern "C"

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() {
  throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
  throw std::bad_array_new_length();
}
void __throw_length_error(const char* message) {
  throw RuntimeLibraryError(message);
}
void __throw_logic_error(const char* message) {
  throw RuntimeLibraryError(message);
}
void __throw_out_of_range(const char* message) {
  throw RuntimeLibraryError(message);
}
void __throw_out_of_range_fmt(const char* format, ...) {
  throw RuntimeLibraryError(format);
}
void __throw_invalid_argument(const char* message) {
  throw RuntimeLibraryError(message);
}
}  // namespace std
