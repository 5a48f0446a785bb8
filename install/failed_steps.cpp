#include "install/failed_steps.h"

void FailedSteps::Add(const std::string& line) {
  lines_.push_back(line);
}

void FailedSteps::Add(const std::string& line, DWORD error) {
  Add(Concat({line, "  Error ", std::to_string(error)}));
}

std::string FailedSteps::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += Concat({"\r", line});
  return text;
}

std::string Concat(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string text;
  text.reserve(size);
  for (std::string_view part : parts) text.append(part);
  return text;
}
