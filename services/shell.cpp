#include "services/shell.h"

void ShellOpen(TOs& os, HWND owner, const std::string& target) {
  os.ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

DWORD PlatformId(TOs& os) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!os.GetVersionExA(&info)) return 0;
  return info.dwPlatformId;
}
