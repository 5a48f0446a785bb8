// What the TOs contract suite runs on: a TOs and a scratch corner of its
// machine. Each test binary gives its own: TFakeOs in the unit tests, TWin32Os
// on a real (Wine) registry and file system in the Wine tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "services/os.h"

class TContractEnvironment {
 public:
  virtual ~TContractEnvironment() = default;
  virtual TOs& Os() = 0;
  // An empty folder for one test, ending in a backslash; removed afterwards.
  virtual std::string ScratchFolder() = 0;
  // A key opened with full access under which one test may work; removed afterwards.
  virtual HKEY ScratchKey() = 0;
  // What the TOs seam cannot do itself.
  virtual void WriteFile(const std::string& path, const std::string& contents) = 0;
  // The file's contents, or "<missing>".
  virtual std::string ReadFile(const std::string& path) = 0;
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void SetEnv(const std::string& name, const std::string& value) = 0;
  virtual void UnsetEnv(const std::string& name) = 0;
  // A file with a version resource holding fixed information and a translation table.
  virtual std::string FileWithVersionResource() = 0;
  // A console program that writes `line` and a line break to its standard
  // output and exits, or writes nothing for an empty line: the file to
  // start and its command line.
  struct ProgramRun {
    std::string Application;
    std::string CommandLine;
  };
  virtual ProgramRun ProgramPrinting(const std::string& line) = 0;
};

std::unique_ptr<TContractEnvironment> MakeContractEnvironment();

class OsContract : public ::testing::Test {
 protected:
  void SetUp() override { Env_ = MakeContractEnvironment(); }
  void TearDown() override { Env_.reset(); }
  TOs& Os() { return Env_->Os(); }
  TContractEnvironment& Env() { return *Env_; }

  // Seeds the last error so that a call which does not set it shows.
  void SeedLastError() { Os().SetLastError(0xDEADBEEF); }

 private:
  std::unique_ptr<TContractEnvironment> Env_;
};
