// What profile files promise on every platform, seen through the calls only:
// values and section blocks after each kind of change, the cuts at the
// buffer limits, names without regard to case and outer spaces. The bytes of
// the file are each implementation's own (profile_test.cc pins the POSIX
// ones).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

using namespace std::literals;
namespace fs = std::filesystem;

constexpr size_t kLarge = 4096;
constexpr std::string_view kMissing = "<missing>";

enum class Op { kWrite, kDeleteKey, kDeleteSection };

struct Change {
  const char* scenario;
  Op op;
  std::string_view section, key, value;
  // Afterwards: what `key` of `section` reads as, and the section's block.
  std::string_view read;
  std::string block;
};

bool Apply(const std::string& path, const Change& change) {
  switch (change.op) {
    case Op::kWrite:
      return ProfileWriteString(path, change.section, change.key, change.value);
    case Op::kDeleteKey:
      return ProfileDeleteKey(path, change.section, change.key);
    case Op::kDeleteSection:
      return ProfileDeleteSection(path, change.section);
  }
  return false;
}

// One file through a sequence of changes; each row is checked right after
// its change, so a later row builds on the earlier ones.
TEST(ProfileContract, ValuesAndSectionsFollowEveryChange) {
  const Change changes[] = {
      {"NewFileAndSection", Op::kWrite, "Alpha", "k", "1", "1", "k=1\0\0"s},
      {"ReplaceInOtherCase", Op::kWrite, "ALPHA", "K", "2", "2", "k=2\0\0"s},
      {"OuterSpacesOfNames", Op::kWrite, " alpha ", " k ", "3", "3", "k=3\0\0"s},
      {"SecondKeyKeepsOrder", Op::kWrite, "Alpha", "next", "x=y", "x=y", "k=3\0next=x=y\0\0"s},
      {"QuotesKeepBlanks", Op::kWrite, "Beta", "q", "' two  words '", " two  words ",
       "q=' two  words '\0\0"s},
      {"BlanksAroundValue", Op::kWrite, "Beta", "b", "v  ", "v", "q=' two  words '\0b=v\0\0"s},
      {"EmptyValueIsNoDefault", Op::kWrite, "Beta", "e", "", "", "q=' two  words '\0b=v\0e=\0\0"s},
      {"DeleteKey", Op::kDeleteKey, "alpha", "K", "", kMissing, "next=x=y\0\0"s},
      {"DeleteMissingKey", Op::kDeleteKey, "Alpha", "none", "", kMissing, "next=x=y\0\0"s},
      {"DeleteSection", Op::kDeleteSection, "BETA", "q", "", kMissing, "\0\0"s},
      {"OtherSectionStays", Op::kWrite, "Alpha", "next", "z", "z", "next=z\0\0"s},
  };
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "contract.ini";
  for (const Change& change : changes) {
    SCOPED_TRACE(change.scenario);
    EXPECT_TRUE(Apply(path, change));
    EXPECT_EQ(ProfileReadString(path, change.section, change.key, kMissing, kLarge), change.read);
    EXPECT_EQ(ProfileReadSection(path, change.section, kLarge), change.block);
  }
  EXPECT_EQ(ProfileReadString(path, "Gamma", "k", "dflt  ", kLarge), "dflt");
}

struct ValueCut {
  size_t buffer_size;
  std::string_view value;    // of a stored "abcde"
  std::string_view missing;  // of a missing key with the default "dflt  "
};

// The cut at buffer_size - 1 characters, for found values and defaults.
TEST(ProfileContract, ValuesAreCutToTheBuffer) {
  const ValueCut cuts[] = {
      {0, "", ""},         {1, "", ""},           {2, "a", "d"},           {5, "abcd", "dflt"},
      {6, "abcde", "dflt"}, {7, "abcde", "dflt"}, {kLarge, "abcde", "dflt"},
  };
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "cut.ini";
  ASSERT_TRUE(ProfileWriteString(path, "s", "k", "abcde"));
  for (const ValueCut& cut : cuts) {
    EXPECT_EQ(ProfileReadString(path, "s", "k", "x", cut.buffer_size), cut.value)
        << cut.buffer_size;
    EXPECT_EQ(ProfileReadString(path, "s", "none", "dflt  ", cut.buffer_size), cut.missing)
        << cut.buffer_size;
  }
}

// The block "a=1\0b=22\0\0" takes 10 bytes; a smaller buffer cuts the last
// entry and still ends in two NULs.
TEST(ProfileContract, SectionBlocksAreCutToTheBuffer) {
  const std::pair<size_t, std::string> cuts[] = {
      {0, ""s},           {1, "\0"s},
      {2, "\0\0"s},       {3, "a\0\0"s},
      {9, "a=1\0b=2\0\0"s}, {10, "a=1\0b=22\0\0"s},
      {11, "a=1\0b=22\0\0"s},
  };
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "block.ini";
  ASSERT_TRUE(ProfileWriteString(path, "s", "a", "1"));
  ASSERT_TRUE(ProfileWriteString(path, "s", "b", "22"));
  for (const auto& [size, block] : cuts) {
    EXPECT_EQ(ProfileReadSection(path, "s", size), block) << size;
  }
}

// A file written by hand, with every line end, comments, blank lines and
// the first of two duplicates winning.
TEST(ProfileContract, ReadsFilesWrittenByOthers) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "hand.ini";
  {
    File file = CreateFile(path, CreateDisposition::kCreateNew, nullptr);
    ASSERT_TRUE(file.is_open());
    ASSERT_GT(file.Write("; comment\r\n[Users]\nAlice = secret \r\n\r\n"
                         "; inside\rBob=\"two words\"\nalice=second\n[Other]\nx=1"),
              0u);
  }
  EXPECT_EQ(ProfileReadString(path, "users", "ALICE", "", kLarge), "secret");
  EXPECT_EQ(ProfileReadString(path, "Users", "bob", "", kLarge), "two words");
  EXPECT_EQ(ProfileReadString(path, "Other", "x", "", kLarge), "1");
  EXPECT_EQ(ProfileReadSection(path, "Users", kLarge),
            "Alice=secret\0Bob=\"two words\"\0alice=second\0\0"s);
}

TEST(ProfileContract, MissingFileReadsAsDefaultsAndDeletesCreateNothing) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "none.ini";
  EXPECT_EQ(ProfileReadString(path, "s", "k", "dflt", kLarge), "dflt");
  EXPECT_EQ(ProfileReadSection(path, "s", kLarge), "\0\0"s);
  EXPECT_TRUE(ProfileDeleteKey(path, "s", "k"));
  EXPECT_TRUE(ProfileDeleteSection(path, "s"));
  EXPECT_TRUE(fs::is_empty(temp.path()));
  EXPECT_FALSE(ProfileWriteString(temp.path() + "absent" + "/x.ini", "s", "k", "v"));
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

}  // namespace
}  // namespace platform
