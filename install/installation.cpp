#include "install/installation.h"

#include <cstring>
#include <vector>

#include "install/driver_checks.h"
#include "install/file_placement.h"
#include "install/installation_tables.h"
#include "install/upper_filters.h"
#include "services/files.h"
#include "services/registry.h"

namespace {

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

void WriteValue(Os& os, TRegistry& registry, const RegistryEntry& entry, FailedSteps& failed) {
  switch (entry.type) {
    case REG_SZ:
      registry.WriteStringValue(entry.valueName, entry.text);
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

void WriteRegistryEntries(Os& os, FailedSteps& failed) {
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
    if (keyIsOpen) WriteValue(os, registry, entry, failed);
  }
  registry.CloseKey();
}

void ShowOutcome(Dialogs& dialogs, const FailedSteps& failed, bool securityRestored, const std::string& note) {
  if (failed.Empty() && securityRestored) {
    dialogs.ShowMessageDialog("EWF installation completed successfully." + (note.empty() ? "" : "\r\r" + note),
                              MessageKind::Information, MessageButtons::Ok);
  } else if (failed.Empty()) {
    dialogs.ShowMessageDialog(
        "The EWF installation completed successfully, however an error has occured while restoring " +
            RootKeyRestoreAdvice(),
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

void InstallEwfSupport(const InstallContext& context) {
  Os& os = context.os;
  AcceptedVersions accepted;
  if (!RunDriverFileChecks({os, context.dialogs, context.FileVersionInfo, context.SourceFolder, &accepted})) return;

  const RootKeySecurityGuard guard(os, context.dialogs, context.SavedRootKeySecurity);
  if (!DisableRootKeySecurity(os, context.dialogs, context.SavedRootKeySecurity)) return;

  FailedSteps failed;
  const PlacedFiles placed = PlaceDriverFiles(context, accepted, failed);
  if (!placed.go) return;  // the guard puts the key's security back

  // A driver registered as a boot-start volume filter without its file would stop Windows from starting.
  const std::string driver = FolderOf(context, DriverFileOfService.folder) + DriverFileOfService.target;
  const FileLookup driverFound = LookForFile(os, driver);
  if (driverFound.present) {
    WriteRegistryEntries(os, failed);
  } else if (driverFound.error) {
    failed.Add("Looking for " + driver + " failed, so no registry entries were written.", driverFound.error);
  } else {
    failed.Add("No registry entries were written, because " + driver + " is not present.");
  }

  const bool restored = RestoreRootKeySecurity(os, context.dialogs, context.SavedRootKeySecurity);
  ShowOutcome(context.dialogs, failed, restored, placed.note);
}
