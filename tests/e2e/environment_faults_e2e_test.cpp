// "windir" and "SystemDrive" unset, empty, relative or longer than MAX_PATH:
// the folders the program works in are then wrong, and whatever it cannot do
// there it must say, leaving the machine whole.
#include <gtest/gtest.h>

#include "e2e/fault_case.h"

namespace {

enum class Value { Unset, Empty, Relative, TooLong };

struct Variant {
  Value Value;
  const char* Name;
};

const Variant kVariants[] = {
    {Value::Unset, "Unset"}, {Value::Empty, "Empty"}, {Value::Relative, "Relative"}, {Value::TooLong, "TooLong"}};

class EnvironmentFaultTest : public TFaultCase, public ::testing::WithParamInterface<Variant> {
 protected:
  // Starts the program with the variable as the variant has it; a relative
  // value names a folder that is not there, from the program's folder.
  void StartWith(const std::string& variable, const std::string& normal) {
    switch (GetParam().Value) {
      case Value::Unset:
        return StartProgram({}, {variable});
      case Value::Empty:
        return StartProgram({{variable, ""}});
      case Value::Relative:
        return StartProgram({{variable, "Windows"}});
      case Value::TooLong:
        return StartProgram({{variable, normal + "\\" + std::string(MAX_PATH, 'w')}});
    }
  }

  // Where the program's paths lead when the variable is unset or empty: the
  // root of the current drive, the program's.
  bool LeadsToTheRoot() const { return GetParam().Value == Value::Unset || GetParam().Value == Value::Empty; }
};

// The root of the current drive has no system32\drivers: without the driver
// in place nothing is registered.
TEST_P(EnvironmentFaultTest, WindirInstall) {
  StartWith("windir", Machine_.WindowsFolder);
  RememberMachine();

  const std::vector<ShownMessage> shown = Click("Install EWF Support");

  ExpectMachineWhole();
  ExpectTold(shown, {"system32\\drivers\\ewf.sys failed", "registry entries were written"});
  EXPECT_FALSE(Registered());
  EXPECT_TRUE(FilesIn(Drivers()).empty());
  EXPECT_TRUE(FilesIn(System32()).empty());
  EXPECT_EQ(GetFileAttributesA((SystemDriveRoot() + "system32").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(MachineKeyExists(kEwfServiceKey));
}

// Unset or empty, the root of the current drive stands in for the system
// drive (the program's folder is on C:, as the system drive is); a relative
// or overlong one leads nowhere, which the program says.
TEST_P(EnvironmentFaultTest, SystemDriveInstallAndHorm) {
  StartWith("SystemDrive", "C:");
  RememberMachine();

  const std::vector<ShownMessage> installed = Click("Install EWF Support");
  ExpectMachineWhole();
  EXPECT_TRUE(Registered());

  const std::vector<ShownMessage> horm = Click("Enable HORM");
  ASSERT_FALSE(horm.empty());
  EXPECT_EQ(horm[0].Caption, "Confirm");
  const std::vector<ShownMessage> hormOutcome(horm.begin() + 1, horm.end());

  if (LeadsToTheRoot()) {
    ASSERT_EQ(installed.size(), 1u) << Describe(installed);
    EXPECT_EQ(installed[0].Text, "EWF installation completed successfully.");
    EXPECT_EQ(ReadWholeFile(Ntldr()), Fixture("ewfntldr"));
    EXPECT_EQ(ReadWholeFile(Ntldr() + ".bak"), kOriginalBootLoader);
    ASSERT_EQ(hormOutcome.size(), 1u) << Describe(horm);
    EXPECT_TRUE(IsSuccessMessage(hormOutcome[0])) << hormOutcome[0].Text;
    EXPECT_TRUE(FileExists(SystemDriveRoot() + "resmany.dat"));
  } else {
    ExpectTold(installed, {"ntldr"});
    EXPECT_EQ(ReadWholeFile(Ntldr()), kOriginalBootLoader);
    EXPECT_FALSE(FileExists(Ntldr() + ".bak"));
    ExpectTold(hormOutcome, {"HORM support could not be enabled, because the file ", "resmany.dat"});
    EXPECT_FALSE(FileExists(SystemDriveRoot() + "resmany.dat"));
  }
}

INSTANTIATE_TEST_SUITE_P(Values, EnvironmentFaultTest, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& variant) {
                           return std::string(variant.param.Name);
                         });

}  // namespace
