// The TOs contract suite on TFakeOs.
#include "contract/contract_environment.h"
#include "support/fake_os.h"
#include "support/version_resource_builder.h"

namespace {

class TFakeContractEnvironment : public TContractEnvironment {
 public:
  TFakeContractEnvironment() {
    Os_.Files().AddFolder("C:\\Scratch");
    Os_.RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\StillvaneContract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &ScratchKey_, nullptr);
  }

  TOs& Os() override { return Os_; }
  std::string ScratchFolder() override { return "C:\\Scratch\\"; }
  HKEY ScratchKey() override { return ScratchKey_; }
  void WriteFile(const std::string& path, const std::string& contents) override { Os_.Files().AddFile(path, contents); }
  std::string ReadFile(const std::string& path) override {
    return Os_.Files().IsFile(path) ? Os_.Files().Find(path)->Contents : "<missing>";
  }
  void MakeFolder(const std::string& path) override { Os_.Files().AddFolder(path); }
  void SetEnv(const std::string& name, const std::string& value) override { Os_.SetEnv(name, value); }
  void UnsetEnv(const std::string& name) override { Os_.UnsetEnv(name); }
  std::string FileWithVersionResource() override {
    const std::string path = "C:\\Scratch\\versioned.sys";
    Os_.Files().AddFile(path, "program").VersionResource = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    return path;
  }
  ProgramRun ProgramPrinting(const std::string& line) override {
    const std::string path = "C:\\Scratch\\print.exe";
    Os_.Processes().SetProgram(path, line.empty() ? line : line + "\r\n");
    return {path, "\"" + path + "\""};
  }

 private:
  TFakeOs Os_;
  HKEY ScratchKey_ = nullptr;
};

}  // namespace

std::unique_ptr<TContractEnvironment> MakeContractEnvironment() {
  return std::make_unique<TFakeContractEnvironment>();
}
