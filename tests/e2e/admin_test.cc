// ADMIN: who may use it, every subcommand with its replies and store changes, and the journal.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace group_fixture;

std::string Props(const std::string& values) {
  return "Group Friends Properties Updated:  " + values;
}

// The owner sends ADMIN Friends `words`, answered `reply` through the gateway.
Step Owner(const std::string& words, const std::string& reply, unsigned errors = 0,
           bool admin_mode = false) {
  return Said(kOwner, "ADMIN Friends " + words, reply, errors, admin_mode);
}

class AdminTest : public GroupTest {
  void SetUp() override {
    GroupTest::SetUp();
    MakeGroup("Friends", kUnmoderatedValue, kPublicValue, {{kBob, "Bob"}, {kCarol, "Carol"}});
  }
};

TEST_F(AdminTest, RemoveBlockUnblockAndAdd) {
  const std::string added = "User +15550000009 added to group Friends";
  Walk({// Removal goes by user name: a member's number finds nobody.
        Owner("REMOVE +15550000002", "User +15550000002 is not joined to group Friends.", 1),
        // No phone number, or no name: refused, but no failure.
        Owner("ADD +12345 Ann", "Invalid phone number +12345, not added to group Friends"),
        Owner("ADD +15550000009", "Invalid phone number +15550000009, not added to group Friends"),
        // ADD inserts, or renames by number.
        Owner("ADD +15550000009 Zed", added),
        Owner("ADD +15550000009 ZED", "User +15550000009 already exists in group Friends"),
        Owner("add +15550000009 Zack", added),
        Owner("leave carol", "User carol is removed from group Friends."),
        Owner("BLOCK Zack",
              "User Zack is removed from group Friends.\r\n"
              "User Zack (+15550000009) blocked from group Friends.")});
  EXPECT_EQ(Members("Friends"), OwnerAnd({{kBob, "Bob"}}));
  EXPECT_THAT(Ini("Friends"), HasSubstr("[Blocked]\r\n+15550000009=Blocked\r\n"));
  Walk({// A block is kept by number.
        Owner("UNBLOCK Zack", "User Zack is not blocked from group Friends."),
        Owner("unblock +15550000009", "Unblocked user +15550000009 from group Friends.")});
  EXPECT_THAT(Ini("Friends"), Not(HasSubstr("=Blocked")));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kBlockedSection, kDave, kBlockedValue));
  Walk({Owner("UNBLOCK all", "Unblocked all previously blocked users for group Friends."),
        {kOwner, "ADMIN Friends UNBLOCK"},  // says nothing
        // Administrator mode acts without a journal entry.
        Owner("ADD +15550000009 Zed", added, 0, true)});
  EXPECT_THAT(Ini("Friends"), Not(HasSubstr("Blocked")));
  EXPECT_EQ(Members("Friends"), OwnerAnd({{kBob, "Bob"}, {"+15550000009", "Zed"}}));
  Lines journal;
  for (const char* words :
       {"ADD +15550000009 Zed", "ADD +15550000009 ZED", "add +15550000009 Zack", "leave carol",
        "BLOCK Zack", "UNBLOCK Zack", "unblock +15550000009", "UNBLOCK all", "UNBLOCK"})
    journal.push_back(Entry(kOwner, "Admin", std::string("ADMIN Friends ") + words));
  EXPECT_EQ(Journal("Friends"), journal);
}

TEST_F(AdminTest, RightsPropertiesAndTheLists) {
  const std::string before = Ini("Friends");
  const std::string valid =
      ".  Valid subcommands - ADMIN Friends [REMOVE username/number] / [BLOCK username/number] / "
      "[PROP properties] / [AUTH username/number] / [ADMIN username/number] / [NEWOWNER "
      "username/number]";
  Walk({{kOwner, "ADMIN Nosuch PROP", NoRights("Nosuch"), {}, 1},
        Said(kBob, "ADMIN Friends PROP", NoRights("Friends"), 1),
        // Subcommands are whole words.
        Owner("REMOVED Bob", "Unsupported ADMIN subcommand REMOVED" + valid, 2),
        Owner("PROP PUB PRIVATE", kChoose + std::string("PUBLIC PRIVATE"), 3),
        Owner("PROP MOD BROADCAST NOTIFY", kChoose + std::string("MOD UNMOD BROADCAST"), 4),
        Owner("PROP UNMOD NOTIFY NONOTIFY", kChoose + std::string("NOTIFY NONOTIFY"), 5),
        Owner("PROP", Props("PUBLIC  UNMODERATED  NONOTIFY"))});
  EXPECT_EQ(Ini("Friends"), before);
  const std::string list = "+15550000003 (Carol)\r\n+15559999999\r\n";
  // The reply shows the values as stored, in capitals.
  Walk({Owner("PROPERTIES MODERATED NOTIFY", Props("PUBLIC  MODERATED  NOTIFY")),
        Owner("prop private bcast nonotify whatever", Props("PRIVATE  BROADCAST  NONOTIFY")),
        Owner("PROP PUB UNMOD", Props("PUBLIC  UNMODERATED  NONOTIFY")),
        Owner("AUTH ADD Carol", "Carol added to the AUTH list for group Friends"),
        Owner("auth add +15559999999", "+15559999999 added to the auth list for group Friends"),
        Owner("AUTH ADD Nobody", "Nobody is not a valid phone number or username to add"),
        // The header repeats the words as typed.
        Said(kOwner, "administer friends authorised list",
             "administer friends authorised list:\r\n" + list),
        Owner("AUTHUSERS REMOVE Carol", "Carol removed from the AUTHUSERS list for group Friends"),
        Owner("AUTH REMOVE Carol", "Carol is not in the AUTH list for group Friends"),
        Owner("AUTH DROP Bob",
              "Inalid syntax.  Usage: ADMIN Friends AUTH [ LIST / ADD "
              "username/number / REMOVE username/number ]"),
        // The ADMIN list grants the rights.
        Owner("ADMIN ADD Carol", "Carol added to the ADMIN list for group Friends"),
        Said(kCarol, "ADMIN Friends ADMIN LIST",
             "ADMIN Friends ADMIN LIST:\r\n+15550000001 (Admin)\r\n+15550000003 (Carol)\r\n")});
  EXPECT_THAT(Ini("Friends"), HasSubstr("[AuthUser]\r\n+15559999999=AuthUser\r\n"));
  EXPECT_EQ(Journal("Friends").size(), 4u);  // the PROP runs without a conflict
}

}  // namespace
