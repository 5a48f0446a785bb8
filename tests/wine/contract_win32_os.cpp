// The TOs contract suite on TWin32Os: the real registry and file system of the
// Wine prefix, in a scratch folder and a scratch key under HKEY_CURRENT_USER.
#include <vector>

#include "contract/contract_environment.h"
#include "services/win32_os.h"
#include "wine/scratch.h"

namespace {

class TWin32ContractEnvironment : public TContractEnvironment {
 public:
  TWin32ContractEnvironment() : Folder_(MakeScratchFolder()), KeyPath_(MakeScratchKeyPath()) {
    RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &Key_, nullptr);
  }
  ~TWin32ContractEnvironment() override {
    if (Key_) RegCloseKey(Key_);
    DeleteKeyTree(HKEY_CURRENT_USER, KeyPath_);
    DeleteFolderTree(Folder_);
    for (const std::string& name : Variables_) SetEnvironmentVariableA(name.c_str(), nullptr);
  }

  TOs& Os() override { return Os_; }
  std::string ScratchFolder() override { return Folder_; }
  HKEY ScratchKey() override { return Key_; }
  void WriteFile(const std::string& path, const std::string& contents) override { WriteWholeFile(path, contents); }
  std::string ReadFile(const std::string& path) override { return ReadWholeFile(path); }
  void MakeFolder(const std::string& path) override { CreateDirectoryA(path.c_str(), nullptr); }
  void SetEnv(const std::string& name, const std::string& value) override {
    Variables_.push_back(name);
    SetEnvironmentVariableA(name.c_str(), value.c_str());
  }
  void UnsetEnv(const std::string& name) override { SetEnvironmentVariableA(name.c_str(), nullptr); }
  std::string FileWithVersionResource() override {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\kernel32.dll";
  }
  ProgramRun ProgramPrinting(const std::string& line) override {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    return {std::string(system) + "\\cmd.exe", line.empty() ? "cmd.exe /c rem" : "cmd.exe /c echo " + line};
  }

 private:
  TWin32Os Os_;
  std::string Folder_;
  std::string KeyPath_;
  HKEY Key_ = nullptr;
  std::vector<std::string> Variables_;
};

}  // namespace

std::unique_ptr<TContractEnvironment> MakeContractEnvironment() {
  return std::make_unique<TWin32ContractEnvironment>();
}
