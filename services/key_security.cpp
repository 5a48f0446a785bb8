#include "services/key_security.h"

#include <iterator>

namespace {

// SECURITY_DESCRIPTOR_RELATIVE: revision, padding, control, then the offsets
// of owner, group, SACL and DACL from the start.
constexpr size_t kHeaderSize = 20;
constexpr size_t kControlAt = 2;
constexpr size_t kDaclOffsetAt = 16;

// Little-endian throughout. Each entry: type ACCESS_ALLOWED, flags
// CONTAINER_INHERIT, size 20, the access mask, then the SID
// S-1-<authority>-<sub-authority>.
// clang-format off
constexpr BYTE kStandardKeySecurity[] = {
    // Header: revision 1, control SE_SELF_RELATIVE | SE_DACL_PRESENT, no owner,
    // group or SACL, the DACL right after the header.
    1, 0, 0x04, 0x80,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  20, 0, 0, 0,
    // ACL: revision 2, 48 bytes, two entries.
    2, 0, 48, 0, 2, 0, 0, 0,
    // The System account (S-1-5-18): KEY_ALL_ACCESS (0xF003F).
    0, 0x02, 20, 0,  0x3F, 0x00, 0x0F, 0x00,  1, 1, 0, 0, 0, 0, 0, 5,  18, 0, 0, 0,
    // Everyone (S-1-1-0): KEY_READ (0x20019).
    0, 0x02, 20, 0,  0x19, 0x00, 0x02, 0x00,  1, 1, 0, 0, 0, 0, 0, 1,  0, 0, 0, 0,
};
// clang-format on
static_assert(sizeof kStandardKeySecurity == kHeaderSize + 48);

// clang-format off
constexpr BYTE kAdministratorsOnlyKeySecurity[] = {
    // Header: control SE_SELF_RELATIVE | SE_DACL_PROTECTED | SE_DACL_PRESENT;
    // the owner after the DACL.
    1, 0, 0x04, 0x90,  72, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  20, 0, 0, 0,
    // ACL: revision 2, 52 bytes, two entries.
    2, 0, 52, 0, 2, 0, 0, 0,
    // The System account (S-1-5-18): KEY_ALL_ACCESS.
    0, 0x02, 20, 0,  0x3F, 0x00, 0x0F, 0x00,  1, 1, 0, 0, 0, 0, 0, 5,  18, 0, 0, 0,
    // Administrators (S-1-5-32-544): KEY_ALL_ACCESS.
    0, 0x02, 24, 0,  0x3F, 0x00, 0x0F, 0x00,  1, 2, 0, 0, 0, 0, 0, 5,  32, 0, 0, 0,  0x20, 0x02, 0, 0,
    // Owner: Administrators.
    1, 2, 0, 0, 0, 0, 0, 5,  32, 0, 0, 0,  0x20, 0x02, 0, 0,
};
// clang-format on
static_assert(sizeof kAdministratorsOnlyKeySecurity == kHeaderSize + 52 + 16);

}  // namespace

std::vector<BYTE> StandardKeySecurity() {
  return {std::begin(kStandardKeySecurity), std::end(kStandardKeySecurity)};
}

std::vector<BYTE> AdministratorsOnlyKeySecurity() {
  return {std::begin(kAdministratorsOnlyKeySecurity), std::end(kAdministratorsOnlyKeySecurity)};
}

std::vector<BYTE> AdministratorsOwnedKeySecurity() {
  std::vector<BYTE> owned = AdministratorsOnlyKeySecurity();
  // The owner, S-1-5-32-544 (the last 16 bytes of the DACL), after it.
  constexpr size_t kOwnerOffsetAt = 4;
  owned[kOwnerOffsetAt] = static_cast<BYTE>(owned.size());
  const BYTE* const daclEnd = std::end(kAdministratorsOnlyKeySecurity);
  for (const BYTE* sid = daclEnd - 16; sid != daclEnd; ++sid) owned.push_back(*sid);
  return owned;
}

bool LeavesKeyOpen(const BYTE* descriptor, size_t size) {
  if (!descriptor || size < kHeaderSize) return true;
  const WORD control = static_cast<WORD>(descriptor[kControlAt] | (descriptor[kControlAt + 1] << 8));
  if (!(control & SE_DACL_PRESENT)) return true;
  const BYTE* offset = descriptor + kDaclOffsetAt;
  return (offset[0] | offset[1] | offset[2] | offset[3]) == 0;
}
