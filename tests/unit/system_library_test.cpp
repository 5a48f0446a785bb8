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
using ::testing::EndsWith;
using ::testing::IsEmpty;

TEST(SystemLibrary, LibrariesAreLoadedByTheirFullPathInTheSystemFolder) {
  TFakeOs os;
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
  TFakeOs os;
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

  // A failure that leaves no code of its own still gives the caller one to show.
  TFakeOs silent;
  silent.FailCall("GetSystemDirectoryA", ERROR_SUCCESS);
  EXPECT_EQ(SystemLibraryFunction(silent, "powrprof.dll", "GetPwrCapabilities"), nullptr);
  EXPECT_EQ(silent.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(SingleInstance, TheFirstCopyHoldsTheMutexAndLaterOnesStepAside) {
  TFakeOs os;
  DWORD error = 1;
  EXPECT_EQ(ClaimSingleInstance(os, &error), InstanceClaim::First);
  EXPECT_EQ(os.MutexHandleCount(kSingleInstanceMutex), 1);
  EXPECT_EQ(ClaimSingleInstance(os, &error), InstanceClaim::AlreadyRuns);
  EXPECT_EQ(os.MutexHandleCount(kSingleInstanceMutex), 1);
  EXPECT_EQ(std::string(kSingleInstanceMutex).rfind("Global\\", 0), 0u);

  // Another user's copy: its mutex does not let this user open it.
  TFakeOs otherUser;
  otherUser.FailCall("CreateMutexA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(ClaimSingleInstance(otherUser, &error), InstanceClaim::AlreadyRuns);
}

// An event under the mutex's name (ERROR_INVALID_HANDLE), or any other
// refusal, would let any number of copies run: the start ends instead.
TEST(SingleInstance, ANameThatCannotBeHadEndsTheStartWithWhatToDo) {
  for (DWORD refusal : {DWORD{ERROR_INVALID_HANDLE}, DWORD{ERROR_INVALID_NAME}, DWORD{ERROR_NOT_ENOUGH_MEMORY}}) {
    TFakeOs squatted;
    squatted.FailCall("CreateMutexA", refusal);
    DWORD error = 0;
    EXPECT_EQ(ClaimSingleInstance(squatted, &error), InstanceClaim::Refused) << refusal;
    EXPECT_EQ(error, refusal);
  }
  EXPECT_EQ(InstanceRefusedMessage(ERROR_INVALID_HANDLE),
            "Stillvane cannot start, because Windows did not let it claim the name that keeps a second copy from "
            "running at the same time.  Error 6\r\rAnother program holds that name.  Restart Windows, then start "
            "Stillvane again.");
  // Only that code means another program holds the name; the others say no more than happened.
  EXPECT_THAT(InstanceRefusedMessage(ERROR_NOT_ENOUGH_MEMORY),
              EndsWith("Error 8\r\rWindows was short of memory.  Restart Windows, then start Stillvane again."));
  EXPECT_THAT(InstanceRefusedMessage(ERROR_INVALID_NAME),
              EndsWith("Error 123\r\rWindows gave no reason beyond the error code.  Restart Windows, then start "
                       "Stillvane again."));
  // One sentence to a line, and what to do last.
  EXPECT_EQ(AlreadyRunningMessage().find(",\r"), std::string::npos);
  EXPECT_NE(AlreadyRunningMessage().find("\r\rUse the copy that is running, or close it and start Stillvane again."),
            std::string::npos);
}

}  // namespace
