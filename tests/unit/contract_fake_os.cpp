// The TOs contract suite on TFakeOs.
#include "contract/contract_environment.h"
#include "support/fake_os.h"
#include "support/version_resource_builder.h"

namespace {

class TFakeContractEnvironment : public TContractEnvironment {
 public:
  TFakeContractEnvironment() {
    os_.Files().AddFolder("C:\\Scratch");
    os_.RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\StillvaneContract", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &scratchKey_, nullptr);
  }

  TOs& os() override { return os_; }
  std::string ScratchFolder() override { return "C:\\Scratch\\"; }
  HKEY ScratchKey() override { return scratchKey_; }
  void WriteFile(const std::string& path, const std::string& contents) override { os_.Files().AddFile(path, contents); }
  std::string ReadFile(const std::string& path) override {
    return os_.Files().IsFile(path) ? os_.Files().Find(path)->contents : "<missing>";
  }
  void MakeFolder(const std::string& path) override { os_.Files().AddFolder(path); }
  void SetEnv(const std::string& name, const std::string& value) override { os_.SetEnv(name, value); }
  void UnsetEnv(const std::string& name) override { os_.UnsetEnv(name); }
  std::string FileWithVersionResource() override {
    const std::string path = "C:\\Scratch\\versioned.sys";
    os_.Files().AddFile(path, "program").versionResource = BuildVersionResource(FileVersionParts{2, 0, 927, 0});
    return path;
  }
  ProgramRun ProgramPrinting(const std::string& line) override {
    const std::string path = "C:\\Scratch\\print.exe";
    os_.Processes().SetProgram(path, line + "\r\n");
    return {path, "\"" + path + "\""};
  }

 private:
  TFakeOs os_;
  HKEY scratchKey_ = nullptr;
};

}  // namespace

std::unique_ptr<TContractEnvironment> MakeContractEnvironment() {
  return std::make_unique<TFakeContractEnvironment>();
}
