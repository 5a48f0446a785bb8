#include "services/step_failure.h"

std::string WithErrorCode(std::string_view sentence, DWORD error) {
  return Concat({sentence, "  Error ", std::to_string(error)});
}

std::string StepFailed(std::string_view step, DWORD error) {
  return Concat({step, " failed.  Error ", std::to_string(error)});
}
