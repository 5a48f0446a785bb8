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
                           "ramdisk(0)", "\\Device\\HarddiskVolume2", "multi(0)disk(0)rdisk(0)partition(-1)"}) {
    EXPECT_FALSE(IsPartitionArcName(name)) << name;
  }
}

TEST(BootVolumes, TheProtectedPartitionIsTheOneWindowsStartedFromWhenWindowsSaysSo) {
  struct Case {
    const char* state;
    DWORD type;
    std::string data;
    const char* expected;
  };
  const std::string second = "multi(0)disk(0)rdisk(0)partition(2)";
  const Case cases[] = {
      {"with its NUL", REG_SZ, second + '\0', "multi(0)disk(0)rdisk(0)partition(2)"},
      {"without a NUL", REG_SZ, second, "multi(0)disk(0)rdisk(0)partition(2)"},
      {"empty", REG_SZ, "", kFirstPartitionArcName},
      {"of another type", REG_EXPAND_SZ, second + '\0', kFirstPartitionArcName},
      {"a list", REG_MULTI_SZ, second + '\0' + '\0', kFirstPartitionArcName},
      {"not an ARC path", REG_SZ, std::string("\\Device\\HarddiskVolume2") + '\0', kFirstPartitionArcName},
      {"too long to be a name", REG_SZ, std::string(300, '1'), kFirstPartitionArcName},
  };
  for (const Case& c : cases) {
    FakeOs os;
    os.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", c.type, Bytes(c.data));
    std::string failure;
    EXPECT_EQ(FindProtectedArcName(os, &failure), c.expected) << c.state;
    EXPECT_EQ(failure, "") << c.state;
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }

  FakeOs missing;
  std::string failure;
  EXPECT_EQ(FindProtectedArcName(missing, &failure), kFirstPartitionArcName);
  EXPECT_EQ(failure, "");
}

// Not finding out is not finding: a read Windows refuses is told, not taken
// for a missing value.
TEST(BootVolumes, AReadThatFailsIsToldNotTakenForAMissingValue) {
  const std::string second = "multi(0)disk(0)rdisk(0)partition(2)";
  struct Case {
    const char* call;  // the start of its log line
    DWORD error;
    const char* failure;
  };
  for (const Case& c :
       {Case{"RegOpenKeyExA(HKLM, SYSTEM\\CurrentControlSet\\Control,", ERROR_ACCESS_DENIED,
             "Opening the registry key HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control failed.  Error 5"},
        Case{"RegQueryValueExA(HKLM\\SYSTEM\\CurrentControlSet\\Control, SystemBootDevice", ERROR_MORE_DATA,
             "Reading the \"SystemBootDevice\" value of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control "
             "failed.  Error 234"}}) {
    FakeOs os;
    os.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", REG_SZ, Bytes(second));
    os.FailCallsContaining(c.call, c.error);
    const BootVolumes volumes = FindBootVolumes(os, "C:\\");
    EXPECT_EQ(volumes.Failure, c.failure);
    EXPECT_EQ(os.OpenKeyCount(), 0);
  }

  FakeOs os;
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kSetup, "SystemPartition", REG_SZ, Bytes("\\Device\\HarddiskVolume2"));
  os.FailCallsContaining("QueryDosDeviceA(D:", ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FindBootVolumes(os, "C:\\").Failure, "Finding out what the drive letter D: stands for failed.  Error 122");
  os.SetDosDevice("C:", "\\Device\\HarddiskVolume2");  // found all the same
  EXPECT_EQ(FindBootVolumes(os, "D:\\").Failure, "");
}

class BootLoaderFolderTest : public ::testing::Test {
 protected:
  BootLoaderFolderTest() {
    os_.SetDosDevice("C:", "\\Device\\HarddiskVolume2");
    os_.SetDosDevice("D:", "\\Device\\HarddiskVolume3");
    os_.SetDosDevice("E:", "\\Device\\CdRom0");
  }
  void SetSystemPartition(const std::string& device, DWORD type = REG_SZ) {
    os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kSetup, "SystemPartition", type, Bytes(device + '\0'));
  }
  // The folder found, when Windows could tell.
  std::string Folder(const std::string& systemDriveFolder) {
    std::string failure;
    const std::string folder = FindBootLoaderFolder(os_, systemDriveFolder, &failure);
    EXPECT_EQ(failure, "");
    return folder;
  }
  FakeOs os_;
};

TEST_F(BootLoaderFolderTest, TheLoaderFolderIsTheDriveOfTheSystemPartition) {
  SetSystemPartition("\\Device\\HarddiskVolume3");
  EXPECT_EQ(Folder("C:\\"), "D:\\");
  SetSystemPartition("\\device\\harddiskvolume2");
  EXPECT_EQ(Folder("D:\\"), "C:\\");
  EXPECT_EQ(os_.OpenKeyCount(), 0);
}

TEST_F(BootLoaderFolderTest, WithoutAnAnswerTheLoaderStaysOnTheSystemDrive) {
  EXPECT_EQ(Folder("D:\\"), "D:\\");
  EXPECT_THAT(os_.CallsNamed("QueryDosDeviceA"), IsEmpty());

  SetSystemPartition("\\Device\\HarddiskVolume1");  // a partition no letter stands for
  EXPECT_EQ(Folder("D:\\"), "D:\\");
  EXPECT_EQ(os_.CallsNamed("QueryDosDeviceA").size(), 26u);

  SetSystemPartition("\\Device\\HarddiskVolume3", REG_EXPAND_SZ);
  EXPECT_EQ(Folder("C:\\"), "C:\\");
  SetSystemPartition("");
  EXPECT_EQ(Folder("C:\\"), "C:\\");
}

TEST_F(BootLoaderFolderTest, OnlyAnUnusualLayoutIsNamedInTheNote) {
  os_.SetDosDevice("C:", "\\Device\\HarddiskVolume1");
  SetSystemPartition("\\Device\\HarddiskVolume1");
  const BootVolumes plain = FindBootVolumes(os_, "c:\\");
  EXPECT_EQ(plain.BootLoaderFolder, "C:\\");
  EXPECT_EQ(plain.ProtectedArcName, kFirstPartitionArcName);
  EXPECT_EQ(plain.Note, "");

  os_.Registry().SetValue(HKEY_LOCAL_MACHINE, kControl, "SystemBootDevice", REG_SZ,
                          Bytes("multi(0)disk(0)rdisk(0)partition(2)"));
  const BootVolumes second = FindBootVolumes(os_, "C:\\");
  EXPECT_EQ(second.ProtectedArcName, "multi(0)disk(0)rdisk(0)partition(2)");
  EXPECT_NE(second.Note.find("starts from: C:\\\r"), std::string::npos) << second.Note;
  EXPECT_NE(second.Note.find("runs from: multi(0)disk(0)rdisk(0)partition(2)"), std::string::npos) << second.Note;

  SetSystemPartition("\\Device\\HarddiskVolume7");
  const BootVolumes hidden = FindBootVolumes(os_, "D:\\");
  EXPECT_EQ(hidden.BootLoaderFolder, "D:\\");
  EXPECT_NE(hidden.Note.find("partition(2)\r\rWindows names \\Device\\HarddiskVolume7 as the partition this computer "
                             "starts from, but no drive letter stands for it.\rThe new boot loader was placed in D:\\ "
                             "instead"),
            std::string::npos)
      << hidden.Note;
}

}  // namespace
