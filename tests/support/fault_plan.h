// Which faults the campaign injects into a logged TOs call, and what a user
// must be told about one: read from the call's log line ("Name(args)").
#pragma once

#include <string>
#include <vector>

#include "services/win_types.h"

namespace fault {

std::string CallName(const std::string& call);
std::vector<std::string> CallArguments(const std::string& call);

// The errors a call of this name can plausibly give where it would otherwise
// succeed. Left out on purpose:
// - ERROR_FILE_EXISTS / ERROR_ALREADY_EXISTS from CopyFileA / MoveFileA: the
//   refusal of an existing target is how the machine is, never a fault, and
//   the starting states cover it (installed files, an existing ntldr.bak);
// - "not found" from FindFirstFileA and RegQueryValueExA, and for a file
//   MoveFileA has just found: that is a different machine, not a failure;
// - anything from GetLastError, SetLastError and IsDBCSLeadByte (not logged).
std::vector<DWORD> PlausibleErrors(const std::string& callName);

// Calls that release what the program holds. Their failure is tolerated by
// design (nothing can be done about it); TFakeOs then keeps the resource, so
// one of its kind may stay open: "key", "find", "file" or "memory"; empty
// for any other call.
std::string ReleasedKind(const std::string& call);

// Whether calls[index] puts the Enum\Root DACL back (the restore's open or
// its RegSetKeySecurity, after the one that replaced it).
bool IsSecurityRestore(const std::vector<std::string>& calls, size_t index);
// The calls that undo what a failed step changed: the security restore,
// discarding a temporary file, putting ntldr's attributes back.
bool IsRecoveryCall(const std::vector<std::string>& calls, size_t index);

// Texts one of which a message about the failure of calls[index] must hold
// (a path, key or value name, or the step); empty when any failure message
// will do (start-up, where the effect shows only later).
std::vector<std::string> Subjects(const std::vector<std::string>& calls, size_t index);

// Whether calls[index] reads the version of the driver file ewf.sys: a
// failure there stops the installation without a message, by design.
bool ReadsDriverVersion(const std::vector<std::string>& calls, size_t index);

}  // namespace fault
