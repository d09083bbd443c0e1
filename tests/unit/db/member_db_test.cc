#include "store/member_db.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/limits.h"
#include "platform/process.h"
#include "store/group_store.h"
#include "unit/db/db_test_support.h"

namespace {

constexpr char kGroup[] = "Friends";
constexpr char kSchemaQuery[] =
    "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
    "ORDER BY rowid;";

using MemberDbTest = StoreTest;

TEST_F(MemberDbTest, SchemaTextEqualsTheStatements) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Admin"));
  const std::vector<std::vector<std::string>> expected = {
      {"table", "TESSARY", StoredSchemaText(kMemberTableStatement)},
      {"index", "UserName", StoredSchemaText(kMemberIndexStatement)},
  };
  EXPECT_EQ(QueryRows(GroupFile(kGroup, kGroupDbName), kSchemaQuery), expected);
}

struct HostileMember {
  const char* scenario;
  std::string phone;
  std::string name;
};

class HostileValueTest : public StoreTest, public ::testing::WithParamInterface<HostileMember> {};

TEST_P(HostileValueTest, StoredAndFoundExactly) {
  const HostileMember& member = GetParam();
  ASSERT_TRUE(AddMember(kGroup, "+15550009999", "Bystander"));
  ASSERT_TRUE(AddMember(kGroup, member.phone, member.name));

  std::string name;
  ASSERT_TRUE(FindMemberByPhone(kGroup, member.phone, &name));
  EXPECT_EQ(name, member.name);
  std::string phone;
  ASSERT_TRUE(FindMemberByName(kGroup, member.name, &phone));
  EXPECT_EQ(phone, member.phone);
  EXPECT_FALSE(IsUserNameFree(kGroup, "+15550009999", member.name));
  EXPECT_TRUE(IsUserNameFree(kGroup, member.phone, member.name));

  ASSERT_TRUE(DeleteMemberByPhone(kGroup, member.phone));
  EXPECT_FALSE(FindMemberByPhone(kGroup, member.phone, &name));
  // Only that row went; the table and the other member are still there.
  ASSERT_TRUE(FindMemberByPhone(kGroup, "+15550009999", &name));
  EXPECT_EQ(name, "Bystander");
}

INSTANTIATE_TEST_SUITE_P(
    Members, HostileValueTest,
    ::testing::Values(
        HostileMember{"SingleQuotes", "'+1555'", "O'Brien"},
        HostileMember{"DoubleQuotes", "\"555\"", "Ann \"the\" Admin"},
        HostileMember{"PercentSigns", "%s%u%%", "100% %d %n"},
        HostileMember{"Semicolons", "1;2;", "a;b;;"},
        HostileMember{"DropTable", "x'); DROP TABLE TESSARY;--", "'; DELETE from TESSARY;--"},
        HostileMember{"AlwaysTrue", "' OR '1'='1", "' OR 1=1 --"},
        HostileMember{"Keywords", "SELECT", "NULL"},
        HostileMember{"Backslashes", "\\+1\\", "C:\\dir\\"},
        HostileMember{"HighAndControlBytes", "\x01\x7f\xff", "\xc3\xa9t\xc3\xa9\t\r\n\xfe"},
        HostileMember{"NameAtLimit", "+15550002222", std::string(kMaxUserNameChars, 'n')}),
    [](const ::testing::TestParamInfo<HostileMember>& info) {
      return std::string(info.param.scenario);
    });

TEST_F(MemberDbTest, QuoteInLookupMatchesNothing) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Ann"));
  std::string found;
  EXPECT_FALSE(FindMemberByPhone(kGroup, "' OR '1'='1", &found));
  EXPECT_FALSE(FindMemberByName(kGroup, "' OR '1'='1", &found));
  EXPECT_TRUE(IsUserNameFree(kGroup, "+15550002222", "' OR '1'='1"));
  ASSERT_TRUE(DeleteMemberByPhone(kGroup, "' OR '1'='1"));
  EXPECT_TRUE(FindMemberByPhone(kGroup, "+15550001111", &found));
}

TEST_F(MemberDbTest, EmptyUserNameStoresThePhone) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", ""));
  std::string name;
  ASSERT_TRUE(FindMemberByPhone(kGroup, "+15550001111", &name));
  EXPECT_EQ(name, "+15550001111");
  std::string phone;
  ASSERT_TRUE(FindMemberByName(kGroup, "+15550001111", &phone));
  EXPECT_EQ(phone, "+15550001111");
}

TEST_F(MemberDbTest, AddOfSamePhoneInOtherCaseReplacesTheRow) {
  ASSERT_TRUE(AddMember(kGroup, "abc1", "Ann"));
  ASSERT_TRUE(AddMember(kGroup, "ABC1", "Bob"));
  std::string phone, name;
  ASSERT_TRUE(GetMemberAt(kGroup, 0, &phone, &name));
  EXPECT_EQ(phone, "ABC1");
  EXPECT_EQ(name, "Bob");
  EXPECT_FALSE(GetMemberAt(kGroup, 1, &phone, &name));
  EXPECT_TRUE(IsUserNameFree(kGroup, "abc1", "Ann"));
}

TEST_F(MemberDbTest, ListsMembersInPhoneOrderIgnoringCase) {
  for (const char* phone : {"b2", "A1", "c3", "a0", "B1"}) {
    ASSERT_TRUE(AddMember(kGroup, phone, std::string("n-") + phone));
  }
  std::vector<std::string> listed;
  std::string phone, name;
  for (unsigned position = 0; GetMemberAt(kGroup, position, &phone, &name); ++position) {
    EXPECT_EQ(name, "n-" + phone);
    listed.push_back(phone);
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"a0", "A1", "B1", "b2", "c3"}));
}

TEST_F(MemberDbTest, PositionPastTheEndFindsNothing) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Ann"));
  ASSERT_TRUE(AddMember(kGroup, "+15550002222", "Bob"));
  std::string phone = "unchanged", name;
  for (unsigned position : {2u, 3u, static_cast<unsigned>(INT_MAX) + 1u, UINT_MAX}) {
    EXPECT_FALSE(GetMemberAt(kGroup, position, &phone, &name)) << position;
  }
  EXPECT_EQ(phone, "unchanged");
  EXPECT_TRUE(GetMemberAt(kGroup, 1, &phone, &name));
  EXPECT_EQ(phone, "+15550002222");
}

TEST_F(MemberDbTest, UserNameFreeness) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Ann"));
  struct Case {
    const char* phone;
    const char* name;
    bool free;
  } cases[] = {
      {"+15550001111", "Ann", true},   // the same member re-using its name
      {"+15550001111", "ANN", true},   // in another case
      {"+15550002222", "Ann", false},  // another member
      {"+15550002222", "aNN", false}, {"+15550002222", "Bob", true},  // nobody's name
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUserNameFree(kGroup, c.phone, c.name), c.free) << c.phone << " " << c.name;
  }
}

TEST_F(MemberDbTest, LookupsOnMissingGroupCreateItsFolderButNoDatabase) {
  const std::string group = "Nowhere";
  std::string phone, name;
  EXPECT_FALSE(FindMemberByPhone(group, "+15550001111", &name));
  EXPECT_FALSE(FindMemberByName(group, "Ann", &phone));
  EXPECT_FALSE(GetMemberAt(group, 0, &phone, &name));
  EXPECT_TRUE(IsUserNameFree(group, "+15550001111", "Ann"));
  EXPECT_FALSE(DeleteMemberByPhone(group, "+15550001111"));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + group));
  EXPECT_TRUE(std::filesystem::is_empty(root_ + group));
}

TEST_F(MemberDbTest, DeletingANonMemberAnswersTrue) {
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Ann"));
  EXPECT_TRUE(DeleteMemberByPhone(kGroup, "+15550002222"));
  std::string name;
  EXPECT_TRUE(FindMemberByPhone(kGroup, "+15550001111", &name));
}

TEST_F(MemberDbTest, UnsafeGroupNamesTouchNothing) {
  const std::string unsafe[] = {
      "..", ".", "a/b", "a\\b", std::string("a\0b", 3), "../" + std::string(kGroup)};
  for (const std::string& group : unsafe) {
    std::string phone, name;
    EXPECT_FALSE(AddMember(group, "+15550001111", "Ann"));
    EXPECT_FALSE(FindMemberByPhone(group, "+15550001111", &name));
    EXPECT_FALSE(FindMemberByName(group, "Ann", &phone));
    EXPECT_FALSE(GetMemberAt(group, 0, &phone, &name));
    EXPECT_TRUE(IsUserNameFree(group, "+15550001111", "Ann"));
    EXPECT_FALSE(DeleteMemberByPhone(group, "+15550001111"));
  }
  EXPECT_TRUE(std::filesystem::is_empty(root_));
  // Nothing next to the store root either: it is the only entry of its
  // data folder.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

// A first add that died after making the file leaves it empty; the next add
// makes the table instead of failing for ever.
TEST_F(MemberDbTest, EmptyFileLeftByFirstAddGetsItsTable) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath(kGroup, &folder));
  { std::ofstream empty(folder + kGroupDbName); }
  std::string name;
  EXPECT_FALSE(FindMemberByPhone(kGroup, "+15550001111", &name));
  ASSERT_TRUE(AddMember(kGroup, "+15550001111", "Ann"));
  ASSERT_TRUE(FindMemberByPhone(kGroup, "+15550001111", &name));
  EXPECT_EQ(name, "Ann");
  EXPECT_EQ(QueryRows(folder + kGroupDbName, kSchemaQuery).size(), 2u);
}

TEST_F(MemberDbTest, FiftyProcessesAddingToANewGroupLeaveFiftyRows) {
  constexpr int kWriters = 50;
  const std::string group = "Crowd";
  const std::string gate = dir_.path() + "gate";
  const platform::EnvChanges env = {{"KAVREL_HOME", dir_.path()}};
  std::vector<platform::Child> children;
  for (int i = 0; i < kWriters; ++i) {
    children.push_back(
        platform::Child::Start({platform::ProgramPath(), kAddMemberMode, gate, group,
                                "+1555000" + std::to_string(1000 + i), "User" + std::to_string(i)},
                               env));
    ASSERT_TRUE(children.back().started()) << i;
  }
  TouchFile(gate);  // all start their first add at once
  for (platform::Child& child : children) {
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    EXPECT_EQ(child.exit_code(), 0);
  }

  std::string phone, name;
  unsigned count = 0;
  while (GetMemberAt(group, count, &phone, &name)) ++count;
  EXPECT_EQ(count, static_cast<unsigned>(kWriters));
  for (int i = 0; i < kWriters; ++i) {
    ASSERT_TRUE(FindMemberByPhone(group, "+1555000" + std::to_string(1000 + i), &name));
    EXPECT_EQ(name, "User" + std::to_string(i));
  }
  EXPECT_EQ(QueryRows(GroupFile(group, kGroupDbName), kSchemaQuery).size(), 2u);
}

}  // namespace
