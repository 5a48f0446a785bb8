// Files as the program relies on them, on TFakeOs and on Windows alike.
#include <cstring>

#include "contract/contract_environment.h"

namespace {

class FilesContract : public OsContract {
 protected:
  void SetUp() override {
    OsContract::SetUp();
    Folder_ = Env().ScratchFolder();
  }
  std::string Path(const std::string& name) const { return Folder_ + name; }
  bool Found(const std::string& name, WIN32_FIND_DATAA* data) {
    const HANDLE search = Os().FindFirstFileA(Path(name).c_str(), data);
    if (search == INVALID_HANDLE_VALUE) return false;
    EXPECT_TRUE(Os().FindClose(search));
    return true;
  }

  std::string Folder_;
};

TEST_F(FilesContract, FindFirstFileTellsFilesFromFoldersAndWhyNothingWasFound) {
  Env().WriteFile(Path("ewf.sys"), "driver");
  Env().MakeFolder(Path("drivers"));

  WIN32_FIND_DATAA data;
  std::memset(&data, 0xCD, sizeof data);
  ASSERT_TRUE(Found("ewf.sys", &data));
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_STREQ(data.cFileName, "ewf.sys");
  EXPECT_EQ(data.nFileSizeLow, 6u);

  ASSERT_TRUE(Found("DRIVERS", &data));
  EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

  SeedLastError();
  EXPECT_FALSE(Found("absent.sys", &data));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SeedLastError();
  EXPECT_FALSE(Found("nowhere\\ewf.sys", &data));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  SeedLastError();
  EXPECT_FALSE(Found("drivers\\", &data));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilesContract, CopyEitherLeavesAnExistingTargetOrOverwritesIt) {
  Env().WriteFile(Path("new"), "new contents");
  Env().WriteFile(Path("old"), "old");

  SeedLastError();
  EXPECT_FALSE(Os().CopyFileA(Path("new").c_str(), Path("old").c_str(), TRUE));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(Env().ReadFile(Path("old")), "old");

  EXPECT_TRUE(Os().CopyFileA(Path("new").c_str(), Path("old").c_str(), FALSE));
  EXPECT_EQ(Env().ReadFile(Path("old")), "new contents");
  EXPECT_EQ(Env().ReadFile(Path("new")), "new contents");

  EXPECT_TRUE(Os().CopyFileA(Path("new").c_str(), Path("fresh").c_str(), TRUE));
  EXPECT_EQ(Env().ReadFile(Path("fresh")), "new contents");

  SeedLastError();
  EXPECT_FALSE(Os().CopyFileA(Path("absent").c_str(), Path("other").c_str(), FALSE));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SeedLastError();
  EXPECT_FALSE(Os().CopyFileA(Path("new").c_str(), Path("nowhere\\new").c_str(), FALSE));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesContract, RenameNeverReplacesAnExistingName) {
  Env().WriteFile(Path("ntldr"), "loader");
  Env().WriteFile(Path("ntldr.bak"), "backup");

  SeedLastError();
  EXPECT_FALSE(Os().MoveFileA(Path("ntldr").c_str(), Path("ntldr.bak").c_str()));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Env().ReadFile(Path("ntldr")), "loader");
  EXPECT_EQ(Env().ReadFile(Path("ntldr.bak")), "backup");

  EXPECT_TRUE(Os().MoveFileA(Path("ntldr").c_str(), Path("ntldr.old").c_str()));
  EXPECT_EQ(Env().ReadFile(Path("ntldr")), "<missing>");
  EXPECT_EQ(Env().ReadFile(Path("ntldr.old")), "loader");

  SeedLastError();
  EXPECT_FALSE(Os().MoveFileA(Path("ntldr").c_str(), Path("elsewhere").c_str()));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilesContract, CreateAlwaysTruncatesAndHoldsTheFileWithoutSharing) {
  Env().WriteFile(Path("resmany.dat"), "old contents");
  const std::string path = Path("resmany.dat");

  SeedLastError();
  const HANDLE file = Os().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  // Held without sharing: no one else may open, copy or rename it meanwhile.
  SeedLastError();
  EXPECT_EQ(Os().CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  SeedLastError();
  EXPECT_FALSE(Os().CopyFileA(path.c_str(), Path("copy").c_str(), FALSE));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  SeedLastError();
  EXPECT_FALSE(Os().MoveFileA(path.c_str(), Path("moved").c_str()));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

  EXPECT_TRUE(Os().CloseHandle(file));
  EXPECT_EQ(Env().ReadFile(path), "");

  SeedLastError();
  const HANDLE fresh = Os().CreateFileA(Path("new.dat").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(Os().CloseHandle(fresh));
  EXPECT_EQ(Env().ReadFile(Path("new.dat")), "");

  SeedLastError();
  EXPECT_EQ(Os().CreateFileA(Path("nowhere\\new.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// Enable HORM empties a hidden or system marker by asking for its attributes.
// Asked for FILE_ATTRIBUTE_NORMAL, Windows refuses such a file with
// ERROR_ACCESS_DENIED (CreateFile's remarks); Wine does not, so TFakeOs
// alone shows that refusal.
TEST_F(FilesContract, CreateAlwaysEmptiesAHiddenSystemFileAskedForItsAttributes) {
  const std::string path = Path("resmany.dat");
  Env().WriteFile(path, "old contents");
  const DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), hiddenSystem));

  SeedLastError();
  const HANDLE file =
      Os().CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, hiddenSystem, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Os().CloseHandle(file));
  EXPECT_EQ(Env().ReadFile(path), "");
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()) & hiddenSystem, hiddenSystem);
  EXPECT_TRUE(Os().SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
}

// What a placement relies on: a rename that replaces only when asked,
// attributes that can be cleared and put back, a
// file read back in pieces to its end, and a flush that needs write access.
TEST_F(FilesContract, PlacingAFileReplacesOnlyWhenAskedAndReadsItBack) {
  Env().WriteFile(Path("ntldr"), "old loader");
  Env().WriteFile(Path("ntldr.new"), "new loader");
  const std::string ntldr = Path("ntldr");
  const std::string copy = Path("ntldr.new");

  SeedLastError();
  EXPECT_FALSE(Os().MoveFileExA(copy.c_str(), ntldr.c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  const DWORD hidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  EXPECT_TRUE(Os().SetFileAttributesA(ntldr.c_str(), hidden));
  EXPECT_EQ(Os().GetFileAttributesA(ntldr.c_str()) & hidden, hidden);
  // Windows refuses to replace a read-only file; Wine running as root does
  // not, so TFakeOs alone shows that refusal.
  EXPECT_TRUE(Os().SetFileAttributesA(ntldr.c_str(), hidden & ~FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(Os().MoveFileExA(copy.c_str(), ntldr.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Env().ReadFile(ntldr), "new loader");
  EXPECT_EQ(Env().ReadFile(copy), "<missing>");

  SeedLastError();
  EXPECT_EQ(Os().GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(Os().GetFileAttributesA(Folder_.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  const HANDLE file = Os().CreateFileA(ntldr.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD high = 0xdeadbeef;
  EXPECT_EQ(Os().GetFileSize(file, &high), 10u);
  EXPECT_EQ(high, 0u);
  char buffer[8];
  std::string read;
  for (DWORD got = 1; got != 0;) {
    got = 0xdeadbeef;
    ASSERT_TRUE(Os().ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    ASSERT_LE(got, sizeof buffer);
    read.append(buffer, got);
  }
  EXPECT_EQ(read, "new loader");
  SeedLastError();
  EXPECT_FALSE(Os().FlushFileBuffers(file));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Os().CloseHandle(file));

  EXPECT_TRUE(Os().DeleteFileA(ntldr.c_str()));
  EXPECT_EQ(Env().ReadFile(ntldr), "<missing>");
  SeedLastError();
  EXPECT_FALSE(Os().DeleteFileA(ntldr.c_str()));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// "DeleteFile function": a file deleted while another handle holds it (one
// that shares deletion, as a virus scanner does) is only marked for deletion:
// its name stays until the last handle is closed, and then it goes. Windows
// also refuses to open it again, or to replace it by a rename or a copy,
// meanwhile; Wine 8 does not, so TFakeOs alone shows those refusals
// (TFakeFiles.AFileDeletedWhileHeldRefusesOpensAndReplacement).
TEST_F(FilesContract, AFileDeletedWhileHeldKeepsItsNameUntilItIsClosed) {
  const std::string path = Path("ntldr.stillvane-new");
  Env().WriteFile(path, "held");
  Env().WriteFile(Path("other"), "other");
  const HANDLE held =
      Os().CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Os().DeleteFileA(path.c_str()));

  WIN32_FIND_DATAA data;
  EXPECT_TRUE(Found("ntldr.stillvane-new", &data)) << "the name stays";
  EXPECT_TRUE(Os().CloseHandle(held));
  SeedLastError();
  EXPECT_FALSE(Found("ntldr.stillvane-new", &data)) << "gone with the last handle";
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Os().CopyFileA(Path("other").c_str(), path.c_str(), FALSE));
}

// "SetFileAttributes function": compression is not one of the attributes it
// sets. That a new file takes its folder's compression, and that
// FSCTL_SET_COMPRESSION alone changes it, Wine cannot show: it has no
// compression, and answers that control with ERROR_NOT_SUPPORTED (TFakeOs
// alone: TFakeFiles.CompressionComesFromTheFolderAndOnlyTheControlChangesIt).
TEST_F(FilesContract, SetFileAttributesDoesNotCompressAFile) {
  const std::string path = Path("ntldr");
  Env().WriteFile(path, "loader");
  EXPECT_TRUE(Os().SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

// "Naming Files, Paths, and Namespaces": '?' and '*' are no part of a name.
// Only a search reads them, as wildcards in its last name; anywhere else
// (a folder that Windows could not name in the ANSI code page comes back
// with '?' in it) the name is refused.
TEST_F(FilesContract, WildcardsAreNamesOnlyToTheLastPartOfASearch) {
  Env().WriteFile(Path("ewf.sys"), "driver");
  Env().MakeFolder(Path("drivers"));
  Env().WriteFile(Path("drivers\\ewf.sys"), "driver");

  WIN32_FIND_DATAA data;
  EXPECT_TRUE(Found("ew?.sys", &data));
  SeedLastError();
  EXPECT_FALSE(Found("dri?ers\\ewf.sys", &data));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

  SeedLastError();
  EXPECT_EQ(Os().GetFileAttributesA(Path("ew?.sys").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  SeedLastError();
  EXPECT_EQ(Os().CreateFileA(Path("dri*\\ewf.sys").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  SeedLastError();
  EXPECT_FALSE(Os().CopyFileA(Path("ewf.sys").c_str(), Path("ewf?.sys").c_str(), FALSE));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

}  // namespace
