// The one way a message names a Windows error.
#include "services/step_failure.h"

#include <gtest/gtest.h>

#include "services/step_log.h"

namespace {

TEST(StepFailure, TheCodeFollowsTwoSpacesAfterTheSentence) {
  EXPECT_EQ(StepFailed("Copying ewf.sys", 5), "Copying ewf.sys failed.  Error 5");
  EXPECT_EQ(WithErrorCode("The key could not be opened.", 4294967295u),
            "The key could not be opened.  Error 4294967295");
  TStepLog log;
  log.Failed("Registering the driver failed.", 87);
  log.Failed("Renaming bootstat.dat failed.");
  log.Failed("Registering the driver failed.", 87);  // a step tried again is told once
  EXPECT_EQ(log.FailedText(), "\rRegistering the driver failed.  Error 87\rRenaming bootstat.dat failed.");
}

}  // namespace
