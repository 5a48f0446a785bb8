#include "install/installation.h"

#include <cstring>
#include <vector>

#include "install/driver_checks.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "services/files.h"
#include "services/registry.h"

namespace {

// The steps that went wrong, in the words the user reads.
class FailedSteps {
 public:
  void Add(const std::string& line) { lines_.push_back(line); }
  void Add(const std::string& line, DWORD error) { Add(line + "  Error " + std::to_string(error)); }
  bool Empty() const { return lines_.empty(); }
  std::string Text() const {
    std::string text;
    for (const std::string& line : lines_) text += "\r" + line;
    return text;
  }

 private:
  std::vector<std::string> lines_;
};

// An installed file or an existing backup refuses on purpose: it is kept.
bool RefusedBecauseItExists(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// Moves `backup` back to `target`. When the rename is refused (the backup held
// open without delete sharing, say), a copy still brings the file back; the
// backup then stays as well.
void PutBack(Os& os, const std::string& backup, const std::string& target, FailedSteps& failed) {
  const FileOpResult renamed = RenameFile(os, backup, target);
  if (renamed.succeeded) return;
  const FileOpResult copied = CopyFileTo(os, backup, target, false);
  if (copied.succeeded) {
    failed.Add("Renaming " + backup + " back to " + target + " failed, so it was copied back instead.", renamed.error);
    return;
  }
  failed.Add("Renaming " + backup + " back to " + target + " failed.", renamed.error);
  failed.Add("Copy " + backup + " to " + target + " before you restart the computer.");
}

const std::string& FolderOf(const InstallContext& context, InstallFolder folder) {
  return folder == InstallFolder::Windows ? context.WindowsFolder : context.Boot.BootLoaderFolder;
}

void CopyDriverFile(const InstallContext& context, const DriverFileCopy& copy, FailedSteps& failed) {
  Os& os = context.os;
  const std::string source = context.SourceFolder + copy.source;
  const std::string target = FolderOf(context, copy.folder) + copy.target;
  const FileLookup sourceFound = LookForFile(os, source);
  if (!sourceFound.present) {
    failed.Add("Copying " + source + " to " + target + " failed.",
               sourceFound.error ? sourceFound.error : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    return;
  }

  const std::string backup = copy.backup ? FolderOf(context, copy.folder) + copy.backup : std::string();
  bool movedAside = false;
  if (copy.backup) {
    // Not knowing whether there is an original to keep is no licence to overwrite it.
    const FileLookup targetFound = LookForFile(os, target);
    if (targetFound.error) {
      failed.Add("Looking for " + target + " failed, so it was not replaced.", targetFound.error);
      return;
    }
    if (targetFound.present) {
      const FileOpResult renamed = RenameFile(os, target, backup);
      movedAside = renamed.succeeded;
      if (!renamed.succeeded && !RefusedBecauseItExists(renamed.error)) {
        // Without a backup, overwriting would lose the original for good.
        failed.Add("Renaming " + target + " to " + backup + " failed, so " + target + " was not replaced.",
                   renamed.error);
        return;
      }
    }
  }

  const FileOpResult copied = CopyFileTo(os, source, target, copy.failIfExists);
  if (copied.succeeded) return;
  if (!copy.failIfExists || !RefusedBecauseItExists(copied.error)) {
    failed.Add("Copying " + source + " to " + target + " failed.", copied.error);
  }
  // Never leave the machine without the file this run moved aside (the boot loader).
  if (movedAside) PutBack(os, backup, target, failed);
}

void MoveFileAside(const InstallContext& context, const FileMovedAside& file, FailedSteps& failed) {
  const std::string from = FolderOf(context, file.folder) + file.name;
  const std::string to = FolderOf(context, file.folder) + file.newName;
  const FileLookup found = LookForFile(context.os, from);
  if (found.error) failed.Add("Looking for " + from + " failed, so it was not renamed to " + to + ".", found.error);
  if (!found.present) return;
  const FileOpResult renamed = RenameFile(context.os, from, to);
  if (!renamed.succeeded && !RefusedBecauseItExists(renamed.error)) {
    failed.Add("Renaming " + from + " to " + to + " failed.", renamed.error);
  }
}

// The value's type and data; ERROR_FILE_NOT_FOUND when there is none.
LONG ReadValue(Os& os, HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data) {
  // The value may grow between asking its size and reading it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    LONG result = os.RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    data->assign(size + 1, 0);
    result = os.RegQueryValueExA(key, name, nullptr, type, data->data(), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result == ERROR_SUCCESS) data->resize(size);
    return result;
  }
  return ERROR_MORE_DATA;
}

std::string FullKeyName(const char* key) {
  return std::string("HKEY_LOCAL_MACHINE") + key;
}

// Merges the write filter into the list already there; the list is written
// straight to the open key as REG_MULTI_SZ.
void WriteFilterList(Os& os, TRegistry& registry, const RegistryEntry& entry, FailedSteps& failed) {
  const std::string valueName = "the \"" + std::string(entry.valueName) + "\" value of " + FullKeyName(entry.key);
  DWORD type = REG_NONE;
  std::vector<BYTE> existing;
  const LONG readResult = ReadValue(os, registry.CurrentKey(), entry.valueName, &type, &existing);
  if (readResult == ERROR_FILE_NOT_FOUND) {
    type = REG_NONE;
    existing.clear();
  } else if (readResult != ERROR_SUCCESS) {
    // Without the present list a write would drop the filters in it.
    failed.Add("Reading " + valueName + " failed.", static_cast<DWORD>(readResult));
    return;
  }
  const std::vector<BYTE> filters = UpperFiltersWithEwf(type, existing);
  if (const LONG error = os.RegSetValueExA(registry.CurrentKey(), entry.valueName, 0, REG_MULTI_SZ, filters.data(),
                                           static_cast<DWORD>(filters.size()))) {
    failed.Add("Writing " + valueName + " failed.", static_cast<DWORD>(error));
  }
}

void WriteValue(Os& os, TRegistry& registry, const RegistryEntry& entry, const std::string& protectedArcName,
                FailedSteps& failed) {
  switch (entry.type) {
    case REG_SZ:
      registry.WriteStringValue(entry.valueName, entry.text ? entry.text : protectedArcName);
      break;
    case REG_DWORD:
      registry.WriteDwordValue(entry.valueName, entry.number);
      break;
    default:
      WriteFilterList(os, registry, entry, failed);
      break;
  }
}

bool Contains(const std::vector<const char*>& keys, const char* key) {
  for (const char* k : keys) {
    if (std::strcmp(k, key) == 0) return true;
  }
  return false;
}

void WriteRegistryEntries(Os& os, const std::string& protectedArcName, FailedSteps& failed) {
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);

  std::vector<const char*> openedKeys;
  const char* key = nullptr;  // of the rows being walked
  bool keyIsOpen = false;
  for (const RegistryEntry& entry : RegistryEntries) {
    if (!key || std::strcmp(entry.key, key) != 0) {
      registry.CloseKey();
      key = entry.key;
      keyIsOpen = false;
      if (entry.onlyAfterKey && !Contains(openedKeys, entry.onlyAfterKey)) {
        failed.Add("The \"" + std::string(entry.valueName) + "\" value of " + FullKeyName(entry.key) +
                   " was left unchanged, because the registry key " + FullKeyName(entry.onlyAfterKey) +
                   " could not be written.");
        continue;
      }
      keyIsOpen = registry.OpenKey(entry.key, true);
      if (!keyIsOpen) {
        failed.Add("Opening the registry key " + FullKeyName(entry.key) + " failed.",
                   static_cast<DWORD>(registry.LastOpenResult()));
        continue;
      }
      openedKeys.push_back(entry.key);
    }
    if (keyIsOpen) WriteValue(os, registry, entry, protectedArcName, failed);
  }
  registry.CloseKey();
}

void ShowOutcome(Dialogs& dialogs, const FailedSteps& failed, bool securityRestored, const std::string& note) {
  const std::string noteText = note.empty() ? std::string() : "\r\r" + note;
  if (failed.Empty() && securityRestored) {
    dialogs.ShowMessageDialog("EWF installation completed successfully." + noteText, MessageKind::Information,
                              MessageButtons::Ok);
  } else if (failed.Empty()) {
    dialogs.ShowMessageDialog(
        "The EWF installation completed successfully, however an error has occured while restoring " +
            RootKeyRestoreAdvice() + noteText,
        MessageKind::Information, MessageButtons::Ok);
  } else {
    std::string text = "The EWF installation did not complete successfully.  These steps failed:\r" + failed.Text();
    if (!securityRestored) {
      text += "\r\rIn addition, an error has occured while restoring " + RootKeyRestoreAdvice();
    }
    dialogs.ShowMessageDialog(text, MessageKind::Error, MessageButtons::Ok);
  }
}

}  // namespace

void InstallEwfSupport(const InstallContext& given) {
  if (!RunDriverFileChecks({given.os, given.dialogs, given.FileVersionInfo, given.SourceFolder})) return;
  InstallContext context = given;
  if (context.Boot.BootLoaderFolder.empty()) context.Boot = FindBootVolumes(context.os, context.SystemDriveFolder);
  Os& os = context.os;

  const RootKeySecurityGuard guard(os, context.dialogs, context.SavedRootKeySecurity);
  if (!DisableRootKeySecurity(os, context.dialogs, context.SavedRootKeySecurity)) return;

  FailedSteps failed;
  for (const DriverFileCopy& copy : DriverFileCopies) CopyDriverFile(context, copy, failed);
  for (const FileMovedAside& file : FilesMovedAside) MoveFileAside(context, file, failed);

  // A driver registered as a boot-start volume filter without its file would stop Windows from starting.
  const std::string driver = FolderOf(context, DriverFileOfService.folder) + DriverFileOfService.target;
  const FileLookup driverFound = LookForFile(os, driver);
  if (driverFound.present) {
    WriteRegistryEntries(os, context.Boot.ProtectedArcName, failed);
  } else if (driverFound.error) {
    failed.Add("Looking for " + driver + " failed, so no registry entries were written.", driverFound.error);
  } else {
    failed.Add("No registry entries were written, because " + driver + " is not present.");
  }

  const bool restored = RestoreRootKeySecurity(os, context.dialogs, context.SavedRootKeySecurity);
  ShowOutcome(context.dialogs, failed, restored, context.Boot.Note);
}
