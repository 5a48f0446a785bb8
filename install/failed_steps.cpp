#include "install/failed_steps.h"

#include "services/step_failure.h"

void TFailedSteps::Add(const std::string& line) {
  Lines_.push_back(line);
}

void TFailedSteps::Add(const std::string& line, DWORD error) {
  Add(WithErrorCode(line, error));
}

std::string TFailedSteps::Text() const {
  std::string text;
  for (const std::string& line : Lines_) text += Concat({"\r", line});
  return text;
}

std::string JoinNotes(const std::string& first, const std::string& second) {
  if (first.empty() || second.empty()) return first + second;
  return Concat({first, "\r\r", second});
}
