#include "services/key_security.h"

namespace {

// SECURITY_DESCRIPTOR_RELATIVE: revision, padding, control, then the offsets
// of owner, group, SACL and DACL from the start.
constexpr size_t kHeaderSize = 20;
constexpr size_t kControlAt = 2;
constexpr size_t kDaclOffsetAt = 16;
constexpr BYTE kAclRevision = 2;
constexpr BYTE kAccessAllowedAce = 0;
constexpr BYTE kContainerInherit = 0x02;

void PutWord(std::vector<BYTE>& out, WORD value) {
  out.push_back(static_cast<BYTE>(value));
  out.push_back(static_cast<BYTE>(value >> 8));
}
void PutDword(std::vector<BYTE>& out, DWORD value) {
  PutWord(out, static_cast<WORD>(value));
  PutWord(out, static_cast<WORD>(value >> 16));
}

// An access-allowed entry for the well-known SID S-1-<authority>-<subAuthority>.
void PutAce(std::vector<BYTE>& out, DWORD mask, BYTE authority, DWORD subAuthority) {
  constexpr WORD kAceSize = 4 + 4 + 12;  // header, mask, SID with one sub-authority
  out.push_back(kAccessAllowedAce);
  out.push_back(kContainerInherit);
  PutWord(out, kAceSize);
  PutDword(out, mask);
  out.insert(out.end(), {1, 1, 0, 0, 0, 0, 0, authority});
  PutDword(out, subAuthority);
}

}  // namespace

std::vector<BYTE> StandardKeySecurity() {
  constexpr BYTE kNtAuthority = 5;     // S-1-5-18: the System account
  constexpr BYTE kWorldAuthority = 1;  // S-1-1-0: Everyone
  std::vector<BYTE> out{SECURITY_DESCRIPTOR_REVISION, 0};
  PutWord(out, SE_SELF_RELATIVE | SE_DACL_PRESENT);
  for (int slot = 0; slot < 3; ++slot) PutDword(out, 0);  // no owner, group or SACL
  PutDword(out, kHeaderSize);                             // the DACL follows the header

  out.push_back(kAclRevision);
  out.push_back(0);
  PutWord(out, 8 + 2 * 20);  // the ACL header and two entries
  PutWord(out, 2);
  PutWord(out, 0);
  PutAce(out, KEY_ALL_ACCESS, kNtAuthority, 18);
  PutAce(out, KEY_READ, kWorldAuthority, 0);
  return out;
}

bool LeavesKeyOpen(const BYTE* descriptor, size_t size) {
  if (!descriptor || size < kHeaderSize) return true;
  const WORD control = static_cast<WORD>(descriptor[kControlAt] | (descriptor[kControlAt + 1] << 8));
  if (!(control & SE_DACL_PRESENT)) return true;
  const BYTE* offset = descriptor + kDaclOffsetAt;
  return (offset[0] | offset[1] | offset[2] | offset[3]) == 0;
}
