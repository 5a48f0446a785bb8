// The services on real Win32 (Wine): what a fake cannot vouch for.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "services/environment.h"
#include "services/files.h"
#include "services/paths.h"
#include "services/registry.h"
#include "services/shell.h"
#include "services/system_library.h"
#include "services/win32_os.h"
#include "support/recording_dialogs.h"
#include "tuning/disk_writes.h"
#include "wine/scratch.h"

namespace {

const char kWindowsFolder[] = "C:\\windows\\";

// HKEY_LOCAL_MACHINE redirected to a scratch key for the length of a test.
class TMachineOverride {
 public:
  TMachineOverride() : Path_(MakeScratchKeyPath()) {
    // Without the scratch key, the test would write to the prefix's real
    // HKEY_LOCAL_MACHINE: it must not run (Active() is false).
    if (RegCreateKeyExA(HKEY_CURRENT_USER, Path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key_, nullptr) !=
        ERROR_SUCCESS) {
      Key_ = nullptr;
      return;
    }
    Active_ = RegOverridePredefKey(HKEY_LOCAL_MACHINE, Key_) == ERROR_SUCCESS;
  }
  bool Active() const { return Active_; }
  ~TMachineOverride() {
    if (!Key_) return;
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(Key_);
    DeleteKeyTree(HKEY_CURRENT_USER, Path_);
  }
  // The value as stored, read past the redirection; type REG_NONE when absent.
  std::pair<DWORD, std::vector<BYTE>> Value(const std::string& key, const char* name) const {
    std::vector<BYTE> data(256);
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(data.size());
    HKEY opened;
    if (RegOpenKeyExA(Key_, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return {REG_NONE, {}};
    if (RegQueryValueExA(opened, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) type = REG_NONE;
    RegCloseKey(opened);
    data.resize(type == REG_NONE ? 0 : size);
    return {type, data};
  }

 private:
  std::string Path_;
  HKEY Key_ = nullptr;
  bool Active_ = false;
};

FILETIME UtcTime(WORD year, WORD month, WORD day) {
  SYSTEMTIME when = {};
  when.wYear = year;
  when.wMonth = month;
  when.wDay = day;
  FILETIME time;
  SystemTimeToFileTime(&when, &time);
  return time;
}

class WineServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { Folder_ = MakeScratchFolder(); }
  void TearDown() override { DeleteFolderTree(Folder_); }
  TWin32Os Os_;
  std::string Folder_;
};

TEST_F(WineServicesTest, AFileIsPresentWhateverItsTimeStamp) {
  for (const FILETIME& time : {UtcTime(1975, 6, 1), UtcTime(1980, 1, 2), UtcTime(2110, 1, 1)}) {
    const std::string path = Folder_ + "ewf.sys";
    WriteWholeFile(path, "driver");
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
    EXPECT_TRUE(FileIsPresent(Os_, path)) << "last write " << time.dwHighDateTime;
  }
  CreateDirectoryA((Folder_ + "drivers").c_str(), nullptr);
  EXPECT_FALSE(FileIsPresent(Os_, Folder_ + "drivers"));
  EXPECT_FALSE(FileIsPresent(Os_, Folder_ + "absent.sys"));
}

TEST_F(WineServicesTest, CreatingTheEmptyFileTruncatesItOrTellsWhyNot) {
  const std::string path = Folder_ + "resmany.dat";
  WriteWholeFile(path, "stale contents");
  EXPECT_EQ(CreateEmptyFile(Os_, path), 0u);
  EXPECT_EQ(ReadWholeFile(path), "");

  const HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const DWORD refused = CreateEmptyFile(Os_, path);
  CloseHandle(holder);
  EXPECT_EQ(refused, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(WineServicesTest, EnvironmentAndProgramPathAreReadWhole) {
  const std::string value(1000, 'w');
  SetEnvironmentVariableA("STILLVANE_LONG", value.c_str());
  EXPECT_EQ(ReadEnvironmentVariable(Os_, "STILLVANE_LONG"), value);
  SetEnvironmentVariableA("STILLVANE_LONG", nullptr);
  EXPECT_EQ(ReadEnvironmentVariable(Os_, "STILLVANE_LONG"), "");

  char expected[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, expected, sizeof expected);
  const std::string program = RunningProgramPath(Os_);
  EXPECT_EQ(program, std::string(expected, length));
  EXPECT_EQ(FolderOfPath(Os_, program) + "wine_tests.exe", program);
  EXPECT_EQ(PlatformId(Os_), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
}

TEST(WineLibraries, RunTimeLibrariesAreTheSystemFoldersOwn) {
  TWin32Os os;
  EXPECT_TRUE(os.SetDllDirectoryA(""));
  const HMODULE powrprof = LoadSystemLibrary(os, "powrprof.dll");
  ASSERT_NE(powrprof, nullptr);
  char path[MAX_PATH] = "";
  ASSERT_GT(GetModuleFileNameA(powrprof, path, sizeof path), 0u);
  EXPECT_EQ(lstrcmpiA(path, (SystemFolder(os) + "powrprof.dll").c_str()), 0) << path;
  SYSTEM_POWER_CAPABILITIES capabilities{};
  EXPECT_TRUE(os.GetPwrCapabilities(&capabilities));
  EXPECT_EQ(SystemLibraryFunction(os, "powrprof.dll", "NoSuchFunction"), nullptr);
  EXPECT_EQ(LoadSystemLibrary(os, "stillvane-absent.dll"), nullptr);
  EXPECT_TRUE(os.SetDllDirectoryA(nullptr));
}

TEST(WineRegistry, OpenKeyCreatesAbsoluteAndRelativePathsUnderTheRoot) {
  TMachineOverride machine;
  ASSERT_TRUE(machine.Active());
  TWin32Os os;
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\Stillvane", true));
  ASSERT_TRUE(registry.OpenKey("Nested\\Deeper", true));
  EXPECT_EQ(registry.CurrentPath(), "SYSTEM\\Stillvane\\Nested\\Deeper");
  registry.WriteStringValue("Group", "System Bus Extender");
  registry.WriteDwordValue("Start", 0x01020304);
  registry.CloseKey();

  const std::string text = "System Bus Extender";
  EXPECT_EQ(machine.Value("SYSTEM\\Stillvane\\Nested\\Deeper", "Group"),
            std::make_pair(DWORD{REG_SZ}, std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1)));
  EXPECT_EQ(machine.Value("SYSTEM\\Stillvane\\Nested\\Deeper", "Start"),
            std::make_pair(DWORD{REG_DWORD}, std::vector<BYTE>{4, 3, 2, 1}));

  ASSERT_TRUE(registry.OpenKeyReadOnly("\\SYSTEM\\Stillvane"));
  EXPECT_EQ(registry.Access(), static_cast<REGSAM>(KEY_READ));
  EXPECT_THROW(registry.WriteDwordValue("Start", 1), ERegistryError);
}

TEST(WineRegistry, MinimizeDiskWritesWritesTheFourSettings) {
  TMachineOverride machine;
  ASSERT_TRUE(machine.Active());
  TWin32Os os;
  TRecordingDialogs dialogs;
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);
  MinimizeDiskWrites(os, dialogs, kWindowsFolder);

  const std::vector<BYTE> zero{0, 0, 0, 0};
  EXPECT_EQ(machine.Value("SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable"),
            std::make_pair(DWORD{REG_SZ}, std::vector<BYTE>{'N', 0}));
  EXPECT_EQ(machine.Value("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout"),
            std::make_pair(DWORD{REG_DWORD}, zero));
  EXPECT_EQ(machine.Value("SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate"),
            std::make_pair(DWORD{REG_DWORD}, std::vector<BYTE>{1, 0, 0, 0}));
  EXPECT_EQ(machine.Value("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
                          "EnablePrefetcher"),
            std::make_pair(DWORD{REG_DWORD}, zero));
  ASSERT_EQ(dialogs.Messages.size(), 2u);
  for (const RecordedMessage& message : dialogs.Messages) {
    EXPECT_EQ(message.Kind, MessageKind::Information);
    EXPECT_EQ(message.Text, "Changes successfully applied.");
  }
  EXPECT_TRUE(dialogs.ErrorReports.empty());
}

}  // namespace
