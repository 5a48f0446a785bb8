// The one way a message names a Windows error.
#include "services/step_failure.h"

#include <gtest/gtest.h>

#include "install/failed_steps.h"

namespace {

TEST(StepFailure, TheCodeFollowsTwoSpacesAfterTheSentence) {
  EXPECT_EQ(StepFailed("Copying ewf.sys", 5), "Copying ewf.sys failed.  Error 5");
  EXPECT_EQ(WithErrorCode("The key could not be opened.", 4294967295u),
            "The key could not be opened.  Error 4294967295");
  TFailedSteps failed;
  failed.Add("Registering the driver failed.", 87);
  failed.Add("Renaming bootstat.dat failed.");
  EXPECT_EQ(failed.Text(), "\rRegistering the driver failed.  Error 87\rRenaming bootstat.dat failed.");
}

}  // namespace
