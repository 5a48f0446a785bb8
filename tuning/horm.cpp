#include "tuning/horm.h"

#include <string>

#include "services/environment.h"
#include "services/files.h"

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

}  // namespace

void EnableHorm(Os& os, Dialogs& dialogs) {
  // Taken afresh: the main window's folder may be stale.
  const std::string markerFile = ReadSystemDriveFolder(os) + "resmany.dat";
  if (dialogs.ShowMessageDialog(kConfirmation, MessageKind::Confirmation, MessageButtons::YesNo) != DialogResult::Yes) {
    return;
  }

  const FileOpResult created = CreateEmptyFile(os, markerFile);
  if (!created.succeeded) {
    dialogs.ShowMessageDialog("HORM support could not be enabled, because the file " + markerFile +
                                  " could not be created.  Error " + std::to_string(created.error),
                              MessageKind::Error, MessageButtons::Ok);
    return;
  }
  dialogs.ShowMessageDialog(kCommitReminder, MessageKind::Information, MessageButtons::Ok);
}
