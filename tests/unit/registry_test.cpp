#include "services/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_os.h"

namespace {

using ::testing::ElementsAre;

class RegistryTest : public ::testing::Test {
 protected:
  TFakeOs Os_;
};

TEST_F(RegistryTest, StartsAtTheCurrentUserWithFullAccessAndNoKey) {
  TRegistry registry(Os_);
  EXPECT_EQ(registry.RootKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(registry.Access(), 0xF003Fu);
  EXPECT_EQ(registry.CurrentKey(), nullptr);
  EXPECT_EQ(registry.CurrentPath(), "");
  EXPECT_TRUE(Os_.Calls().empty());
}

TEST_F(RegistryTest, TheCreateFlagCreatesTheWholePath) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", true));
  EXPECT_THAT(Os_.Calls(), ElementsAre("RegCreateKeyExA(HKLM, SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction, 0, "
                                       "NULL, 0, 0xF003F, NULL, NULL)"));
  EXPECT_TRUE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction"));
  EXPECT_EQ(registry.CurrentPath(), "SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction");
  EXPECT_NE(registry.CurrentKey(), nullptr);
}

TEST_F(RegistryTest, WithoutTheCreateFlagOrWithAnEmptyPathAKeyIsOnlyOpened) {
  Os_.Registry().CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\Present");
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(registry.OpenKey("\\SYSTEM\\Missing", false));
  EXPECT_FALSE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\Missing"));
  ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\Present", false));
  ASSERT_TRUE(registry.OpenKey("", true));
  EXPECT_EQ(registry.CurrentPath(), "SYSTEM\\Present");
  ASSERT_TRUE(registry.OpenKey("\\", true));
  EXPECT_EQ(registry.CurrentPath(), "");
  EXPECT_THAT(Os_.Calls(),
              ElementsAre("RegOpenKeyExA(HKLM, SYSTEM\\Missing, 0, 0xF003F)",
                          "RegOpenKeyExA(HKLM, SYSTEM\\Present, 0, 0xF003F)",
                          "RegOpenKeyExA(HKLM\\SYSTEM\\Present, , 0, 0xF003F)", "RegCloseKey(HKLM\\SYSTEM\\Present)",
                          "RegOpenKeyExA(HKLM, , 0, 0xF003F)", "RegCloseKey(HKLM\\SYSTEM\\Present)"));
}

TEST_F(RegistryTest, ALeadingBackslashStartsFromTheRootAnyOtherPathFromTheCurrentKey) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("SYSTEM", true));
  EXPECT_EQ(registry.CurrentPath(), "SYSTEM");
  ASSERT_TRUE(registry.OpenKey("CurrentControlSet\\Services", true));
  EXPECT_EQ(registry.CurrentPath(), "SYSTEM\\CurrentControlSet\\Services");
  EXPECT_TRUE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services"));

  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\X", true));
  EXPECT_EQ(registry.CurrentPath(), "SOFTWARE\\X");
  EXPECT_TRUE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\X"));
  EXPECT_FALSE(Os_.Registry().KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\SOFTWARE"));
  EXPECT_EQ(Os_.OpenKeyCount(), 1);
  EXPECT_EQ(Os_.CallsNamed("RegCreateKeyExA")[1],
            "RegCreateKeyExA(HKLM\\SYSTEM, CurrentControlSet\\Services, 0, NULL, 0, 0xF003F, NULL, NULL)");
}

TEST_F(RegistryTest, AFailedOpenLeavesTheObjectAsItWas) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\A", true));
  const HKEY key = registry.CurrentKey();

  Os_.FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED);
  Os_.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(registry.OpenKey("B", true));
  EXPECT_FALSE(registry.OpenKey("\\A", false));
  EXPECT_FALSE(registry.OpenKeyReadOnly("\\A"));
  EXPECT_EQ(registry.CurrentKey(), key);
  EXPECT_EQ(registry.CurrentPath(), "A");
  EXPECT_EQ(registry.Access(), 0xF003Fu);
  EXPECT_EQ(Os_.OpenKeyCount(), 1);
}

TEST_F(RegistryTest, AnOpenAnswersWhatWindowsAnswered) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  Os_.FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(registry.Open("\\A", true), ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.Open("\\A", true), ERROR_SUCCESS);
  EXPECT_EQ(registry.OpenReadOnly("\\Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ReadOnlyOpeningTriesThreeMasksAndKeepsTheOneThatWorked) {
  const REGSAM masks[] = {KEY_READ, 0x20009, KEY_QUERY_VALUE};
  for (int refused = 0; refused <= 3; ++refused) {
    TFakeOs os;
    os.Registry().CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\Root");
    for (int nth = 1; nth <= refused; ++nth) os.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED, nth);
    TRegistry registry(os);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);

    EXPECT_EQ(registry.OpenKeyReadOnly("SYSTEM\\CurrentControlSet\\Enum\\Root"), refused < 3) << refused;
    const std::vector<std::string> tried = os.CallsNamed("RegOpenKeyExA");
    ASSERT_EQ(tried.size(), static_cast<size_t>(std::min(refused + 1, 3)));
    for (size_t i = 0; i < tried.size(); ++i) {
      char expected[96];
      std::snprintf(expected, sizeof expected, "RegOpenKeyExA(HKLM, SYSTEM\\CurrentControlSet\\Enum\\Root, 0, 0x%X)",
                    static_cast<unsigned>(masks[i]));
      EXPECT_EQ(tried[i], expected);
    }
    EXPECT_EQ(registry.Access(), refused < 3 ? masks[refused] : KEY_ALL_ACCESS);
    EXPECT_EQ(registry.CurrentPath(), refused < 3 ? "SYSTEM\\CurrentControlSet\\Enum\\Root" : "");
  }
}

TEST_F(RegistryTest, ValuesAreTextWithItsNulOrFourLittleEndianBytes) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\SYSTEM\\CurrentControlSet\\Services\\ewf", true));
  registry.WriteStringValue("Group", "System Bus Extender");
  registry.WriteStringValue("Empty", "");
  registry.WriteDwordValue("Start", 0x12345678);

  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\ewf";
  const std::string group = "System Bus Extender";
  EXPECT_EQ(*Os_.Registry().Value(HKEY_LOCAL_MACHINE, key, "Group"),
            (RegistryValue{REG_SZ, std::vector<BYTE>(group.c_str(), group.c_str() + group.size() + 1)}));
  EXPECT_EQ(*Os_.Registry().Value(HKEY_LOCAL_MACHINE, key, "Empty"), (RegistryValue{REG_SZ, {0}}));
  EXPECT_EQ(*Os_.Registry().Value(HKEY_LOCAL_MACHINE, key, "Start"),
            (RegistryValue{REG_DWORD, {0x78, 0x56, 0x34, 0x12}}));
  EXPECT_THAT(Os_.CallsNamed("RegSetValueExA"), ElementsAre("RegSetValueExA(HKLM\\" + key + ", Group, 0, 1, 20)",
                                                            "RegSetValueExA(HKLM\\" + key + ", Empty, 0, 1, 1)",
                                                            "RegSetValueExA(HKLM\\" + key + ", Start, 0, 4, 4)"));
}

// Exactly the bytes stored, read again when the value grew between the
// size query and the read (Windows then answers ERROR_MORE_DATA).
TEST_F(RegistryTest, AValueIsReadWholeAndNoMoreEvenWhenItGrowsMeanwhile) {
  const std::vector<BYTE> stored = {'V', 'o', 'l', 'S', 'n', 'a', 'p', 0, 0};
  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, "SYSTEM\\X", "UpperFilters", REG_MULTI_SZ, stored);
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyReadOnly("\\SYSTEM\\X"));
  for (const int grown : {0, 2}) {
    if (grown) Os_.FailCall("RegQueryValueExA", ERROR_MORE_DATA, grown);
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    EXPECT_EQ(ReadRegistryValue(Os_, registry.CurrentKey(), "UpperFilters", &type, &data), ERROR_SUCCESS) << grown;
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(data, stored) << grown;
  }
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  EXPECT_EQ(ReadRegistryValue(Os_, registry.CurrentKey(), "Missing", &type, &data), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, AFailedWriteRaisesAnErrorNamingTheValue) {
  TRegistry registry(Os_);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\X", true));
  Os_.FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);
  const auto messageOf = [](const std::function<void()>& write) {
    try {
      write();
    } catch (const ERegistryError& error) {
      return std::string(error.what());
    }
    return std::string("nothing raised");
  };
  EXPECT_EQ(messageOf([&] { registry.WriteStringValue("Enable", "N"); }), "Failed to set data for 'Enable'");
  EXPECT_EQ(messageOf([&] { registry.WriteDwordValue("Start", 0); }), "Failed to set data for 'Start'");

  TRegistry unopened(Os_);
  EXPECT_THROW(unopened.WriteDwordValue("Start", 0), ERegistryError);
}

TEST_F(RegistryTest, KeysAreClosedByCloseKeyByARootChangeAndOnDestruction) {
  {
    TRegistry registry(Os_);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey("\\A", true));
    registry.CloseKey();
    registry.CloseKey();
    EXPECT_EQ(registry.CurrentKey(), nullptr);
    EXPECT_EQ(registry.CurrentPath(), "");
    EXPECT_EQ(Os_.CallsNamed("RegCloseKey").size(), 1u);

    ASSERT_TRUE(registry.OpenKey("\\A", true));
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(Os_.OpenKeyCount(), 1);
    registry.SetRootKey(HKEY_CURRENT_USER);
    EXPECT_EQ(Os_.OpenKeyCount(), 0);
    EXPECT_EQ(registry.CurrentKey(), nullptr);

    ASSERT_TRUE(registry.OpenKey("\\B", true));
    EXPECT_TRUE(Os_.Registry().KeyExists(HKEY_CURRENT_USER, "B"));
    EXPECT_EQ(Os_.OpenKeyCount(), 1);
  }
  EXPECT_EQ(Os_.OpenKeyCount(), 0);
}

}  // namespace
