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
// for exceptions this program throws one at a time. Every throw and catch
// asks for the bookkeeping, so that is where a second thread would first
// meet it: there the program ends at once, rather than mix two threads'
// exceptions.
//
// What follows stands in for parts of GCC 12's libsupc++ and relies on its
// layouts (unwind-cxx.h): another compiler must be checked against them
// before this builds. tests/lean_runtime throws through it every way the
// program does.
#include "toolchain/lean_runtime.h"

#include <cxxabi.h>
#include <unwind.h>
#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <typeinfo>

#if __GNUC__ != 12 || _GLIBCXX_RELEASE != 12 || !defined(__i386__)
#error "lean_runtime.cpp mirrors GCC 12's i686 exception runtime: check it against this compiler's libsupc++"
#endif

namespace {

// The library's header in front of each thrown object, as libsupc++ lays it
// out (__cxa_refcounted_exception): the room must hold it.
struct LibraryExceptionHeader {
  int ReferenceCount;
  struct {
    std::type_info* ExceptionType;
    void (*ExceptionDestructor)(void*);
    void (*UnexpectedHandler)();
    std::terminate_handler TerminateHandler;
    void* NextException;
    int HandlerCount;
    int HandlerSwitchValue;
    const unsigned char* ActionRecord;
    const unsigned char* LanguageSpecificData;
    _Unwind_Ptr CatchTemp;
    void* AdjustedPtr;
    _Unwind_Exception UnwindHeader;
  } Exception;
};
static_assert(sizeof(LibraryExceptionHeader) <= kExceptionHeaderRoom,
              "the library's exception header does not fit the room in front of each thrown object");

class RuntimeLibraryError : public std::exception {
 public:
  explicit RuntimeLibraryError(const char* message) : Message_(message) {}
  const char* what() const noexcept override { return Message_; }

 private:
  const char* Message_;
};

// A library message with its values filled in, cut to its room.
class FormattedLibraryError : public std::exception {
 public:
  FormattedLibraryError(const char* format, va_list values);
  const char* what() const noexcept override { return Text_; }

 private:
  char Text_[100];
};

// The library's formats use %s, %zu and %% only, as its own formatter does.
FormattedLibraryError::FormattedLibraryError(const char* format, va_list values) {
  char* out = Text_;
  char* const end = Text_ + sizeof(Text_) - 1;
  for (const char* at = format; *at && out < end; ++at) {
    if (at[0] == '%' && at[1] == 's') {
      for (const char* text = va_arg(values, const char*); *text && out < end; ++text) *out++ = *text;
      ++at;
    } else if (at[0] == '%' && at[1] == 'z' && at[2] == 'u') {
      char digits[10];
      int count = 0;
      std::size_t value = va_arg(values, std::size_t);
      do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (count > 0 && out < end) *out++ = digits[--count];
      at += 2;
    } else {
      if (at[0] == '%' && at[1] == '%') ++at;
      *out++ = *at;
    }
  }
  *out = '\0';
}

// Where exceptions go once the heap is exhausted, so that bad_alloc can still
// be thrown and reported, even while the object whose construction ran out of
// memory is itself being thrown. Taken from the heap at start-up (static
// storage would sit in the exe's file: this toolchain puts zeroed data in
// .data when each variable has a section of its own).
constexpr std::size_t kReserveSlotSize = kExceptionHeaderRoom + 128;
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
  static DWORD owner;  // the first thread to throw
  const DWORD thread = GetCurrentThreadId();
  if (!owner) owner = thread;
  if (owner != thread) std::abort();
  return &globals;
}

__cxxabiv1::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
  return __cxa_get_globals();
}

void* __cxa_allocate_exception(std::size_t thrownSize) noexcept {
  const std::size_t size = kExceptionHeaderRoom + thrownSize;
  char* block = static_cast<char*>(std::malloc(size));
  for (int slot = 0; !block && reserve && size <= kReserveSlotSize && slot < kReserveSlots; ++slot) {
    if (!reserveInUse[slot]) {
      reserveInUse[slot] = true;
      block = ReserveSlot(slot);
    }
  }
  if (!block) std::terminate();
  std::memset(block, 0, kExceptionHeaderRoom);
  return block + kExceptionHeaderRoom;
}

void __cxa_free_exception(void* thrownObject) noexcept {
  char* block = static_cast<char*>(thrownObject) - kExceptionHeaderRoom;
  for (int slot = 0; reserve && slot < kReserveSlots; ++slot) {
    if (block == ReserveSlot(slot)) {
      reserveInUse[slot] = false;
      return;
    }
  }
  std::free(block);
}

// A new-expression whose array length is negative or too large, reported as
// what it is, memory that cannot be had: nothing catches the derived type,
// which would bring its own type information and strings.
void __cxa_throw_bad_array_new_length() {
  throw std::bad_alloc();
}

_Unwind_Reason_Code __gxx_personality_v0(int version, _Unwind_Action actions, _Unwind_Exception_Class exceptionClass,
                                         _Unwind_Exception* exception, _Unwind_Context* context);

// Link-time optimisation gives the functions that only run destructors as an
// exception passes the C language's personality routine, a second reader of
// the same tables that C++'s reads. Used: the reference to it appears only
// once the optimiser has run.
__attribute__((used, externally_visible)) _Unwind_Reason_Code __gcc_personality_v0(
    int version, _Unwind_Action actions, _Unwind_Exception_Class exceptionClass, _Unwind_Exception* exception,
    _Unwind_Context* context) {
  return __gxx_personality_v0(version, actions, exceptionClass, exception, context);
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
  __cxa_throw_bad_array_new_length();
}
void __throw_bad_function_call() {
  throw RuntimeLibraryError("bad_function_call");
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
  va_list values;
  va_start(values, format);
  FormattedLibraryError error(format, values);
  va_end(values);
  throw error;
}
void __throw_invalid_argument(const char* message) {
  throw RuntimeLibraryError(message);
}
}  // namespace std
