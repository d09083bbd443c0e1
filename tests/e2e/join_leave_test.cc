// JOIN/START and LEAVE/STOP: admission, renaming, refusals and where each
// reply goes, the notices to the administrators, joins of private groups held
// until YES, leaving every group at once, and the journal entries.
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

std::string Joined(const std::string& group) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'.";
}

std::string CanSend(const std::string& group) {
  return Joined(group) + "  To send to the group, reply and start text with @" + group;
}

std::string Left(const std::string& group) { return "Goodbye.  You have left the group " + group; }

using MembershipTest = GroupTest;

TEST_F(MembershipTest, JoinAndLeaveOfAPublicGroup) {
  MakeGroup("Club");
  // Notices go to every Admin entry in file order, also to one without value.
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kNotifyKey, "Yes"));
  ASSERT_TRUE(home_.WriteGroupValue("Club", kAdminSection, kDave, kAdminValue));
  ASSERT_TRUE(home_.WriteGroupValue("Club", kAdminSection, kCarol, ""));
  const auto notice = [](const std::string& what, const std::string& reply) {
    return To({kOwner, kDave, kCarol}, "ADMIN " + what + " " + kAnn, {{kAnn, reply}});
  };
  const std::string need_name = "You must specify your name when joining a group.  Example:  ";
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 3));
  Walk({{kAnn, "start club Ann Marie", "", notice("club NOTIFY JOIN Ann", CanSend("club"))},
        {kAnn, "JOIN Club ann", "", {{kAnn, "You have already joined the group Club"}}, 1},
        {kAnn, "Join Club Anna", "", notice("Club NOTIFY JOIN Anna", CanSend("Club"))},
        {kBob,
         "start Club ANNA",
         "",
         {{kBob,
           "Name ANNA is already in use for group Club.  Please join with a different "
           "name.  Example:  start Club YourName"}},
         1},
        {kAnn, "Leave club ignored", "", notice("club NOTIFY LEAVE Anna", Left("club"))},
        {kAnn, "LEAVE Club", "", {{kAnn, "You have not joined the group Club"}}, 1},
        {kAnn, "JOIN Club", "", {{kAnn, need_name + "JOIN Club YourName"}}, 2},
        // About a group that does not exist: on standard output.
        {kAnn, "LEAVE Nowhere", "You have not joined the group Nowhere", {}, 3},
        {kAnn,
         "Start",
         "You must specify a group name to join.  Example:  Start GroupName YourName",
         {},
         4},
        {kAnn, "JOIN Nowhere", need_name + "JOIN Nowhere YourName", {}, 5},
        {kAnn, "JOIN Nowhere Ann", "Cannot join group Nowhere, it does not exist.", {}, 6}});
  // Quiet after ten failures in a row; a success is still answered.
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 11));
  Walk({{kAnn, "JOIN Club", "", {}, 12},
        {kAnn, "JOIN Club Ann", "", notice("Club NOTIFY JOIN Ann", CanSend("Club"))}});

  EXPECT_EQ(Members("Club"), (Messages{{kOwner, "Admin"}, {kAnn, "Ann"}}));
  EXPECT_FALSE(home_.Exists("Groups/Nowhere"));
  std::string journal;
  for (const TransactionRow& row : ReadTransactions(home_, "Club")) {
    journal += row.user_name + " " + row.approval + " " + row.command + "\n";
  }
  EXPECT_EQ(journal, "Ann Yes " + CommandLine(kAnn, "start club Ann Marie") + "\nAnna Yes " +
                         CommandLine(kAnn, "Join Club Anna") + "\nAnna Yes " +
                         CommandLine(kAnn, "Leave club ignored") + "\nAnn Yes " +
                         CommandLine(kAnn, "JOIN Club Ann") + "\n");
}

// Ann asks to join the group named as the row as "Ann"; the group decides.
TEST_F(MembershipTest, JoinDependsOnTheGroup) {
  enum Block { kNone, kInGroup, kStoreWide };
  struct Row {
    std::string group;
    const char* membership;
    const char* posting;
    Block block;
    bool admin_mode;
    std::string reply;
    unsigned errors;   // 2 for a refusal, 0 else
    Messages members;  // after the run
  };
  const std::string blocked = ", admin has blocked access.";
  const Messages owner = {{kOwner, "Admin"}};
  const std::vector<Row> rows = {
      {"News", "Public", "Broadcast", kNone, false, Joined("News"), 0, {owner[0], {kAnn, "Ann"}}},
      {"Closed", "Closed", "Unmoderated", kNone, false, "Error joining group Closed", 2, owner},
      {"Hidden",
       "Private",
       "Unmoderated",
       kNone,
       true,
       CanSend("Hidden"),
       0,
       {owner[0], {kAnn, "Ann"}}},
      // Blocks hold for members, and in administrator mode too.
      {"Barred",
       "Public",
       "Unmoderated",
       kInGroup,
       false,
       "Cannot join group Barred" + blocked,
       2,
       {owner[0], {kAnn, "Annie"}}},
      {"Banned", "Public", "Unmoderated", kStoreWide, true, "Cannot join group Banned" + blocked, 2,
       owner},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.group);
    MakeGroup(row.group, row.posting, row.membership,
              row.block == kInGroup ? Messages{{kAnn, "Annie"}} : Messages{});
    if (row.block == kInGroup) {
      ASSERT_TRUE(home_.WriteGroupValue(row.group, kBlockedSection, kAnn, kBlockedValue));
    }
    if (row.block == kStoreWide) {
      ASSERT_TRUE(home_.WriteProfile("Groups/GROUP.INI", kBlockedSection, kAnn, kBlockedValue));
    }
    ASSERT_TRUE(home_.SetErrorCount(kAnn, 1));
    Walk({{kAnn,
           "JOIN " + row.group + " Ann",
           "",
           {{kAnn, row.reply}},
           row.errors,
           row.admin_mode}});
    EXPECT_EQ(Members(row.group), row.members);
    EXPECT_EQ(Journal(row.group).size(), row.errors == 0 && !row.admin_mode ? 1u : 0u);
  }
}

TEST_F(MembershipTest, JoinOfAPrivateGroupIsHeldUntilYes) {
  MakeGroup("Club", kUnmoderatedValue, kPrivateValue);
  ASSERT_TRUE(home_.WriteGroupValue("Club", kAdminSection, kDave, kAdminValue));
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 2));
  // A held join is no failure; a taken name is refused before it is held.
  Walk({{kAnn, "JOIN Club Ann", "",
         To({kOwner, kDave}, "Reply 'YES Club 1' to approve:\r\nJOIN Club Ann")},
        {kBob,
         "JOIN Club admin",
         "",
         {{kBob,
           "Name admin is already in use for group Club.  Please join with a different "
           "name.  Example:  JOIN Club YourName"}},
         1},
        {kAnn, "join club Ann Marie", "",
         To({kOwner, kDave}, "Reply 'YES club 2' to approve:\r\njoin club Ann Marie")}});
  EXPECT_EQ(Members("Club"), (Messages{{kOwner, "Admin"}}));
  const std::vector<TransactionRow> held = ReadTransactions(home_, "Club");
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(Held(held[0]), std::string(kReceive) + "|" + kAnn + "|Ann|" +
                               CommandLine(kAnn, "JOIN Club Ann") + "|" + held[0].date);
  EXPECT_EQ(held[0].approval, "No");

  // The approved run admits and answers Ann; once only, and unjournaled.
  Walk({{kDave, "YES Club 1", "", {{kAnn, CanSend("Club")}}}, {kOwner, "YES Club 1", "", {}}});
  EXPECT_EQ(Members("Club"), (Messages{{kOwner, "Admin"}, {kAnn, "Ann"}}));
  const std::vector<TransactionRow> after = ReadTransactions(home_, "Club");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(Held(after[0]) + after[0].approval, Held(held[0]) + "Yes");
  EXPECT_EQ(Held(after[1]) + after[1].approval, Held(held[1]) + "No");
}

// STOP leaves every group in the order of the names without regard to case,
// whatever order the folders were made in, and answers on standard output.
TEST_F(MembershipTest, StopLeavesEveryGroup) {
  for (const char* group : {"delta", "Charlie", "alpha", "Bravo"}) {
    MakeGroup(group, kUnmoderatedValue, kPublicValue, {{kAnn, "Ann"}});
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kNotifyKey, "Yes"));
  }
  ASSERT_TRUE(AddMember("Bravo", kBob, "Bob"));
  // Membership lives in the member database: a folder that lost its
  // GROUP.INI still lets its members leave, answered on standard output.
  ASSERT_TRUE(std::filesystem::remove(home_.GroupsPath() + "delta/GROUP.INI"));
  const std::string leave = std::string(" NOTIFY LEAVE Ann ") + kAnn;
  Walk({{kAnn, "LEAVE delta", Left("delta"), {}},
        {kAnn,
         "STOP",
         Left("alpha") + "\r\n" + Left("Bravo") + "\r\n" + Left("Charlie"),
         {{kOwner, "ADMIN alpha" + leave},
          {kOwner, "ADMIN Bravo" + leave},
          {kOwner, "ADMIN Charlie" + leave}}},
        {kAnn, "STOP", "You have not joined any groups.", {}, 1},
        {kAnn, "leave", "You have not joined any groups.", {}, 2}});
  for (const std::string group : {"alpha", "Charlie", "delta"}) {
    EXPECT_EQ(Members(group), (Messages{{kOwner, "Admin"}})) << group;
    EXPECT_EQ(Journal(group), std::vector<std::string>{
                                  CommandLine(kAnn, group == "delta" ? "LEAVE delta" : "STOP")});
    EXPECT_EQ(ReadTransactions(home_, group).at(0).user_name, "Ann");
  }
  EXPECT_EQ(Members("Bravo"), (Messages{{kOwner, "Admin"}, {kBob, "Bob"}}));
  EXPECT_EQ(Journal("Bravo"), std::vector<std::string>{CommandLine(kAnn, "STOP")});
}

}  // namespace
