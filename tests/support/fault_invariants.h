// What must hold after any click on a FakeOs machine, however its calls fail:
// the machine still boots the way it did or the new way (never half-way),
// the user knows of every failure that left a mark, and nothing is held.
#pragma once

#include <string>
#include <vector>

#include "support/fault_machine.h"

namespace fault {

// A fault armed for one run: the call it hits (by its index in the action's
// calls) and what the campaign knows about that call.
struct InjectedFault {
  size_t index;
  std::string call;
  DWORD error;
  std::vector<std::string> subjects;  // a message about it names one of these (none: any failure message)
  std::string released;               // ReleasedKind of the call
  bool restoresSecurity;              // the Enum\Root DACL is put back by this call
  bool readsDriverVersion;            // a silent stop is the designed answer
};
InjectedFault MakeFault(const std::vector<std::string>& calls, size_t index, DWORD error);

struct RunRecord {
  std::vector<std::string> calls;  // those of the action itself
  std::vector<std::string> shown;  // RecordingDialogs::shown
  MachineSnapshot before;
  MachineSnapshot after;
  int openKeys = 0;
  int openFinds = 0;
  int openFiles = 0;
  int liveAllocations = 0;
};

struct ActionTexts {
  // Messages that mean "all went well"; the first is the full success. Each
  // matches a shown message that starts with it.
  std::vector<std::string> success;
  // Questions the action asks on every run; they tell nothing.
  std::vector<std::string> questions;
};

// The violated invariants, each "invariant N: ...". baselines[k] is the run
// with only faults[0..k) armed (baselines[0]: the clean run), so that what
// fault k changed is told apart from what the ones before it did.
std::vector<std::string> CheckInvariants(const RunRecord& run, const std::vector<InjectedFault>& faults,
                                         const std::vector<const RunRecord*>& baselines, const ActionTexts& texts);

}  // namespace fault
