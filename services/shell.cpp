#include "services/shell.h"

void ShellOpen(Os& os, HWND owner, const std::string& target) {
  os.ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

DWORD PlatformId(Os& os) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!os.GetVersionExA(&info)) return 0;
  return info.dwPlatformId;
}
