#include "services/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

using ::testing::ElementsAre;

TEST(Files, AFileIsPresentWhateverItsTimeStampsOrAttributes) {
  TFakeOs os;
  const FILETIME times[] = {FILETIME{0, 0}, FileTimeOf(1979, 12, 31, 23, 59, 59), FileTimeOf(2005, 6, 1),
                            FileTimeOf(2108, 1, 1), FILETIME{0xFFFFFFFF, 0x7FFFFFFF}};
  for (const FILETIME& time : times) {
    FakeFile& file = os.Files().AddFile("C:\\Stillvane\\ewf.sys", "driver");
    file.LastWriteTime = time;
    file.Attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_TRUE(FileIsPresent(os, "C:\\Stillvane\\ewf.sys")) << time.dwHighDateTime;
  }
}

TEST(Files, FoldersAndMissingNamesAreNotPresentAndTheSearchIsClosedAtOnce) {
  TFakeOs os;
  os.Files().AddFolder("C:\\Stillvane\\ewf.sys");
  EXPECT_FALSE(FileIsPresent(os, "C:\\Stillvane\\ewf.sys"));
  EXPECT_FALSE(FileIsPresent(os, "C:\\Stillvane\\ewfmgr.exe"));
  EXPECT_FALSE(FileIsPresent(os, "C:\\Elsewhere\\ewfntldr"));
  EXPECT_THAT(os.Calls(),
              ElementsAre("FindFirstFileA(C:\\Stillvane\\ewf.sys)", "FindClose(C:\\Stillvane\\ewf.sys)",
                          "FindFirstFileA(C:\\Stillvane\\ewfmgr.exe)", "FindFirstFileA(C:\\Elsewhere\\ewfntldr)"));
  EXPECT_EQ(os.OpenFindHandleCount(), 0);
}

TEST(Files, CopiesAndRenamesTellTheErrorOfTheCallItself) {
  TFakeOs os;
  os.Files().AddFile("C:\\src\\ewf.sys", "new");
  os.Files().AddFile("C:\\WINDOWS\\system32\\drivers\\ewf.sys", "installed");

  EXPECT_EQ(CopyFileTo(os, "C:\\src\\ewf.sys", "C:\\WINDOWS\\system32\\drivers\\ewf.sys", true),
            static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(os.Files().Find("C:\\WINDOWS\\system32\\drivers\\ewf.sys")->Contents, "installed");

  EXPECT_EQ(CopyFileTo(os, "C:\\src\\ewf.sys", "C:\\WINDOWS\\system32\\drivers\\ewf.sys", false), 0u);
  EXPECT_EQ(os.Files().Find("C:\\WINDOWS\\system32\\drivers\\ewf.sys")->Contents, "new");

  EXPECT_EQ(RenameFile(os, "C:\\src\\ewf.sys", "C:\\WINDOWS\\system32\\drivers\\ewf.sys"),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(RenameFile(os, "C:\\src\\ewf.sys", "C:\\src\\ewf.bak"), 0u);
  EXPECT_TRUE(os.Files().IsFile("C:\\src\\ewf.bak"));

  EXPECT_THAT(os.CallsNamed("CopyFileA"),
              ElementsAre("CopyFileA(C:\\src\\ewf.sys, C:\\WINDOWS\\system32\\drivers\\ewf.sys, 1)",
                          "CopyFileA(C:\\src\\ewf.sys, C:\\WINDOWS\\system32\\drivers\\ewf.sys, 0)"));
}

TEST(Files, TheEmptyFileIsMadeWithTheExactFlagsAndItsHandleClosed) {
  TFakeOs os;
  os.Files().AddFile("C:\\resmany.dat", "stale");
  EXPECT_EQ(CreateEmptyFile(os, "C:\\resmany.dat"), 0u);
  EXPECT_EQ(os.Files().Find("C:\\resmany.dat")->Contents, "");
  EXPECT_THAT(os.Calls(), ElementsAre("CreateFileA(C:\\resmany.dat, 0xC0000000, 0x0, NULL, 2, 0x80, NULL)",
                                      "CloseHandle(C:\\resmany.dat)"));
  EXPECT_EQ(os.OpenFileHandleCount(), 0);
}

TEST(Files, AnEmptyFileThatCannotBeMadeKeepsItsOwnErrorCode) {
  TFakeOs os;
  os.Files().AddFile("C:\\readonly.dat").Attributes = FILE_ATTRIBUTE_READONLY;
  os.Files().AddFile("C:\\locked.dat").Locked = true;
  const struct {
    const char* Path;
    DWORD Error;
  } cases[] = {{"C:\\readonly.dat", ERROR_ACCESS_DENIED},
               {"C:\\locked.dat", ERROR_SHARING_VIOLATION},
               {"C:\\missing\\resmany.dat", ERROR_PATH_NOT_FOUND}};
  for (const auto& c : cases) EXPECT_EQ(CreateEmptyFile(os, c.Path), c.Error) << c.Path;
  // A failure that leaves no code of its own still answers one, never success.
  os.FailCall("CreateFileA", ERROR_SUCCESS);
  EXPECT_EQ(CreateEmptyFile(os, "C:\\resmany.dat"), static_cast<DWORD>(ERROR_FUNCTION_FAILED));
  EXPECT_TRUE(os.CallsNamed("CloseHandle").empty());
}

}  // namespace
