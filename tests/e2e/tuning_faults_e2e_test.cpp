// "Minimize Disk Writes" and "Enable HORM" meeting real faults: a key whose
// DACL keeps the program out, a marker file held open or read-only.
#include <gtest/gtest.h>

#include "e2e/fault_case.h"

namespace {

const char kDfrgKey[] = "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction";

class TuningFaultTest : public TFaultCase {
 protected:
  void SetUp() override {
    TFaultCase::SetUp();
    StartProgram();
  }

  std::vector<ShownMessage> EnableHorm() {
    std::vector<ShownMessage> shown = Click("Enable HORM");
    EXPECT_FALSE(shown.empty());
    if (!shown.empty()) {
      EXPECT_EQ(shown[0].Caption, "Confirm");  // answered Yes
      shown.erase(shown.begin());
    }
    return shown;
  }

  std::string Marker() const { return SystemDriveRoot() + "resmany.dat"; }
};

TEST_F(TuningFaultTest, AKeyTheProgramMayNotOpenIsNamedAndTheOthersWritten) {
  WriteMachineValue(kDfrgKey, "Enable", REG_SZ, {'Y', 0});
  const std::vector<std::pair<const char*, const char*>> others = {
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout"},
      {"SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate"},
      {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters",
       "EnablePrefetcher"}};
  for (const auto& [key, name] : others) DeleteMachineValue(key, name);
  std::vector<ShownMessage> shown;
  {
    const TMachineKeySecurity locked(kDfrgKey, "O:SYD:(A;;KR;;;WD)(A;;KA;;;SY)(A;;WO;;;BA)");
    shown = Click("Minimize Disk Writes");
  }
  ExpectTold(shown, {std::string("HKEY_LOCAL_MACHINE\\") + kDfrgKey + "  (Enable)"});
  EXPECT_EQ(ReadMachineValue(kDfrgKey, "Enable").Data, (std::vector<BYTE>{'Y', 0}));
  for (const auto& [key, name] : others) EXPECT_TRUE(ReadMachineValue(key, name).Present) << name;
}

TEST_F(TuningFaultTest, AHeldMarkerIsNamed) {
  WriteWholeFile(Marker(), "stale");
  std::vector<ShownMessage> shown;
  {
    const THeldFile held(Marker());
    shown = EnableHorm();
  }
  ExpectTold(shown, {"HORM support could not be enabled, because the file C:\\resmany.dat could not be created.  "
                     "Error 32"});
  EXPECT_EQ(ReadWholeFile(Marker()), "stale");
}

TEST_F(TuningFaultTest, AReadOnlyMarker) {
  WriteWholeFile(Marker(), "stale");
  SetFileAttributesA(Marker().c_str(), FILE_ATTRIBUTE_READONLY);

  const std::vector<ShownMessage> shown = EnableHorm();

  if (ReadOnlyFilesRefuseWrites()) {
    ExpectTold(shown, {"the file C:\\resmany.dat could not be created.  Error 5"});
    EXPECT_EQ(ReadWholeFile(Marker()), "stale");
  } else {
    std::printf("Read-only files are written here (Wine as root): the refused marker cannot be seen.\n");
    ASSERT_EQ(shown.size(), 1u) << Describe(shown);
    EXPECT_TRUE(IsSuccessMessage(shown[0])) << shown[0].Text;
    EXPECT_EQ(ReadWholeFile(Marker()), "");
  }
}

}  // namespace
