#include "support/fault_invariants.h"

#include <algorithm>

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
  return IsMessage(shown, texts.success);
}

bool ShowsFullSuccess(const RunRecord& run, const ActionTexts& texts) {
  return !texts.success.empty() &&
         std::find(run.shown.begin(), run.shown.end(), "message: " + texts.success[0]) != run.shown.end();
}

bool ShowsAnySuccess(const RunRecord& run, const ActionTexts& texts) {
  return std::any_of(run.shown.begin(), run.shown.end(),
                     [&](const std::string& shown) { return IsSuccess(shown, texts); });
}

// A failure was shown that names one of the subjects (any failure when none).
bool Told(const RunRecord& run, const std::vector<std::string>& subjects, const ActionTexts& texts) {
  for (const std::string& shown : run.shown) {
    if (IsSuccess(shown, texts) || IsMessage(shown, texts.questions)) continue;
    if (subjects.empty()) return true;
    for (const std::string& subject : subjects) {
      if (shown.find(subject) != std::string::npos) return true;
    }
  }
  return false;
}

std::string Quoted(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : "(missing)";
}

std::string Join(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : " | ") + text;
  return joined;
}

std::string Describe(const std::optional<RegistryValue>& value) {
  if (!value) return "(missing)";
  std::string data;
  for (BYTE b : value->data) data += std::to_string(b) + " ";
  return "type " + std::to_string(value->type) + " [" + data + "]";
}

RegistryValue DwordValue(DWORD number) {
  return {REG_DWORD, {static_cast<BYTE>(number), 0, 0, 0}};
}

void CheckSecurity(const RunRecord& run, const std::vector<InjectedFault>& faults, const ActionTexts& texts,
                   std::vector<std::string>& out) {
  if (run.after.rootDacl == run.before->rootDacl) return;
  const bool restoreFailed =
      std::any_of(faults.begin(), faults.end(), [](const InjectedFault& f) { return f.restoresSecurity; });
  if (!restoreFailed) {
    out.push_back("invariant 1: Enum\\Root's DACL changed, and its restore was not made to fail");
    return;
  }
  // Made to fail, the restore may leave the blank descriptor, and only that,
  // and the user must learn which key to mend.
  if (!HasNullDacl(run.after.rootDacl))
    out.push_back("invariant 1: Enum\\Root holds neither its DACL nor the blank one");
  const bool named = std::any_of(run.shown.begin(), run.shown.end(), [](const std::string& shown) {
    return shown.find("restoring") != std::string::npos && shown.find(kRootKeyName) != std::string::npos;
  });
  if (!named) out.push_back("invariant 1: the DACL was not put back and no message names " + kRootKeyName);
  if (ShowsFullSuccess(run, texts)) out.push_back("invariant 1: the DACL was not put back, yet full success was shown");
}

void CheckBootLoader(const RunRecord& run, std::vector<std::string>& out) {
  if (!run.before->ntldr) return;
  if (!run.after.ntldr) {
    out.push_back("invariant 2: C:\\ntldr is missing");
  } else if (*run.after.ntldr != *run.before->ntldr && run.after.ntldr != run.after.bootLoader) {
    out.push_back("invariant 2: C:\\ntldr holds " + Quoted(run.after.ntldr) + ", neither " + Quoted(run.before->ntldr) +
                  " nor the copy of ewfntldr");
  }
}

void CheckDriverRegistration(const RunRecord& run, std::vector<std::string>& out) {
  const MachineSnapshot& after = run.after;
  const bool driverPresent = after.installedDriver.has_value();
  if (driverPresent && after.installedDriver != run.before->installedDriver &&
      after.installedDriver != after.sourceDriver) {
    out.push_back("invariant 3: ewf.sys in system32\\drivers is " + Quoted(after.installedDriver) +
                  ", neither the one there before nor a copy of the new one");
  }
  const std::map<std::string, RegistryValue> service = {
      {"ErrorControl", DwordValue(1)},
      {"Group",
       {REG_SZ, {'S', 'y', 's', 't', 'e', 'm', ' ', 'B', 'u', 's', ' ', 'E', 'x', 't', 'e', 'n', 'd', 'e', 'r', 0}}},
      {"Start", DwordValue(0)},
      {"Type", DwordValue(1)},
  };
  if (HasName(after.upperFilters, "Ewf")) {
    if (!driverPresent) out.push_back("invariant 3: Ewf is an upper filter, but ewf.sys is not in system32\\drivers");
    for (const auto& [name, value] : service) {
      const std::optional<RegistryValue>& found = after.serviceValues.at(name);
      if (found != value) {
        out.push_back("invariant 3: Ewf is an upper filter, but the service's " + name + " is " + Describe(found));
      }
    }
  }
  if (!driverPresent && after.serviceValues.at("Start") == DwordValue(0)) {
    out.push_back("invariant 3: the ewf service starts at boot, but ewf.sys is not in system32\\drivers");
  }
}

void CheckTold(const RunRecord& run, const std::vector<InjectedFault>& faults,
               const std::vector<const RunRecord*>& baselines, const ActionTexts& texts,
               std::vector<std::string>& out) {
  for (size_t k = 0; k < faults.size() && k < baselines.size(); ++k) {
    const InjectedFault& fault = faults[k];
    if (run.after.entries == baselines[k]->after.entries) continue;  // it changed nothing
    // By design an ewf.sys whose version cannot be read ends the click
    // before anything is done, without a word.
    if (fault.readsDriverVersion && run.after.entries == run.before->entries && run.shown.empty()) continue;
    const auto what = [&] {
      return "invariant 4: call #" + std::to_string(fault.index) + " failing left " +
             DescribeDifference(baselines[k]->after, run.after, 2) + " (against the run without it)";
    };
    if (ShowsAnySuccess(run, texts)) out.push_back(what() + ", yet success was shown: " + Join(run.shown));
    if (!Told(run, fault.subjects, texts)) {
      out.push_back(what() + ", and no message names " + (fault.subjects.empty() ? "a failure" : Join(fault.subjects)) +
                    "; shown: " + Join(run.shown));
    }
  }
}

void CheckHeld(const RunRecord& run, const std::vector<InjectedFault>& faults, std::vector<std::string>& out) {
  const auto kept = [&](const char* kind) {
    return static_cast<int>(
        std::count_if(faults.begin(), faults.end(), [&](const InjectedFault& f) { return f.released == kind; }));
  };
  const std::pair<const char*, int> held[] = {
      {"key", run.openKeys}, {"find", run.openFinds}, {"file", run.openFiles}, {"memory", run.liveAllocations}};
  for (const auto& [kind, count] : held) {
    if (count != kept(kind)) {
      out.push_back("invariant 5: " + std::to_string(count) + " " + kind + " handle(s) left, " +
                    std::to_string(kept(kind)) + " expected (from failed releases)");
    }
  }
}

void CheckFilters(const RunRecord& run, std::vector<std::string>& out) {
  for (const std::string& filter : run.before->upperFilters) {
    if (!HasName(run.after.upperFilters, filter)) {
      out.push_back("invariant 6: the upper filter " + filter + " was dropped; now " + Join(run.after.upperFilters));
    }
  }
}

}  // namespace

InjectedFault MakeFault(const std::vector<std::string>& calls, size_t index, DWORD error) {
  return {index,
          calls[index],
          error,
          Subjects(calls, index),
          ReleasedKind(CallName(calls[index])),
          IsSecurityRestore(calls, index),
          ReadsDriverVersion(calls, index)};
}

std::vector<std::string> CheckInvariants(const RunRecord& run, const std::vector<InjectedFault>& faults,
                                         const std::vector<const RunRecord*>& baselines, const ActionTexts& texts) {
  std::vector<std::string> out;
  CheckSecurity(run, faults, texts, out);
  CheckBootLoader(run, out);
  CheckDriverRegistration(run, out);
  CheckTold(run, faults, baselines, texts, out);
  CheckHeld(run, faults, out);
  CheckFilters(run, out);
  return out;
}

}  // namespace fault
