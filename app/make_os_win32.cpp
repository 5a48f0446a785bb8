#include "app/make_os.h"

#include "services/win32_os.h"

std::unique_ptr<Os> MakeOs() {
  return std::make_unique<Win32Os>();
}
