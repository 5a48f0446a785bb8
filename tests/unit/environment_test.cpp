#include "services/environment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

using ::testing::ElementsAre;

TEST(Environment, VariablesAreReadWholeWhateverTheirLength) {
  TFakeOs os;
  for (size_t length : {size_t{0}, size_t{1}, size_t{259}, size_t{260}, size_t{261}, size_t{5000}}) {
    const std::string value(length, 'v');
    os.SetEnv("windir", value);
    EXPECT_EQ(ReadEnvironmentVariable(os, "windir"), value) << length;
  }
  os.ClearCalls();
  os.SetEnv("windir", std::string(5000, 'v'));
  ReadEnvironmentVariable(os, "windir");
  EXPECT_THAT(os.Calls(), ElementsAre("GetEnvironmentVariableA(windir, 260)", "GetEnvironmentVariableA(windir, 5001)"));
}

TEST(Environment, AnUnsetVariableReadsAsEmptyText) {
  TFakeOs os;
  EXPECT_EQ(ReadEnvironmentVariable(os, "SystemDrive"), "");
  os.SetEnv("SystemDrive", "C:");
  os.FailCall("GetEnvironmentVariableA", ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(ReadEnvironmentVariable(os, "SystemDrive"), "");
}

TEST(Environment, TheProgramPathIsNeverCutShort) {
  for (size_t length : {size_t{30}, size_t{259}, size_t{260}, size_t{600}}) {
    TFakeOs os;
    const std::string path = "C:\\" + std::string(length - 17, 'p') + "\\Stillvane.exe";
    os.SetModulePath(path);
    EXPECT_EQ(RunningProgramPath(os), path) << length;
    EXPECT_EQ(os.CallsNamed("GetModuleFileNameA").front(), "GetModuleFileNameA(NULL, 260)");
  }
}

TEST(Environment, NoProgramPathWhenWindowsCannotTellIt) {
  TFakeOs os;
  os.FailCall("GetModuleFileNameA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(RunningProgramPath(os), "");
}

}  // namespace
