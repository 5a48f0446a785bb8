// What must hold after any click on a TFakeOs machine, however its calls fail:
// the machine still boots the way it did or the new way (never half-way),
// the user knows of every failure that left a mark, and nothing is held.
//
// 1. Enum\Root's DACL is byte for byte what it was before the click; unless
//    a fault hit the restore itself (its RegOpenKeyExA or RegSetKeySecurity,
//    in the normal path or the guard's), and then: the key holds the blank
//    descriptor and nothing else, a message says "restoring" and names
//    HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\Root, and the full
//    success message is not shown.
// 2. C:\ntldr exists, is not compressed, and holds either what it held before
//    or exactly the contents of ewfntldr; a message says the new boot loader was placed, or
//    the old one replaced, only when it holds ewfntldr.
// 3. ewf.sys in system32\drivers, when there, is whole (the file there before
//    or a copy of the new one); with "Ewf" among the UpperFilters it is there,
//    whole and of an accepted version, and the service key holds ErrorControl 1, Group "System Bus Extender",
//    Start 0 and Type 1; without it the service does not start at boot.
// 4. A fault that changed the outcome (registry keys and values and files
//    the actions touch, compared with the same run without that fault) is
//    told: no success message, and a message or report holding one of the
//    fault's subjects (fault_plan.h). A fault that changed nothing may be
//    met with success: a failed close or free, a read-only open that the
//    next access mask makes good, a value read that is tried again, the
//    translation table, or ewfmgr.exe's version, which is optional. (A
//    failed size probe of RegGetKeySecurity does change the outcome: the
//    second call then fails too, and its message is shown.) The designed
//    exception: a failed read of ewf.sys's version ends the click silently,
//    with nothing changed.
// 5. No key, find handle, file handle or local allocation is held, but for
//    one of the kind whose release call was made to fail (TFakeOs keeps it).
// 6. Every filter in UpperFilters before the click is still there.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/fault_machine.h"

namespace fault {

// A fault armed for one run: the call it hits (by its index in the action's
// calls) and what the campaign knows about that call.
struct InjectedFault {
  size_t Index;
  std::string Call;
  DWORD Error;
  std::vector<std::string> Subjects;  // a message about it names one of these (none: any failure message)
  std::string Released;               // ReleasedKind of the call
  bool RestoresSecurity;              // the Enum\Root DACL is put back by this call
  bool ReadsDriverVersion;            // a silent stop is the designed answer
};
InjectedFault MakeFault(const std::vector<std::string>& calls, size_t index, DWORD error);

struct RunRecord {
  std::vector<std::string> Calls;                 // those of the action itself
  std::vector<std::string> Shown;                 // TRecordingDialogs::shown
  std::shared_ptr<const MachineSnapshot> Before;  // the same for every run of a scenario
  MachineSnapshot After;
  int OpenKeys = 0;
  int OpenFinds = 0;
  int OpenFiles = 0;
  int LiveAllocations = 0;
};

struct ActionTexts {
  // Messages that mean "all went well"; the first is the full success. Each
  // matches a shown message that starts with it.
  std::vector<std::string> Success;
  // Questions the action asks on every run; they tell nothing.
  std::vector<std::string> Questions;
  // Volume filters the action may take out of the list (a removal's).
  std::vector<std::string> FiltersRemoved = {};
};

// At the instant the process died (TFakeOs::StopProcessAtCall): invariants 2
// and 3, on the machine as it stands.
std::vector<std::string> CheckInterrupted(const MachineSnapshot& before, const MachineSnapshot& now);
// After the program started again and Install ran to its end: the machine is
// installed (files, service, protected volume, Ewf among the filters, no
// temporary file left), Enum\Root holds its original DACL or the standard
// one (never a NULL one), and success was shown.
std::vector<std::string> CheckInstalledAgain(const MachineSnapshot& before, const MachineSnapshot& after,
                                             const std::vector<std::string>& shown);

// After the program started again and the removal ran to its end: the
// machine is as `original` (before Install) in every entry, Enum\Root's DACL
// the original or the standard one, no temporary file, and success shown.
// bootstat.dat stays renamed to bootstat.bak (Windows writes a new
// bootstat.dat at every start). Without `exact` (no record): only the write
// filter's registration must be gone and the old ntldr back.
std::vector<std::string> CheckRemovedAgain(const MachineSnapshot& original, const MachineSnapshot& after,
                                           const std::vector<std::string>& shown, bool exact);

// The violated invariants, each "invariant N: ...". baselines[k] is the run
// with only faults[0..k) armed (baselines[0]: the clean run), so that what
// fault k changed is told apart from what the ones before it did.
std::vector<std::string> CheckInvariants(const RunRecord& run, const std::vector<InjectedFault>& faults,
                                         const std::vector<const RunRecord*>& baselines, const ActionTexts& texts);

}  // namespace fault
