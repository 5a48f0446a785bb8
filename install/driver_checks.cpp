#include "install/driver_checks.h"

#include <tuple>

#include "services/concat.h"
#include "services/files.h"

namespace {

std::string OldFileWarning(const std::string& fileName, const FileVersionParts& found,
                           const FileVersionParts& minimum) {
  const char* const advice =
      "\r\rIf you retrieved this file from the Repositories directory of a Windows XP Embedded SP2 installation, "
      "you likely copied one of the older versions.  "
      "There are multiple versions of the file within the Repositories directory, so you must make sure you get "
      "the newest version you can find.  "
      "\r\rUsing older versions of this file is known to cause serious issues, so you should only continue if you "
      "are certain you know what you are doing."
      "\r\rAre you sure you want to continue with this old file?";
  return Concat({"Although the file \"", fileName,
                 "\" was found in the current directory, it appears to be an old version of the file.",
                 "\r\rVersion found: ", FormatFileVersion(found),
                 "\rMinimum version required: ", FormatFileVersion(minimum), advice});
}

}  // namespace

bool CheckDriverFilesPresent(TOs& os, const std::string& sourceFolder) {
  for (const DriverFile& file : kDriverFiles) {
    if (!FileIsPresent(os, sourceFolder + file.Name)) return false;
  }
  return true;
}

bool IsVersionAtLeast(const FileVersionParts& minimum, const FileVersionParts& found) {
  return std::tie(found.Major, found.Minor, found.Release, found.Build) >=
         std::tie(minimum.Major, minimum.Minor, minimum.Release, minimum.Build);
}

InstalledCopy ExamineInstalledCopy(TOs& os, TVersionInfo& FileVersionInfo, const std::string& target,
                                   const DriverFile& file, const AcceptedVersions& accepted) {
  const FileLookup found = LookForFile(os, target);
  if (!found.Present) return {false, found.Error, 0, ""};
  const ContentCheck check = CheckFileContents(os, target, file.Kind);
  if (check.Error) return {true, 0, check.Error, ""};
  if (!check.Problem.empty()) return {true, 0, 0, check.Problem};
  return {true, 0, 0, InstalledVersionProblem(FileVersionInfo, target, file, accepted)};
}

std::string FormatFileVersion(const FileVersionParts& version) {
  return Concat({DecimalText(version.Major), ".", DecimalText(version.Minor), ".", DecimalText(version.Release), ".",
                 DecimalText(version.Build)});
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
  for (const DriverFile& file : kDriverFiles) {
    if (file.Gate == VersionGate::None) continue;
    const std::optional<FileVersionParts> read = VersionOf(FileVersionInfo, sourceFolder + file.Name);
    if (accepted) (*accepted)[SlotOf(file)] = read;
    if (!read) {
      if (file.Gate == VersionGate::RequiresVersion) return false;
      continue;
    }
    const FileVersionParts found = *read;
    if (IsVersionAtLeast(file.Minimum, found)) continue;
    // Escape and the close box answer Cancel, which refuses like No.
    if (dialogs.ShowMessageDialog(OldFileWarning(file.Name, found, file.Minimum), MessageKind::Warning,
                                  MessageButtons::YesNo) != DialogResult::Yes) {
      return false;
    }
  }
  return true;
}

bool HasAcceptedVersion(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                        const AcceptedVersions& accepted) {
  if (file.Gate == VersionGate::None) return true;
  return SameVersion(VersionOf(FileVersionInfo, path), accepted[SlotOf(file)]);
}

std::string InstalledVersionProblem(TVersionInfo& FileVersionInfo, const std::string& path, const DriverFile& file,
                                    const AcceptedVersions& accepted) {
  if (file.Gate == VersionGate::None) return std::string();
  const std::optional<FileVersionParts> found = VersionOf(FileVersionInfo, path);
  if (!found) {
    if (file.Gate == VersionGate::VersionOptional) return std::string();
    return "its version cannot be read";
  }
  if (IsVersionAtLeast(file.Minimum, *found) || SameVersion(found, accepted[SlotOf(file)])) return std::string();
  // A resource without its fixed information reads as 0.0.0.0, which is no version the file has.
  if (FileVersionInfo.FixedInfo().dwSignature != VS_FFI_SIGNATURE) return "its version cannot be read";
  return Concat({"it is version ", FormatFileVersion(*found), ", older than ", FormatFileVersion(file.Minimum)});
}

size_t SlotOf(const DriverFile& file) {
  return static_cast<size_t>(&file - kDriverFiles);
}

bool CheckDriverFileContents(TOs& os, TDialogs& dialogs, const std::string& sourceFolder, CheckedContents* checked) {
  for (const DriverFile& file : kDriverFiles) {
    const std::string path = sourceFolder + file.Name;
    ContentCheck check = CheckFileContents(os, path, file.Kind);
    if (check.Fits()) {
      if (checked) (*checked)[SlotOf(file)] = std::move(check.Bytes);
      continue;
    }
    dialogs.ShowMessageDialog(ContentProblemText(path, check), MessageKind::Error, MessageButtons::Ok);
    return false;
  }
  return true;
}

bool RunDriverFileChecks(const DriverCheckContext& context) {
  if (!CheckDriverFilesPresent(context.Os, context.SourceFolder)) {
    context.Dialogs.ShowMissingFilesDialog();
    return false;
  }
  if (!CheckDriverFileContents(context.Os, context.Dialogs, context.SourceFolder, context.Checked)) return false;
  return CheckDriverFileVersions(context.Dialogs, context.FileVersionInfo, context.SourceFolder, context.Accepted);
}
