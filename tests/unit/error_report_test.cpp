#include "services/error_report.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "services/registry.h"
#include "support/recording_dialogs.h"

namespace {

TEST(ErrorReport, AFullStopFollowsALastCharacterAboveIt) {
  const struct {
    const char* Message;
    const char* Shown;
  } cases[] = {
      {"Failed to set data for 'Enable'", "Failed to set data for 'Enable'"},
      {"Out of memory", "Out of memory."},
      {"Done.", "Done."},
      {"", ""},
      {"ends in 5", "ends in 5."},
      {"ends in -", "ends in -"},
      {"ends in /", "ends in /."},
      {"caf\xE9", "caf\xE9."},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorReportText(c.Message), c.Shown) << c.Message;
}

TEST(ErrorReport, RunActionShowsWhatEscapesAnActionAndGoesOn) {
  TRecordingDialogs dialogs;
  RunAction(dialogs, [] { throw ERegistryError("Failed to set data for 'Enable'"); });
  RunAction(dialogs, [] { throw std::runtime_error("Out of memory"); });
  RunAction(dialogs, [&] {
    dialogs.ShowMessageDialog("before", MessageKind::Information, MessageButtons::Ok);
    throw ERegistryError("Failed to set data for 'Start'");
  });
  RunAction(dialogs, [] {});
  EXPECT_EQ(dialogs.Shown, (std::vector<std::string>{"report: Failed to set data for 'Enable'", "report: Out of memory",
                                                     "message: before", "report: Failed to set data for 'Start'"}));
}

}  // namespace
