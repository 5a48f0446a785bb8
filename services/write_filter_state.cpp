#include "services/write_filter_state.h"

#include <optional>
#include <vector>

#include "services/handles.h"
#include "services/step_failure.h"

namespace {

constexpr char kServiceName[] = "ewf";
constexpr char kManager[] = "system32\\ewfmgr.exe";
// The manager answers at once; this bounds how long a hung one keeps the
// window waiting.
constexpr DWORD kManagerTimeoutMilliseconds = 10000;
// Its report is a few hundred bytes; a manager writing more than the pipe
// holds would wait for a reader and be taken for hung.
constexpr DWORD kOutputLimit = 65536;

WriteFilterState Unknown(std::string volume, std::string why) {
  return {WriteFilterProtection::Unknown, std::move(volume), std::move(why)};
}

char UpperCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (UpperCase(a[i]) != UpperCase(b[i])) return false;
  return i == a.size() && !b[i];
}

// The drive letter of a folder "X:\...", as "X:"; empty for any other form.
std::string DriveOf(const std::string& folder) {
  const char letter = UpperCase(folder.empty() ? '\0' : folder[0]);
  if (folder.size() < 3 || letter < 'A' || letter > 'Z' || folder[1] != ':' || folder[2] != '\\') return {};
  return std::string(1, letter) + ":";
}

// Off when the service is absent or stopped, On when it is loaded in any
// other state (the overlay's own state is asked next), Unknown when the
// service control manager would not say.
WriteFilterState ServiceState(TOs& os) {
  const UniqueServiceHandle manager(os, os.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    return Unknown({}, WithErrorCode("The service control manager could not be opened.", FailureCode(os)));
  }
  const UniqueServiceHandle service(os, os.OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = FailureCode(os);
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return {};
    return Unknown({}, WithErrorCode("The ewf service could not be opened.", error));
  }
  SERVICE_STATUS status = {};
  if (!os.QueryServiceStatus(service.get(), &status)) {
    return Unknown({}, WithErrorCode("The state of the ewf service could not be read.", FailureCode(os)));
  }
  if (status.dwCurrentState == SERVICE_STOPPED) return {};
  return {WriteFilterProtection::On, {}, {}};
}

// What "ewfmgr <drive>" reports on its State line: ENABLED or DISABLED.
// Nothing when there is no such line, or lines that disagree.
std::optional<bool> OverlayEnabled(const std::string& report) {
  std::optional<bool> enabled;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string::npos) end = report.size();
    const std::string line = report.substr(start, end - start);
    start = end + 1;
    const size_t nameStart = line.find_first_not_of(" \t");
    if (nameStart == std::string::npos) continue;
    const size_t nameEnd = line.find_first_of(" \t", nameStart);
    if (nameEnd == std::string::npos || !SameText(line.substr(nameStart, nameEnd - nameStart), "State")) continue;
    const size_t valueStart = line.find_first_not_of(" \t", nameEnd);
    const size_t valueEnd = line.find_last_not_of(" \t\r");
    if (valueStart == std::string::npos) return std::nullopt;
    const std::string value = line.substr(valueStart, valueEnd + 1 - valueStart);
    bool thisLine;
    if (SameText(value, "ENABLED")) {
      thisLine = true;
    } else if (SameText(value, "DISABLED")) {
      thisLine = false;
    } else {
      return std::nullopt;
    }
    if (enabled && *enabled != thisLine) return std::nullopt;
    enabled = thisLine;
  }
  return enabled;
}

// Runs the manager for the volume, hidden, its output through a pipe, and
// reads the overlay's state from it.
WriteFilterState OverlayState(TOs& os, const std::string& managerPath, const std::string& volume) {
  // Only the write end is for the manager, but inheriting the read end too
  // does no harm: nothing here waits for the pipe to close.
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!os.CreatePipe(&readEnd, &writeEnd, &inheritable, kOutputLimit)) {
    return Unknown(volume,
                   WithErrorCode("No pipe could be made to read what " + managerPath + " reports.", FailureCode(os)));
  }
  const UniqueKernelObject reader(os, readEnd);
  UniqueKernelObject writer(os, writeEnd);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  const std::string command = "\"" + managerPath + "\" " + volume;
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  PROCESS_INFORMATION started = {};
  if (!os.CreateProcessA(managerPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &started)) {
    const DWORD error = FailureCode(os);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Unknown(volume, "The ewf service is running, but its manager " + managerPath + " is not there.");
    }
    return Unknown(volume, WithErrorCode(managerPath + " could not be started.", error));
  }
  const UniqueKernelObject process(os, started.hProcess);
  const UniqueKernelObject thread(os, started.hThread);
  writer.reset();

  const DWORD waited = os.WaitForSingleObject(process.get(), kManagerTimeoutMilliseconds);
  if (waited == WAIT_TIMEOUT) {
    // Whether or not it can be ended, its answer is not known.
    (void)os.TerminateProcess(process.get(), 1);
    return Unknown(volume, managerPath + " did not finish within " +
                               std::to_string(kManagerTimeoutMilliseconds / 1000) + " seconds.");
  }
  if (waited != WAIT_OBJECT_0) {
    return Unknown(volume, WithErrorCode("Waiting for " + managerPath + " failed.", FailureCode(os)));
  }

  // The manager has ended, so all it wrote is in the pipe: read just that,
  // never waiting on a pipe that something else might still hold open.
  const std::string unread = "What " + managerPath + " reported could not be read.";
  DWORD available = 0;
  if (!os.PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr)) {
    return Unknown(volume, WithErrorCode(unread, FailureCode(os)));
  }
  std::string report(available, '\0');
  DWORD got = 0;
  while (got < available) {
    DWORD read = 0;
    if (!os.ReadFile(reader.get(), &report[got], available - got, &read, nullptr)) {
      return Unknown(volume, WithErrorCode(unread, FailureCode(os)));
    }
    if (read == 0) break;
    got += read;
  }
  report.resize(got);
  const std::optional<bool> enabled = OverlayEnabled(report);
  if (!enabled) {
    return Unknown(volume, "The report of \"ewfmgr " + volume + "\" does not say whether the filter is enabled.");
  }
  return {*enabled ? WriteFilterProtection::On : WriteFilterProtection::Off, volume, {}};
}

}  // namespace

WriteFilterState ReadWriteFilterState(TOs& os, const std::string& windowsFolder) {
  WriteFilterState service = ServiceState(os);
  const std::string volume = DriveOf(windowsFolder);
  service.Volume = volume;
  if (service.Protection != WriteFilterProtection::On) return service;
  if (volume.empty()) {
    return Unknown(volume, "The ewf service is running, and Windows does not run from a drive with a letter (" +
                               windowsFolder + "), so its manager cannot be asked about it.");
  }
  return OverlayState(os, windowsFolder + kManager, volume);
}

bool ConfirmChangesWillLast(TOs& os, TDialogs& dialogs, const std::string& windowsFolder) {
  const WriteFilterState state = ReadWriteFilterState(os, windowsFolder);
  const std::string drive = state.Volume.empty() ? std::string("the drive Windows runs from") : "drive " + state.Volume;
  switch (state.Protection) {
    case WriteFilterProtection::Off:
      return true;
    case WriteFilterProtection::On:
      dialogs.ShowMessageDialog(
          "Nothing was changed, because the Enhanced Write Filter is protecting " + drive +
              " at the moment, so whatever is written there would last only until the computer restarts.\r\r"
              "To turn the filter off, open a command prompt and run:\r\r"
              "ewfmgr " +
              state.Volume +
              " -commitanddisable\r"
              "shutdown -r -t 0\r\r"
              "The first command keeps the changes made on " +
              drive +
              " since the computer started and turns the filter off from the next start (an overlay in RAM whose "
              "settings are kept in the registry cannot be turned off without keeping them).  The second restarts "
              "the computer.  Then use Stillvane again.",
          MessageKind::Error, MessageButtons::Ok);
      return false;
    case WriteFilterProtection::Unknown:
      break;
  }
  return dialogs.ShowMessageDialog("Stillvane could not tell whether the Enhanced Write Filter is protecting " + drive +
                                       " at the moment.\r\r" + state.WhyUnknown +
                                       "\r\rIf it is, every change made there will be lost when the computer "
                                       "restarts.  Do you want to go on?",
                                   MessageKind::Warning, MessageButtons::YesNo) == DialogResult::Yes;
}
