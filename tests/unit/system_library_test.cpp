// Run-time libraries come from the system folder, by full path; and one
// Stillvane at a time.
#include "services/system_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/single_instance.h"
#include "support/fake_os.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SystemLibrary, LibrariesAreLoadedByTheirFullPathInTheSystemFolder) {
  FakeOs os;
  os.Files().AddFile("C:\\WINDOWS\\system32\\powrprof.dll");
  os.Files().AddFile("C:\\Program Files\\Stillvane\\shell32.dll");  // planted beside the program
  EXPECT_NE(SystemLibraryFunction(os, "powrprof.dll", "GetPwrCapabilities"), nullptr);
  EXPECT_EQ(LoadSystemLibrary(os, "shell32.dll"), nullptr);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_THAT(os.CallsNamed("LoadLibraryA"), ElementsAre("LoadLibraryA(C:\\WINDOWS\\system32\\powrprof.dll)",
                                                         "LoadLibraryA(C:\\WINDOWS\\system32\\shell32.dll)"));
  EXPECT_THAT(os.CallsNamed("GetProcAddress"), ElementsAre("GetProcAddress(&, GetPwrCapabilities)"));
}

TEST(SystemLibrary, AnyLengthOfSystemFolderIsTakenWholeAndNoneIsNoLibrary) {
  FakeOs os;
  const std::string deep = "C:\\" + std::string(300, 'w') + "\\system32";
  os.SetSystemFolder(deep);
  os.Files().AddFile(deep + "\\powrprof.dll");
  EXPECT_NE(LoadSystemLibrary(os, "powrprof.dll"), nullptr);
  os.SetSystemFolder("C:\\");
  EXPECT_EQ(SystemFolder(os), "C:\\");

  os.FailCall("GetSystemDirectoryA", ERROR_ACCESS_DENIED);
  os.ClearCalls();
  EXPECT_EQ(LoadSystemLibrary(os, "powrprof.dll"), nullptr);
  EXPECT_EQ(os.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_THAT(os.CallsNamed("LoadLibraryA"), IsEmpty());
}

TEST(SingleInstance, TheFirstCopyHoldsTheMutexAndLaterOnesStepAside) {
  FakeOs os;
  EXPECT_EQ(ClaimSingleInstance(os), InstanceClaim::First);
  EXPECT_EQ(os.MutexHandleCount(kSingleInstanceMutex), 1);
  EXPECT_EQ(ClaimSingleInstance(os), InstanceClaim::AlreadyRuns);
  EXPECT_EQ(os.MutexHandleCount(kSingleInstanceMutex), 1);
  EXPECT_EQ(std::string(kSingleInstanceMutex).rfind("Global\\", 0), 0u);

  // Another user's copy: its mutex does not let this user open it.
  FakeOs otherUser;
  otherUser.FailCall("CreateMutexA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ClaimSingleInstance(otherUser), InstanceClaim::AlreadyRuns);
  // Any other failure says nothing of other copies.
  FakeOs broken;
  broken.FailCall("CreateMutexA", ERROR_INVALID_NAME);
  EXPECT_EQ(ClaimSingleInstance(broken), InstanceClaim::First);
}

}  // namespace
