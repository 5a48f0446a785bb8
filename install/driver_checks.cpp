#include "install/driver_checks.h"

#include <cstring>
#include <tuple>

#include "install/failed_steps.h"
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

bool CheckDriverFilesPresent(TOs& os, const std::string& sourceFolder) {
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

namespace {

std::optional<FileVersionParts> VersionOf(TVersionInfo& FileVersionInfo, const std::string& path) {
  FileVersionInfo.SetFileName(path);
  if (!FileVersionInfo.HasVersionData()) return std::nullopt;
  return FileVersionInfo.GetFileVersion();
}

bool SameVersion(const std::optional<FileVersionParts>& a, const std::optional<FileVersionParts>& b) {
  if (!a || !b) return !a && !b;
  return std::tie(a->Major, a->Minor, a->Release, a->Build) == std::tie(b->Major, b->Minor, b->Release, b->Build);
}

}  // namespace

bool CheckDriverFileVersions(TDialogs& dialogs, TVersionInfo& FileVersionInfo, const std::string& sourceFolder,
                             AcceptedVersions* accepted) {
  for (const DriverFile& file : DriverFiles) {
    if (file.gate == VersionGate::None) continue;
    const std::optional<FileVersionParts> read = VersionOf(FileVersionInfo, sourceFolder + file.name);
    if (accepted) (*accepted)[&file - DriverFiles] = read;
    if (!read) {
      if (file.gate == VersionGate::RequiresVersion) return false;
      continue;
    }
    const FileVersionParts found = *read;
    if (IsVersionAtLeast(file.minimum, found)) continue;
    // Escape and the close box answer Cancel, which refuses like No.
    if (dialogs.ShowMessageDialog(OldFileWarning(file.name, found, file.minimum), MessageKind::Warning,
                                  MessageButtons::YesNo) != DialogResult::Yes) {
      return false;
    }
  }
  return true;
}

bool HasAcceptedVersion(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                        const AcceptedVersions& accepted) {
  if (file.gate == VersionGate::None) return true;
  return SameVersion(VersionOf(FileVersionInfo, path), accepted[&file - DriverFiles]);
}

std::string InstalledVersionProblem(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                                    const AcceptedVersions& accepted) {
  if (file.gate == VersionGate::None) return std::string();
  const std::optional<FileVersionParts> found = VersionOf(FileVersionInfo, path);
  if (!found) {
    if (file.gate == VersionGate::VersionOptional) return std::string();
    return "its version cannot be read";
  }
  if (IsVersionAtLeast(file.minimum, *found) || SameVersion(found, accepted[&file - DriverFiles])) return std::string();
  return Concat({"it is version ", FormatFileVersion(*found), ", older than ", FormatFileVersion(file.minimum)});
}

const DriverFile& DriverFileNamed(const char* name) {
  for (const DriverFile& file : DriverFiles) {
    if (std::strcmp(file.name, name) == 0) return file;
  }
  return DriverFiles[0];
}

bool CheckDriverFileContents(TOs& os, TDialogs& dialogs, const std::string& sourceFolder, CheckedContents* checked) {
  for (const DriverFile& file : DriverFiles) {
    const std::string path = sourceFolder + file.name;
    ContentCheck check = CheckFileContents(os, path, file.kind);
    if (check.Fits()) {
      if (checked) (*checked)[&file - DriverFiles] = std::move(check.bytes);
      continue;
    }
    dialogs.ShowMessageDialog(ContentProblemText(path, check), MessageKind::Error, MessageButtons::Ok);
    return false;
  }
  return true;
}

bool RunDriverFileChecks(const DriverCheckContext& context) {
  if (!CheckDriverFilesPresent(context.os, context.SourceFolder)) {
    context.dialogs.ShowMissingFilesDialog();
    return false;
  }
  if (!CheckDriverFileContents(context.os, context.dialogs, context.SourceFolder, context.checked)) return false;
  return CheckDriverFileVersions(context.dialogs, context.FileVersionInfo, context.SourceFolder, context.accepted);
}
