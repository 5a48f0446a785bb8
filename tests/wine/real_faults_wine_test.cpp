// The file and registry services meeting real faults on Wine: the error
// codes that the installation's decisions rest on (a file that is not there
// must be told apart from one that cannot be looked at), and what sharing
// and real DACLs refuse.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <string>

#include "services/files.h"
#include "services/registry.h"
#include "services/win32_os.h"
#include "wine/scratch.h"

namespace {

// What a service answered, as text that failure output shows.
std::string Said(DWORD error) {
  return (error == ERROR_SUCCESS ? "succeeded, error " : "failed, error ") + std::to_string(error);
}
std::string Said(const FileLookup& lookup) {
  return (lookup.Present ? "present, error " : "absent, error ") + std::to_string(lookup.Error);
}

class RealFileFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder_ = MakeScratchFolder();
    WriteWholeFile(Folder_ + "ewfntldr", "new boot loader");
    WriteWholeFile(Folder_ + "ntldr", "original boot loader");
  }
  void TearDown() override { DeleteFolderTree(Folder_); }

  TWin32Os Os_;
  std::string Folder_;
};

// As another program holding a file open without sharing would.
HANDLE Hold(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  return file;
}

TEST_F(RealFileFaultsTest, AHeldFileIsFoundButNeitherCopiedMovedNorReplaced) {
  const HANDLE source = Hold(Folder_ + "ewfntldr");
  EXPECT_EQ(Said(LookForFile(Os_, Folder_ + "ewfntldr")), "present, error 0");
  EXPECT_EQ(Said(CopyFileTo(Os_, Folder_ + "ewfntldr", Folder_ + "copy", false)), "failed, error 32");
  CloseHandle(source);

  const HANDLE target = Hold(Folder_ + "ntldr");
  EXPECT_EQ(Said(RenameFile(Os_, Folder_ + "ntldr", Folder_ + "ntldr.bak")), "failed, error 32");
  EXPECT_EQ(Said(CopyFileTo(Os_, Folder_ + "ewfntldr", Folder_ + "ntldr", false)), "failed, error 32");
  CloseHandle(target);
  EXPECT_EQ(ReadWholeFile(Folder_ + "ntldr"), "original boot loader");
  EXPECT_EQ(ReadWholeFile(Folder_ + "ntldr.bak"), "<missing>");
}

// A missing folder means the file is not there (nothing to keep); copying
// into it fails with the path it names.
TEST_F(RealFileFaultsTest, AMissingFolderIsAbsenceNotAFailureToLook) {
  const std::string missing = Folder_ + "drivers\\";
  EXPECT_EQ(Said(LookForFile(Os_, missing + "ewf.sys")), "absent, error 0");
  EXPECT_EQ(Said(CopyFileTo(Os_, Folder_ + "ewfntldr", missing + "ewf.sys", true)), "failed, error 3");
  EXPECT_EQ(Said(CreateEmptyFile(Os_, missing + "resmany.dat")), "failed, error 3");
  EXPECT_EQ(Said(LookForFile(Os_, Folder_ + "absent")), "absent, error 0");
}

// Whether an overlong path holds a boot loader cannot be known: the lookup
// fails rather than saying "absent", so that nothing is overwritten unseen.
TEST_F(RealFileFaultsTest, APathLongerThanMaxPathCannotBeLookedAt) {
  const std::string path = Folder_ + std::string(MAX_PATH, 'w') + "\\ntldr";
  EXPECT_EQ(Said(LookForFile(Os_, path)), "absent, error 206");
  EXPECT_NE(CopyFileTo(Os_, Folder_ + "ewfntldr", path, false), 0u);
  EXPECT_NE(CreateEmptyFile(Os_, Folder_ + std::string(MAX_PATH, 'w') + "\\resmany.dat"), 0u);
}

// A read-only boot loader (as Windows XP leaves ntldr) can be moved aside,
// which is how the installation replaces it.
TEST_F(RealFileFaultsTest, AReadOnlyFileCanBeMovedAside) {
  ASSERT_TRUE(SetFileAttributesA((Folder_ + "ntldr").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Said(RenameFile(Os_, Folder_ + "ntldr", Folder_ + "ntldr.bak")), "succeeded, error 0");
  EXPECT_EQ(Said(CopyFileTo(Os_, Folder_ + "ewfntldr", Folder_ + "ntldr", false)), "succeeded, error 0");
  EXPECT_EQ(ReadWholeFile(Folder_ + "ntldr.bak"), "original boot loader");
  EXPECT_TRUE(GetFileAttributesA((Folder_ + "ntldr.bak").c_str()) & FILE_ATTRIBUTE_READONLY);
}

// A scratch key under HKEY_CURRENT_USER owned by SYSTEM with the given DACL;
// Administrators may still delete it.
class TLockedKey {
 public:
  explicit TLockedKey(const char* dacl) : Path_(MakeScratchKeyPath()) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::string sddl = std::string("O:SYD:") + dacl + "(A;;SD;;;BA)";
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor),
              ERROR_SUCCESS);
    LocalFree(descriptor);
    RegCloseKey(key);
  }
  ~TLockedKey() { DeleteKeyTree(HKEY_CURRENT_USER, Path_); }
  const std::string& Path() const { return Path_; }

 private:
  std::string Path_;
};

// Wine enforces registry DACLs for whoever does not own the key, as Windows
// does: the read-only open takes the most a DACL grants of what it needs.
TEST(RealRegistryFaults, ReadOnlyOpensTakeWhatTheDaclGrants) {
  TWin32Os os;
  {
    const TLockedKey queryOnly("(A;;0x1;;;WD)");  // KEY_QUERY_VALUE
    TRegistry registry(os);
    ASSERT_TRUE(registry.OpenKeyReadOnly(queryOnly.Path()));
    EXPECT_EQ(registry.Access(), static_cast<REGSAM>(KEY_QUERY_VALUE));
    TRegistry writer(os);
    EXPECT_EQ(writer.Open(queryOnly.Path(), true), ERROR_ACCESS_DENIED);
  }
  {
    const TLockedKey securityOnly("(A;;RC;;;WD)");
    TRegistry registry(os);
    EXPECT_EQ(registry.OpenReadOnly(securityOnly.Path()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry.CurrentKey(), nullptr);
  }
}

}  // namespace
