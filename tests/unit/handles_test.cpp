#include "services/handles.h"

#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

TEST(Handles, ReleasingKeepsTheLastErrorOfTheCallThatFailedBefore) {
  TFakeOs os;
  UniqueKey key(os);
  ASSERT_EQ(os.RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  // The fake's FindClose of a handle it never gave out sets ERROR_INVALID_HANDLE.
  UniqueFindHandle search(os, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x99)));
  os.SetLastError(ERROR_FILE_EXISTS);
  os.FailCall("RegCloseKey", ERROR_INVALID_HANDLE);
  key.reset();
  search.reset();
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(os.CallsNamed("RegCloseKey").size(), 1u);
  EXPECT_EQ(os.CallsNamed("FindClose").size(), 1u);
}

TEST(Handles, EmptyOwnersReleaseNothing) {
  TFakeOs os;
  {
    UniqueKey key(os);
    UniqueFindHandle search(os);
    UniqueFileHandle file(os, INVALID_HANDLE_VALUE);
    UniqueLocalMemory memory(os);
    EXPECT_FALSE(key || search || file || memory);
  }
  EXPECT_TRUE(os.Calls().empty());
}

TEST(Handles, EachResourceIsReleasedExactlyOnce) {
  TFakeOs os;
  {
    UniqueKey key(os);
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    EXPECT_EQ(os.OpenKeyCount(), 1);  // put() released the first

    UniqueFileHandle file(
        os, os.CreateFileA("C:\\f", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueFileHandle moved(std::move(file));
    EXPECT_FALSE(file);  // NOLINT(bugprone-use-after-move): what a move leaves is the point
    EXPECT_EQ(os.OpenFileHandleCount(), 1);

    UniqueLocalMemory memory(os, os.LocalAlloc(LMEM_FIXED, 8));
    HLOCAL kept = memory.release();
    EXPECT_FALSE(memory);
    os.LocalFree(kept);
  }
  EXPECT_EQ(os.OpenKeyCount(), 0);
  EXPECT_EQ(os.OpenFileHandleCount(), 0);
  EXPECT_EQ(os.LiveLocalAllocationCount(), 0);
  EXPECT_EQ(os.CallsNamed("CloseHandle").size(), 1u);
  EXPECT_EQ(os.CallsNamed("LocalFree").size(), 1u);
}

}  // namespace
