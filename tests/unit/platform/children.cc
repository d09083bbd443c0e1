// Child processes: a switch as the first argument runs this program as one of the children
// below (see tests/unit/main.cc), which report what they received.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

using namespace std::literals;
using Args = std::vector<std::string>;

constexpr uint32_t kChildWaitMs = 60000;
constexpr char kVariable[] = "MORVANE_PROCESS_TEST";
constexpr int kWriters = 20;
constexpr int kRounds = 5;

int Print(std::string_view text) { return std::fwrite(text.data(), 1, text.size(), stdout), 0; }

// Each argument as "<length>:<bytes>\n", so that empty ones and blanks show.
std::string Listed(const Args& args) {
  std::string lines;
  for (const std::string& arg : args) lines += std::to_string(arg.size()) + ":" + arg + "\n";
  return lines;
}

std::string LogLine(const std::string& key) { return "[" + key + std::string(90, '.') + "]\r\n"; }

// Waits for the file "start", then writes its key and logs it kRounds times.
int ProfileWriter(const Args& args) {
  for (int ms = 0; ms < 60000 && !PathExists(args.at(0) + "start"); ++ms) SleepMs(1);
  for (int round = 1; round <= kRounds; ++round) {
    if (!ProfileWriteString(args[0] + "group.ini", "Members", args.at(1), std::to_string(round)))
      return 1;
    if (!AppendToFile(args[0] + "log", LogLine(args[1]), nullptr)) return 1;
  }
  return 0;
}

const std::pair<std::string_view, int (*)(const Args&)> kChildren[] = {
    {"--print-args",  // and what it sees of kVariable: "=value" or "-"
     [](const Args& args) {
       std::string value;
       return Print(Listed(args) + (GetEnv(kVariable, &value) ? "=" + value : "-"));
     }},
    // The input is read as a C stream, which on Windows turns CR LF into LF.
    {"--echo-input",
     [](const Args&) {
       char chunk[4096];
       for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) Print({chunk, got});
       return 0;
     }},
    {"--exit-after", [](const Args& a) { return SleepMs(std::stoi(a.at(1))), std::stoi(a[0]); }},
    {"--profile-writer", &ProfileWriter},
};

Args Command(std::string_view mode, Args args = {}) {
  args.insert(args.begin(), {ProgramPath(), std::string(mode)});
  return args;
}

std::string RunChild(std::string_view mode, const Args& args, const EnvChanges& env = {},
                     const std::optional<std::string>& input = std::nullopt) {
  Child child = Child::Start(Command(mode, args), env, /*capture_output=*/true, input);
  if (!child.started() || !child.Wait(kChildWaitMs) || child.exit_code() != 0) return "<failed>";
  return child.output();
}

// Each argument arrives exactly (on Windows the child's C runtime undoes the quoting), and so
// do more input and output than a pipe holds, the environment and the exit code.
TEST(ChildProcess, ArgumentsBytesEnvironmentAndExitCodeArriveExactlyKillAndMissingProgram) {
  const Args groups[] = {
      {"plain", "two words", "", "tab\there", "end"},
      {"\"", "quote\"inside", "\"both ends\"", "''"},
      {"back\\slash", "trail\\", "trail\\\\", "\\\"", "a\\\\\"b c", "\\\\server\\share\\"},
      {"", ""},
      {"/s", "+15550001111", "/t", "@Friends", "50%", "^caret", "a&b|c<d>e"},
      {"caf\xC3\xA9", "\xE2\x82\xAC"},
  };
  for (const Args& args : groups) EXPECT_EQ(RunChild("--print-args", args), Listed(args) + "-");
  const std::string input = std::string(300000, 'f') + "\nline two\n\0binary\xFF"s;
  EXPECT_EQ(RunChild("--echo-input", {}, {}, input), input);
  // The environment is inherited; the changes of one child are its own.
  ASSERT_TRUE(SetEnv(kVariable, "inherited"));
  EXPECT_EQ(
      RunChild("--print-args", {}) + RunChild("--print-args", {}, {{kVariable, std::nullopt}}),
      "=inherited-");
  EXPECT_EQ(RunChild("--print-args", {}, {{kVariable, "x y"}, {"MORVANE_OTHER", ""}}) + "|" +
                RunChild("--print-args", {}, {{kVariable, ""}}),
            "=x y|=");
  std::string value;
  EXPECT_TRUE(GetEnv(kVariable, &value) && value == "inherited" && UnsetEnv(kVariable) &&
              !GetEnv(kVariable, &value))
      << value;
  EXPECT_EQ(RunChild("--print-args", {}), "-");
  Child done = Child::Start(Command("--exit-after", {"255", "0"}));
  EXPECT_TRUE(done.Wait(kChildWaitMs) && done.exited() && !done.killed_by_signal() &&
              done.exit_code() == 255);
  Child child = Child::Start(Command("--exit-after", {"0", "120000"}));
  ASSERT_TRUE(child.started());
  EXPECT_FALSE(child.Wait(0) || child.exited());
  child.Kill();
  EXPECT_TRUE(child.exited() && child.killed_by_signal() && child.Wait(0));
  const std::string suffix(ExecutableSuffix());
  EXPECT_EQ(ProgramFolder() + "unit_tests" + suffix, ProgramPath());
  EXPECT_FALSE(Child::Start({ProgramFolder() + "no-such-program" + suffix}).started() ||
               Child::Start({}).started());
}

// Processes started together write their own keys and append log lines: none is lost or torn.
TEST(ProfileConcurrency, ProcessesStartedTogetherKeepEveryKeyAndLine) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  std::vector<Child> children;
  for (int i = 0; i < kWriters; ++i) {
    children.push_back(
        Child::Start(Command("--profile-writer", {temp.path(), "m" + std::to_string(i + 10)})));
  }
  ASSERT_TRUE(AppendToFile(temp.path() + "start", "", nullptr));
  for (Child& child : children) EXPECT_TRUE(child.Wait(kChildWaitMs) && child.exit_code() == 0);
  std::string log;
  ASSERT_TRUE(ReadWholeFile(temp.path() + "log", &log));
  size_t whole = 0;
  for (int i = 0; i < kWriters; ++i) {
    const std::string key = "m" + std::to_string(i + 10), line = LogLine(key);
    EXPECT_EQ(ProfileReadString(temp.path() + "group.ini", "Members", key, "", 9),
              std::to_string(kRounds));
    for (size_t at = 0; (at = log.find(line, at)) != std::string::npos; ++at) whole += line.size();
  }
  EXPECT_TRUE(whole == log.size() && whole == kWriters * kRounds * LogLine("m10").size()) << whole;
}

}  // namespace
}  // namespace platform

// Runs this program as the child that `args[0]` names; nothing when it names none.
std::optional<int> RunPlatformChild(const std::vector<std::string>& args) {
  for (const auto& [mode, run] : platform::kChildren) {
    if (!args.empty() && args[0] == mode) {
      platform::UseBinaryStandardOutput();
      return run(std::vector<std::string>(args.begin() + 1, args.end()));
    }
  }
  return std::nullopt;
}
