// The parts, one after another: messages are put together in one call, not
// in a chain of temporaries at every place that writes one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

std::string Concat(std::initializer_list<std::string_view> parts);
