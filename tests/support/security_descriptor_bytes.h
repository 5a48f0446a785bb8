// Self-relative security descriptors as raw bytes: the DACL-only form that
// RegGetKeySecurity(DACL_SECURITY_INFORMATION) gives, and a few ready-made ones.
#pragma once

#include <vector>

#include "services/win_types.h"

// The NULL-DACL descriptor Windows builds for "no entries": everyone may do anything.
std::vector<BYTE> BlankSecurityDescriptor();
// A DACL with one entry: Everyone, full control.
std::vector<BYTE> OpenSecurityDescriptor();
// A DACL as on Enum\Root: SYSTEM full control, Everyone read only.
std::vector<BYTE> ProtectedSecurityDescriptor();

// A descriptor with nothing in it, as asked for with no information flags.
std::vector<BYTE> DescriptorWithoutParts();

// Length of a self-relative descriptor, or 0 when `descriptor` is not one.
size_t SelfRelativeLength(const void* descriptor);
// The DACL part of a self-relative descriptor, rebuilt on its own (owner,
// group and SACL dropped), as RegGetKeySecurity returns it; no DACL becomes a
// present NULL one. Empty if invalid.
std::vector<BYTE> DaclOnlyDescriptor(const void* descriptor);
// True when the descriptor grants everyone everything: no DACL, or a NULL one.
bool HasNullDacl(const std::vector<BYTE>& descriptor);
