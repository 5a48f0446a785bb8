#include "install/failed_steps.h"

#include <algorithm>
#include <cctype>

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

std::string ReasonWithAdvice(const std::string& reason, const std::string& advice) {
  const std::string codeMark = "  Error ";
  const size_t code = reason.rfind(codeMark);
  const bool endsWithCode =
      code != std::string::npos && code + codeMark.size() < reason.size() &&
      std::all_of(reason.begin() + static_cast<std::ptrdiff_t>(code + codeMark.size()), reason.end(),
                  [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
  return endsWithCode ? Concat({reason, "\r\r", advice}) : reason;
}
