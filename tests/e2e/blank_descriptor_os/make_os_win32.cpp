// The TOs of Stillvane-blank-descriptor.exe, a test build of the program for
// the end-to-end tests. Wine answers BuildSecurityDescriptorA with
// ERROR_CALL_NOT_IMPLEMENTED; Windows, asked for no owner, group, entries or
// old descriptor, returns a LocalAlloc'ed self-relative descriptor whose DACL
// is NULL (present, without entries: everyone may do everything). This TOs
// answers that one request so; every other call is TWin32Os's own.
#include "app/make_os.h"

#include <windows.h>

#include "services/win32_os.h"

namespace {

class TBlankDescriptorOs final : public TWin32Os {
 public:
  DWORD BuildSecurityDescriptorA(PTRUSTEE_A owner, PTRUSTEE_A group, ULONG accessCount,
                                 PEXPLICIT_ACCESS_A accessEntries, ULONG auditCount, PEXPLICIT_ACCESS_A auditEntries,
                                 PSECURITY_DESCRIPTOR oldDescriptor, PULONG size,
                                 PSECURITY_DESCRIPTOR* newDescriptor) override {
    if (owner || group || accessCount || accessEntries || auditCount || auditEntries || oldDescriptor) {
      return TWin32Os::BuildSecurityDescriptorA(owner, group, accessCount, accessEntries, auditCount, auditEntries,
                                                oldDescriptor, size, newDescriptor);
    }
    if (!size || !newDescriptor) return ERROR_INVALID_PARAMETER;

    SECURITY_DESCRIPTOR absolute;
    if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE)) {
      return ::GetLastError();
    }
    DWORD length = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &length);
    PSECURITY_DESCRIPTOR selfRelative = ::LocalAlloc(LMEM_FIXED, length);
    if (!selfRelative) return ::GetLastError();
    if (!MakeSelfRelativeSD(&absolute, selfRelative, &length)) {
      const DWORD error = ::GetLastError();
      ::LocalFree(selfRelative);
      return error;
    }
    *size = length;
    *newDescriptor = selfRelative;
    return ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<TOs> MakeOs() {
  return std::make_unique<TBlankDescriptorOs>();
}
