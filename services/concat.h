// The parts, one after another: messages are put together in one call, not
// in a chain of temporaries at every place that writes one.
#pragma once

#include <initializer_list>
#include <string>

// One part of a text put together by Concat: a C string or a std::string,
// held as a pointer to its characters and measured by Concat. A literal
// part then costs its caller one store, not a call that measures it there.
// The texts are the program's messages, which hold no NUL character.
struct TextPart {
  TextPart(const char* text) : Text(text) {}
  TextPart(const std::string& text) : Text(text.c_str()) {}
  const char* Text;
};

std::string Concat(std::initializer_list<TextPart> parts);

// A number as the messages write it: decimal digits, no sign, no grouping.
// The program's own, not std::to_string, whose table of digit pairs and
// helpers the exe would carry for what every message needs only once.
std::string DecimalText(unsigned long value);
