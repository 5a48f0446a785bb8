// Letters compared and raised without regard to case, ASCII only: the names
// Windows writes (paths, ARC and device names) and the words of the write
// filter manager's report are plain ASCII, whatever the code page.
#pragma once

#include <string>
#include <string_view>

char AsciiUpper(char c);
char AsciiLower(char c);
std::string AsciiUpperCased(std::string text);

bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// Whether `text` (ended by a NUL) begins with `prefix`; never reads past the
// first character that differs, so a shorter text is not read past its end.
bool StartsWithIgnoringCase(const char* text, std::string_view prefix);
