// JOIN/START and LEAVE/STOP: admission, renaming, refusals, notices, held
// joins of private groups, leaving every group at once, and the journal.
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

std::string Joined(const std::string& group, bool can_send = true) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'." +
         (can_send ? "  To send to the group, reply and start text with @" + group : "");
}

std::string Left(const std::string& group) { return "Goodbye.  You have left the group " + group; }

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
  const auto notice = [](const std::string& what, const std::string& reply) {
    return To({kOwner, kCarol}, "ADMIN " + what + " " + kAnn, {{kAnn, reply}});
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
  // Private: a join is held for the administrators (no failure) unless the
  // name is taken, and the approved run admits Ann, once.
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
  Walk({Said(kBob, "JOIN Club admin", Taken("admin", "JOIN"), 2),
        {kAnn, "join club Ann", "",
         To({kOwner, kCarol}, "Reply 'YES club 4' to approve:\r\njoin club Ann")},
        {kOwner, "YES Club 4", "", notice("club NOTIFY JOIN Ann", Joined("club"))},
        {kOwner, "YES Club 4"}});
  EXPECT_EQ(Members("Club"), OwnerAnd({{kAnn, "Ann"}}));
  EXPECT_EQ(
      Journal("Club"),
      (Lines{Entry(kAnn, "Ann", "start club Ann Marie"), Entry(kAnn, "Anna", "Join Club Anna"),
             Entry(kAnn, "Anna", "Leave club ignored"), Entry(kAnn, "Ann", "join club Ann")}));
}

// Ann asks to join the group named as the row as "Ann"; the group decides.
TEST_F(MembershipTest, JoinDependsOnTheGroup) {
  struct Row {
    std::string group;
    const char* membership;
    const char* posting;
    std::string blocked_in;  // the GROUP.INI under Groups/, if any, that blocks Ann
    bool admin_mode;
    std::string reply;  // empty: that Ann is blocked
    unsigned errors;    // 2 for a refusal, 0 else
    Messages members;   // besides the owner: Ann after admission, or before a refusal
  };
  const Messages ann = {{kAnn, "Ann"}};
  const std::vector<Row> rows = {
      {"News", "Public", "Broadcast", "", false, Joined("News", false), 0, ann},
      {"Closed", "Closed", "Unmoderated", "", false, "Error joining group Closed", 2, {}},
      {"Hidden", "Private", "Unmoderated", "", true, Joined("Hidden"), 0, ann},
      // Blocks hold for members, and in administrator mode too.
      {"Barred", "Public", "Unmoderated", "Barred/GROUP.INI", false, "", 2, {{kAnn, "Annie"}}},
      {"Banned", "Public", "Unmoderated", "GROUP.INI", true, "", 2, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.group);
    MakeGroup(row.group, row.posting, row.membership, row.errors ? row.members : Messages{});
    if (!row.blocked_in.empty()) {
      ASSERT_TRUE(home_.WriteProfile("Groups/" + row.blocked_in, kBlockedSection, kAnn, "Blocked"));
    }
    ASSERT_TRUE(home_.SetErrorCount(kAnn, 1));
    const std::string blocked = "Cannot join group " + row.group + ", admin has blocked access.";
    Walk({Said(kAnn, "JOIN " + row.group + " Ann", row.reply.empty() ? blocked : row.reply,
               row.errors, row.admin_mode)});
    EXPECT_EQ(Members(row.group), OwnerAnd(row.members));
    EXPECT_EQ(Journal(row.group).size(), row.errors == 0 && !row.admin_mode ? 1u : 0u);
  }
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
