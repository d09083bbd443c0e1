// Runs of the real programs for the end-to-end tests, each home with a store
// of its own in a temporary gateway data directory (KAVREL_HOME). A test of
// the translation file runs a MorvaneCopy, so that the file lies beside the
// copy and never beside the shared build.
#ifndef SUPPORT_MORVANE_HARNESS_H_
#define SUPPORT_MORVANE_HARNESS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "support/temp_dir.h"

// A run that has not ended by then is killed and reported unfinished.
constexpr uint32_t kRunTimeoutMs = 30000;

// The programs built with the tests.
std::string MorvaneProgram();
std::string MorvanectlProgram();
std::string KavrelSimProgram();

// `base` with `changes` applied: a later change of a name replaces an earlier
// one, so each variable reaches the child once.
platform::EnvChanges MergeEnv(platform::EnvChanges base, const platform::EnvChanges& changes);

struct RunResult {
  bool finished = false;  // started and ended within kRunTimeoutMs
  int exit_code = -1;
  std::string output;  // all it wrote to standard output
};

// Starts `program` with `args` after the program name, the environment of
// the test with `env` applied, and collects its standard output.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const platform::EnvChanges& env);

class MorvaneHome {
 public:
  MorvaneHome() = default;

  // The data directory with a trailing '/'; empty when it could not be made.
  const std::string& path() const { return dir_.path(); }
  // The store root, path() + "Groups/" (made by the first run).
  std::string GroupsPath() const;

  // Runs the built morvane with KAVREL_HOME set to this home and
  // TessaryAdmin removed; `env` is applied on top of that.
  RunResult Run(const std::vector<std::string>& args, const platform::EnvChanges& env = {}) const;
  // Runs the built morvanectl the same way.
  RunResult RunTool(const std::vector<std::string>& args,
                    const platform::EnvChanges& env = {}) const;
  // The same with another program, such as a MorvaneCopy.
  RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const platform::EnvChanges& env = {}) const;

  // Files of the home, by path relative to path().
  bool Exists(std::string_view relative) const;
  // The file's contents; empty when it is missing.
  std::string ReadFile(std::string_view relative) const;
  // Writes section/key=value into the profile file, making missing folders.
  bool WriteProfile(std::string_view relative, std::string_view section, std::string_view key,
                    std::string_view value) const;

  // An account of the gateway's user list (USERS.INI, section Users).
  bool AddAccount(std::string_view name, std::string_view password) const;
  // A value of the group's Groups/<group>/GROUP.INI; folders are made.
  bool WriteGroupValue(std::string_view group, std::string_view section, std::string_view key,
                       std::string_view value) const;

  // The sender's count in Groups/ERRORCTR.INI: 0 when the key is missing.
  unsigned ErrorCount(std::string_view phone) const;
  // True when the file holds a count for the sender (a count is never 0).
  bool HasErrorCount(std::string_view phone) const;
  bool SetErrorCount(std::string_view phone, unsigned count) const;

 private:
  std::string ErrorCounterPath() const;

  TempDir dir_;
};

// A copy of the built morvane in a temporary folder of its own, with a
// translation file beside it.
class MorvaneCopy {
 public:
  MorvaneCopy();

  // The copy's path; empty when it could not be made.
  const std::string& program() const { return program_; }

  // Commands/english = translated, and Text/key = text.
  bool SetCommand(std::string_view english, std::string_view translated) const;
  bool SetText(std::string_view key, std::string_view text) const;

 private:
  std::string TranslationPath() const;

  TempDir dir_;
  std::string program_;
};

#endif  // SUPPORT_MORVANE_HARNESS_H_
