#include "support/morvane_harness.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "common/limits.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "processor/run.h"
#include "processor/vocabulary.h"
#include "store/error_counter.h"
#include "store/group_store.h"
#include "userdir/pendrel.h"

namespace {

// Room for any count the store writes.
constexpr size_t kCountBuffer = kProfileValueBuffer;

bool MakeParentFolders(const std::string& file) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), error);
  return !error;
}

// A program of the build, with the platform's executable suffix.
std::string BuiltProgram(std::string_view name) {
  return std::string(MORVANE_BIN_DIR) + "/" + std::string(name) +
         std::string(platform::ExecutableSuffix());
}

}  // namespace

platform::EnvChanges MergeEnv(platform::EnvChanges base, const platform::EnvChanges& changes) {
  for (const auto& change : changes) {
    const auto same = [&](const auto& entry) { return entry.first == change.first; };
    std::erase_if(base, same);
    base.push_back(change);
  }
  return base;
}

std::string MorvaneProgram() { return BuiltProgram("morvane"); }

std::string MorvanectlProgram() { return BuiltProgram("morvanectl"); }

std::string KavrelSimProgram() { return BuiltProgram("kavrel-sim"); }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const platform::EnvChanges& env) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  platform::Child child = platform::Child::Start(argv, env, /*capture_output=*/true);
  RunResult result;
  // How a run went wrong is printed, for the test's log.
  if (!child.started()) {
    std::fprintf(stderr, "%s: could not be started\n", program.c_str());
    return result;
  }
  if (!child.Wait(kRunTimeoutMs)) {
    std::fprintf(stderr, "%s: still running after %u ms, killed\n", program.c_str(), kRunTimeoutMs);
    child.Kill();
    result.output = child.output();
    return result;
  }
  result.finished = !child.killed_by_signal();
  result.exit_code = child.exit_code();
  result.output = child.output();
  if (!result.finished) {
    std::fprintf(stderr, "%s: ended abnormally, status %d\n", program.c_str(), child.exit_code());
  }
  return result;
}

std::string MorvaneHome::GroupsPath() const { return path() + kStoreFolderName + "/"; }

RunResult MorvaneHome::Run(const std::vector<std::string>& args,
                           const platform::EnvChanges& env) const {
  return RunProgram(MorvaneProgram(), args, env);
}

RunResult MorvaneHome::RunTool(const std::vector<std::string>& args,
                               const platform::EnvChanges& env) const {
  return RunProgram(MorvanectlProgram(), args, env);
}

RunResult MorvaneHome::RunProgram(const std::string& program, const std::vector<std::string>& args,
                                  const platform::EnvChanges& env) const {
  const platform::EnvChanges base = {{kDataHomeVariable, path()},
                                     {kAdminModeVariable, std::nullopt}};
  return ::RunProgram(program, args, MergeEnv(base, env));
}

bool MorvaneHome::Exists(std::string_view relative) const {
  return platform::PathExists(path() + std::string(relative));
}

std::string MorvaneHome::ReadFile(std::string_view relative) const {
  std::string contents;
  if (!platform::ReadWholeFile(path() + std::string(relative), &contents)) return std::string();
  return contents;
}

bool MorvaneHome::WriteProfile(std::string_view relative, std::string_view section,
                               std::string_view key, std::string_view value) const {
  const std::string file = path() + std::string(relative);
  return MakeParentFolders(file) && platform::ProfileWriteString(file, section, key, value);
}

bool MorvaneHome::AddAccount(std::string_view name, std::string_view password) const {
  return WriteProfile(kUsersFileName, kUsersSection, name, password);
}

bool MorvaneHome::WriteGroupValue(std::string_view group, std::string_view section,
                                  std::string_view key, std::string_view value) const {
  const std::string relative =
      std::string(kStoreFolderName) + "/" + std::string(group) + "/" + kGroupIniName;
  return WriteProfile(relative, section, key, value);
}

std::string MorvaneHome::ErrorCounterPath() const { return GroupsPath() + kErrorCounterName; }

unsigned MorvaneHome::ErrorCount(std::string_view phone) const {
  const std::string value =
      platform::ProfileReadString(ErrorCounterPath(), kErrorsSection, phone, "", kCountBuffer);
  return static_cast<unsigned>(ParseLeadingLong(value));
}

bool MorvaneHome::HasErrorCount(std::string_view phone) const {
  // A default no count can have tells a missing key from a present one.
  return platform::ProfileReadString(ErrorCounterPath(), kErrorsSection, phone, "-",
                                     kCountBuffer) != "-";
}

bool MorvaneHome::SetErrorCount(std::string_view phone, unsigned count) const {
  return WriteProfile(std::string(kStoreFolderName) + "/" + kErrorCounterName, kErrorsSection,
                      phone, std::to_string(count));
}

MorvaneCopy::MorvaneCopy() {
  if (dir_.path().empty()) return;
  const std::string copy = dir_.path() + "morvane" + std::string(platform::ExecutableSuffix());
  std::error_code error;
  std::filesystem::copy_file(MorvaneProgram(), copy, error);
  if (!error) program_ = copy;
}

std::string MorvaneCopy::TranslationPath() const { return dir_.path() + kTranslationFileName; }

bool MorvaneCopy::SetCommand(std::string_view english, std::string_view translated) const {
  return platform::ProfileWriteString(TranslationPath(), kCommandsSection, english, translated);
}

bool MorvaneCopy::SetText(std::string_view key, std::string_view text) const {
  return platform::ProfileWriteString(TranslationPath(), kTextSection, key, text);
}
