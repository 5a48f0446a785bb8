#include "services/step_failure.h"

std::string WithErrorCode(TextPart sentence, DWORD error) {
  return Concat({sentence, "  Error ", DecimalText(error)});
}

std::string StepFailed(TextPart step, DWORD error) {
  return Concat({step, " failed.  Error ", DecimalText(error)});
}
