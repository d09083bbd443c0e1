// Profile files on disk: exact bytes after each kind of write, file-system
// outcomes, and writers in many processes at once.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "unit/platform/child_mode.h"

namespace platform {
namespace {

using namespace std::literals;
namespace fs = std::filesystem;

constexpr size_t kLarge = 4096;
constexpr uint32_t kChildWaitMs = 60000;
constexpr int kWriterProcesses = 20;
constexpr int kWriterRounds = 5;
constexpr std::string_view kWriterSwitch = "--profile-writer";

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
}

enum class Op { kWrite, kDeleteKey, kDeleteSection };

struct Step {
  Op op;
  std::string_view section, key, value;
  std::string want;  // the whole file afterwards
};

bool Apply(const std::string& path, const Step& step) {
  switch (step.op) {
    case Op::kWrite:
      return ProfileWriteString(path, step.section, step.key, step.value);
    case Op::kDeleteKey:
      return ProfileDeleteKey(path, step.section, step.key);
    case Op::kDeleteSection:
      return ProfileDeleteSection(path, step.section);
  }
  return false;
}

// Replace, add to a section (after a last line without a break, too), add a
// section, delete a key and a section, then two writes that change nothing.
TEST(ProfileFiles, WriteSequenceEditsOnlyTheLinesConcerned) {
  if (OnWindows()) {
    GTEST_SKIP() << "the system's profile calls decide the bytes of the file on Windows "
                    "(Wine rewrites it whole); ProfileContract pins values and sections";
  }
  const std::string head = "\0\1junk=1\r\n; top comment\r\n"s;
  const std::string alpha =
      "[Alpha]\r\nk = v\r\n; between\r\nOther=1\r\n; after entries\r\n\r\n";
  const std::string alpha1 =
      "[Alpha]\r\nk=new\r\n; between\r\nOther=1\r\n; after entries\r\n\r\n";
  const std::string alpha2 =
      "[Alpha]\r\nk=new\r\n; between\r\nOther=1\r\nadded= spaced \r\n"
      "; after entries\r\n\r\n";
  const std::string beta = "[Beta]\r\n  x = 1\r\n\r\n; beta comment\r\ny = 2";
  const std::string beta1 = beta + "\r\nz=5\r\n";
  const std::string beta2 = "[Beta]\r\n\r\n; beta comment\r\ny = 2\r\nz=5\r\n";
  const std::string gamma = "[Gamma]\r\ng=7\r\n";

  const std::string rest = "; between\r\n; after entries\r\n\r\n";
  const Step steps[] = {
      {Op::kWrite, "alpha", " K ", "new", head + alpha1 + beta},
      {Op::kWrite, "Alpha", "added", " spaced ", head + alpha2 + beta},
      {Op::kWrite, "BETA", "z", "5", head + alpha2 + beta1},
      {Op::kWrite, "Gamma", "g", "7", head + alpha2 + beta1 + gamma},
      {Op::kDeleteKey, "beta", "X", "", head + alpha2 + beta2 + gamma},
      {Op::kDeleteSection, " alpha ", "", "", head + rest + beta2 + gamma},
      {Op::kWrite, "beta", "z", "5", head + rest + beta2 + gamma},
      {Op::kDeleteKey, "beta", "x", "", head + rest + beta2 + gamma},
  };
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "group.ini";
  WriteBytes(path, head + alpha + beta);
  for (const Step& step : steps) {
    EXPECT_TRUE(Apply(path, step)) << "step " << &step - steps;
    EXPECT_EQ(ReadBytes(path), step.want) << "step " << &step - steps;
  }
  EXPECT_EQ(ProfileReadString(path, "beta", "y", "", kLarge), "2");
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"group.ini"});
}

TEST(ProfileFiles, WriteIntoMissingFolderFailsAndCreatesNothing) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  EXPECT_FALSE(ProfileWriteString(temp.path() + "absent/p.ini", "s", "k", "v"));
  EXPECT_FALSE(ProfileWriteString("", "s", "k", "v"));
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST(ProfileFiles, MissingFileReadsAsDefaultsAndOnlyAWriteCreatesIt) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "p.ini";
  EXPECT_EQ(ProfileReadString(path, "s", "k", "dflt ", kLarge), "dflt");
  EXPECT_EQ(ProfileReadSection(path, "s", kLarge), "\0\0"s);
  EXPECT_TRUE(ProfileDeleteKey(path, "s", "k"));
  EXPECT_TRUE(ProfileDeleteSection(path, "s"));
  EXPECT_TRUE(fs::is_empty(temp.path()));

  EXPECT_TRUE(ProfileWriteString(path, " s ", " k ", "v"));
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=v\r\n");
}

TEST(ProfileFiles, ReplacementKeepsTheFileMode) {
  if (OnWindows()) GTEST_SKIP() << "Windows files have no POSIX permission bits";
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "p.ini";
  WriteBytes(path, "[s]\r\nk=1\r\n");
  const fs::perms mode =
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  ASSERT_TRUE(ProfileWriteString(path, "s", "k", "2"));
  EXPECT_EQ(ReadBytes(path), "[s]\r\nk=2\r\n");
  EXPECT_EQ(fs::status(path).permissions(), mode);
}

// A CR, LF or NUL written raw would start a line of its own (a forged key or
// section), so such writes fail and leave the file alone.
TEST(ProfileFiles, WritesThatWouldSplitALineAreRefused) {
  struct Case {
    std::string_view section, key, value;
  };
  const Case cases[] = {
      {"s", "k", "1\r\n[admin]\r\nk=2"},
      {"s", "k", "1\rx=2"},
      {"s", "k", "1\0x"sv},
      {"s", "k\nx", "1"},
      {"new\n", "k", "1"},
  };
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "p.ini";
  const std::string before = "[s]\r\nk=0\r\n";
  WriteBytes(path, before);
  for (const Case& c : cases) {
    EXPECT_FALSE(ProfileWriteString(path, c.section, c.key, c.value))
        << testing::PrintToString(std::string(c.value));
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"p.ini"});
}

TEST(ProfileFiles, LongLinesHaveNoLimit) {
  if (OnWindows()) {
    GTEST_SKIP() << "the Windows profile calls do not read values of 64 Ki characters "
                    "(Wine: 32 Ki) and more";
  }
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "p.ini";
  const std::string value(3 << 20, 'v');
  const std::string key(70000, 'k');
  ASSERT_TRUE(ProfileWriteString(path, "s", key, value));
  ASSERT_TRUE(ProfileWriteString(path, "s", "after", "1"));
  EXPECT_EQ(ProfileReadString(path, "s", key, "", value.size() + 1), value);
  EXPECT_EQ(ProfileReadString(path, "s", "after", "", kLarge), "1");
}

// Child: waits for the start signal (a file), then writes its key
// kWriterRounds times. Arguments: profile path, signal path, key.
int ProfileWriterChild(const std::vector<std::string>& args) {
  if (args.size() != 3) return 2;
  const auto give_up =
      std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(args[1])) {
    if (std::chrono::steady_clock::now() > give_up) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (int round = 1; round <= kWriterRounds; ++round) {
    if (!ProfileWriteString(args[0], "Members", args[2],
                            std::to_string(round))) {
      return 1;
    }
  }
  return 0;
}

[[maybe_unused]] const bool kWriterRegistered =
    child_mode::Register(kWriterSwitch, &ProfileWriterChild);

TEST(ProfileConcurrency, ProcessesStartedTogetherKeepEveryKey) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "group.ini";
  const std::string start = temp.path() + "start";
  std::vector<Child> children;
  for (int i = 0; i < kWriterProcesses; ++i) {
    children.push_back(Child::Start(child_mode::Command(
        kWriterSwitch, {path, start, "member" + std::to_string(i)})));
    ASSERT_TRUE(children.back().started());
  }
  WriteBytes(start, "");
  for (Child& child : children) {
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    EXPECT_EQ(child.exit_code(), 0);
  }
  for (int i = 0; i < kWriterProcesses; ++i) {
    EXPECT_EQ(ProfileReadString(path, "Members", "member" + std::to_string(i),
                                "missing", kLarge),
              std::to_string(kWriterRounds));
  }
  EXPECT_EQ(Names(temp.path()),
            (std::vector<std::string>{"group.ini", "start"}));
}

}  // namespace
}  // namespace platform
