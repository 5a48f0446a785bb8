// The installation's record: written whole and read back, old and new
// lines, what is not a record, and how a later click merges with an earlier one.
#include "install/installation_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_os.h"

namespace {

std::string Text(const std::vector<PlacedFileRecord>& files) {
  std::string text;
  for (const PlacedFileRecord& file : files) {
    text += file.Path + " " + file.Digest + " before " + file.Before + " kept " + file.Backup +
            (file.BackupMade ? " made" : "") + " attributes " + std::to_string(file.Attributes) + "; ";
  }
  return text;
}

// NUL after each line, and one more at the end.
std::string Lines(const std::vector<std::string>& lines) {
  std::string data;
  for (const std::string& line : lines) data += line + std::string(1, '\0');
  return data + std::string(1, '\0');
}

void SetRecord(TFakeOs& os, DWORD type, const std::string& data) {
  os.Registry().SetValue(HKEY_LOCAL_MACHINE, kInstallationRecordKey, kInstallationRecordValue, type,
                         std::vector<BYTE>(data.begin(), data.end()));
}

TEST(InstallationRecord, WhatIsWrittenIsReadBackAndWhatIsNotARecordIsUnreadable) {
  TFakeOs os;
  InstallationRecord record;
  record.Files = {{"C:\\WINDOWS\\system32\\drivers\\ewf.sys", "D1"},
                  {"C:\\ntldr", "E1", "W", "C:\\ntldr.bak", true, 0x27}};
  record.AddedVolSnap = true;
  record.Done = {kFilesStep, kEnumRootStep};
  TStepLog log;
  ASSERT_TRUE(WriteInstallationRecord(os, record, log));
  RecordRead read = ReadInstallationRecord(os);
  ASSERT_TRUE(read.Present);
  EXPECT_EQ(read.Error, 0);
  EXPECT_EQ(Text(read.Record.Files), Text(record.Files));
  EXPECT_TRUE(read.Record.AddedVolSnap);
  EXPECT_FALSE(read.Record.CreatedFilterList);
  EXPECT_EQ(read.Record.Done, record.Done);

  // The first format: the boot loader's entry began with its own line.
  static const char kFirst[] =
      "BootLoader=C:\\ntldr\0BootLoaderDigest=E1\0Backup=C:\\ntldr.bak\0BackupDigest=W\0"
      "BackupMade=1\0BootLoaderAttributes=39\0File=D1 C:\\WINDOWS\\ewf.sys\0AddedVolSnap=0\0";
  const std::string first(kFirst, sizeof kFirst);
  SetRecord(os, REG_MULTI_SZ, first);
  read = ReadInstallationRecord(os);
  ASSERT_TRUE(read.Present);
  EXPECT_EQ(Text(read.Record.Files),
            "C:\\ntldr E1 before W kept C:\\ntldr.bak made attributes 39; "
            "C:\\WINDOWS\\ewf.sys D1 before  kept  attributes 4294967295; ");

  const struct {
    const char* What;
    DWORD Type;
    std::string Data;
  } notRecords[] = {
      {"empty", REG_MULTI_SZ, std::string(1, '\0')},
      {"lines it does not know", REG_MULTI_SZ, Lines({"Delete=C:\\boot.ini", "garbage"})},
      {"a property before any file", REG_MULTI_SZ, Lines({"Backup=C:\\boot.ini"})},
      {"a file line without a path", REG_MULTI_SZ, Lines({"File=D1"})},
      {"another type", REG_SZ, Lines({"AddedVolSnap=1"})},
  };
  for (const auto& bad : notRecords) {
    SetRecord(os, bad.Type, bad.Data);
    read = ReadInstallationRecord(os);
    EXPECT_FALSE(read.Present) << bad.What;
    EXPECT_EQ(read.Error, ERROR_INVALID_DATA) << bad.What;
  }
}

TEST(InstallationRecord, ALaterClickMergesWithTheEarlierOne) {
  const PlacedFileRecord driver{"C:\\WINDOWS\\system32\\drivers\\ewf.sys", "D1"};
  const PlacedFileRecord loader{"C:\\ntldr", "E1", "W", "C:\\ntldr.bak", true, 0x27};
  const struct {
    const char* What;
    std::vector<PlacedFileRecord> Earlier;
    std::vector<PlacedFileRecord> Now;
    std::string Merged;
  } cases[] = {
      {"files add up", {driver}, {loader}, Text({driver, loader})},
      {"another loader over the earlier one keeps Windows' own backup, and its own copy goes",
       {loader},
       {{"C:\\ntldr", "E2", "E1", "C:\\ntldr.bak.1", true, 0x27}},
       Text({{"C:\\ntldr", "E2", "W", "C:\\ntldr.bak", true, 0x27}, {"C:\\ntldr.bak.1", "E1"}})},
      {"a run cut short, planned again, keeps the backup it made",
       {loader},
       {{"C:\\ntldr", "E1", "W", "C:\\ntldr.bak", false, 0x27}},
       Text({loader})},
      {"changed by someone else in between: this run's facts, and the earlier copy goes",
       {loader},
       {{"C:\\ntldr", "E2", "W2", "C:\\ntldr.bak.1", true, 0x27}},
       Text({{"C:\\ntldr", "E2", "W2", "C:\\ntldr.bak.1", true, 0x27}, {"C:\\ntldr.bak", "W"}})},
  };
  for (const auto& c : cases) {
    InstallationRecord earlier;
    earlier.Files = c.Earlier;
    earlier.AddedVolSnap = true;
    earlier.Done = {kFilesStep};
    InstallationRecord now;
    now.Files = c.Now;
    now.CreatedFilterList = true;
    now.Done = {kFilesStep, kServiceStep};
    const InstallationRecord merged = MergeRecords(earlier, now);
    EXPECT_EQ(Text(merged.Files), c.Merged) << c.What;
    EXPECT_TRUE(merged.AddedVolSnap && merged.CreatedFilterList) << c.What;
    EXPECT_EQ(merged.Done, (std::vector<std::string>{kFilesStep, kServiceStep})) << c.What;
  }
}

}  // namespace
