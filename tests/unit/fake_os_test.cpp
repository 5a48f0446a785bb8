// What TFakeOs does that the contract suite cannot check against Windows here:
// protected keys, read-only and locked files, damaged version resources,
// fault injection and the leak counters.
#include "support/fake_os.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/security_descriptor_bytes.h"
#include "support/version_resource_builder.h"

namespace {

constexpr char kRoot[] = "SYSTEM\\CurrentControlSet\\Enum\\Root";
constexpr char kLegacy[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\LEGACY_EWF";

LONG CreateKey(TFakeOs& os, const char* path, REGSAM access = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  const LONG result = os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
  if (key) os.RegCloseKey(key);
  return result;
}

TEST(TFakeRegistry, AProtectedKeyRefusesWritesBelowItUntilItsDaclIsBlank) {
  TFakeOs os;
  os.Registry().MarkRestrictive(HKEY_LOCAL_MACHINE, kRoot);
  EXPECT_EQ(CreateKey(os, kLegacy), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateKey(os, kLegacy, KEY_READ), ERROR_ACCESS_DENIED) << "creating is writing";
  EXPECT_FALSE(os.Registry().KeyExists(HKEY_LOCAL_MACHINE, kLegacy));

  HKEY root = nullptr;
  ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, WRITE_DAC, &root), ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR blank = nullptr;
  ULONG size = 0;
  ASSERT_EQ(os.BuildSecurityDescriptorA(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, &size, &blank), 0u);
  EXPECT_EQ(os.LiveLocalAllocationCount(), 1);
  ASSERT_EQ(os.RegSetKeySecurity(root, DACL_SECURITY_INFORMATION, blank), ERROR_SUCCESS);
  os.LocalFree(blank);
  EXPECT_EQ(CreateKey(os, kLegacy), ERROR_SUCCESS);

  const std::vector<BYTE> protectedDacl = ProtectedSecurityDescriptor();
  ASSERT_EQ(os.RegSetKeySecurity(root, DACL_SECURITY_INFORMATION, const_cast<BYTE*>(protectedDacl.data())),
            ERROR_SUCCESS);
  os.RegCloseKey(root);
  EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kRoot), protectedDacl);
  HKEY legacy = nullptr;
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLegacy, 0, KEY_ALL_ACCESS, &legacy), ERROR_ACCESS_DENIED);
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLegacy, 0, KEY_READ, &legacy), ERROR_SUCCESS);
  os.RegCloseKey(legacy);
  EXPECT_EQ(os.OpenKeyCount(), 0);
  EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
}

// "Privilege Constants": with SE_TAKE_OWNERSHIP_NAME enabled an
// administrator may open any key for WRITE_OWNER; with SE_RESTORE_NAME he
// may make any SID its owner. Wine knows neither at open, so this holds on
// the fake only.
TEST(TFakeRegistry, TakingOwnershipAndGivingItBackNeedTheirPrivileges) {
  TFakeOs os;
  os.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kLegacy, ProtectedSecurityDescriptor());
  os.Registry().SetOwner(HKEY_LOCAL_MACHINE, kLegacy, SystemSid());
  HKEY key = nullptr;
  EXPECT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLegacy, 0, WRITE_OWNER, &key), ERROR_ACCESS_DENIED);
  os.Registry().SetPrivileges(true, false);
  ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLegacy, 0, WRITE_OWNER, &key), ERROR_SUCCESS);
  std::vector<BYTE> windows = WithOwner(ProtectedSecurityDescriptor(), SystemSid());
  EXPECT_EQ(os.RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, windows.data()), ERROR_INVALID_OWNER);
  std::vector<BYTE> taken = WithOwner(ProtectedSecurityDescriptor(), AdministratorsSid());
  EXPECT_EQ(os.RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, taken.data()), ERROR_SUCCESS);
  os.Registry().SetPrivileges(false, true);
  EXPECT_EQ(os.RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, windows.data()), ERROR_SUCCESS);
  os.RegCloseKey(key);
  EXPECT_EQ(os.Registry().Owner(HKEY_LOCAL_MACHINE, kLegacy), SystemSid());
}

// "RegFlushKey function": the key must have been opened with KEY_QUERY_VALUE.
// Wine flushes through any handle, so this holds on the fake only.
TEST(TFakeRegistry, AFlushNeedsAHandleThatMayQueryValues) {
  TFakeOs os;
  os.Registry().CreateKey(HKEY_LOCAL_MACHINE, kRoot);
  for (const REGSAM access : {static_cast<REGSAM>(WRITE_DAC), static_cast<REGSAM>(WRITE_DAC | KEY_QUERY_VALUE)}) {
    HKEY key = nullptr;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, access, &key), ERROR_SUCCESS);
    EXPECT_EQ(os.RegFlushKey(key), access & KEY_QUERY_VALUE ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << access;
    os.RegCloseKey(key);
  }
}

TEST(TFakeRegistry, BuildSecurityDescriptorCanAnswerAsWineDoes) {
  TFakeOs os;
  os.SetBuildSecurityDescriptorResult(ERROR_CALL_NOT_IMPLEMENTED);
  PSECURITY_DESCRIPTOR made = nullptr;
  ULONG size = 0;
  EXPECT_EQ(os.BuildSecurityDescriptorA(nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, &size, &made), 120u);
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
}

TEST(TFakeFiles, ReadOnlyAndLockedFilesRefuseWhatWindowsRefuses) {
  TFakeOs os;
  os.Files().AddFile("C:\\src", "new");
  os.Files().AddFile("C:\\ntldr", "loader").Attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  EXPECT_FALSE(os.CopyFileA("C:\\src", "C:\\ntldr", FALSE));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(os.CreateFileA("C:\\ntldr", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(os.MoveFileA("C:\\ntldr", "C:\\ntldr.bak")) << "a read-only file may be renamed";

  os.Files().AddFile("C:\\bootstat.dat", "status").Locked = true;
  DWORD handle = 0;
  EXPECT_FALSE(os.MoveFileA("C:\\bootstat.dat", "C:\\bootstat.bak"));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(os.CopyFileA("C:\\bootstat.dat", "C:\\copy", FALSE));
  EXPECT_EQ(os.GetFileVersionInfoSizeA("C:\\bootstat.dat", &handle), 0u);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// "CopyFile function": an existing hidden target is refused too. Wine, run
// as root, copies over it, so TFakeOs alone shows this.
TEST(TFakeFiles, CopyFileRefusesAHiddenTarget) {
  TFakeOs os;
  os.Files().AddFile("C:\\src", "new");
  os.Files().AddFile("C:\\boot.ini", "old").Attributes = FILE_ATTRIBUTE_HIDDEN;
  EXPECT_FALSE(os.CopyFileA("C:\\src", "C:\\boot.ini", FALSE));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(os.Files().Find("C:\\boot.ini")->Contents, "old");
}

// "Compression Attribute", "SetFileAttributes function", "FSCTL_SET_COMPRESSION
// IOCTL": a new file takes its folder's compression, a renamed one keeps its
// own, SetFileAttributes neither sets nor clears it, and only the control, on
// a handle that may read and write, changes it. Wine ignores compression, so
// TFakeOs alone shows this.
TEST(TFakeFiles, CompressionComesFromTheFolderAndOnlyTheControlChangesIt) {
  TFakeOs os;
  os.Files().AddFile("C:\\ntldr", "loader");
  os.Files().AddFile("C:\\Source\\ewfntldr", "new loader");
  os.Files().SetCompressed("C:\\", true);
  const auto compressed = [&](const char* path) {
    return (os.GetFileAttributesA(path) & FILE_ATTRIBUTE_COMPRESSED) != 0;
  };
  EXPECT_TRUE(compressed("C:\\"));
  EXPECT_FALSE(compressed("C:\\ntldr")) << "made before the drive was compressed";

  ASSERT_TRUE(os.CopyFileA("C:\\Source\\ewfntldr", "C:\\ntldr.new", FALSE));
  EXPECT_TRUE(compressed("C:\\ntldr.new"));
  HANDLE file = os.CreateFileA("C:\\made", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  os.CloseHandle(file);
  EXPECT_TRUE(compressed("C:\\made"));
  ASSERT_TRUE(os.MoveFileA("C:\\Source\\ewfntldr", "C:\\moved"));
  EXPECT_FALSE(compressed("C:\\moved"));

  EXPECT_TRUE(os.SetFileAttributesA("C:\\ntldr.new", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(compressed("C:\\ntldr.new"));
  EXPECT_TRUE(os.SetFileAttributesA("C:\\moved", FILE_ATTRIBUTE_COMPRESSED));
  EXPECT_FALSE(compressed("C:\\moved"));

  USHORT format = COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  file = os.CreateFileA("C:\\ntldr.new", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(os.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  os.CloseHandle(file);
  file = os.CreateFileA("C:\\ntldr.new", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(os.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr));
  os.CloseHandle(file);
  EXPECT_FALSE(compressed("C:\\ntldr.new"));
  ASSERT_TRUE(os.MoveFileExA("C:\\ntldr.new", "C:\\ntldr", MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(compressed("C:\\ntldr"));

  format = COMPRESSION_FORMAT_DEFAULT;
  file = os.CreateFileA("C:\\moved", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(os.DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &returned, nullptr));
  os.CloseHandle(file);
  EXPECT_TRUE(compressed("C:\\moved"));
}

// "DeleteFile function": until the last handle of a file deleted while held
// is closed, opening it again fails with ERROR_ACCESS_DENIED, and so does
// replacing it. Wine 8 opens and replaces it, so TFakeOs alone shows this.
TEST(TFakeFiles, AFileDeletedWhileHeldRefusesOpensAndReplacement) {
  TFakeOs os;
  os.Files().AddFile("C:\\other", "other");
  os.Files().AddFile("C:\\held", "held").HeldSharingAll = true;
  ASSERT_TRUE(os.DeleteFileA("C:\\held"));
  EXPECT_EQ(os.CreateFileA("C:\\held", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(os.CopyFileA("C:\\other", "C:\\held", FALSE));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(os.MoveFileExA("C:\\other", "C:\\held", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(os.GetFileAttributesA("C:\\held"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(os.Files().IsFile("C:\\held"));
  os.Files().Release("C:\\held");
  EXPECT_FALSE(os.Files().IsFile("C:\\held"));
  EXPECT_TRUE(os.CopyFileA("C:\\other", "C:\\held", FALSE));
}

TEST(TFakeFiles, PathsResolveAsWindowsResolvesThem) {
  TFakeOs os;
  os.Files().AddFolder("C:\\WINDOWS\\system32");
  const HANDLE file = os.CreateFileA("\\resmany.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  os.CloseHandle(file);
  EXPECT_TRUE(os.Files().IsFile("C:\\RESMANY.DAT"));
  EXPECT_TRUE(os.CopyFileA("C:\\resmany.dat", "c:\\windows\\SYSTEM32\\..\\copy.dat", TRUE));
  EXPECT_TRUE(os.Files().IsFile("C:\\WINDOWS\\copy.dat"));

  os.SetCodePage(932);
  os.Files().AddFile("D:\\\x95\x5C\\ewf.sys");
  EXPECT_TRUE(os.Files().IsFolder("D:\\\x95\x5C"));
  EXPECT_FALSE(os.Files().IsFolder("D:\\\x95"));
}

// Every truncation and every single damaged byte of a version resource must
// answer false or a value inside what was read, and never read outside it.
TEST(FakeVersion, DamagedResourcesGiveFalseOrAValueInsideTheBlock) {
  TFakeOs os;
  const std::vector<BYTE> good = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  const auto check = [&](const std::vector<BYTE>& resource, DWORD bufferSize) {
    os.Files().AddFile("C:\\ewf.sys").VersionResource = resource;
    std::vector<BYTE> buffer(bufferSize);
    if (!os.GetFileVersionInfoA("C:\\ewf.sys", 0, bufferSize, buffer.data())) return;
    const size_t filled = std::min<size_t>(bufferSize, resource.size());
    for (const char* subBlock : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\080904E4"}) {
      LPVOID value = nullptr;
      UINT length = 0;
      if (!os.VerQueryValueA(buffer.data(), subBlock, &value, &length)) continue;
      const BYTE* at = static_cast<const BYTE*>(value);
      EXPECT_GE(at, buffer.data());
      EXPECT_LE(at + length, buffer.data() + filled) << subBlock;
    }
  };
  for (DWORD size = 1; size <= good.size(); ++size) check(good, size);
  for (size_t at = 0; at < good.size(); ++at) {
    for (BYTE damage : {BYTE{0x00}, BYTE{0xFF}}) {
      std::vector<BYTE> damaged = good;
      damaged[at] = damage;
      check(damaged, static_cast<DWORD>(good.size() * 2 + 4));
    }
  }
  VersionResourceLayout hostile;
  hostile.RootLength = 0xFFFF;
  hostile.TranslationValueLength = 0xFFF0;
  check(BuildVersionResource(hostile), static_cast<DWORD>(good.size() * 2 + 4));

  // The good one is found, and the size asked for leaves room beyond it.
  os.Files().AddFile("C:\\ewf.sys").VersionResource = good;
  DWORD handle = 1;
  const DWORD size = os.GetFileVersionInfoSizeA("C:\\ewf.sys", &handle);
  EXPECT_EQ(size, good.size() * 2 + 4);
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(os.GetFileVersionInfoA("C:\\ewf.sys", handle, size, buffer.data()));
  LPVOID value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(os.VerQueryValueA(buffer.data(), "\\", &value, &length));
  ASSERT_EQ(length, 52u);
  EXPECT_EQ(static_cast<const VS_FIXEDFILEINFO*>(value)->dwFileVersionMS, 0x00020000u);
  ASSERT_TRUE(os.VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &value, &length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(*static_cast<const DWORD*>(value), 0x04E40809u);
}

TEST(TFakeOs, FaultsHitTheCallsChosen) {
  TFakeOs os;
  os.Files().AddFile("C:\\a", "a");
  os.FailNthCall(2, ERROR_DISK_FULL);
  os.FailCall("CopyFileA", ERROR_HANDLE_DISK_FULL, 3);
  os.FailCallsContaining("C:\\never", ERROR_ACCESS_DENIED);

  EXPECT_TRUE(os.CopyFileA("C:\\a", "C:\\b", FALSE));
  EXPECT_FALSE(os.CopyFileA("C:\\a", "C:\\c", FALSE));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(os.Files().IsFile("C:\\c")) << "a failed call changes nothing";
  EXPECT_FALSE(os.CopyFileA("C:\\a", "C:\\d", FALSE));
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_HANDLE_DISK_FULL));
  EXPECT_TRUE(os.CopyFileA("C:\\a", "C:\\e", FALSE));
  EXPECT_EQ(os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "C:\\never", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(os.Calls().size(), 5u);
}

// A process that dies stops at once: the machine keeps what its last call
// did (half a copy, when it died halfway), nothing after it happens, and a
// new process starts with nothing held.
TEST(TFakeOs, AStoppedProcessLeavesTheMachineAsItStood) {
  TFakeOs os;
  os.Files().AddFile("C:\\ewfntldr", "0123456789");
  HKEY key = nullptr;
  ASSERT_EQ(
      os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  os.StopProcessAtCall(1, true);
  EXPECT_TRUE(os.CopyFileA("C:\\ewfntldr", "C:\\ntldr.new", FALSE));
  EXPECT_TRUE(os.ProcessStopped());
  EXPECT_EQ(os.Files().Find("C:\\ntldr.new")->Contents, "01234");
  EXPECT_FALSE(os.MoveFileExA("C:\\ntldr.new", "C:\\ntldr", MOVEFILE_REPLACE_EXISTING));
  EXPECT_NE(os.RegSetValueExA(key, "V", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4), ERROR_SUCCESS);
  EXPECT_NE(os.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_FALSE(os.Files().Find("C:\\ntldr"));
  EXPECT_FALSE(os.Registry().Value(HKEY_LOCAL_MACHINE, "SOFTWARE\\X", "V"));
  EXPECT_EQ(os.Calls().size(), 2u) << "the key's creation and the copy; nothing after";
  EXPECT_EQ(os.OpenKeyCount(), 1);

  os.StartProcessAgain();
  EXPECT_EQ(os.OpenKeyCount(), 0);
  EXPECT_FALSE(os.ProcessStopped());
  EXPECT_TRUE(os.MoveFileExA("C:\\ntldr.new", "C:\\ntldr", MOVEFILE_REPLACE_EXISTING));
}

}  // namespace
