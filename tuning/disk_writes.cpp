#include "tuning/disk_writes.h"

#include <string>

#include "services/registry.h"

namespace {

struct DiskWriteSetting {
  const char* key;  // absolute under HKEY_LOCAL_MACHINE
  const char* valueName;
  DWORD type;  // REG_SZ: text is written; REG_DWORD: number is written
  const char* text;
  DWORD number;
};

constexpr DiskWriteSetting kDiskWriteSettings[] = {
    {"\\SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", REG_SZ, "N", 0},
    {"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout", REG_DWORD, nullptr, 0},
    {"\\SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate", REG_DWORD, nullptr, 1},
    {"\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters", "EnablePrefetcher",
     REG_DWORD, nullptr, 0},
};

void WriteSetting(TRegistry& registry, const DiskWriteSetting& setting) {
  if (setting.type == REG_SZ) {
    registry.WriteStringValue(setting.valueName, setting.text);
  } else {
    registry.WriteDwordValue(setting.valueName, setting.number);
  }
}

}  // namespace

void MinimizeDiskWrites(Os& os, Dialogs& dialogs) {
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);

  // Settings whose keys could not be opened are still named to the user: a
  // success message over a half-done job would mislead.
  std::string notApplied;
  for (const DiskWriteSetting& setting : kDiskWriteSettings) {
    if (!registry.OpenKey(setting.key, true)) {
      notApplied += std::string("\r") + "HKEY_LOCAL_MACHINE" + setting.key + "  (" + setting.valueName + ")";
      continue;
    }
    WriteSetting(registry, setting);
    registry.CloseKey();
  }

  if (notApplied.empty()) {
    dialogs.ShowMessageDialog("Changes successfully applied.", MessageKind::Information, MessageButtons::Ok);
  } else {
    dialogs.ShowMessageDialog(
        "Some of the changes could not be applied, because their registry keys could not be opened or created:\r" +
            notApplied,
        MessageKind::Error, MessageButtons::Ok);
  }
}
