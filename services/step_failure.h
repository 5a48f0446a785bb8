// How a message names the Windows error behind it: "<step> failed.  Error N",
// the code after two spaces, as every sentence of the program's messages is
// followed. One place writes it, so that every message reads alike.
#pragma once

#include <string>

#include "services/concat.h"
#include "services/win_types.h"

// "<sentence>  Error <code>"; the sentence ends with its own full stop.
std::string WithErrorCode(TextPart sentence, DWORD error);

// "<step> failed.  Error <code>"
std::string StepFailed(TextPart step, DWORD error);
