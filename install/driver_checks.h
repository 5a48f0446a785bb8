// The checks before an installation: are the three driver files next to the
// program, and are the driver and its manager recent enough?
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "install/file_contents.h"
#include "install/install_dialogs.h"
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

enum class InstallFolder { Windows, SystemDrive };

// A driver file: how it is checked in the program's folder, and where the
// installation puts it.
struct DriverFile {
  const char* Name;
  VersionGate Gate;
  FileVersionParts Minimum;
  FileKind Kind;         // what its contents must be
  InstallFolder Folder;  // SystemDrive: the root of the partition the computer starts from
  const char* Target;    // below `Folder`
  bool FailIfExists;     // a whole installed copy of an accepted version is never replaced
  bool ReplacesLoader;   // the boot loader: what is there is replaced, its bytes kept under a backup name
};

// Looked for in the source folder, examined and placed, in this order.
inline constexpr DriverFile kDriverFiles[] = {
    {"ewf.sys", VersionGate::RequiresVersion, MinEwfSysVersion, FileKind::KernelDriver, InstallFolder::Windows,
     "system32\\drivers\\ewf.sys", true, false},
    {"ewfmgr.exe", VersionGate::VersionOptional, MinEwfMgrVersion, FileKind::Program, InstallFolder::Windows,
     "system32\\ewfmgr.exe", true, false},
    {"ewfntldr",
     VersionGate::None,
     {0, 0, 0, 0},
     FileKind::BootLoader,
     InstallFolder::SystemDrive,
     "ntldr",
     false,
     true},
};
inline constexpr size_t kDriverFileCount = std::size(kDriverFiles);
// The file that must be in place before the driver is registered.
inline constexpr const DriverFile& kDriverOfService = kDriverFiles[0];
// The boot loader.
inline constexpr const DriverFile& kBootLoaderFile = kDriverFiles[2];

// The version the gate read of each driver file, by its place in DriverFiles,
// as the user accepted it (nullopt: it had none, and that was accepted).
using AcceptedVersions = std::array<std::optional<FileVersionParts>, kDriverFileCount>;
// The bytes of each driver file as the content check read and passed them,
// by its place in DriverFiles: what is placed must be exactly these.
using CheckedContents = std::array<std::vector<BYTE>, kDriverFileCount>;

// The place of `file`, one of DriverFiles, in AcceptedVersions and CheckedContents.
size_t SlotOf(const DriverFile& file);

// True when every driver file is present in sourceFolder (which ends with a
// backslash); false at the first one missing. Shows nothing.
[[nodiscard]] bool CheckDriverFilesPresent(TOs& os, const std::string& sourceFolder);

// Compares Major, then Minor, Release and Build as unsigned 16-bit numbers.
bool IsVersionAtLeast(const FileVersionParts& minimum, const FileVersionParts& found);
// "Major.Minor.Release.Build" in decimal, e.g. "2.0.927.0".
std::string FormatFileVersion(const FileVersionParts& version);

// Points FileVersionInfo at each versioned driver file in turn (it keeps the
// last one) and warns about an old one; the user may overrule the warning.
// False when the installation must not go on: ewf.sys has no readable
// version (no message), or an old-file warning was not answered Yes. When
// `accepted` is given it receives what was read of each versioned file.
[[nodiscard]] bool CheckDriverFileVersions(TDialogs& dialogs, TVersionInfo& FileVersionInfo,
                                           const std::string& sourceFolder, AcceptedVersions* accepted = nullptr);

// Whether the version read now of `path` is the one the gate accepted for
// `file`, one of DriverFiles; true for a file the gate does not examine.
[[nodiscard]] bool HasAcceptedVersion(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                                      const AcceptedVersions& accepted);
// Whether `path`, an installed copy of `file`, may stay: at least the
// minimum version or the one the gate accepted (or, for a file whose version
// is optional, none). Empty when it may, else what is wrong as "it is ..."
// or "its version cannot be read".
std::string InstalledVersionProblem(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                                    const AcceptedVersions& accepted);

// An installed copy of `file` at `target`: whether it is there, and whether
// it may stay (whole, of the right kind and an accepted version), or why
// that is not known.
struct InstalledCopy {
  bool Present;
  DWORD LookUpError;    // looking for it failed with this
  DWORD ReadError;      // reading it failed with this
  std::string Problem;  // when present: why it may not stay, empty when it may
};
InstalledCopy ExamineInstalledCopy(TOs& os, TVersionInfo& FileVersionInfo, const std::string& target,
                                   const DriverFile& file, const AcceptedVersions& accepted);

// Reads each driver file's contents (CheckFileContents); at the first that
// is not what its kind must be, shows an error message naming it and what is
// wrong, and returns false. When `checked` is given it receives the bytes read.
[[nodiscard]] bool CheckDriverFileContents(TOs& os, TDialogs& dialogs, const std::string& sourceFolder,
                                           CheckedContents* checked = nullptr);

struct DriverCheckContext {
  TOs& Os;
  TInstallDialogs& Dialogs;
  TVersionInfo& FileVersionInfo;         // the main window's reader
  std::string SourceFolder;              // ends with a backslash
  AcceptedVersions* Accepted = nullptr;  // receives what the version gate read
  CheckedContents* Checked = nullptr;    // receives the bytes the content check passed
};

// The first steps of an installation: when a file is missing the
// missing-files dialog is shown, then the contents are checked, then the
// version gate runs. True when the installation may go on.
[[nodiscard]] bool RunDriverFileChecks(const DriverCheckContext& context);
