#include "services/step_log.h"

#include <algorithm>

#include "services/step_failure.h"

void TStepLog::Failed(const std::string& line) {
  // A step tried again (the record, marked after each step) is told once.
  if (std::find(Failed_.begin(), Failed_.end(), line) == Failed_.end()) Failed_.push_back(line);
}

void TStepLog::Failed(const std::string& line, DWORD error) {
  Failed(WithErrorCode(line, error));
}

void TStepLog::ValueNotWritten(const std::string& report) {
  if (ValueWriteReport_.empty()) ValueWriteReport_ = report;
}

std::string TStepLog::Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += Concat({"\r", line});
  return text;
}

std::string JoinNotes(const std::string& first, const std::string& second) {
  if (first.empty() || second.empty()) return first + second;
  return Concat({first, "\r\r", second});
}
