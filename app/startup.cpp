#include "app/startup.h"

#include "services/environment.h"
#include "services/paths.h"
#include "services/shell.h"

ProgramFolders ReadProgramFolders(TOs& os) {
  return {AsFolder(os, FolderOfPath(os, RunningProgramPath(os))), AsFolder(os, ReadEnvironmentVariable(os, "windir")),
          ReadSystemDriveFolder(os)};
}

void WarnOutsideNtFamily(TOs& os, TDialogs& dialogs) {
  if (PlatformId(os) == VER_PLATFORM_WIN32_NT) return;
  dialogs.ShowMessageDialog("This tool is only intended for use on the Windows XP Operating System!",
                            MessageKind::Error, MessageButtons::Ok);
}
