#include "install/driver_checks.h"

#include <tuple>

#include "services/files.h"

namespace {

std::string OldFileWarning(const std::string& fileName, const FileVersionParts& found,
                           const FileVersionParts& minimum) {
  return "Although the file \"" + fileName +
         "\" was found in the current directory, it appears to be an old version of the file."
         "\r\rVersion found: " +
         FormatFileVersion(found) + "\rMinimum version required: " + FormatFileVersion(minimum) +
         "\r\rIf you retrieved this file from the Repositories directory of a Windows XP Embedded SP2 installation, "
         "you likely copied one of the older versions.  "
         "There are multiple versions of the file within the Repositories directory, so you must make sure you get "
         "the newest version you can find.  "
         "\r\rUsing older versions of this file is known to cause serious issues, so you should only continue if you "
         "are certain you know what you are doing."
         "\r\rAre you sure you want to continue with this old file?";
}

}  // namespace

bool CheckDriverFilesPresent(Os& os, const std::string& sourceFolder) {
  for (const DriverFile& file : DriverFiles) {
    if (!FileIsPresent(os, sourceFolder + file.name)) return false;
  }
  return true;
}

bool IsVersionAtLeast(const FileVersionParts& minimum, const FileVersionParts& found) {
  return std::tie(found.Major, found.Minor, found.Release, found.Build) >=
         std::tie(minimum.Major, minimum.Minor, minimum.Release, minimum.Build);
}

std::string FormatFileVersion(const FileVersionParts& version) {
  return std::to_string(version.Major) + "." + std::to_string(version.Minor) + "." + std::to_string(version.Release) +
         "." + std::to_string(version.Build);
}

bool CheckDriverFileVersions(Dialogs& dialogs, TVersionInfo& FileVersionInfo, const std::string& sourceFolder) {
  for (const DriverFile& file : DriverFiles) {
    if (file.gate == VersionGate::None) continue;
    FileVersionInfo.SetFileName(sourceFolder + file.name);
    if (!FileVersionInfo.HasVersionData()) {
      if (file.gate == VersionGate::RequiresVersion) return false;
      continue;
    }
    const FileVersionParts found = FileVersionInfo.GetFileVersion();
    if (IsVersionAtLeast(file.minimum, found)) continue;
    // Escape and the close box answer Cancel, which refuses like No.
    if (dialogs.ShowMessageDialog(OldFileWarning(file.name, found, file.minimum), MessageKind::Warning,
                                  MessageButtons::YesNo) != DialogResult::Yes) {
      return false;
    }
  }
  return true;
}

bool RunDriverFileChecks(const DriverCheckContext& context) {
  if (!CheckDriverFilesPresent(context.os, context.SourceFolder)) {
    context.dialogs.ShowMissingFilesDialog();
    return false;
  }
  return CheckDriverFileVersions(context.dialogs, context.FileVersionInfo, context.SourceFolder);
}
