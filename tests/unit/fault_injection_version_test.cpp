// Hostile driver files: version resources damaged in every way we could think
// of, then byte by byte, read by TVersionInfo natively under the sanitizers,
// once through TFakeOs (whose VerQueryValueA checks every length) and once
// through a TOs that believes the lengths as Windows does. The reader must
// not crash or read outside its buffer, and must make of each resource "no
// version", or the version of the fixed information it could read (zero when
// it could read none); the version gate must act on that: stop without a word
// when ewf.sys has no version, warn about an old one, let a recent one pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "install/driver_checks.h"
#include "support/fault_campaign.h"
#include "support/fault_trusting_version_os.h"
#include "support/version_resource_builder.h"

namespace fault {
namespace {

const std::string kDriver = std::string(kSourceFolder) + "ewf.sys";

std::vector<BYTE> Resource(const VersionResourceLayout& resource) {
  return BuildVersionResource(resource);
}
std::vector<BYTE> Truncated(std::vector<BYTE> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

template <typename Change>
VersionResourceLayout Damaged(Change change) {
  VersionResourceLayout resource;
  change(resource);
  return resource;
}

// What the version gate does with a driver file.
struct Outcome {
  enum Kind { StopsSilently, Warns, Passes } Kind;
  std::string Version;  // for Warns: the version the warning names
  bool operator==(const Outcome& other) const {
    return Kind == other.Kind && (Kind != Warns || Version == other.Version);
  }
};
std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  const char* kinds[] = {"stops silently", "warns of ", "passes"};
  return out << kinds[outcome.Kind] << (outcome.Kind == Outcome::Warns ? outcome.Version : "");
}
const Outcome kStops{Outcome::StopsSilently, ""};
const Outcome kPasses{Outcome::Passes, ""};
Outcome Warns(const std::string& version) {
  return {Outcome::Warns, version};
}

struct HostileCase {
  std::string What;
  std::vector<BYTE> Resource;
  Outcome Careful;   // through TFakeOs
  Outcome Trusting;  // through TTrustingVersionOs
};

std::vector<HostileCase> HostileCases() {
  const std::vector<BYTE> valid = Resource({});
  const Outcome zero = Warns("0.0.0.0");
  std::vector<BYTE> unterminatedKey = {0x40, 0, 52, 0, 0, 0};
  while (unterminatedKey.size() < 0x40) unterminatedKey.push_back('A');
  std::vector<BYTE> noise(4096);
  unsigned seed = 12345;
  for (BYTE& b : noise) b = static_cast<BYTE>((seed = seed * 1103515245 + 12345) >> 16);

  return {
      {"zero-length resource", {}, kStops, kStops},
      {"one byte", {0x5C}, zero, zero},
      {"three bytes", Truncated(valid, 3), zero, zero},
      {"a header whose key has no end", {6, 0, 52, 0, 0, 0}, zero, zero},
      {"a key running to the end of the data", unterminatedKey, zero, zero},
      {"cut inside the fixed information (odd size)", Truncated(valid, 61), zero, kPasses},
      {"cut one byte short (odd size)", Truncated(valid, valid.size() - 1), zero, kPasses},
      {"no fixed information", Resource(Damaged([](auto& s) { s.FixedInfoLength = 0; })), zero, zero},
      {"12 bytes of fixed information", Resource(Damaged([](auto& s) { s.FixedInfoLength = 12; })), Warns("2.0.0.0"),
       Warns("2.0.0.0")},
      {"fixed information claiming 0xFFFF bytes", Resource(Damaged([](auto& s) { s.FixedInfoLength = 0xFFFF; })), zero,
       zero},
      {"root claiming 0xFFFF bytes", Resource(Damaged([](auto& s) { s.RootLength = 0xFFFF; })), zero, kPasses},
      {"root claiming 8 bytes", Resource(Damaged([](auto& s) { s.RootLength = 8; })), zero, kPasses},
      {"root claiming 0 bytes", Resource(Damaged([](auto& s) { s.RootLength = 0; })), zero, kPasses},
      {"no VarFileInfo", Resource(Damaged([](auto& s) { s.VarFileInfo = false; })), kPasses, kPasses},
      {"VarFileInfo without Translation", Resource(Damaged([](auto& s) { s.TranslationBlock = false; })), kPasses,
       kPasses},
      {"VarFileInfo claiming 0 bytes", Resource(Damaged([](auto& s) { s.VarFileInfoLength = 0; })), kPasses, kPasses},
      {"VarFileInfo claiming 0xFFFF bytes", Resource(Damaged([](auto& s) { s.VarFileInfoLength = 0xFFFF; })), kPasses,
       kPasses},
      {"translation table claiming 0xFFFC bytes", Resource(Damaged([](auto& s) { s.TranslationValueLength = 0xFFFC; })),
       kPasses, kPasses},
      {"translation table claiming 0xFFFF bytes (odd)",
       Resource(Damaged([](auto& s) { s.TranslationValueLength = 0xFFFF; })), kPasses, kPasses},
      {"translation table of 6 bytes", Resource(Damaged([](auto& s) { s.TranslationValueLength = 6; })), kPasses,
       kPasses},
      {"15000 translations", Resource(Damaged([](auto& s) { s.Translations.assign(15000, 0x04B00409); })), kPasses,
       kPasses},
      {"4096 bytes of noise", noise, zero, zero},
  };
}

// `part` appears in `buffer` (nothing came from outside it). Trailing zero
// bytes may be padding of a short copy.
bool CopiedFrom(const BYTE* part, size_t size, const std::vector<BYTE>& buffer) {
  while (size > 0 && part[size - 1] == 0) --size;
  if (size == 0) return true;
  return std::search(buffer.begin(), buffer.end(), part, part + size) != buffer.end();
}

// Reads the driver file and checks what the reader made of it; returns what
// the gate should then do.
template <typename OsType>
Outcome ReadSoundly(const std::vector<BYTE>& resource, const std::string& what) {
  OsType os;
  os.Files().AddFile(kDriver, "MZ").VersionResource = resource;
  TVersionInfo reader(os);
  reader.SetFileName(kDriver);
  const auto* fixed = reinterpret_cast<const BYTE*>(&reader.FixedInfo());
  if (!reader.HasVersionData()) {
    EXPECT_TRUE(std::all_of(fixed, fixed + sizeof(TFixedFileInfo), [](BYTE b) { return b == 0; })) << what;
    EXPECT_EQ(reader.TranslationCount(), 0) << what;
    return kStops;
  }
  const std::vector<BYTE>& table = reader.TranslationBuffer();
  EXPECT_TRUE(CopiedFrom(fixed, sizeof(TFixedFileInfo), reader.VersionBuffer())) << what;
  EXPECT_TRUE(CopiedFrom(table.data(), table.size(), reader.VersionBuffer())) << what;
  EXPECT_LE(table.size(), reader.VersionBuffer().size()) << what;
  EXPECT_EQ(static_cast<size_t>(reader.TranslationCount()), table.size() / 4) << what;
  EXPECT_EQ(reader.TranslationIndex(), reader.TranslationCount() > 0 ? 0 : -1) << what;
  const FileVersionParts version = reader.GetFileVersion();
  if (IsVersionAtLeast(MinEwfSysVersion, version)) return kPasses;
  return Warns(FormatFileVersion(version));
}

// The gate itself, with a good ewfmgr.exe and every warning answered No.
template <typename OsType>
Outcome RunGate(const std::vector<BYTE>& resource) {
  OsType os;
  os.Files().AddFile(kDriver, "MZ").VersionResource = resource;
  os.Files().AddFile(std::string(kSourceFolder) + "ewfmgr.exe", "MZ").VersionResource =
      BuildVersionResource(FileVersionParts{2, 0, 927, 0});
  TRecordingDialogs dialogs;
  TVersionInfo reader(os);
  const bool goesOn = CheckDriverFileVersions(dialogs, reader, kSourceFolder);
  if (goesOn && dialogs.Shown.empty()) return kPasses;
  if (!goesOn && dialogs.Shown.empty()) return kStops;
  const std::string& shown = dialogs.Shown[0];
  const size_t at = shown.find("Version found: ");
  if (goesOn || dialogs.Shown.size() != 1 || shown.find("\"ewf.sys\"") == std::string::npos ||
      at == std::string::npos) {
    return {Outcome::Warns, "(unexpected: " + shown + ")"};
  }
  return Warns(shown.substr(at + 15, shown.find('\r', at) - at - 15));
}

template <typename OsType>
void ExpectGateFollowsTheReader(const std::vector<BYTE>& resource, const std::string& what, const Outcome* expected) {
  const Outcome read = ReadSoundly<OsType>(resource, what);
  EXPECT_EQ(RunGate<OsType>(resource), read) << what;
  if (expected) {
    EXPECT_EQ(read, *expected) << what;
  }
}

TEST(HostileVersionResources, NamedDamageIsReadSafelyAndGatedByWhatWasRead) {
  for (const HostileCase& hostile : HostileCases()) {
    ExpectGateFollowsTheReader<TFakeOs>(hostile.Resource, hostile.What + " (checked lengths)", &hostile.Careful);
    ExpectGateFollowsTheReader<TTrustingVersionOs>(hostile.Resource, hostile.What + " (trusted lengths)",
                                                   &hostile.Trusting);
  }
}

// Every byte of a sound resource set to 0, to 0xFF and flipped in its lowest bit.
TEST(HostileVersionResources, EveryByteDamagedIsReadSafely) {
  const std::vector<BYTE> valid = Resource({});
  size_t variants = 0;
  for (size_t at = 0; at < valid.size(); ++at) {
    for (const BYTE value : {BYTE{0}, BYTE{0xFF}, static_cast<BYTE>(valid[at] ^ 1)}) {
      std::vector<BYTE> damaged = valid;
      damaged[at] = value;
      const std::string what = "byte " + std::to_string(at) + " = " + std::to_string(value);
      ExpectGateFollowsTheReader<TFakeOs>(damaged, what + " (checked lengths)", nullptr);
      ExpectGateFollowsTheReader<TTrustingVersionOs>(damaged, what + " (trusted lengths)", nullptr);
      ++variants;
    }
  }
  std::printf("damaged version resources: %zu variants of %zu bytes, each read two ways\n", variants, valid.size());
}

// The whole click: an unreadable ewf.sys ends it without a word, an old-looking
// one is warned about (No here), and neither changes the machine.
TEST(HostileVersionResources, TheInstallationStopsBeforeAnythingChanges) {
  for (const HostileCase& hostile : HostileCases()) {
    const std::vector<BYTE> resource = hostile.Resource;
    FaultScenario scenario = InstallScenarios()[0];
    const auto arrange = scenario.Arrange;
    scenario.Arrange = [&](FaultMachine& m) {
      m.Os.Files().Find(kDriver)->VersionResource = resource;
      arrange(m);
    };
    const RunRecord run = RunScenario(scenario, {});
    if (hostile.Careful == kPasses) {
      EXPECT_EQ(run.Shown, std::vector<std::string>{"message: EWF installation completed successfully."})
          << hostile.What;
      continue;
    }
    EXPECT_EQ(run.After.Entries, run.Before->Entries) << hostile.What;
    EXPECT_EQ(run.After.RootDacl, run.Before->RootDacl) << hostile.What;
    if (hostile.Careful == kStops) {
      EXPECT_TRUE(run.Shown.empty()) << hostile.What;
    } else {
      ASSERT_EQ(run.Shown.size(), 1u) << hostile.What;
      EXPECT_NE(run.Shown[0].find("Version found: " + hostile.Careful.Version + "\r"), std::string::npos)
          << hostile.What;
    }
  }
}

}  // namespace
}  // namespace fault
