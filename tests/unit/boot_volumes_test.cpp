// Where the boot loader goes and which partition is protected: each source,
// and each way it can fail to give an answer.
#include "services/boot_volumes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_os.h"

namespace {

using ::testing::IsEmpty;

const char kControl[] = "SYSTEM\\CurrentControlSet\\Control";
const char kSetup[] = "SYSTEM\\Setup";
// What follows a step of finding out that Windows refused.
const char kTryAgain[] = "\r\rLog on as an administrator or restart Windows, then try again.";

std::vector<BYTE> Bytes(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}

TEST(BootVolumes, PartitionArcNamesAreToldFromEverythingElse) {
  for (const char* name : {"multi(0)disk(0)rdisk(0)partition(1)", "multi(0)disk(0)rdisk(1)partition(2)",
                           "scsi(1)disk(2)rdisk(0)partition(3)", "signature(8b467c12)disk(1)rdisk(0)partition(2)",
                           "MULTI(0)DISK(0)RDISK(0)PARTITION(4)", "multi(0)disk(0)rdisk(0)partition(12345678)"}) {
    EXPECT_TRUE(IsPartitionArcName(name)) << name;
  }
  for (const char* name : {"", "multi(0)disk(0)rdisk(0)partition(0)", "multi(0)disk(0)rdisk(0)",
                           "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS", " multi(0)disk(0)rdisk(0)partition(1)",
                           "multi()disk(0)rdisk(0)partition(1)", "multi(x)disk(0)rdisk(0)partition(1)",
                           "signature(zz)disk(0)rdisk(0)partition(1)", "multi(0)rdisk(0)disk(0)partition(1)",
                           "multi(0)disk(0)rdisk(0)partition(123456789)", "multi(0)disk(0)rdisk(0)partition(1",
                           "ramdisk(0)", "\\Device\\HarddiskVolume2", "multi(0)disk(0)rdisk(0)partition(-1)",
                           "multi(0xdisk(0)rdisk(0)partition(1)", "multi(0)disk(0)rdisk(0)partition(1]"}) {
    EXPECT_FALSE(IsPartitionArcName(name)) << name;
  }
}

TEST(BootVolumes, TheProtectedPartitionIsTheOneWindowsStartedFromWhenWindowsSaysSo) {
  struct Case {
    const char* State;
    std::string Data;
    const char* Expected;
  };
  const std::string second = "multi(0)disk(0)rdisk(0)partition(2)";
  const Case cases[] = {
      {"with its NUL", second + '\0', "multi(0)disk(0)rdisk(0)partition(2)"},
      {"without a NUL", second, "multi(0)disk(0)rdisk(0)partition(2)"},
      {"empty", "", kFirstPartitionArcName},
  };
  for (const Case& c : cases) {
    TFakeOs os;
    os.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", REG_SZ, Bytes(c.Data));
    std::string failure;
    EXPECT_EQ(FindProtectedArcName(os, &failure), c.Expected) << c.State;
    EXPECT_EQ(failure, "") << c.State;
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }

  TFakeOs missing;
  std::string failure;
  EXPECT_EQ(FindProtectedArcName(missing, &failure), kFirstPartitionArcName);
  EXPECT_EQ(failure, "");
}

// A value that is there but not understood is not taken for a missing one:
// the first partition could be the wrong one to protect.
TEST(BootVolumes, AValueThatIsNotAPartitionsNameIsToldWithItsData) {
  struct Case {
    DWORD Type;
    std::string Data;
    const char* Shown;  // the data as the message shows them, and their type
  };
  const std::string second = "multi(0)disk(0)rdisk(0)partition(2)";
  const Case cases[] = {
      {REG_EXPAND_SZ, second + '\0', "\"multi(0)disk(0)rdisk(0)partition(2)\" (REG_EXPAND_SZ)"},
      {REG_MULTI_SZ, second + '\0' + '\0', "\"multi(0)disk(0)rdisk(0)partition(2)\" (REG_MULTI_SZ)"},
      {REG_SZ, second + " ", "\"multi(0)disk(0)rdisk(0)partition(2) \" (REG_SZ)"},
      {REG_SZ, second + '\0' + "x", "\"multi(0)disk(0)rdisk(0)partition(2)\\x00x\" (REG_SZ)"},
      {REG_SZ, "multi(0)disk(0)rdisk(0)partition(0)", "\"multi(0)disk(0)rdisk(0)partition(0)\" (REG_SZ)"},
      {REG_SZ, "multi(0]disk(0)rdisk(0)partition(2)", "\"multi(0]disk(0)rdisk(0)partition(2)\" (REG_SZ)"},
      {REG_SZ, std::string(300, '1'),
       "\"11111111111111111111111111111111111111111111111111111111111111111111111111111111"
       "\"... (300 bytes) (REG_SZ)"},
      {REG_BINARY, "\x02", "\"\\x02\" (REG_BINARY)"},
  };
  for (const Case& c : cases) {
    TFakeOs os;
    os.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", c.Type, Bytes(c.Data));
    const BootVolumes volumes = FindBootVolumes(os, "C:\\");
    EXPECT_EQ(
        volumes.Failure,
        "Windows records the \"SystemBootDevice\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control "
        "as " +
            std::string(c.Shown) +
            ", which is not the ARC name of a partition.\r\rWindows writes this value as it starts: restart "
            "Windows, then try again.  If it still holds the same, ask your administrator to correct it.");
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }
}

// Not finding out is not finding: a read Windows refuses is told, not taken
// for a missing value.
TEST(BootVolumes, AReadThatFailsIsToldNotTakenForAMissingValue) {
  const std::string second = "multi(0)disk(0)rdisk(0)partition(2)";
  struct Case {
    const char* Call;  // the start of its log line
    DWORD Error;
    const char* Failure;
  };
  for (const Case& c :
       {Case{"RegOpenKeyExA(HKLM, SYSTEM\\CurrentControlSet\\Control,", ERROR_ACCESS_DENIED,
             "Opening the registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control failed.  Error 5"},
        Case{"RegQueryValueExA(HKLM\\SYSTEM\\CurrentControlSet\\Control, SystemBootDevice", ERROR_MORE_DATA,
             "Reading the \"SystemBootDevice\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control "
             "failed.  Error 234"}}) {
    TFakeOs os;
    os.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", REG_SZ, Bytes(second));
    os.FailCallsContaining(c.Call, c.Error);
    const BootVolumes volumes = FindBootVolumes(os, "C:\\");
    EXPECT_EQ(volumes.Failure, std::string(c.Failure) + kTryAgain);
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }

  TFakeOs os;
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kSetup, "SystemPartition", REG_SZ, Bytes("\\Device\\HarddiskVolume2"));
  os.FailCallsContaining("QueryDosDeviceA(D:", ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FindBootVolumes(os, "C:\\").Failure,
            std::string("Finding out what the drive letter D: stands for failed.  Error 122") + kTryAgain);
  os.SetDosDevice("C:", "\\Device\\HarddiskVolume2");  // found all the same
  EXPECT_EQ(FindBootVolumes(os, "D:\\").Failure, "");
}

class BootLoaderFolderTest : public ::testing::Test {
 protected:
  BootLoaderFolderTest() {
    Os_.SetDosDevice("C:", "\\Device\\HarddiskVolume2");
    Os_.SetDosDevice("D:", "\\Device\\HarddiskVolume3");
    Os_.SetDosDevice("E:", "\\Device\\CdRom0");
  }
  void SetSystemPartition(const std::string& device, DWORD type = REG_SZ) {
    Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kSetup, "SystemPartition", type, Bytes(device + '\0'));
  }
  // The folder found, when Windows could tell.
  std::string Folder(const std::string& systemDriveFolder) {
    std::string failure;
    const std::string folder = FindBootLoaderFolder(Os_, systemDriveFolder, &Unmapped_, &failure);
    EXPECT_EQ(failure, "");
    return folder;
  }
  std::string Failure() {
    std::string failure;
    EXPECT_EQ(FindBootLoaderFolder(Os_, "C:\\", &Unmapped_, &failure), "C:\\");
    return failure;
  }
  std::string Unmapped_;
  TFakeOs Os_;
};

TEST_F(BootLoaderFolderTest, TheLoaderFolderIsTheDriveOfTheSystemPartition) {
  SetSystemPartition("\\Device\\HarddiskVolume3");
  EXPECT_EQ(Folder("C:\\"), "D:\\");
  SetSystemPartition("\\device\\harddiskvolume2");
  EXPECT_EQ(Folder("D:\\"), "C:\\");
  EXPECT_EQ(Os_.OpenKeyCount(), 0);
}

TEST_F(BootLoaderFolderTest, WithoutAnAnswerTheLoaderStaysOnTheSystemDrive) {
  EXPECT_EQ(Folder("D:\\"), "D:\\");
  EXPECT_THAT(Os_.CallsNamed("QueryDosDeviceA"), IsEmpty());

  SetSystemPartition("\\Device\\HarddiskVolume1");  // a partition no letter stands for
  EXPECT_EQ(Folder("D:\\"), "D:\\");
  EXPECT_EQ(Unmapped_, "\\Device\\HarddiskVolume1");
  EXPECT_EQ(Os_.CallsNamed("QueryDosDeviceA").size(), 26u);

  Unmapped_.clear();
  SetSystemPartition("");
  EXPECT_EQ(Folder("C:\\"), "C:\\");
  EXPECT_EQ(Unmapped_, "");
}

// Names of up to 256 characters are read and matched, whatever else the
// letters stand for; a value that is no device name is told.
TEST_F(BootLoaderFolderTest, AnyNameUpTo256CharactersIsFoundAndAnythingElseIsTold) {
  const std::string longest = "\\Device\\" + std::string(248, 'v');
  Os_.SetDosDevice("F:", "\\??\\C:\\" + std::string(400, 's'));  // a subst'ed folder deep down
  Os_.SetDosDevice("G:", longest);
  SetSystemPartition(longest);
  EXPECT_EQ(Folder("C:\\"), "G:\\");

  const std::string advice =
      ", which is not the name of a device.\r\rWindows writes this value as it starts: restart Windows, then try "
      "again.  If it still holds the same, ask your administrator to correct it.";
  SetSystemPartition(longest + "v");
  EXPECT_EQ(Failure(),
            "Windows records the \"SystemPartition\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\Setup as \"\\Device\\" +
                std::string(72, 'v') + "\"... (257 bytes) (REG_SZ)" + advice);
  SetSystemPartition("\\Device\\HarddiskVolume3", REG_EXPAND_SZ);
  EXPECT_EQ(Failure(),
            "Windows records the \"SystemPartition\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\Setup as "
            "\"\\Device\\HarddiskVolume3\" (REG_EXPAND_SZ)" +
                advice);
  for (const char* stray : {"\\Device\\HarddiskVolume3 ", "Device\\HarddiskVolume3", "\\Device\\Harddisk\tVolume3"}) {
    SetSystemPartition(stray);
    EXPECT_THAT(Failure(), ::testing::HasSubstr(advice)) << stray;
  }
  EXPECT_EQ(Unmapped_, "");
}

TEST_F(BootLoaderFolderTest, AnUnusualLayoutAndAPartitionWithoutALetterAreTold) {
  Os_.SetDosDevice("C:", "\\Device\\HarddiskVolume1");
  SetSystemPartition("\\Device\\HarddiskVolume1");
  const BootVolumes plain = FindBootVolumes(Os_, "c:\\");
  EXPECT_EQ(plain.BootLoaderFolder, "C:\\");
  EXPECT_EQ(plain.ProtectedArcName, kFirstPartitionArcName);
  EXPECT_TRUE(plain.UsualLayout);
  EXPECT_EQ(plain.UnmappedDevice, "");

  Os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", REG_SZ,
                          Bytes("multi(0)disk(0)rdisk(0)partition(2)"));
  const BootVolumes second = FindBootVolumes(Os_, "C:\\");
  EXPECT_EQ(second.ProtectedArcName, "multi(0)disk(0)rdisk(0)partition(2)");
  EXPECT_FALSE(second.UsualLayout);

  SetSystemPartition("\\Device\\HarddiskVolume7");
  const BootVolumes hidden = FindBootVolumes(Os_, "D:\\");
  EXPECT_EQ(hidden.BootLoaderFolder, "D:\\");
  EXPECT_FALSE(hidden.UsualLayout);
  EXPECT_EQ(hidden.UnmappedDevice, "\\Device\\HarddiskVolume7");
  EXPECT_EQ(second.UnmappedDevice, "");
}

}  // namespace
