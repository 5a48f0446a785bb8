// The operating system the program runs on. Stillvane.exe links
// make_os_win32.cpp beside this file (TWin32Os); the end-to-end tests' build of
// the program links tests/e2e/blank_descriptor_os/make_os_win32.cpp instead.
#pragma once

#include <memory>

#include "services/os.h"

std::unique_ptr<TOs> MakeOs();
