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
  env().SetEnv("STILLVANE_CONTRACT_LONG", value);
  std::vector<char> buffer(400, '#');

  EXPECT_EQ(os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", nullptr, 0), 301u);
  EXPECT_EQ(os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), MAX_PATH), 301u);
  EXPECT_EQ(os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), 300), 301u);
  ASSERT_EQ(os().GetEnvironmentVariableA("stillvane_contract_long", buffer.data(), 301), 300u);
  EXPECT_EQ(std::string(buffer.data()), value);

  env().UnsetEnv("STILLVANE_CONTRACT_LONG");
  SeedLastError();
  EXPECT_EQ(os().GetEnvironmentVariableA("STILLVANE_CONTRACT_LONG", buffer.data(), 400), 0u);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST_F(OsContract, TheProgramPathFillsASmallBufferAndSaysSo) {
  std::vector<char> buffer(1024, '#');
  const DWORD length = os().GetModuleFileNameA(nullptr, buffer.data(), 1024);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, 1024u);
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[1], ':');

  EXPECT_EQ(os().GetModuleFileNameA(nullptr, buffer.data(), 3), 3u);
}

TEST_F(OsContract, TheVersionQueryWantsItsSizeSet) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(os().GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

  info.dwOSVersionInfoSize = 0;
  SeedLastError();
  EXPECT_FALSE(os().GetVersionExA(&info));
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(OsContract, LocalMemoryIsGivenAndTakenBack) {
  HLOCAL zeroed = os().LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 48);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(std::vector<BYTE>(static_cast<BYTE*>(zeroed), static_cast<BYTE*>(zeroed) + 48), std::vector<BYTE>(48, 0));
  EXPECT_EQ(os().LocalFree(zeroed), nullptr);
  EXPECT_EQ(os().LocalFree(nullptr), nullptr);
}

TEST_F(OsContract, FilesWithoutAVersionResourceHaveNoVersionSize) {
  const std::string plain = env().ScratchFolder() + "ewfntldr";
  env().WriteFile(plain, "not a program");

  DWORD handle = 0xDEADBEEF;
  SeedLastError();
  EXPECT_EQ(os().GetFileVersionInfoSizeA(plain.c_str(), &handle), 0u);
  EXPECT_EQ(handle, 0u);
  EXPECT_NE(os().GetLastError(), 0xDEADBEEFu);
  EXPECT_NE(os().GetLastError(), 0u);

  SeedLastError();
  EXPECT_EQ(os().GetFileVersionInfoSizeA((env().ScratchFolder() + "absent.sys").c_str(), &handle), 0u);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(OsContract, AVersionResourceGivesItsFixedInformationAndTranslations) {
  const std::string file = env().FileWithVersionResource();
  DWORD handle = 0;
  const DWORD size = os().GetFileVersionInfoSizeA(file.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size, 0xCD);
  ASSERT_TRUE(os().GetFileVersionInfoA(file.c_str(), handle, size, block.data()));
  const size_t stated = block[0] | (block[1] << 8);
  EXPECT_LT(stated, size) << "the size asked for leaves room beyond the block";

  const auto inside = [&](const void* at, UINT length) {
    const auto begin = reinterpret_cast<uintptr_t>(block.data());
    const auto p = reinterpret_cast<uintptr_t>(at);
    return p >= begin && p + length <= begin + stated;
  };
  LPVOID value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(os().VerQueryValueA(block.data(), "\\", &value, &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_TRUE(inside(value, length));
  EXPECT_EQ(static_cast<const VS_FIXEDFILEINFO*>(value)->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));

  ASSERT_TRUE(os().VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
  EXPECT_GT(length, 0u);
  EXPECT_EQ(length % 4, 0u);
  EXPECT_TRUE(inside(value, length));
  ASSERT_TRUE(os().VerQueryValueA(block.data(), "\\varfileinfo\\translation", &value, &length));

  EXPECT_FALSE(os().VerQueryValueA(block.data(), "\\VarFileInfo\\Absent", &value, &length));
}

TEST_F(OsContract, TheSystemFolderIsToldInFullOrItsSizeAsked) {
  std::vector<char> buffer(MAX_PATH, '#');
  const UINT length = os().GetSystemDirectoryA(buffer.data(), MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
  EXPECT_EQ(buffer[length], '\0');
  EXPECT_EQ(buffer[1], ':');
  EXPECT_EQ(os().GetSystemDirectoryA(buffer.data(), 3), length + 1);
}

TEST_F(OsContract, ADriveLetterNamesItsDeviceAndAnUnknownOneNothing) {
  std::vector<char> buffer(1024, '#');
  const DWORD stored = os().QueryDosDeviceA("C:", buffer.data(), 1024);
  ASSERT_GT(stored, 2u);
  EXPECT_EQ(buffer[0], '\\');
  EXPECT_EQ(buffer[stored - 1], '\0');
  EXPECT_EQ(buffer[stored - 2], '\0');

  SeedLastError();
  EXPECT_EQ(os().QueryDosDeviceA("C:", buffer.data(), 2), 0u);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SeedLastError();
  EXPECT_EQ(os().QueryDosDeviceA("StillvaneNoSuchDevice", buffer.data(), 1024), 0u);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(OsContract, ASecondMutexOfTheSameNameOpensTheFirst) {
  const char name[] = "Global\\StillvaneContractMutex";
  const HANDLE first = os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(first, nullptr);
  SeedLastError();
  const HANDLE second = os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(os().CloseHandle(second));
  EXPECT_TRUE(os().CloseHandle(first));

  const HANDLE again = os().CreateMutexA(nullptr, FALSE, name);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(os().CloseHandle(again));
}

// How the write filter's state is read: a service that is not there, and a
// hidden console program whose output comes back through a pipe.
TEST_F(OsContract, AnAbsentServiceIsSaidToBeAbsent) {
  const SC_HANDLE manager = os().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  SeedLastError();
  EXPECT_EQ(os().OpenServiceA(manager, "StillvaneNoSuchService", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_TRUE(os().CloseServiceHandle(manager));
}

TEST_F(OsContract, AProgramsOutputIsAllInThePipeOnceItHasEnded) {
  const TContractEnvironment::ProgramRun run = env().ProgramPrinting("State ENABLED");
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(os().CreatePipe(&readEnd, &writeEnd, &inheritable, 65536));
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = startup.hStdError = writeEnd;
  std::vector<char> commandLine(run.commandLine.begin(), run.commandLine.end());
  commandLine.push_back('\0');
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(os().CreateProcessA(run.application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &started));
  EXPECT_TRUE(os().CloseHandle(writeEnd));
  EXPECT_TRUE(os().CloseHandle(started.hThread));
  EXPECT_EQ(os().WaitForSingleObject(started.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));

  DWORD available = 0;
  ASSERT_TRUE(os().PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr));
  ASSERT_EQ(available, 15u);
  std::string output(available, '\0');
  DWORD read = 0;
  ASSERT_TRUE(os().ReadFile(readEnd, &output[0], available, &read, nullptr));
  EXPECT_EQ(output.substr(0, read), "State ENABLED\r\n");
  EXPECT_TRUE(os().CloseHandle(started.hProcess));
  EXPECT_TRUE(os().CloseHandle(readEnd));

  SeedLastError();
  const std::string missing = env().ScratchFolder() + "missing.exe";
  std::vector<char> missingLine(missing.begin(), missing.end());
  missingLine.push_back('\0');
  EXPECT_FALSE(os().CreateProcessA(missing.c_str(), missingLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &startup, &started));
  EXPECT_EQ(os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
