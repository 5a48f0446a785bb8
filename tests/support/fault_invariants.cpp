#include "support/fault_invariants.h"

#include <algorithm>

#include "services/key_security.h"
#include "support/case_insensitive.h"
#include "support/fault_plan.h"
#include "support/security_descriptor_bytes.h"

namespace fault {

namespace {

const std::string kRootKeyName = "HKEY_LOCAL_MACHINE\\" + std::string(kRootKey);

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool HasName(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& entry) { return FoldedCase(entry) == FoldedCase(name); });
}

// A shown message ("message: <text>") that starts with one of the texts.
bool IsMessage(const std::string& shown, const std::vector<std::string>& texts) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string& text) { return StartsWith(shown, "message: " + text); });
}

bool IsSuccess(const std::string& shown, const ActionTexts& texts) {
  return IsMessage(shown, texts.Success);
}

// What the message claims, whatever notes or lists follow its first sentence.
bool ShowsFullSuccess(const RunRecord& run, const ActionTexts& texts) {
  if (texts.Success.empty()) return false;
  const std::string claim = "message: " + texts.Success[0];
  return std::any_of(run.Shown.begin(), run.Shown.end(), [&](const std::string& shown) {
    return shown.compare(0, claim.size(), claim) == 0 && (shown.size() == claim.size() || shown[claim.size()] == '\r');
  });
}

bool ShowsAnySuccess(const RunRecord& run, const ActionTexts& texts) {
  return std::any_of(run.Shown.begin(), run.Shown.end(),
                     [&](const std::string& shown) { return IsSuccess(shown, texts); });
}

// A failure was shown that names one of the subjects (any failure when none).
bool Told(const RunRecord& run, const std::vector<std::string>& subjects, const ActionTexts& texts) {
  for (const std::string& shown : run.Shown) {
    if (IsSuccess(shown, texts) || IsMessage(shown, texts.Questions)) continue;
    if (subjects.empty()) return true;
    for (const std::string& subject : subjects) {
      if (shown.find(subject) != std::string::npos) return true;
    }
  }
  return false;
}

std::string Quoted(const std::optional<std::string>& text) {
  return text ? Summary(*text) : "(missing)";
}

std::string Join(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : " | ") + text;
  return joined;
}

std::string Describe(const std::optional<RegistryValue>& value) {
  if (!value) return "(missing)";
  std::string data;
  for (BYTE b : value->Data) data += std::to_string(b) + " ";
  return "type " + std::to_string(value->Type) + " [" + data + "]";
}

RegistryValue DwordValue(DWORD number) {
  return {REG_DWORD, {static_cast<BYTE>(number), 0, 0, 0}};
}

void CheckSecurity(const RunRecord& run, const std::vector<InjectedFault>& faults, const ActionTexts& texts,
                   std::vector<std::string>& out) {
  if (run.After.RootDacl == run.Before->RootDacl) return;
  const bool restoreFailed =
      std::any_of(faults.begin(), faults.end(), [](const InjectedFault& f) { return f.RestoresSecurity; });
  if (!restoreFailed) {
    out.push_back("invariant 1: Enum\\Root's DACL changed, and its restore was not made to fail");
    return;
  }
  // Made to fail, the restore may leave the blank descriptor, and only that,
  // and the user must learn which key to mend.
  if (!HasNullDacl(run.After.RootDacl))
    out.push_back("invariant 1: Enum\\Root holds neither its DACL nor the blank one");
  const bool named = std::any_of(run.Shown.begin(), run.Shown.end(), [](const std::string& shown) {
    return shown.find("restoring") != std::string::npos && shown.find(kRootKeyName) != std::string::npos;
  });
  if (!named) out.push_back("invariant 1: the DACL was not put back and no message names " + kRootKeyName);
  if (ShowsFullSuccess(run, texts)) out.push_back("invariant 1: the DACL was not put back, yet full success was shown");
}

// A removal puts back the old boot loader kept in a backup.
bool BootLoaderKeptIn(const MachineSnapshot& before, const std::string& contents) {
  return std::any_of(before.BootLoaderBackups.begin(), before.BootLoaderBackups.end(),
                     [&](const auto& backup) { return backup.second == contents; });
}

// 2. ntldr is whole, the old or the new one (or, for a removal, the one kept
// in a backup), and never compressed; and when it was replaced, its
// old bytes are kept under a backup name.
void CheckBootLoader(const MachineSnapshot& before, const MachineSnapshot& after, std::vector<std::string>& out) {
  if (!before.Ntldr) return;
  if (after.NtldrCompressed) out.push_back("invariant 2: C:\\ntldr is compressed, and XP cannot start from it");
  if (!after.Ntldr) {
    out.push_back("invariant 2: C:\\ntldr is missing");
  } else if (*after.Ntldr != *before.Ntldr && after.Ntldr != after.BootLoader &&
             !BootLoaderKeptIn(before, *after.Ntldr)) {
    out.push_back("invariant 2: C:\\ntldr holds " + Quoted(after.Ntldr) + ", neither " + Quoted(before.Ntldr) +
                  " nor the copy of ewfntldr");
  } else if (*after.Ntldr != *before.Ntldr && before.Ntldr != before.BootLoader) {
    const bool kept = std::any_of(after.BootLoaderBackups.begin(), after.BootLoaderBackups.end(),
                                  [&](const auto& backup) { return backup.second == *before.Ntldr; });
    if (!kept) out.push_back("invariant 2: C:\\ntldr was replaced, and no ntldr.bak holds its old bytes");
  }
  for (const auto& [name, contents] : after.BootLoaderBackups) {
    const auto was = before.BootLoaderBackups.find(name);
    if ((was == before.BootLoaderBackups.end() || was->second != contents) && contents != *before.Ntldr) {
      out.push_back("invariant 2: " + name + " holds " + Summary(contents) +
                    ", neither what it held nor the old ntldr");
    }
  }
}

// 2. No message says the new boot loader is in place, or the old one replaced, unless it is.
void CheckBootLoaderClaims(const RunRecord& run, std::vector<std::string>& out) {
  if (run.After.Ntldr && run.After.Ntldr == run.After.BootLoader) return;
  for (const std::string& shown : run.Shown) {
    for (const char* claim : {"The new boot loader was placed", "that was replaced has been kept"}) {
      if (shown.find(claim) != std::string::npos) {
        out.push_back("invariant 2: a message says \"" + std::string(claim) + "\", but C:\\ntldr holds " +
                      Quoted(run.After.Ntldr));
      }
    }
  }
}

const std::map<std::string, RegistryValue>& ServiceValues() {
  static const std::map<std::string, RegistryValue> service = {
      {"ErrorControl", DwordValue(1)},
      {"Group",
       {REG_SZ, {'S', 'y', 's', 't', 'e', 'm', ' ', 'B', 'u', 's', ' ', 'E', 'x', 't', 'e', 'n', 'd', 'e', 'r', 0}}},
      {"Start", DwordValue(0)},
      {"Type", DwordValue(1)},
  };
  return service;
}

void CheckValues(const std::string& what, const std::map<std::string, RegistryValue>& expected,
                 const std::map<std::string, std::optional<RegistryValue>>& found, std::vector<std::string>& out) {
  for (const auto& [name, value] : expected) {
    if (found.at(name) != value) out.push_back(what + name + " is " + Describe(found.at(name)));
  }
}

// The protected volume is complete: Type 1 and an ARC name, whichever
// partition it names.
void CheckVolume(const std::string& what, const std::map<std::string, std::optional<RegistryValue>>& found,
                 std::vector<std::string>& out) {
  if (found.at("Type") != DwordValue(1)) out.push_back(what + "Type is " + Describe(found.at("Type")));
  const std::optional<RegistryValue>& arcName = found.at("ArcName");
  if (!arcName || arcName->Type != REG_SZ || arcName->Data.size() < 2) {
    out.push_back(what + "ArcName is " + Describe(arcName));
  }
}

// 3. A file under its final name is whole; a filter is registered only with
// everything it needs.
void CheckDriverRegistration(const MachineSnapshot& before, const MachineSnapshot& after,
                             std::vector<std::string>& out) {
  const bool driverPresent = after.InstalledDriver.has_value();
  if (driverPresent && after.InstalledDriver != before.InstalledDriver && after.InstalledDriver != after.SourceDriver) {
    out.push_back("invariant 3: ewf.sys in system32\\drivers is " + Quoted(after.InstalledDriver) +
                  ", neither the one there before nor a copy of the new one");
  }
  if (after.InstalledManager && after.InstalledManager != before.InstalledManager &&
      after.InstalledManager != after.SourceManager) {
    out.push_back("invariant 3: ewfmgr.exe in system32 is " + Quoted(after.InstalledManager) +
                  ", neither the one there before nor a copy of the new one");
  }
  if (HasName(after.UpperFilters, "Ewf")) {
    if (!driverPresent) {
      out.push_back("invariant 3: Ewf is an upper filter, but ewf.sys is not in system32\\drivers");
    } else if (!after.InstalledDriverAccepted) {
      out.push_back("invariant 3: Ewf is an upper filter, but ewf.sys in system32\\drivers is " +
                    Quoted(after.InstalledDriver) + ", not whole or not of an accepted version");
    }
    CheckValues("invariant 3: Ewf is an upper filter, but the service's ", ServiceValues(), after.ServiceValues, out);
    CheckVolume("invariant 3: Ewf is an upper filter, but the protected volume's ", after.VolumeValues, out);
  }
  if (!driverPresent && after.ServiceValues.at("Start") == DwordValue(0)) {
    out.push_back("invariant 3: the ewf service starts at boot, but ewf.sys is not in system32\\drivers");
  }
}

void CheckTold(const RunRecord& run, const std::vector<InjectedFault>& faults,
               const std::vector<const RunRecord*>& baselines, const ActionTexts& texts,
               std::vector<std::string>& out) {
  for (size_t k = 0; k < faults.size() && k < baselines.size(); ++k) {
    const InjectedFault& fault = faults[k];
    if (run.After.Entries == baselines[k]->After.Entries) continue;  // it changed nothing
    // By design an ewf.sys whose version cannot be read ends the click
    // before anything is done, without a word.
    if (fault.ReadsDriverVersion && run.After.Entries == run.Before->Entries && run.Shown.empty()) continue;
    const auto what = [&] {
      return "invariant 4: call #" + std::to_string(fault.Index) + " failing left " +
             DescribeDifference(baselines[k]->After, run.After, 2) + " (against the run without it)";
    };
    if (ShowsAnySuccess(run, texts)) out.push_back(what() + ", yet success was shown: " + Join(run.Shown));
    if (!Told(run, fault.Subjects, texts)) {
      out.push_back(what() + ", and no message names " + (fault.Subjects.empty() ? "a failure" : Join(fault.Subjects)) +
                    "; shown: " + Join(run.Shown));
    }
  }
}

void CheckHeld(const RunRecord& run, const std::vector<InjectedFault>& faults, std::vector<std::string>& out) {
  const auto kept = [&](const char* kind) {
    return static_cast<int>(
        std::count_if(faults.begin(), faults.end(), [&](const InjectedFault& f) { return f.Released == kind; }));
  };
  const std::pair<const char*, int> held[] = {
      {"key", run.OpenKeys}, {"find", run.OpenFinds}, {"file", run.OpenFiles}, {"memory", run.LiveAllocations}};
  for (const auto& [kind, count] : held) {
    if (count != kept(kind)) {
      out.push_back("invariant 5: " + std::to_string(count) + " " + kind + " handle(s) left, " +
                    std::to_string(kept(kind)) + " expected (from failed releases)");
    }
  }
}

void CheckFilters(const RunRecord& run, const ActionTexts& texts, std::vector<std::string>& out) {
  for (const std::string& filter : run.Before->UpperFilters) {
    if (!HasName(run.After.UpperFilters, filter) && !HasName(texts.FiltersRemoved, filter)) {
      out.push_back("invariant 6: the upper filter " + filter + " was dropped; now " + Join(run.After.UpperFilters));
    }
  }
}

}  // namespace

InjectedFault MakeFault(const std::vector<std::string>& calls, size_t index, DWORD error) {
  return {index,
          calls[index],
          error,
          Subjects(calls, index),
          ReleasedKind(calls[index]),
          IsSecurityRestore(calls, index),
          ReadsDriverVersion(calls, index)};
}

std::vector<std::string> CheckInterrupted(const MachineSnapshot& before, const MachineSnapshot& now) {
  std::vector<std::string> out;
  CheckBootLoader(before, now, out);
  CheckDriverRegistration(before, now, out);
  return out;
}

std::vector<std::string> CheckInstalledAgain(const MachineSnapshot& before, const MachineSnapshot& after,
                                             const std::vector<std::string>& shown) {
  std::vector<std::string> out = CheckInterrupted(before, after);
  if (after.Ntldr != after.BootLoader) out.push_back("installed: C:\ntldr is not the copy of ewfntldr");
  if (!after.InstalledDriver) out.push_back("installed: ewf.sys is not in system32\\drivers");
  if (!after.InstalledManager) out.push_back("installed: ewfmgr.exe is not in system32");
  if (!HasName(after.UpperFilters, "Ewf")) out.push_back("installed: Ewf is not an upper filter");
  CheckValues("installed: the service's ", ServiceValues(), after.ServiceValues, out);
  CheckVolume("installed: the protected volume's ", after.VolumeValues, out);
  for (const std::string& left : after.TemporaryFiles) out.push_back("installed: " + left + " was left behind");
  if (HasNullDacl(after.RootDacl)) {
    out.push_back("installed: Enum\\Root is left with a NULL DACL");
  } else if (after.RootDacl != before.RootDacl && after.RootDacl != StandardKeySecurity()) {
    out.push_back("installed: Enum\\Root holds neither its original DACL nor the standard one");
  }
  const bool succeeded = std::any_of(shown.begin(), shown.end(), [](const std::string& message) {
    return StartsWith(message, "message: EWF installation completed successfully.");
  });
  if (!succeeded) out.push_back("installed: no success was shown; shown: " + Join(shown));
  return out;
}

std::vector<std::string> CheckRemovedAgain(const MachineSnapshot& original, const MachineSnapshot& after,
                                           const std::vector<std::string>& shown, bool exact) {
  std::vector<std::string> out;
  if (after.Ntldr != original.Ntldr) out.push_back("removed: C:\\ntldr holds " + Quoted(after.Ntldr));
  if (after.NtldrCompressed) out.push_back("removed: C:\\ntldr is compressed, and XP cannot start from it");
  if (HasName(after.UpperFilters, "Ewf")) out.push_back("removed: Ewf is still an upper filter");
  for (const auto& [name, value] : after.ServiceValues) {
    if (value) out.push_back("removed: the service's " + name + " is still there");
  }
  for (const std::string& left : after.TemporaryFiles) out.push_back("removed: " + left + " was left behind");
  if (exact) {
    std::map<std::string, std::string> was = original.Entries;
    std::map<std::string, std::string> is = after.Entries;
    for (auto* entries : {&was, &is}) {
      std::erase_if(*entries, [](const auto& entry) { return entry.first.find("\\bootstat.") != std::string::npos; });
    }
    if (is != was) {
      MachineSnapshot a, b;
      a.Entries = was;
      b.Entries = is;
      out.push_back("removed: not as before Install: " + DescribeDifference(a, b));
    }
  }
  if (HasNullDacl(after.RootDacl)) {
    out.push_back("removed: Enum\\Root is left with a NULL DACL");
  } else if (after.RootDacl != original.RootDacl && after.RootDacl != StandardKeySecurity()) {
    out.push_back("removed: Enum\\Root holds neither its original DACL nor the standard one");
  }
  const bool succeeded = std::any_of(shown.begin(), shown.end(), [](const std::string& message) {
    return StartsWith(message, "message: EWF support was removed") ||
           StartsWith(message, "message: No EWF support was found to remove");
  });
  if (!succeeded) out.push_back("removed: no success was shown; shown: " + Join(shown));
  return out;
}

std::vector<std::string> CheckInvariants(const RunRecord& run, const std::vector<InjectedFault>& faults,
                                         const std::vector<const RunRecord*>& baselines, const ActionTexts& texts) {
  std::vector<std::string> out;
  CheckSecurity(run, faults, texts, out);
  CheckBootLoader(*run.Before, run.After, out);
  CheckBootLoaderClaims(run, out);
  CheckDriverRegistration(*run.Before, run.After, out);
  CheckTold(run, faults, baselines, texts, out);
  CheckHeld(run, faults, out);
  CheckFilters(run, texts, out);
  return out;
}

}  // namespace fault
