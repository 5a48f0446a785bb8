#include "services/error_report.h"

#include <exception>

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void RunAction(TDialogs& dialogs, void (*action)(void* argument), void* argument) {
  // ERegistryError is the only error the actions raise, but anything else from
  // the standard library (bad_alloc) is shown the same way. The report itself
  // gives the text its full stop (ErrorReportText).
  try {
    action(argument);
  } catch (const std::exception& error) {
    dialogs.ReportError(error.what());
  }
}
