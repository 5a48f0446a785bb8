// A TFakeOs whose VerQueryValueA believes the lengths inside a version
// resource, as Windows does: it returns a value's address and its stated
// length even when they reach past the node or the buffer, so that only the
// reader's own checks stand between a damaged resource and a bad read. It
// reads the node headers themselves only inside the buffer it was given.
#pragma once

#include <map>

#include "support/fake_os.h"

namespace fault {

class TTrustingVersionOs : public TFakeOs {
 public:
  BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data) override;
  BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) override;

 private:
  std::map<const void*, size_t> Filled_;  // buffers GetFileVersionInfoA filled, and their sizes
};

}  // namespace fault
