#include "services/step_failure.h"

std::string WithErrorCode(TextPart sentence, DWORD error) {
  return Concat({sentence, "  Error ", std::to_string(error)});
}

std::string StepFailed(TextPart step, DWORD error) {
  return Concat({step, " failed.  Error ", std::to_string(error)});
}
