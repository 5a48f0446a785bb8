// What "Install EWF Support" did, kept for "Remove EWF Support": which
// backup holds the boot loader it replaced, which files it placed, and what it
// added to the volume filter list. One REG_MULTI_SZ value of "name=value"
// lines, HKEY_LOCAL_MACHINE\SOFTWARE\Stillvane "Installation": one value is
// written whole or not at all, the hive is flushed with it, only
// administrators may change it (as they alone may install), and a look with
// regedit tells what it holds.
#pragma once

#include <string>
#include <vector>

#include "install/failed_steps.h"
#include "services/os.h"

inline constexpr char kInstallationRecordKey[] = "SOFTWARE\\Stillvane";
inline constexpr char kInstallationRecordValue[] = "Installation";

// A file's length and FNV-1a 64 hash, as hex; tells whether a file is still
// the one that was placed.
struct FileDigest {
  std::string Digest;  // empty when the file could not be read
  DWORD Error;         // why; ERROR_FILE_NOT_FOUND when it is not there
};
[[nodiscard]] FileDigest DigestOfFile(TOs& os, const std::string& path);

struct PlacedFileRecord {
  std::string Path;
  std::string Digest;
};

struct InstallationRecord {
  // The boot loader Install replaced, the file holding its old bytes, and
  // whether Install made that file (else it found it holding them).
  std::string BootLoader;
  std::string BootLoaderDigest;  // of the loader Install put there
  std::string Backup;
  std::string BackupDigest;
  bool BackupMade = false;
  DWORD BootLoaderAttributes = INVALID_FILE_ATTRIBUTES;  // of the one replaced; unknown: the present one's
  std::vector<PlacedFileRecord> Files;                   // ewf.sys and ewfmgr.exe, where Install placed them
  bool AddedVolSnap = false;                             // to the volume filter list
  bool CreatedFilterList = false;                        // the list was not there before
};

struct RecordRead {
  bool Present;
  LONG Error;  // 0, or why it could not be read (never "not found")
  InstallationRecord Record;
};
[[nodiscard]] RecordRead ReadInstallationRecord(TOs& os);

// This run's facts over an earlier run's: a later replacement of the loader
// wins, placed files add up.
InstallationRecord MergeRecords(const InstallationRecord& earlier, const InstallationRecord& now);

// Writes the record and flushes its hive; a failure is added to `failed`.
void WriteInstallationRecord(TOs& os, const InstallationRecord& record, TFailedSteps& failed);

// Deletes the record's key and flushes its hive. The error, or 0.
[[nodiscard]] LONG DeleteInstallationRecord(TOs& os);
