// The member walk: pages read in phone-number order (ASCII case ignored),
// each after the last phone number visited, with nobody skipped or visited
// twice when others join or leave during the walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/sqlite_handle.h"
#include "unit/db/db_test_support.h"

namespace {

constexpr char kGroup[] = "Friends";

std::string Numbered(const char* prefix, unsigned n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03u", n);
  return prefix + std::string(digits);
}

// ASCII case ignored, as the table's NOCASE collation orders.
bool LessNoCase(const std::string& a, const std::string& b) {
  return ToUpperAscii(a) < ToUpperAscii(b);
}

// Every phone GetMemberAt lists, position by position.
std::vector<std::string> ListByPosition(std::string_view group) {
  std::vector<std::string> phones;
  std::string phone, name;
  for (unsigned n = 0; GetMemberAt(group, n, &phone, &name); ++n) phones.push_back(phone);
  return phones;
}

// Writes the rows in one transaction, as AddMember would one by one (far
// faster for the groups of a few hundred these tests need). The names are
// "n" and the phone.
void AddMembersAtOnce(std::string_view group, const std::vector<std::string>& phones) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath(group, &folder));
  SqliteDatabase db = OpenForWriting(folder + kGroupDbName, "TESSARY",
                                     {kMemberTableStatement, kMemberIndexStatement});
  SqliteTransaction transaction(db);
  ASSERT_TRUE(transaction.active());
  for (const std::string& phone : phones) {
    SqliteStatement insert(db, "INSERT or REPLACE into TESSARY VALUES (?,?,?);");
    ASSERT_TRUE(insert.BindAll({phone, "n" + phone, "2024-01-01 00:00:00"}) && insert.StepDone())
        << phone;
  }
  ASSERT_TRUE(transaction.Commit());
}

std::vector<std::string> NumberedRange(const char* prefix, unsigned count) {
  std::vector<std::string> phones;
  for (unsigned n = 0; n < count; ++n) phones.push_back(Numbered(prefix, n));
  return phones;
}

using MemberWalkTest = StoreTest;

// Group sizes around the page size, with phone numbers whose letter case
// alternates, so that the case-blind order differs from the byte order on
// every page.
class WalkSizeTest : public StoreTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(WalkSizeTest, VisitsEveryMemberOnceInCaseBlindOrder) {
  const unsigned count = GetParam();
  std::vector<std::string> expected;
  for (unsigned n = 0; n < count; ++n) {
    // Added from the last to the first: the row order is not the walk order.
    const unsigned i = count - 1 - n;
    expected.push_back(Numbered(i % 2 ? "X" : "x", i));
  }
  if (count > 0) {
    ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(kGroup, expected));
  }
  std::sort(expected.begin(), expected.end(), LessNoCase);

  std::vector<std::string> walked;
  ForEachMember(kGroup, [&walked](const Member& member) {
    EXPECT_EQ(member.user_name, "n" + member.phone);
    walked.push_back(member.phone);
    return true;
  });
  EXPECT_EQ(walked, expected);
  // The same members in the same order as a walk by position.
  EXPECT_EQ(ListByPosition(kGroup), expected);
}

INSTANTIATE_TEST_SUITE_P(AroundThePageSize, WalkSizeTest,
                         ::testing::Values(0u, 1u, kMemberPageSize - 1, kMemberPageSize,
                                           kMemberPageSize + 1, 2 * kMemberPageSize + 1));

TEST_F(MemberWalkTest, MissingDatabaseHasNoMembersAndCreatesNoFile) {
  ForEachMember(kGroup, [](const Member& member) {
    ADD_FAILURE() << member.phone;
    return true;
  });
  std::vector<Member> page = {{"stale", "stale"}};
  EXPECT_FALSE(GetFirstMembers(kGroup, kMemberPageSize, &page));
  EXPECT_TRUE(page.empty());
  EXPECT_FALSE(GetMembersAfter(kGroup, "", kMemberPageSize, &page));
  std::string name;
  EXPECT_FALSE(FindMemberByPhone(kGroup, "x", &name));  // the file is still missing
  EXPECT_FALSE(std::filesystem::exists(GroupFile(kGroup, kGroupDbName)));
}

TEST_F(MemberWalkTest, PageAfterComparesWithoutRegardToCase) {
  for (const char* phone : {"a1", "B2", "c3", "D4"}) ASSERT_TRUE(AddMember(kGroup, phone, ""));
  struct Case {
    const char* after;
    unsigned limit;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", 10, {"a1", "B2", "c3", "D4"}},  // every non-empty number is after ""
      {"A1", 10, {"B2", "c3", "D4"}},      // a1 itself is not after A1
      {"b2", 2, {"c3", "D4"}},
      {"b", 1, {"B2"}},
      {"C3", 0, {}},
      {"d4", 10, {}},
      {"Z", 10, {}},
  };
  for (const Case& c : cases) {
    std::vector<Member> page;
    ASSERT_TRUE(GetMembersAfter(kGroup, c.after, c.limit, &page)) << c.after;
    std::vector<std::string> phones;
    for (const Member& member : page) phones.push_back(member.phone);
    EXPECT_EQ(phones, c.expected) << "after " << c.after << ", limit " << c.limit;
  }
}

// The walk stops where the visitor says, also right at a page boundary.
class WalkStopTest : public StoreTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(WalkStopTest, StopsWhenTheVisitorAnswersFalse) {
  const unsigned stop_after = GetParam();
  ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(kGroup, NumberedRange("+1555", kMemberPageSize + 2)));
  unsigned visits = 0;
  ForEachMember(kGroup, [&](const Member&) { return ++visits < stop_after; });
  EXPECT_EQ(visits, stop_after);
}

INSTANTIATE_TEST_SUITE_P(AroundThePageSize, WalkStopTest,
                         ::testing::Values(1u, kMemberPageSize, kMemberPageSize + 1));

// Members join and leave before the walk's position while it goes on: at
// every kChangeEvery-th member two leave, at the next such member three
// join, and one joins after the position. A walk by position would skip
// members after the leaves and visit some twice after the joins; this one
// visits every member present throughout exactly once, in order. The
// changes also show that the walk holds no lock while it visits.
TEST_F(MemberWalkTest, JoinsAndLeavesDuringTheWalkMissAndRepeatNobody) {
  constexpr unsigned kStable = 2 * kMemberPageSize + 50;
  constexpr unsigned kChangeEvery = 9;
  // The first members leave during the walk; those after them stay.
  ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(kGroup, NumberedRange("+1555100", kStable)));
  ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(kGroup, NumberedRange("+1555200", kStable)));
  std::map<std::string, unsigned> visits;
  std::vector<std::string> order;
  unsigned step = 0;
  unsigned next_leaver = 0;
  unsigned next_joiner = 0;
  ForEachMember(kGroup, [&](const Member& member) {
    ++visits[member.phone];
    order.push_back(member.phone);
    if (++step % kChangeEvery != 0) return true;
    if (step % (2 * kChangeEvery) == 0) {
      for (int k = 0; k < 2 && next_leaver < kStable; ++k) {
        EXPECT_TRUE(DeleteMemberByPhone(kGroup, Numbered("+1555100", next_leaver++)));
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(AddMember(kGroup, Numbered("+1555000", next_joiner++), ""));
      }
    }
    // One who joins after the walk's position may or may not be met.
    EXPECT_TRUE(AddMember(kGroup, Numbered("+1555300", step), ""));
    return true;
  });

  for (unsigned n = 0; n < kStable; ++n) {
    EXPECT_EQ(visits[Numbered("+1555200", n)], 1u) << n;
  }
  for (const auto& [phone, times] : visits) EXPECT_EQ(times, 1u) << phone;
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), LessNoCase));
  EXPECT_TRUE(std::adjacent_find(order.begin(), order.end()) == order.end());
}

TEST_F(MemberWalkTest, ReplacedMemberIsVisitedOnceWithItsNewName) {
  ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(kGroup, NumberedRange("a", kMemberPageSize + 1)));
  const std::string late = Numbered("A", kMemberPageSize);  // the same number in capitals
  std::vector<Member> seen;
  ForEachMember(kGroup, [&](const Member& member) {
    seen.push_back(member);
    if (seen.size() == 1) {
      EXPECT_TRUE(AddMember(kGroup, late, "new"));
    }
    return true;
  });
  ASSERT_EQ(seen.size(), kMemberPageSize + 1);
  EXPECT_EQ(seen.back().phone, late);
  EXPECT_EQ(seen.back().user_name, "new");
  EXPECT_EQ(seen.front().user_name, "n" + seen.front().phone);
}

}  // namespace
