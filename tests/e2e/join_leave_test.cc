// JOIN/START and LEAVE/STOP: admission, renaming, refusals, notices, held
// joins of private groups, leaving every group at once, and the journal.
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

constexpr char kEve[] = "+15550000009";

std::string Taken(const std::string& name, const std::string& command) {
  return "Name " + name + " is already in use for group Club.  Please join with a different " +
         "name.  Example:  " + command + " Club YourName";
}

using MembershipTest = GroupTest;

TEST_F(MembershipTest, JoinAndLeaveOfAGroup) {
  MakeGroup("Club");
  // Notices go to every Admin entry, also to one without value.
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kNotifyKey, "Yes"));
  ASSERT_TRUE(home_.WriteGroupValue("Club", kAdminSection, kCarol, ""));
  const auto notice = [](const std::string& what, const std::string& reply,
                         const std::string& from = kAnn) {
    return To({kOwner, kCarol}, "ADMIN " + what + " " + from, {{from, reply}});
  };
  const std::string name = "You must specify your name when joining a group.  Example:  JOIN ";
  const std::string group = "You must specify a group name to join.  Example:  ";
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 3));
  Walk({{kAnn, "start club Ann Marie", "", notice("club NOTIFY JOIN Ann", Joined("club"))},
        Said(kAnn, "JOIN Club ann", "You have already joined the group Club", 1),
        {kAnn, "Join Club Anna", "", notice("Club NOTIFY JOIN Anna", Joined("Club"))},
        Said(kBob, "start Club ANNA", Taken("ANNA", "start"), 1),
        {kAnn, "Leave club ignored", "", notice("club NOTIFY LEAVE Anna", Left("club"))},
        Said(kAnn, "LEAVE Club", "You have not joined the group Club", 1),
        Said(kAnn, "JOIN Club", name + "Club YourName", 2),
        // About a group that does not exist: on standard output.
        {kAnn, "LEAVE Nowhere", "You have not joined the group Nowhere", {}, 3},
        {kAnn, "Start", group + "Start GroupName YourName", {}, 4},
        {kAnn, "JOIN Nowhere", name + "Nowhere YourName", {}, 5},
        {kAnn, "JOIN Nowhere Ann", "Cannot join group Nowhere, it does not exist.", {}, 6}});
  EXPECT_FALSE(home_.Exists("Groups/Nowhere"));
  // Private: a join is held for the administrators (no failure) unless the name is taken; the
  // approved run admits Ann, once. Administrator mode admits without approval or journal.
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
  Walk({Said(kBob, "JOIN Club admin", Taken("admin", "JOIN"), 2),
        {kAnn, "join club Ann", "",
         To({kOwner, kCarol}, "Reply 'YES club 4' to approve:\r\njoin club Ann")},
        {kOwner, "YES Club 4", "", notice("club NOTIFY JOIN Ann", Joined("club"))},
        {kOwner, "YES Club 4"},
        {kDave, "JOIN Club Dave", "", notice("Club NOTIFY JOIN Dave", Joined("Club"), kDave), 0,
         true}});
  // Broadcast: no word of sending. Blocks hold for members, store-wide, and in
  // administrator mode; a MembershipType of neither kind admits nobody.
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPublicValue));
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kPostTypeKey, kBroadcastValue));
  Walk({{kEve, "JOIN Club Eve", "", notice("Club NOTIFY JOIN Eve", Joined("Club", false), kEve)}});
  ASSERT_TRUE(home_.WriteGroupValue("Club", kBlockedSection, kAnn, kBlockedValue));
  ASSERT_TRUE(home_.WriteProfile("Groups/GROUP.INI", kBlockedSection, kBob, kBlockedValue));
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, "Closed"));
  const std::string blocked = "Cannot join group Club, admin has blocked access.";
  Walk({Said(kAnn, "JOIN Club Annie", blocked, 1), Said(kBob, "JOIN Club Bob", blocked, 3, true),
        Said(kCarol, "JOIN Club Carol", "Error joining group Club", 1)});
  EXPECT_EQ(Members("Club"), OwnerAnd({{kDave, "Dave"}, {kAnn, "Ann"}, {kEve, "Eve"}}));
  EXPECT_EQ(Journal("Club"),
            (Lines{Entry(kAnn, "Ann", "start club Ann Marie"),
                   Entry(kAnn, "Anna", "Join Club Anna"), Entry(kAnn, "Anna", "Leave club ignored"),
                   Entry(kAnn, "Ann", "join club Ann"), Entry(kEve, "Eve", "JOIN Club Eve")}));
}

// STOP leaves every group in the order of the names without regard to case,
// whatever order the folders were made in, and answers on standard output.
TEST_F(MembershipTest, StopLeavesEveryGroup) {
  for (const char* group : {"delta", "Charlie", "alpha", "Bravo"}) {
    MakeGroup(group, kUnmoderatedValue, kPublicValue,
              group[0] == 'C' ? Messages{} : Messages{{kAnn, "Ann"}});
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kNotifyKey, "Yes"));
  }
  ASSERT_TRUE(AddMember("Bravo", kBob, "Bob"));
  std::string left;
  Messages notices;
  for (const std::string group : {"alpha", "Bravo", "delta"}) {
    left += (left.empty() ? "" : "\r\n") + Left(group);
    notices.emplace_back(kOwner, "ADMIN " + group + " NOTIFY LEAVE Ann " + kAnn);
  }
  Walk({{kAnn, "STOP", left, notices}, {kAnn, "leave", "You have not joined any groups.", {}, 1}});
  for (const std::string group : {"alpha", "Bravo", "Charlie", "delta"}) {
    EXPECT_EQ(Members(group), OwnerAnd(group == "Bravo" ? Messages{{kBob, "Bob"}} : Messages{}));
    EXPECT_EQ(Journal(group), group == "Charlie" ? Lines{} : Lines{Entry(kAnn, "Ann", "STOP")});
  }
}

}  // namespace
