// The registry as the program relies on it, on TFakeOs and on Windows alike.
#include <cstring>
#include <vector>

#include "contract/contract_environment.h"
#include "services/key_security.h"
#include "services/privilege.h"
#include "support/security_descriptor_bytes.h"

namespace {

using Bytes = std::vector<BYTE>;

class RegistryContract : public OsContract {
 protected:
  HKEY Create(const char* path, LPDWORD disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(Os().RegCreateKeyExA(Env().ScratchKey(), path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                   nullptr, &key, disposition),
              ERROR_SUCCESS)
        << path;
    return key;
  }
  HKEY Open(const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(Os().RegOpenKeyExA(Env().ScratchKey(), path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }
  Bytes Security(HKEY key) {
    DWORD size = 0;
    EXPECT_EQ(Os().RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
    Bytes descriptor(size, 0xCD);
    EXPECT_EQ(Os().RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor.data(), &size), ERROR_SUCCESS);
    descriptor.resize(size);
    return descriptor;
  }
};

TEST_F(RegistryContract, CreateMakesEveryMissingKeyAndOpenFindsItWhateverTheCase) {
  DWORD disposition = 0xDEADBEEF;
  HKEY created = Create("One\\Two\\Three", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(Os().RegCloseKey(created), ERROR_SUCCESS);

  disposition = 0xDEADBEEF;
  HKEY again = Create("one\\TWO\\three", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(Os().RegCloseKey(again), ERROR_SUCCESS);

  HKEY middle = Open("ONE\\two", KEY_READ);
  ASSERT_NE(middle, nullptr);
  EXPECT_EQ(Os().RegCloseKey(middle), ERROR_SUCCESS);

  HKEY withoutDisposition = Create("Four");
  ASSERT_NE(withoutDisposition, nullptr);
  EXPECT_EQ(Os().RegCloseKey(withoutDisposition), ERROR_SUCCESS);
}

TEST_F(RegistryContract, MissingKeysAndLeadingBackslashesAreRefused) {
  HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0xDEADBEEF));
  EXPECT_EQ(Os().RegOpenKeyExA(Env().ScratchKey(), "Missing\\Key", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);

  // A leading backslash is not a path from the root: the caller strips it.
  EXPECT_EQ(Os().RegOpenKeyExA(Env().ScratchKey(), "\\Missing", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Os().RegCreateKeyExA(Env().ScratchKey(), "\\Lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
}

TEST_F(RegistryContract, ValuesKeepTheirTypeAndBytes) {
  HKEY key = Create("Values");
  const Bytes text{'N', 0};
  const Bytes number{0x78, 0x56, 0x34, 0x12};
  const Bytes list{'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 'E', 'w', 'f', 0, 0};
  struct Row {
    const char* Name;
    DWORD Type;
    const Bytes& Data;
  } rows[] = {{"Enable", REG_SZ, text}, {"Start", REG_DWORD, number}, {"UpperFilters", REG_MULTI_SZ, list}};

  for (const Row& row : rows) {
    ASSERT_EQ(Os().RegSetValueExA(key, row.Name, 0, row.Type, row.Data.data(), static_cast<DWORD>(row.Data.size())),
              ERROR_SUCCESS);
  }
  for (const Row& row : rows) {
    DWORD type = 0xDEADBEEF;
    DWORD size = 64;
    Bytes data(64, 0xCD);
    ASSERT_EQ(Os().RegQueryValueExA(key, row.Name, nullptr, &type, data.data(), &size), ERROR_SUCCESS) << row.Name;
    EXPECT_EQ(type, row.Type) << row.Name;
    data.resize(size);
    EXPECT_EQ(data, row.Data) << row.Name;
  }

  // Names match without regard to case; a rewrite replaces type and data.
  const Bytes one{1, 0, 0, 0};
  ASSERT_EQ(Os().RegSetValueExA(key, "ENABLE", 0, REG_DWORD, one.data(), 4), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(Os().RegQueryValueExA(key, "enable", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);

  Bytes small(2);
  size = 2;
  EXPECT_EQ(Os().RegQueryValueExA(key, "UpperFilters", nullptr, nullptr, small.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  EXPECT_EQ(Os().RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Os().RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryContract, AHandleDoesOnlyWhatItWasOpenedFor) {
  Os().RegCloseKey(Create("Guarded"));
  const BYTE data[] = {'N', 0};

  HKEY reader = Open("Guarded", KEY_READ);
  EXPECT_EQ(Os().RegSetValueExA(reader, "Enable", 0, REG_SZ, data, 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Os().RegSetKeySecurity(reader, DACL_SECURITY_INFORMATION, Security(reader).data()), ERROR_ACCESS_DENIED);
  Os().RegCloseKey(reader);

  HKEY querier = Open("Guarded", KEY_QUERY_VALUE);
  DWORD size = 0;
  EXPECT_EQ(Os().RegGetKeySecurity(querier, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_ACCESS_DENIED);
  Os().RegCloseKey(querier);
}

TEST_F(RegistryContract, ADaclSavedAndPutBackIsByteIdentical) {
  Os().RegCloseKey(Create("Secured"));
  HKEY reader = Open("Secured", KEY_READ);
  const Bytes saved = Security(reader);
  ASSERT_GE(saved.size(), 20u);
  EXPECT_EQ(saved[0], SECURITY_DESCRIPTOR_REVISION);
  EXPECT_TRUE((saved[2] | (saved[3] << 8)) & SE_SELF_RELATIVE);

  DWORD size = static_cast<DWORD>(saved.size() - 1);
  Bytes tooSmall(size);
  EXPECT_EQ(Os().RegGetKeySecurity(reader, DACL_SECURITY_INFORMATION, tooSmall.data(), &size),
            ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, saved.size());

  // A blank descriptor: the DACL is present and NULL, so everyone may do anything.
  Bytes blank(20, 0);
  blank[0] = SECURITY_DESCRIPTOR_REVISION;
  blank[2] = SE_DACL_PRESENT;
  blank[3] = SE_SELF_RELATIVE >> 8;
  HKEY writer = Open("Secured", WRITE_DAC);
  ASSERT_EQ(Os().RegSetKeySecurity(writer, DACL_SECURITY_INFORMATION, blank.data()), ERROR_SUCCESS);
  EXPECT_EQ(Security(reader), blank);

  ASSERT_EQ(Os().RegSetKeySecurity(writer, DACL_SECURITY_INFORMATION, const_cast<BYTE*>(saved.data())), ERROR_SUCCESS);
  EXPECT_EQ(Security(reader), saved);
  Os().RegCloseKey(writer);
  Os().RegCloseKey(reader);
}

}  // namespace

namespace {

// Removal takes a key apart from its leaves up: a key with subkeys is refused,
// enumeration names the subkeys and ends with ERROR_NO_MORE_ITEMS, and a
// missing value or key answers "not found".
TEST_F(RegistryContract, KeysAreDeletedLeafFirstAndValuesOneByOne) {
  HKEY leaf = Create("Gone\\Child");
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(Os().RegCloseKey(leaf), ERROR_SUCCESS);
  HKEY parent = Open("Gone", KEY_ALL_ACCESS);
  ASSERT_NE(parent, nullptr);

  char name[16];
  DWORD size = sizeof name;
  ASSERT_EQ(Os().RegEnumKeyExA(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Child");
  EXPECT_EQ(size, 5u);
  size = 3;
  EXPECT_EQ(Os().RegEnumKeyExA(parent, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  size = sizeof name;
  EXPECT_EQ(Os().RegEnumKeyExA(parent, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  EXPECT_EQ(Os().RegDeleteKeyA(Env().ScratchKey(), "Gone"), ERROR_ACCESS_DENIED);
  const BYTE one[] = {1, 0, 0, 0};
  ASSERT_EQ(Os().RegSetValueExA(parent, "Start", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
  EXPECT_EQ(Os().RegDeleteValueA(parent, "Start"), ERROR_SUCCESS);
  EXPECT_EQ(Os().RegDeleteValueA(parent, "Start"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Os().RegQueryValueExA(parent, "Start", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(Os().RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
  EXPECT_EQ(Os().RegDeleteKeyA(parent, "Child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Os().RegCloseKey(parent), ERROR_SUCCESS);
  EXPECT_EQ(Os().RegDeleteKeyA(Env().ScratchKey(), "Gone"), ERROR_SUCCESS);
  HKEY missing = nullptr;
  EXPECT_EQ(Os().RegOpenKeyExA(Env().ScratchKey(), "Gone", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
}

}  // namespace

namespace {

// Windows' Plug and Play manager gives a device key the System account as
// owner, full control to it and read to Everyone. Each key's own descriptor
// decides: an administrator may neither re-create ("RegCreateKeyEx
// function") nor delete it ("RegDeleteKey function": the key itself is
// opened for DELETE) until he has taken ownership, after which, as owner, he
// may set the DACL ("Ownership of Objects"). The right to take ownership is
// an entry of the DACL here: Wine grants it for no privilege (the fake's own
// tests show SeTakeOwnershipPrivilege).
TEST_F(RegistryContract, AKeyWindowsOwnsRefusesReCreateAndDeleteUntilTakenOver) {
  HKEY key = Create("Owned");
  {
    // Only with it may the owner be a SID the caller is not ("Privilege Constants").
    const TEnabledPrivilege restore(Os(), SE_RESTORE_NAME);
    ASSERT_EQ(restore.Error(), ERROR_SUCCESS);
    Bytes windows = WindowsOwnedYieldingOwnership();
    ASSERT_EQ(Os().RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, windows.data()),
              ERROR_SUCCESS);
  }
  Os().RegCloseKey(key);

  HKEY again = nullptr;
  EXPECT_EQ(Os().RegCreateKeyExA(Env().ScratchKey(), "Owned", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Os().RegDeleteKeyA(Env().ScratchKey(), "Owned"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Os().RegOpenKeyExA(Env().ScratchKey(), "Owned", 0, WRITE_DAC, &again), ERROR_ACCESS_DENIED);
  Os().RegCloseKey(Open("Owned", KEY_READ));

  Bytes taken = AdministratorsOwnedKeySecurity();
  HKEY owner = Open("Owned", WRITE_OWNER);
  EXPECT_EQ(Os().RegSetKeySecurity(owner, OWNER_SECURITY_INFORMATION, taken.data()), ERROR_SUCCESS);
  Os().RegCloseKey(owner);
  HKEY dacl = Open("Owned", WRITE_DAC);
  EXPECT_EQ(Os().RegSetKeySecurity(dacl, DACL_SECURITY_INFORMATION, taken.data()), ERROR_SUCCESS);
  Os().RegCloseKey(dacl);
  EXPECT_EQ(Os().RegDeleteKeyA(Env().ScratchKey(), "Owned"), ERROR_SUCCESS);
}

}  // namespace
