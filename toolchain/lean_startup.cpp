// The C runtime's start-up (MinGW-w64's crt2 and the parts of libmingw32 it
// calls), trimmed to what this program uses: each function here stands in for
// the library's own. Were anything to need the rest of a library object (its
// thread-key destructors, say), the link takes that object whole, its version
// of the function included, and the size report shows it.
#include <windows.h>

struct _exception;

extern "C" {

// The start-up patches references to other modules' data that the linker
// could not resolve (auto-import). The link refuses them
// (--disable-auto-import, --disable-runtime-pseudo-reloc), so there is
// nothing to patch: the patcher, with its error reporting, is left out.
void _pei386_runtime_relocator() {}

// Called as each thread starts and ends. The library's runs the destructors
// of thread keys, which only its threads layer creates (this program has no
// threads of its own), and resets the floating-point unit of a new thread,
// where no code of ours runs.
BOOL __mingw_TLScallback(HANDLE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
  return TRUE;
}

// A math function's error gets the C runtime's default handling. The
// library's also prints it on stderr, which a GUI program has not got.
int _matherr(_exception* /*error*/) {
  return 0;
}

// Windows' last chance at an exception nothing handled. The library's turns
// faults into C signals for their handlers; this program installs none, so
// the exception goes on, as it would there, to the filter that was in place
// before, or to Windows' own report.
LPTOP_LEVEL_EXCEPTION_FILTER __mingw_oldexcpt_handler;

LONG CALLBACK _gnu_exception_handler(EXCEPTION_POINTERS* exception) {
  return __mingw_oldexcpt_handler ? __mingw_oldexcpt_handler(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // extern "C"
