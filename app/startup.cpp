#include "app/startup.h"

#include "services/concat.h"
#include "services/environment.h"
#include "services/paths.h"
#include "services/shell.h"

ProgramFolders ReadProgramFolders(TOs& os) {
  return {AsFolder(os, FolderOfPath(os, RunningProgramPath(os))), AsFolder(os, ReadEnvironmentVariable(os, "windir")),
          ReadSystemDriveFolder(os)};
}

bool ProgramFolderCanBeNamed(TOs& os, TDialogs& dialogs) {
  const std::string path = RunningProgramPath(os);
  if (!HasUnnamableCharacters(path)) return true;
  dialogs.ShowMessageDialog(Concat({"Stillvane cannot work from ", FolderOfPath(os, path),
                                    ": Windows gives that name with \"?\" for characters it cannot pass on.\r\rMove "
                                    "Stillvane and the files beside it to a folder with a plain name, then start it "
                                    "again."}),
                            MessageKind::Error, MessageButtons::Ok);
  return false;
}

void WarnOutsideNtFamily(TOs& os, TDialogs& dialogs) {
  if (PlatformId(os) == VER_PLATFORM_WIN32_NT) return;
  dialogs.ShowMessageDialog("This tool is only intended for use on the Windows XP Operating System!",
                            MessageKind::Error, MessageButtons::Ok);
}
