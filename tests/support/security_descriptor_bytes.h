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

// Well-known SIDs as bytes: the Local System account (S-1-5-18), the
// Administrators group (S-1-5-32-544), Everyone (S-1-1-0).
std::vector<BYTE> SystemSid();
std::vector<BYTE> AdministratorsSid();
std::vector<BYTE> EveryoneSid();

// ProtectedSecurityDescriptor, owned by the System account, with one more
// entry: Administrators may take ownership (WRITE_OWNER). Under Wine, which
// grants WRITE_OWNER for no privilege, it stands in for an administrator's
// SeTakeOwnershipPrivilege.
std::vector<BYTE> WindowsOwnedYieldingOwnership();

// A descriptor with nothing in it, as asked for with no information flags.
std::vector<BYTE> DescriptorWithoutParts();

// Length of a self-relative descriptor, or 0 when `descriptor` is not one.
size_t SelfRelativeLength(const void* descriptor);
// The DACL part of a self-relative descriptor, rebuilt on its own (owner,
// group and SACL dropped), as RegGetKeySecurity returns it; no DACL becomes a
// present NULL one. Empty if invalid.
std::vector<BYTE> DaclOnlyDescriptor(const void* descriptor);
// The owner SID of a self-relative descriptor; empty when it names none.
std::vector<BYTE> OwnerSid(const void* descriptor);
// `descriptor` (self-relative) with `owner` as its owner, as RegGetKeySecurity
// returns OWNER_SECURITY_INFORMATION.
std::vector<BYTE> WithOwner(std::vector<BYTE> descriptor, const std::vector<BYTE>& owner);
// What the DACL grants a token holding `sids`, read in order as Windows does:
// a right denied before it is allowed stays denied ("How DACLs Control Access
// to an Object"). Generic rights count as the key rights they stand for. No
// DACL or a NULL one grants everything.
DWORD GrantedAccess(const std::vector<BYTE>& descriptor, const std::vector<std::vector<BYTE>>& sids);
// The key rights a generic right stands for ("Registry Key Security and Access Rights").
DWORD MapGenericKeyRights(DWORD access);
// True when the descriptor grants everyone everything: no DACL, or a NULL one.
bool HasNullDacl(const std::vector<BYTE>& descriptor);
