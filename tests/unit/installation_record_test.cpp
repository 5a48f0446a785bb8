// The installation's record: written whole and read back, old and new
// lines, what is not a record, and how a later click merges with an earlier one.
#include "install/installation_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/key_security.h"
#include "support/fake_os.h"
#include "support/security_descriptor_bytes.h"

namespace {

std::string Text(const std::vector<PlacedFileRecord>& files) {
  std::string text;
  for (const PlacedFileRecord& file : files) {
    text += file.Path + " " + file.Digest + " before " + file.Before + " kept " + file.Backup +
            (file.BackupMade ? " made" : "") + " attributes " + std::to_string(file.Attributes) +
            (file.Also.empty() ? "" : " or " + file.Also) + "; ";
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

// Digests as the program writes them.
const std::string kD1 = "0000000000000010-00000000000000D1";
const std::string kE1 = "0000000000000010-00000000000000E1";
const std::string kW = "0000000000000010-000000000000000F";

TEST(InstallationRecord, WhatIsWrittenIsReadBackAndWhatIsNotARecordIsUnreadable) {
  TFakeOs os;
  InstallationRecord record;
  record.Files = {{"C:\\WINDOWS\\system32\\drivers\\ewf.sys", kD1},
                  {"C:\\ntldr", kE1, kW, "C:\\ntldr.bak", true, 0x27, kD1}};
  record.AddedVolSnap = true;
  record.Done = {kFilesStep, kEnumRootStep};
  TStepLog log;
  ASSERT_TRUE(WriteInstallationRecord(os, record, log));
  RecordRead read = ReadInstallationRecord(os);
  ASSERT_TRUE(read.Present);
  EXPECT_EQ(read.Error, 0);
  EXPECT_EQ(Text(read.Record.Files), Text(record.Files));
  EXPECT_EQ(read.Record.Files[1].Also, kD1);
  EXPECT_TRUE(read.Record.AddedVolSnap);
  EXPECT_FALSE(read.Record.CreatedFilterList);
  EXPECT_EQ(read.Record.Done, record.Done);

  // The first format: the boot loader's entry began with its own line.
  const std::string first =
      Lines({"BootLoader=C:\\ntldr", "BootLoaderDigest=" + kE1, "Backup=C:\\ntldr.bak", "BackupDigest=" + kW,
             "BackupMade=1", "BootLoaderAttributes=39", "File=" + kD1 + " C:\\WINDOWS\\ewf.sys", "AddedVolSnap=0"});
  SetRecord(os, REG_MULTI_SZ, first);
  read = ReadInstallationRecord(os);
  ASSERT_TRUE(read.Present);
  EXPECT_EQ(Text(read.Record.Files), "C:\\ntldr " + kE1 + " before " + kW +
                                         " kept C:\\ntldr.bak made attributes 39; C:\\WINDOWS\\ewf.sys " + kD1 +
                                         " before  kept  attributes 4294967295; ");

  // Whatever is not of the grammar, the whole record is not read: a part
  // read could move a detail to another file, or leave the rest.
  const std::string file = "File=" + kE1 + " C:\\ntldr";
  const std::string driver = "File=" + kD1 + " C:\\WINDOWS\\system32\\drivers\\ewf.sys";
  const std::string good = Lines({file, "Before=" + kW, "Backup=C:\\ntldr.bak", "AddedVolSnap=1", "Done=Files"});
  const struct {
    const char* What;
    DWORD Type;
    std::string Data;
  } notRecords[] = {
      {"empty", REG_MULTI_SZ, std::string(1, '\0')},
      {"lines it does not know", REG_MULTI_SZ, Lines({"Delete=C:\\boot.ini", "garbage", "AddedVolSnap=0"})},
      {"one known line among garbage", REG_MULTI_SZ, Lines({"garbage", "AddedVolSnap=0"})},
      {"a detail before any file", REG_MULTI_SZ, Lines({"Backup=C:\\boot.ini", "AddedVolSnap=0"})},
      {"a file line without a path", REG_MULTI_SZ, Lines({"File=" + kD1, "AddedVolSnap=0"})},
      {"a key in another case", REG_MULTI_SZ, Lines({"file=" + kE1 + " C:\\ntldr", "AddedVolSnap=0"})},
      {"a detail twice", REG_MULTI_SZ, Lines({file, "Before=" + kW, "BackupDigest=" + kW, "AddedVolSnap=0"})},
      {"a detail moved after the state", REG_MULTI_SZ, Lines({file, "AddedVolSnap=0", "Before=" + kW})},
      {"an entry after the state", REG_MULTI_SZ, Lines({"AddedVolSnap=0", file})},
      {"an entry twice", REG_MULTI_SZ, Lines({file, file, "AddedVolSnap=0"})},
      {"a state line twice", REG_MULTI_SZ, Lines({file, "AddedVolSnap=0", "AddedVolSnap=1"})},
      {"state lines out of order", REG_MULTI_SZ, Lines({"CreatedUpperFilters=0", "AddedVolSnap=0"})},
      {"no state", REG_MULTI_SZ, Lines({file})},
      {"a step it does not know", REG_MULTI_SZ, Lines({"AddedVolSnap=0", "Done=Everything"})},
      {"a digest of another form", REG_MULTI_SZ, Lines({"File=E1 C:\\ntldr", "AddedVolSnap=0"})},
      {"a flag of another form", REG_MULTI_SZ, Lines({"AddedVolSnap=yes"})},
      {"attributes that are no number", REG_MULTI_SZ, Lines({file, "Attributes=0x27", "AddedVolSnap=0"})},
      {"a state line it does not know", REG_MULTI_SZ,
       Lines({"AddedVolSnap=0", "CreatedUpperFilters=0", "UpperFiltersBefore=7 414"})},
      {"a NUL inside a line", REG_MULTI_SZ, Lines({"File=" + kE1 + " C:\\nt", "ldr", "AddedVolSnap=0"})},
      {"an empty line inside", REG_MULTI_SZ, Lines({file, ""}) + Lines({"AddedVolSnap=0"})},
      {"cut short", REG_MULTI_SZ, good.substr(0, good.size() - 1)},
      {"cut inside a line", REG_MULTI_SZ, good.substr(0, good.size() - 4)},
      {"something after the end", REG_MULTI_SZ, good + "x"},
      {"another type", REG_SZ, Lines({"AddedVolSnap=1"})},
      // A backup can only be a backup: its target's .bak or .bak.N, no
      // target, no other entry's backup, no file placed.
      {"a backup that is a target", REG_MULTI_SZ,
       Lines({driver, "Before=" + kW, "Backup=C:\\ntldr", file, "AddedVolSnap=0"})},
      {"the loader's backup named on the driver", REG_MULTI_SZ,
       Lines({driver, "Before=" + kW, "Backup=C:\\ntldr.bak", "AddedVolSnap=0"})},
      {"a backup in another folder", REG_MULTI_SZ,
       Lines({file, "Before=" + kW, "Backup=C:\\WINDOWS\\ntldr.bak", "AddedVolSnap=0"})},
      {"a backup that was placed", REG_MULTI_SZ,
       Lines({file, "Before=" + kW, "Backup=C:\\ntldr.bak", "File=" + kW + " C:\\ntldr.bak", "AddedVolSnap=0"})},
      {"bytes before that are the bytes placed", REG_MULTI_SZ, Lines({file, "Before=" + kE1, "AddedVolSnap=0"})},
      {"another entry's backup", REG_MULTI_SZ,
       Lines({"File=" + kE1 + " C:\\ntldr.bak.1", "Before=" + kW, "Backup=C:\\ntldr.bak.1.bak", file,
              "Backup=C:\\ntldr.bak.1", "AddedVolSnap=0"})},
  };
  SetRecord(os, REG_MULTI_SZ, good);
  ASSERT_TRUE(ReadInstallationRecord(os).Present) << "the record the cases spoil";
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
      {"another loader over the earlier one keeps Windows' own backup, and the earlier loader counts until the switch",
       {loader},
       {{"C:\\ntldr", "E2", "E1", "", false, 0x27}},
       Text({{"C:\\ntldr", "E2", "W", "C:\\ntldr.bak", true, 0x27, "E1"}})},
      {"the same, run again after a kill before the switch",
       {{"C:\\ntldr", "E2", "W", "C:\\ntldr.bak", true, 0x27, "E1"}},
       {{"C:\\ntldr", "E3", "E1", "", false, 0x27}},
       Text({{"C:\\ntldr", "E3", "W", "C:\\ntldr.bak", true, 0x27, "E1"}})},
      {"the earlier backup not whole: a copy of its own, and the earlier one is this run's to delete",
       {loader},
       {{"C:\\ntldr", "E2", "E1", "C:\\ntldr.bak.1", true, 0x27}},
       Text({{"C:\\ntldr", "E2", "E1", "C:\\ntldr.bak.1", true, 0x27}, {"C:\\ntldr.bak", "W"}})},
      {"the earlier backup missing, its name taken again: never a placed file too",
       {loader},
       {{"C:\\ntldr", "E2", "E1", "C:\\ntldr.bak", true, 0x27}},
       Text({{"C:\\ntldr", "E2", "E1", "C:\\ntldr.bak", true, 0x27}})},
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

namespace {

// A key made beforehand, Everyone's full control say, gets the record's
// permissions at the first write of a click, as a new one does; Install
// stops when it cannot give them.
TEST(InstallationRecord, AKeyMadeBeforehandGetsTheRecordsPermissions) {
  TFakeOs os;
  os.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kInstallationRecordKey, OpenSecurityDescriptor());
  InstallationRecord record;
  TStepLog log;
  ASSERT_TRUE(SecureRecordKey(os, log));
  ASSERT_TRUE(WriteInstallationRecord(os, record, log));
  EXPECT_EQ(os.Registry().Security(HKEY_LOCAL_MACHINE, kInstallationRecordKey),
            DaclOnlyDescriptor(AdministratorsOnlyKeySecurity().data()));

  os.Registry().SetSecurity(HKEY_LOCAL_MACHINE, kInstallationRecordKey, OpenSecurityDescriptor());
  os.FailCallsContaining("RegSetKeySecurity(HKLM\\SOFTWARE\\Stillvane", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SecureRecordKey(os, log));
  EXPECT_EQ(log.FailedText(),
            "\rGiving the registry key HKEY_LOCAL_MACHINE\\SOFTWARE\\Stillvane its permissions failed.  Error 5");
}

}  // namespace
