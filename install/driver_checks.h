// The checks before an installation: are the three driver files next to the
// program, and are the driver and its manager recent enough?
#pragma once

#include <string>

#include "services/dialogs.h"
#include "services/os.h"
#include "services/version_info.h"

constexpr FileVersionParts MinEwfSysVersion{2, 0, 927, 0};
constexpr FileVersionParts MinEwfMgrVersion{2, 0, 927, 0};

// What the version gate does with a driver file.
enum class VersionGate {
  None,             // not examined: the boot loader carries no version resource
  RequiresVersion,  // without a readable version the installation stops, silently
  VersionOptional,  // without a readable version the file is accepted unchecked
};

struct DriverFile {
  const char* name;
  VersionGate gate;
  FileVersionParts minimum;
};

// Looked for in the source folder, and examined, in this order.
inline constexpr DriverFile DriverFiles[] = {
    {"ewf.sys", VersionGate::RequiresVersion, MinEwfSysVersion},
    {"ewfmgr.exe", VersionGate::VersionOptional, MinEwfMgrVersion},
    {"ewfntldr", VersionGate::None, {0, 0, 0, 0}},
};

// True when every driver file is present in sourceFolder (which ends with a
// backslash); false at the first one missing. Shows nothing.
[[nodiscard]] bool CheckDriverFilesPresent(Os& os, const std::string& sourceFolder);

// Compares Major, then Minor, Release and Build as unsigned 16-bit numbers.
bool IsVersionAtLeast(const FileVersionParts& minimum, const FileVersionParts& found);
// "Major.Minor.Release.Build" in decimal, e.g. "2.0.927.0".
std::string FormatFileVersion(const FileVersionParts& version);

// Points FileVersionInfo at each versioned driver file in turn (it keeps the
// last one) and warns about an old one; the user may overrule the warning.
// False when the installation must not go on: ewf.sys has no readable
// version (no message), or an old-file warning was not answered Yes.
[[nodiscard]] bool CheckDriverFileVersions(Dialogs& dialogs, TVersionInfo& FileVersionInfo,
                                           const std::string& sourceFolder);

// What an installation shows: the message dialogs, and the "Driver files not
// found" form, shown modally.
class InstallDialogs : public Dialogs {
 public:
  virtual void ShowMissingFilesDialog() = 0;
};

struct DriverCheckContext {
  Os& os;
  InstallDialogs& dialogs;
  TVersionInfo& FileVersionInfo;  // the main window's reader
  std::string SourceFolder;       // ends with a backslash
};

// The first two steps of an installation: when a file is missing the
// missing-files dialog is shown, then the version gate runs. True when the
// installation may go on.
[[nodiscard]] bool RunDriverFileChecks(const DriverCheckContext& context);
