// One end-to-end case of a real fault met by the program: a scratch machine
// with the driver files, an original boot loader, a boot status file and two
// volume filters, and the program started on it. "Install EWF Support" runs
// in the blank-descriptor build, the only one that gets past the security
// step under Wine. After the click the machine must still be whole.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/answered_click.h"
#include "e2e/install_case.h"
#include "e2e/machine_invariants.h"

class TFaultCase : public TInstallCase {
 protected:
  static constexpr char kOriginalBootLoader[] = "original boot loader\r\n";
  static constexpr char kBootStatus[] = "boot status";

  void SetUp() override {
    WriteMachineValue(kVolumeClassKey, "UpperFilters", REG_MULTI_SZ, MultiString({"VolSnap", "tdrpman"}));
    Prepare("v2.0.927.0");
    WriteWholeFile(Ntldr(), kOriginalBootLoader);
    WriteWholeFile(Machine_.WindowsFolder + "\\bootstat.dat", kBootStatus);
  }

  void StartProgram(const std::map<std::string, std::string>& environment = {},
                    const std::vector<std::string>& unset = {}) {
    Launch("STILLVANE_BLANK_DESCRIPTOR_EXE", environment, unset);
    ASSERT_NE(Main_, nullptr);
  }

  // The machine as it is before the click; read before the test holds anything.
  void RememberMachine() { Before_ = ReadMachineState(Machine_); }

  // firstMs: how long to wait for the first window; a click that shows
  // nothing takes that long.
  std::vector<ShownMessage> Click(const std::string& button, DWORD firstMs = 15000) {
    return ClickAndAnswerAll(*App_, Main_, button, firstMs);
  }

  // Invariants 1, 2, 3 and 6, once the test holds nothing any more.
  void ExpectMachineWhole() {
    After_ = ReadMachineState(Machine_);
    EXPECT_EQ(BrokenInvariants(Before_, After_), std::vector<std::string>{});
  }

  static void ExpectTold(const std::vector<ShownMessage>& shown, const std::vector<std::string>& subjects) {
    EXPECT_EQ(UntoldFailure(shown, subjects), std::vector<std::string>{});
  }

  // The write filter is registered as a volume filter with its service.
  bool Registered() const {
    for (const std::string& filter : After_.UpperFilters)
      if (filter == "Ewf") return After_.ServiceValues.at("Start").Present;
    return false;
  }

  static std::string Ntldr() { return SystemDriveRoot() + "ntldr"; }
  std::string Fixture(const std::string& name) const { return ReadWholeFile(FixtureFile("v2.0.927.0", name)); }

  MachineState Before_;
  MachineState After_;
};
