// Child processes for real: this program started again in a child mode
// reports the arguments, environment and input it received, so that each
// platform's way of passing them (an argument vector on POSIX, one quoted
// command line on Windows) is checked end to end.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "unit/platform/child_mode.h"

namespace platform {
namespace {

using namespace std::literals;

constexpr uint32_t kChildWaitMs = 60000;
constexpr char kVariable[] = "MORVANE_PROCESS_TEST";
constexpr std::string_view kArgsSwitch = "--print-args";
constexpr std::string_view kEnvSwitch = "--print-env";
constexpr std::string_view kEchoSwitch = "--echo-input";
constexpr std::string_view kExitSwitch = "--exit-with";
constexpr std::string_view kSleepSwitch = "--sleep";
constexpr std::string_view kFloodSwitch = "--flood";
// More output than a pipe holds, so the parent must read while it waits.
constexpr size_t kFloodBytes = 300000;

void Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// Each argument as "<length>:<bytes>\n", so that empty arguments and
// blanks show.
int PrintArgsChild(const std::vector<std::string>& args) {
  UseBinaryStandardOutput();
  for (const std::string& arg : args) Print(std::to_string(arg.size()) + ":" + arg + "\n");
  return 0;
}

int PrintEnvChild(const std::vector<std::string>& args) {
  UseBinaryStandardOutput();
  for (const std::string& name : args) {
    std::string value;
    Print(GetEnv(name, &value) ? "set:" + value + "\n" : "unset\n");
  }
  return 0;
}

int EchoInputChild(const std::vector<std::string>&) {
  UseBinaryStandardOutput();
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) Print({chunk, got});
  return 0;
}

int ExitWithChild(const std::vector<std::string>& args) {
  return args.size() == 1 ? std::stoi(args[0]) : 2;
}

int SleepChild(const std::vector<std::string>&) {
  std::this_thread::sleep_for(std::chrono::seconds(120));
  return 0;
}

int FloodChild(const std::vector<std::string>&) {
  UseBinaryStandardOutput();
  Print(std::string(kFloodBytes, 'f') + "\r\nend\n");
  return 0;
}

[[maybe_unused]] const bool kRegistered =
    child_mode::Register(kArgsSwitch, &PrintArgsChild) &&
    child_mode::Register(kEnvSwitch, &PrintEnvChild) &&
    child_mode::Register(kEchoSwitch, &EchoInputChild) &&
    child_mode::Register(kExitSwitch, &ExitWithChild) &&
    child_mode::Register(kSleepSwitch, &SleepChild) &&
    child_mode::Register(kFloodSwitch, &FloodChild);

// Runs this program in a child mode and collects its output.
std::string RunChild(std::string_view mode, const std::vector<std::string>& args,
                     const EnvChanges& env = {},
                     const std::optional<std::string>& input = std::nullopt) {
  Child child = Child::Start(child_mode::Command(mode, args), env, /*capture_output=*/true, input);
  if (!child.started() || !child.Wait(kChildWaitMs) || child.exit_code() != 0) return "<failed>";
  return child.output();
}

std::string Expected(const std::vector<std::string>& args) {
  std::string lines;
  for (const std::string& arg : args) lines += std::to_string(arg.size()) + ":" + arg + "\n";
  return lines;
}

// Each group of arguments reaches the child exactly: on Windows the quoting
// of the command line must undo itself in the child's C runtime.
TEST(ChildProcess, ArgumentsArriveExactly) {
  const std::vector<std::vector<std::string>> cases = {
      {"plain", "two words", "", "tab\there", "end"},
      {"\"", "quote\"inside", "\"both ends\"", "''"},
      {"back\\slash", "trail\\", "trail\\\\", "\\\"", "a\\\\\"b c", "\\\\server\\share\\"},
      {"", ""},
      {"/s", "+15550001111", "/t", "@Friends", "50%", "^caret", "a&b|c<d>e"},
      {"caf\xC3\xA9", "\xE2\x82\xAC"},
  };
  for (const auto& args : cases) {
    EXPECT_EQ(RunChild(kArgsSwitch, args), Expected(args)) << testing::PrintToString(args);
  }
}

// A variable set in this process reaches the child, and the changes of one
// child override it or remove it for that child only.
TEST(ChildProcess, EnvironmentIsInheritedWithTheChanges) {
  ASSERT_TRUE(SetEnv(kVariable, "inherited value"));
  EXPECT_EQ(RunChild(kEnvSwitch, {kVariable}), "set:inherited value\n");
  EXPECT_EQ(RunChild(kEnvSwitch, {kVariable, "MORVANE_OTHER"},
                     {{kVariable, "changed"}, {"MORVANE_OTHER", "x y"}}),
            "set:changed\nset:x y\n");
  EXPECT_EQ(RunChild(kEnvSwitch, {kVariable}, {{kVariable, std::nullopt}}), "unset\n");
  EXPECT_EQ(RunChild(kEnvSwitch, {kVariable}, {{kVariable, ""}}), "set:\n");
  std::string value;
  ASSERT_TRUE(GetEnv(kVariable, &value));
  EXPECT_EQ(value, "inherited value");  // the changes were the child's only
  ASSERT_TRUE(UnsetEnv(kVariable));
  EXPECT_FALSE(GetEnv(kVariable, &value));
  EXPECT_EQ(RunChild(kEnvSwitch, {kVariable}), "unset\n");
}

// The child reads its input as a C stream, which on Windows turns CR LF into
// LF, so the input has none; the output is binary on every platform.
TEST(ChildProcess, OutputPassesEveryByteAndInputArrives) {
  const std::string input = "line one\nline two\n\0binary\xFF"s;
  EXPECT_EQ(RunChild(kEchoSwitch, {}, {}, input), input);
  EXPECT_EQ(RunChild(kFloodSwitch, {}), std::string(kFloodBytes, 'f') + "\r\nend\n");
}

TEST(ChildProcess, ExitCodesComeBack) {
  for (const int code : {0, 1, 42, 255}) {
    Child child = Child::Start(child_mode::Command(kExitSwitch, {std::to_string(code)}));
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    EXPECT_TRUE(child.exited());
    EXPECT_FALSE(child.killed_by_signal());
    EXPECT_EQ(child.exit_code(), code);
  }
}

TEST(ChildProcess, WaitEndsAtItsLimitAndKillEndsTheChild) {
  Child child = Child::Start(child_mode::Command(kSleepSwitch, {}));
  ASSERT_TRUE(child.started());
  EXPECT_FALSE(child.Wait(0));
  EXPECT_FALSE(child.exited());
  child.Kill();
  EXPECT_TRUE(child.exited());
  EXPECT_TRUE(child.killed_by_signal());
  EXPECT_TRUE(child.Wait(0));
}

TEST(ChildProcess, MissingProgramDoesNotStart) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  Child child = Child::Start({temp.path() + "no-such-program" + std::string(ExecutableSuffix())});
  EXPECT_FALSE(child.started());
  EXPECT_FALSE(child.Wait(0));
  EXPECT_FALSE(Child::Start({}).started());
}

TEST(ProgramFiles, ProgramPathNamesThisTestProgram) {
  const std::string path = ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  const std::string name = "platform_tests" + std::string(ExecutableSuffix());
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  const std::string folder = ProgramFolder();
  EXPECT_EQ(folder + name, path);
  EXPECT_EQ(folder.back(), PathSeparator());
}

}  // namespace
}  // namespace platform
