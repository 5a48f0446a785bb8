// The static C++ runtime, trimmed to what a small GUI program needs.
//
// The library's default terminate handler names the escaped exception on
// stderr, which a GUI program has not got; its demangler and printf would be
// half the size of the program. And the library's own __throw_* helpers
// construct every standard exception type, which drags in a second,
// copy-on-write string implementation. Ours end the program, or throw a small
// exception that RunAction reports like any other.
#include <cstdlib>
#include <exception>
#include <new>

namespace {

class RuntimeLibraryError : public std::exception {
 public:
  explicit RuntimeLibraryError(const char* message) : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace

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
