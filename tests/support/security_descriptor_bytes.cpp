#include "support/security_descriptor_bytes.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

// SECURITY_DESCRIPTOR_RELATIVE: revision, padding, control, then the offsets
// of owner, group, SACL and DACL from the start.
constexpr size_t kHeaderSize = 20;
constexpr size_t kDaclOffsetAt = 16;
constexpr WORD kDaclControlBits =
    SE_DACL_PRESENT | 0x0008 /* defaulted */ | 0x0400 /* auto-inherited */ | 0x1000 /* protected */;

WORD ReadWord(const BYTE* at) {
  return static_cast<WORD>(at[0] | (at[1] << 8));
}
DWORD ReadDword(const BYTE* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<DWORD>(at[3]) << 24);
}
void PutWord(std::vector<BYTE>& out, WORD value) {
  out.push_back(static_cast<BYTE>(value));
  out.push_back(static_cast<BYTE>(value >> 8));
}
void PutDword(std::vector<BYTE>& out, DWORD value) {
  PutWord(out, static_cast<WORD>(value));
  PutWord(out, static_cast<WORD>(value >> 16));
}

std::vector<BYTE> Header(WORD control, DWORD daclOffset) {
  std::vector<BYTE> out{SECURITY_DESCRIPTOR_REVISION, 0};
  PutWord(out, control | SE_SELF_RELATIVE);
  for (int i = 0; i < 3; ++i) PutDword(out, 0);
  PutDword(out, daclOffset);
  return out;
}

struct Ace {
  DWORD Mask;
  BYTE Authority;  // SID S-1-<authority>-<subAuthority>
  DWORD SubAuthority;
};

// A descriptor whose DACL holds access-allowed entries for well-known SIDs.
std::vector<BYTE> DescriptorWithDacl(std::initializer_list<Ace> aces) {
  std::vector<BYTE> acl;
  for (const Ace& ace : aces) {
    acl.push_back(0);     // ACCESS_ALLOWED_ACE_TYPE
    acl.push_back(0x02);  // CONTAINER_INHERIT_ACE
    PutWord(acl, 20);
    PutDword(acl, ace.Mask);
    acl.insert(acl.end(), {1, 1, 0, 0, 0, 0, 0, ace.Authority});
    PutDword(acl, ace.SubAuthority);
  }
  std::vector<BYTE> out = Header(SE_DACL_PRESENT, kHeaderSize);
  out.push_back(2);  // ACL_REVISION
  out.push_back(0);
  PutWord(out, static_cast<WORD>(8 + acl.size()));
  PutWord(out, static_cast<WORD>(aces.size()));
  PutWord(out, 0);
  out.insert(out.end(), acl.begin(), acl.end());
  return out;
}

constexpr BYTE kWorldAuthority = 1;  // S-1-1-0, Everyone
constexpr BYTE kNtAuthority = 5;     // S-1-5-18, Local System

}  // namespace

std::vector<BYTE> BlankSecurityDescriptor() {
  return Header(SE_DACL_PRESENT, 0);
}

std::vector<BYTE> OpenSecurityDescriptor() {
  return DescriptorWithDacl({{KEY_ALL_ACCESS, kWorldAuthority, 0}});
}

std::vector<BYTE> ProtectedSecurityDescriptor() {
  return DescriptorWithDacl({{KEY_ALL_ACCESS, kNtAuthority, 18}, {KEY_READ, kWorldAuthority, 0}});
}

size_t SelfRelativeLength(const void* descriptor) {
  const auto* bytes = static_cast<const BYTE*>(descriptor);
  if (!bytes || bytes[0] != SECURITY_DESCRIPTOR_REVISION || !(ReadWord(bytes + 2) & SE_SELF_RELATIVE)) return 0;
  size_t end = kHeaderSize;
  for (size_t slot = 4; slot <= kDaclOffsetAt; slot += 4) {
    const DWORD offset = ReadDword(bytes + slot);
    if (offset == 0) continue;
    const bool isSid = slot <= 8;
    // A SID is 8 bytes plus 4 per sub-authority; an ACL says its own size.
    const size_t length = isSid ? 8 + 4 * size_t{bytes[offset + 1]} : ReadWord(bytes + offset + 2);
    end = std::max(end, static_cast<size_t>(offset + length));
  }
  return end;
}

std::vector<BYTE> DaclOnlyDescriptor(const void* descriptor) {
  if (SelfRelativeLength(descriptor) == 0) return {};
  const auto* bytes = static_cast<const BYTE*>(descriptor);
  const WORD control = ReadWord(bytes + 2) & kDaclControlBits;
  const DWORD daclOffset = (control & SE_DACL_PRESENT) ? ReadDword(bytes + kDaclOffsetAt) : 0;
  // Windows answers "no DACL" as a present, NULL one.
  if (daclOffset == 0) return Header(control | SE_DACL_PRESENT, 0);
  std::vector<BYTE> out = Header(control, kHeaderSize);
  const BYTE* acl = bytes + daclOffset;
  out.insert(out.end(), acl, acl + ReadWord(acl + 2));
  return out;
}

std::vector<BYTE> DescriptorWithoutParts() {
  return Header(0, 0);
}

std::vector<BYTE> SystemSid() {
  return {1, 1, 0, 0, 0, 0, 0, kNtAuthority, 18, 0, 0, 0};
}

std::vector<BYTE> AdministratorsSid() {
  return {1, 2, 0, 0, 0, 0, 0, kNtAuthority, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
}

std::vector<BYTE> EveryoneSid() {
  return {1, 1, 0, 0, 0, 0, 0, kWorldAuthority, 0, 0, 0, 0};
}

std::vector<BYTE> WindowsOwnedYieldingOwnership() {
  std::vector<BYTE> descriptor = ProtectedSecurityDescriptor();
  const std::vector<BYTE> administrators = AdministratorsSid();
  descriptor.insert(descriptor.end(), {0, 0, 24, 0});  // ACCESS_ALLOWED, not inherited, 24 bytes
  PutDword(descriptor, WRITE_OWNER);
  descriptor.insert(descriptor.end(), administrators.begin(), administrators.end());
  BYTE* acl = descriptor.data() + kHeaderSize;
  acl[2] = static_cast<BYTE>(acl[2] + 24);
  acl[4] = static_cast<BYTE>(acl[4] + 1);
  return WithOwner(std::move(descriptor), SystemSid());
}

std::vector<BYTE> OwnerSid(const void* descriptor) {
  if (SelfRelativeLength(descriptor) == 0) return {};
  const auto* bytes = static_cast<const BYTE*>(descriptor);
  const DWORD offset = ReadDword(bytes + 4);
  if (offset == 0) return {};
  return {bytes + offset, bytes + offset + 8 + 4 * size_t{bytes[offset + 1]}};
}

std::vector<BYTE> WithOwner(std::vector<BYTE> descriptor, const std::vector<BYTE>& owner) {
  const DWORD at = static_cast<DWORD>(descriptor.size());
  descriptor.insert(descriptor.end(), owner.begin(), owner.end());
  for (int i = 0; i < 4; ++i) descriptor[4 + i] = static_cast<BYTE>(at >> (8 * i));
  return descriptor;
}

DWORD MapGenericKeyRights(DWORD access) {
  constexpr DWORD kGenericAll = 0x10000000;
  constexpr DWORD kGenericExecute = 0x20000000;
  DWORD mapped = access & 0x0FFFFFFF;
  if (access & kGenericAll) mapped |= KEY_ALL_ACCESS;
  if (access & kGenericExecute) mapped |= KEY_EXECUTE;
  if (access & GENERIC_WRITE) mapped |= KEY_WRITE;
  if (access & GENERIC_READ) mapped |= KEY_READ;
  return mapped;
}

DWORD GrantedAccess(const std::vector<BYTE>& descriptor, const std::vector<std::vector<BYTE>>& sids) {
  if (HasNullDacl(descriptor)) return 0xFFFFFFFF;
  const BYTE* acl = descriptor.data() + ReadDword(descriptor.data() + kDaclOffsetAt);
  DWORD granted = 0;
  DWORD denied = 0;
  const BYTE* ace = acl + 8;
  for (WORD n = ReadWord(acl + 4); n > 0; --n, ace += ReadWord(ace + 2)) {
    const BYTE* sid = ace + 8;
    const std::vector<BYTE> trustee(sid, sid + 8 + 4 * size_t{sid[1]});
    if (std::find(sids.begin(), sids.end(), trustee) == sids.end()) continue;
    const DWORD mask = MapGenericKeyRights(ReadDword(ace + 4));
    if (ace[0] == 0) granted |= mask & ~denied;  // ACCESS_ALLOWED_ACE_TYPE
    if (ace[0] == 1) denied |= mask & ~granted;  // ACCESS_DENIED_ACE_TYPE
  }
  return granted;
}

bool HasNullDacl(const std::vector<BYTE>& descriptor) {
  if (descriptor.size() < kHeaderSize) return false;
  if (!(ReadWord(descriptor.data() + 2) & SE_DACL_PRESENT)) return true;
  return ReadDword(descriptor.data() + kDaclOffsetAt) == 0;
}
