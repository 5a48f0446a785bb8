#include "tuning/horm.h"

#include <string>

#include "services/boot_volumes.h"
#include "services/environment.h"
#include "services/files.h"
#include "services/step_failure.h"

namespace {

const char kConfirmation[] =
    "It is recommended that you only enable HORM once you have fully set up your system and you are certain "
    "everything is working properly."
    "\r\r"
    "Are you sure you want to enable HORM support?";

const char kCommitReminder[] =
    "HORM support successfully enabled.  If EWF protection is currently enabled, you MUST perform"
    "\r"
    "a commit, otherwise the changes that were just made will be lost when you next reboot.";

// HORM resumes from the hibernation file; without hibernation the marker
// does nothing. A paragraph of its own after the reminder.
const char kHibernationOff[] =
    "\r\r"
    "Hibernation is turned off on this computer, and HORM only works when it is on."
    "\r"
    "To turn it on, open Control Panel, then Power Options, and on the Hibernate tab select Enable hibernation."
    "\r"
    "If there is no Hibernate tab, Windows cannot hibernate this computer, and HORM cannot be used.";

// An existing marker is emptied with the hidden and system attributes it
// has: CREATE_ALWAYS refuses such a file asked for plain attributes.
DWORD MarkerAttributes(TOs& os, const std::string& markerFile) {
  const DWORD existing = os.GetFileAttributesA(markerFile.c_str());
  const DWORD kept = existing == INVALID_FILE_ATTRIBUTES || (existing & FILE_ATTRIBUTE_DIRECTORY)
                         ? 0
                         : existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  return kept ? kept : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

bool HibernationIsOn(TOs& os) {
  SYSTEM_POWER_CAPABILITIES capabilities{};
  if (!os.GetPwrCapabilities(&capabilities)) return true;
  return capabilities.SystemS4 && capabilities.HiberFilePresent;
}

void EnableHorm(TOs& os, TDialogs& dialogs) {
  // Taken afresh: the main window's folder may be stale. The boot loader
  // looks for the marker beside itself.
  std::string unmappedDevice;
  std::string failure;
  const std::string markerFile =
      FindBootLoaderFolder(os, ReadSystemDriveFolder(os), &unmappedDevice, &failure) + "resmany.dat";
  if (dialogs.ShowMessageDialog(kConfirmation, MessageKind::Confirmation, MessageButtons::YesNo) != DialogResult::Yes) {
    return;
  }
  // A marker anywhere but beside the boot loader would do nothing.
  if (!failure.empty()) {
    dialogs.ShowMessageDialog(Concat({"HORM support could not be enabled, because Windows could not tell which "
                                      "partition this computer starts from:\r\r",
                                      failure}),
                              MessageKind::Error, MessageButtons::Ok);
    return;
  }

  if (const DWORD error = CreateEmptyFile(os, markerFile, MarkerAttributes(os, markerFile))) {
    dialogs.ShowMessageDialog(
        Concat({WithErrorCode(Concat({"HORM support could not be enabled, because the file ", markerFile,
                                      " could not be created."}),
                              error),
                "\r\rLog on as an administrator, make sure that the file is not read-only or in use, then click "
                "Enable HORM again."}),
        MessageKind::Error, MessageButtons::Ok);
    return;
  }
  // The boot loader looks for the marker on a partition the file could not be put on.
  const bool mayNotBeUsed = !unmappedDevice.empty();
  std::string reminder =
      mayNotBeUsed
          ? Concat({"The file ", markerFile, " was created, but HORM may not use it: Windows names ", unmappedDevice,
                    " as the partition this computer starts from, and no drive letter stands for it."
                    "\r\r"
                    "Give that partition a drive letter, then click Enable HORM again.  If EWF protection is "
                    "currently enabled, perform a commit afterwards, otherwise the change will be lost when you "
                    "next reboot."})
          : kCommitReminder;
  if (!HibernationIsOn(os)) reminder += kHibernationOff;
  dialogs.ShowMessageDialog(reminder, mayNotBeUsed ? MessageKind::Warning : MessageKind::Information,
                            MessageButtons::Ok);
}
