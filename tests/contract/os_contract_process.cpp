// Environment, the program's own path, the platform, memory and version
// resources as the program relies on them, on TFakeOs and on Windows alike.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "contract/contract_environment.h"

namespace {

TEST_F(OsContract, EnvironmentVariablesLongerThanAPathAreToldInFull) {
  const std::string value(300, 'x');
  Env().SetEnv("STILLVANE_CONTRACT_LONG", value);
  std::vector<char> buffer(400, '#');

  EXPECT_EQ(Os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", nullptr, 0), 301u);
  EXPECT_EQ(Os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), MAX_PATH), 301u);
  EXPECT_EQ(Os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), 300), 301u);
  ASSERT_EQ(Os().GetEnvironmentVariableA("stillvane_contract_long", buffer.data(), 301), 300u);
  EXPECT_EQ(std::string(buffer.data()), value);

  Env().UnsetEnv("STILLVANE_CONTRACT_LONG");
  SeedLastError();
  EXPECT_EQ(Os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), 400), 0u);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST_F(OsContract, TheProgramPathFillsASmallBufferAndSaysSo) {
  std::vector<char> buffer(1024, '#');
  const DWORD length = Os().GetModuleFileNameA(nullptr, buffer.data(), 1024);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, 1024u);
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[1], ':');

  EXPECT_EQ(Os().GetModuleFileNameA(nullptr, buffer.data(), 3), 3u);
}

TEST_F(OsContract, TheVersionQueryWantsItsSizeSet) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(Os().GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

  info.dwOSVersionInfoSize = 0;
  SeedLastError();
  EXPECT_FALSE(Os().GetVersionExA(&info));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(OsContract, LocalMemoryIsGivenAndTakenBack) {
  HLOCAL zeroed = Os().LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 48);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(zeroed), static_cast<BYTE*>(zeroed) + 48), std::vector<BYTE>(48, 0));
  EXPECT_EQ(Os().LocalFree(zeroed), nullptr);
  EXPECT_EQ(Os().LocalFree(nullptr), nullptr);
}

TEST_F(OsContract, FilesWithoutAVersionResourceHaveNoVersionSize) {
  const std::string plain = Env().ScratchFolder() + "ewfntldr";
  Env().WriteFile(plain, "not a program");

  DWORD handle = 0xDEADBEEF;
  SeedLastError();
  EXPECT_EQ(Os().GetFileVersionInfoSizeA(plain.c_str(), &handle), 0u);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(Os().GetLastError(), 0xDEADBEEFu);
  EXPECT_NE(Os().GetLastError(), 0u);

  SeedLastError();
  EXPECT_EQ(Os().GetFileVersionInfoSizeA((Env().ScratchFolder() + "absent.sys").c_str(), &handle), 0u);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(OsContract, AVersionResourceGivesItsFixedInformationAndTranslations) {
  const std::string file = Env().FileWithVersionResource();
  DWORD handle = 0;
  const DWORD size = Os().GetFileVersionInfoSizeA(file.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size, 0xCD);
  ASSERT_TRUE(Os().GetFileVersionInfoA(file.c_str(), handle, size, block.data()));
  const size_t stated = block[0] | (block[1] << 8);
  EXPECT_LT(stated, size) << "the size asked for leaves room beyond the block";

  const auto inside = [&](const void* at, UINT length) {
    const auto begin = reinterpret_cast<uintptr_t>(block.data());
    const auto p = reinterpret_cast<uintptr_t>(at);
    return p >= begin && p + length <= begin + stated;
  };
  LPVOID value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(Os().VerQueryValueA(block.data(), "\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_TRUE(inside(value, length));
  EXPECT_EQ(static_cast<const VS_FIXEDFILEINFO*>(value)->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));

  ASSERT_TRUE(Os().VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
  EXPECT_GT(length, 0u);
  EXPECT_EQ(length % 4, 0u);
  EXPECT_TRUE(inside(value, length));
  ASSERT_TRUE(Os().VerQueryValueA(block.data(), "\\varfileinfo\\translation", &value, &length));

  EXPECT_FALSE(Os().VerQueryValueA(block.data(), "\\VarFileInfo\\Absent", &value, &length));
}

TEST_F(OsContract, TheSystemFolderIsToldInFullOrItsSizeAsked) {
  std::vector<char> buffer(MAX_PATH, '#');
  const UINT length = Os().GetSystemDirectoryA(buffer.data(), MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[1], ':');
  EXPECT_EQ(Os().GetSystemDirectoryA(buffer.data(), 3), length + 1);
}

TEST_F(OsContract, ADriveLetterNamesItsDeviceAndAnUnknownOneNothing) {
  std::vector<char> buffer(1024, '#');
  const DWORD stored = Os().QueryDosDeviceA("C:", buffer.data(), 1024);
  ASSERT_GT(stored, 2u);
  EXPECT_EQ(buffer[0], '\\');
  EXPECT_EQ(buffer[stored - 1], '\0');
  EXPECT_EQ(buffer[stored - 2], '\0');

  SeedLastError();
  EXPECT_EQ(Os().QueryDosDeviceA("C:", buffer.data(), 2), 0u);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SeedLastError();
  EXPECT_EQ(Os().QueryDosDeviceA("StillvaneNoSuchDevice", buffer.data(), 1024), 0u);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(OsContract, ASecondMutexOfTheSameNameOpensTheFirst) {
  const char name[] = "Global\\StillvaneContractMutex";
  const HANDLE first = Os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(first, nullptr);
  SeedLastError();
  const HANDLE second = Os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(Os().CloseHandle(second));
  EXPECT_TRUE(Os().CloseHandle(first));

  const HANDLE again = Os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(Os().CloseHandle(again));
}

// Runs the program hidden, its output into a pipe, as the manager is run,
// and waits for it to end; the caller reads and closes readEnd and the process.
bool RunHidden(TOs& os, const TContractEnvironment::ProgramRun& run, HANDLE& readEnd, PROCESS_INFORMATION& started) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE writeEnd = nullptr;
  if (!os.CreatePipe(&readEnd, &writeEnd, &inheritable, 65536)) return false;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = startup.hStdError = writeEnd;
  std::vector<char> commandLine(run.CommandLine.begin(), run.CommandLine.end());
  commandLine.push_back('\0');
  const bool created = os.CreateProcessA(run.Application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                         CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
  EXPECT_TRUE(os.CloseHandle(writeEnd));
  if (!created) return false;
  EXPECT_TRUE(os.CloseHandle(started.hThread));
  EXPECT_EQ(os.WaitForSingleObject(started.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  return true;
}

// How the write filter's state is read: a service that is not there, and a
// hidden console program whose output comes back through a pipe.
TEST_F(OsContract, AnAbsentServiceIsSaidToBeAbsent) {
  const SC_HANDLE manager = Os().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  SeedLastError();
  EXPECT_EQ(Os().OpenServiceA(manager, "StillvaneNoSuchService", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_TRUE(Os().CloseServiceHandle(manager));
}

TEST_F(OsContract, AProgramsOutputIsAllInThePipeOnceItHasEnded) {
  HANDLE readEnd = nullptr;
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(RunHidden(Os(), Env().ProgramPrinting("State ENABLED"), readEnd, started));
  DWORD exitCode = 0xDEADBEEF;
  ASSERT_TRUE(Os().GetExitCodeProcess(started.hProcess, &exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(Os().MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, 0, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_OBJECT_0))
      << "an ended process answers at once";

  DWORD available = 0;
  ASSERT_TRUE(Os().PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr));
  ASSERT_EQ(available, 15u);
  std::string output(available, '\0');
  DWORD read = 0;
  ASSERT_TRUE(Os().ReadFile(readEnd, &output[0], available, &read, nullptr));
  EXPECT_EQ(output.substr(0, read), "State ENABLED\r\n");
  EXPECT_TRUE(Os().CloseHandle(started.hProcess));
  EXPECT_TRUE(Os().CloseHandle(readEnd));

  SeedLastError();
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  const std::string missing = Env().ScratchFolder() + "missing.exe";
  std::vector<char> missingLine(missing.begin(), missing.end());
  missingLine.push_back('\0');
  EXPECT_FALSE(Os().CreateProcessA(missing.c_str(), missingLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &startup, &started));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Microsoft's PeekNamedPipe and ReadFile pages: an anonymous pipe whose
// write handles are all closed answers ERROR_BROKEN_PIPE once it is empty.
// Under Wine a console host may hold the child's copy a moment after the
// child ends, so the answer is waited for.
TEST_F(OsContract, AnEmptyPipeWhoseWriterHasGoneIsBroken) {
  HANDLE readEnd = nullptr;
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(RunHidden(Os(), Env().ProgramPrinting(""), readEnd, started));
  BOOL peeked = TRUE;
  DWORD available = 0;
  for (int tries = 0; peeked && tries < 40; ++tries) {
    if (tries) Os().MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, 0);
    SeedLastError();
    peeked = Os().PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr);
    EXPECT_EQ(available, 0u);
  }
  EXPECT_FALSE(peeked);
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_TRUE(Os().CloseHandle(started.hProcess));
  EXPECT_TRUE(Os().CloseHandle(readEnd));
}

}  // namespace

namespace {

// The restart's privilege: named as Windows names it, and enabled only on
// request, with what it was before given back.
TEST_F(OsContract, TheShutdownPrivilegeIsFoundAndEnabledOnRequest) {
  HANDLE token = nullptr;
  ASSERT_TRUE(Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES enabled = {};
  enabled.PrivilegeCount = 1;
  enabled.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ASSERT_TRUE(Os().LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &enabled.Privileges[0].Luid));
  EXPECT_EQ(enabled.Privileges[0].Luid.LowPart, 19u);
  LUID unknown = {};
  SeedLastError();
  EXPECT_FALSE(Os().LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &unknown));
  EXPECT_EQ(Os().GetLastError(), 1313u) << "ERROR_NO_SUCH_PRIVILEGE";

  TOKEN_PRIVILEGES previous = {};
  DWORD size = 0;
  SeedLastError();
  ASSERT_TRUE(Os().AdjustTokenPrivileges(token, FALSE, &enabled, sizeof previous, &previous, &size));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "held by an administrator";
  EXPECT_EQ(previous.PrivilegeCount, 1u);
  EXPECT_EQ(previous.Privileges[0].Luid.LowPart, 19u);
  EXPECT_TRUE(Os().AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr));
  EXPECT_TRUE(Os().CloseHandle(token));

  // The previous state is read through TOKEN_QUERY ("AdjustTokenPrivileges function").
  ASSERT_TRUE(Os().OpenProcessToken(Os().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  SeedLastError();
  EXPECT_FALSE(Os().AdjustTokenPrivileges(token, FALSE, &enabled, sizeof previous, &previous, &size));
  EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Os().CloseHandle(token));
}

}  // namespace
