#include "tuning/disk_writes.h"

#include <string>

#include "services/registry.h"
#include "services/write_filter_state.h"

namespace {

constexpr RegistryValueRow kDiskWriteSettings[] = {
    {"\\SOFTWARE\\Microsoft\\Dfrg\\BootOptimizeFunction", "Enable", REG_SZ, "N", 0},
    {"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OptimalLayout", "EnableAutoLayout", REG_DWORD, nullptr, 0},
    {"\\SYSTEM\\CurrentControlSet\\Control\\FileSystem", "NtfsDisableLastAccessUpdate", REG_DWORD, nullptr, 1},
    {"\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management\\PrefetchParameters", "EnablePrefetcher",
     REG_DWORD, nullptr, 0},
};

}  // namespace

void MinimizeDiskWrites(TOs& os, TDialogs& dialogs, const std::string& windowsFolder) {
  if (!ConfirmChangesWillLast(os, dialogs, windowsFolder)) return;
  TRegistry registry(os);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);

  // Settings whose keys could not be opened are still named to the user: a
  // success message over a half-done job would mislead.
  TStepLog log;
  std::string notApplied;
  for (const SkippedKey& skipped : WriteRegistryRows(registry, kDiskWriteSettings, log)) {
    notApplied += Concat({"\r", MachineKeyName(skipped.FirstRow->Key), "  (", skipped.FirstRow->ValueName, ")"});
  }
  if (!log.ValueWriteReport().empty()) {
    dialogs.ReportError(log.ValueWriteReport());
    return;
  }

  if (!notApplied.empty()) {
    dialogs.ShowMessageDialog(
        "Some of the changes could not be applied, because their registry keys could not be opened or created:\r" +
            notApplied + "\r\rLog on as an administrator, then click Minimize Disk Writes again.",
        MessageKind::Error, MessageButtons::Ok);
  } else if (log.AnyFailed()) {
    dialogs.ShowMessageDialog(
        "The changes were applied, but may not last if the power fails before Windows writes "
        "them to disk:" +
            log.FailedText() + "\r\rClick Minimize Disk Writes again.",
        MessageKind::Error, MessageButtons::Ok);
  } else {
    dialogs.ShowMessageDialog("Changes successfully applied.", MessageKind::Information, MessageButtons::Ok);
  }
}
