// The operating system the program runs on. The product links make_os.cpp
// beside this file; a test build of the program links its own version.
#pragma once

#include <memory>

#include "services/os.h"

std::unique_ptr<Os> MakeOs();
