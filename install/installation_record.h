// What "Install EWF Support" does, kept for "Remove EWF Support": written
// before the first change of a click, saying what the click is about to do,
// and marked after each step. So an installation that failed, was thrown out
// by a failed value write or was killed can be undone as surely as one that
// ended well.
//
// One REG_MULTI_SZ value of "name=value" lines,
// HKEY_LOCAL_MACHINE\SOFTWARE\Stillvane "Installation". Each update writes the
// whole value again and flushes its hive: Windows writes one value whole or
// not at all, so the record is always the one before an update or the one
// after it, never a mixture (one value per step could be torn between
// values). The key is created for the System account and administrators
// only, and a look with regedit tells what it holds. Anything that can write
// one registry value can still edit it: the removal takes it for input, not
// for truth.
#pragma once

#include <string>
#include <vector>

#include "services/os.h"
#include "services/step_log.h"

inline constexpr char kInstallationRecordKey[] = "SOFTWARE\\Stillvane";
inline constexpr char kInstallationRecordValue[] = "Installation";

// "the "Installation" value of HKEY_LOCAL_MACHINE\SOFTWARE\Stillvane", as messages name it.
std::string InstallationRecordName();

// A file's length and FNV-1a 64 hash, as hex; tells whether a file is still
// the one that was placed (not who placed it: anyone can compute it).
struct FileDigest {
  std::string Digest;  // empty when the file could not be read
  DWORD Error;         // why; ERROR_FILE_NOT_FOUND when it is not there
};
[[nodiscard]] FileDigest DigestOfFile(TOs& os, const std::string& path);
std::string DigestOfBytes(const std::vector<BYTE>& bytes);

// One file the installation puts in place, written down before it does.
struct PlacedFileRecord {
  std::string Path;
  std::string Digest;                          // of the bytes it places there
  std::string Before = {};                     // of what was there before; empty when nothing was
  std::string Backup = {};                     // where those bytes are kept; empty when nowhere
  bool BackupMade = false;                     // the installation makes that copy (else it found it)
  DWORD Attributes = INVALID_FILE_ATTRIBUTES;  // of the file it replaces
  // What an earlier installation placed there, still taken for placed until
  // this one's switch is done: killed before it, Remove still knows the file.
  std::string Also = {};
};

// The steps marked done, by name.
inline constexpr char kFilesStep[] = "Files";
inline constexpr char kEnumRootStep[] = "EnumRoot";
inline constexpr char kServiceStep[] = "Service";
inline constexpr char kFilterListStep[] = "UpperFilters";

struct InstallationRecord {
  std::vector<PlacedFileRecord> Files;  // in the order placed, the boot loader among them
  bool AddedVolSnap = false;            // to the volume filter list
  bool CreatedFilterList = false;       // the list was not there before
  std::vector<std::string> Done;        // the steps finished
  bool IsDone(const char* step) const;
};

struct RecordRead {
  bool Present;
  LONG Error;  // 0, or why it could not be read (never "not found"); ERROR_INVALID_DATA: not a record
  InstallationRecord Record;
};
// Anything but a record in the grammar beside the reader (installation_record.cpp),
// a value of another type included, is not a record: read in part, it could
// make a removal put the wrong file in place of another, or leave everything.
[[nodiscard]] RecordRead ReadInstallationRecord(TOs& os);

// What a click is about to do, over what earlier clicks did: files add up; a
// file this click replaces that an earlier one placed keeps the earlier
// backup (so Windows' own boot loader stays the one put back), and the copy
// this click makes of it is added, to be deleted.
InstallationRecord MergeRecords(const InstallationRecord& earlier, const InstallationRecord& now);

// Writes the record whole and flushes its hive. False after a failed step in
// `log`. With `noneRead` (the click found no record), a record that is there
// after all is not written over: what it says would be lost.
[[nodiscard]] bool WriteInstallationRecord(TOs& os, const InstallationRecord& record, TStepLog& log,
                                           bool noneRead = false);

// Gives a record key made beforehand the permissions a new one gets (its
// security at creation applies only to a new key): whoever can write the
// record steers the next removal. False after a failed step in `log`.
[[nodiscard]] bool SecureRecordKey(TOs& os, TStepLog& log);

// Marks `step` done in `record` and writes it; a failure is a failed step.
void MarkStepDone(TOs& os, InstallationRecord& record, const char* step, TStepLog& log);

// Deletes the record's key and flushes its hive. The error, or 0.
[[nodiscard]] LONG DeleteInstallationRecord(TOs& os);
