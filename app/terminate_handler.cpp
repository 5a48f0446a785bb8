// The standard library's default terminate handler names the escaped
// exception on stderr, which a GUI program has not got; its demangler and
// printf would be more than half the size of the program. Ending the program
// at once is all this one does.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx
