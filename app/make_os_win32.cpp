#include "app/make_os.h"

#include "services/win32_os.h"

std::unique_ptr<TOs> MakeOs() {
  return std::make_unique<TWin32Os>();
}
