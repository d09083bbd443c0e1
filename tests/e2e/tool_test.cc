// End-to-end runs of morvanectl (and, for POST and JOIN, morvane) in a
// temporary gateway data directory, against a fake gateway on 127.0.0.1.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/limits.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kOwner[] = "+15550001111";
constexpr char kPassword[] = "owner-secret";
constexpr char kBob[] = "+15550002222";
constexpr char kCarol[] = "+15550003333";
constexpr char kGatewayNumber[] = "+15550009999";
// -1 as the operating system reports it.
constexpr int kFailureExit = 255;

constexpr char kUsage[] = "Usage:\r\n";
constexpr char kAdminUsage[] =
    " ADMIN GroupName [ ADMIN / AUTH / PROP / ADD / REMOVE / LIST / BLOCK / "
    "UNBLOCK / POST ]\r\n";
constexpr char kCreateUsage[] =
    " CREATE GroupName OwnerPhoneNumber [ PUBLIC / PRIVATE ] [ MOD / UNMOD / "
    "BROADCAST ] [ NOTIFY / NONOTIFY ]\r\n";

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(home_.AddAccount(kOwner, kPassword));
  }

  RunResult Tool(const std::vector<std::string>& args) {
    const RunResult run = home_.RunTool(args);
    EXPECT_TRUE(run.finished);
    return run;
  }

  // Runs the tool and expects a normal ending with exactly `output`.
  void ExpectTool(const std::vector<std::string>& args, const std::string& output) {
    const RunResult run = Tool(args);
    EXPECT_EQ(run.exit_code, 0) << args.back();
    EXPECT_EQ(run.output, output) << args.back();
  }

  void CreateFriends() {
    ExpectTool({"CREATE", "Friends", kOwner},
               "OK -- Group Friends created.\r\n"
               "Group Attributes:  Public  Unmoderated  NoNotify\r\n");
  }

  // Friends with the owner, Bob and Carol.
  void CreateFriendsWithMembers() {
    CreateFriends();
    ExpectTool({"ADMIN", "Friends", "ADD", kBob, "Bob"}, "OK\r\n");
    ExpectTool({"ADMIN", "Friends", "ADD", kCarol, "Carol"}, "OK\r\n");
  }

  std::string GroupIni(const std::string& group) const {
    return home_.ReadFile("Groups/" + group + "/GROUP.INI");
  }

  // Usage lines name the program as it was started.
  static std::string UsageLine(const char* line) { return "  " + MorvanectlProgram() + line; }

  MorvaneHome home_;
};

// --- Usage ----------------------------------------------------------------

class ToolUsageTest : public ToolTest,
                      public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(ToolUsageTest, FewerThanThreeArgumentsPrintBothUsageLines) {
  const RunResult run = Tool(GetParam());
  EXPECT_EQ(run.exit_code, kFailureExit);
  EXPECT_EQ(run.output, kUsage + UsageLine(kAdminUsage) + UsageLine(kCreateUsage));
  // The store root is made only after the argument check.
  EXPECT_FALSE(home_.Exists("Groups"));
}

INSTANTIATE_TEST_SUITE_P(Arguments, ToolUsageTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"ADMIN"},
                                           std::vector<std::string>{"ADMIN", "Friends"},
                                           std::vector<std::string>{"CREATE", "Friends"}));

TEST_F(ToolTest, UnknownFirstWordPrintsTheAdminUsage) {
  for (const char* word : {"DELETE", "CREAT", "ADM", ""}) {
    const RunResult run = Tool({word, "Friends", "LIST"});
    EXPECT_EQ(run.exit_code, kFailureExit) << word;
    EXPECT_EQ(run.output, kUsage + UsageLine(kAdminUsage)) << word;
  }
  EXPECT_TRUE(home_.Exists("Groups"));
}

TEST_F(ToolTest, FirstWordIsMatchedAsAPrefixInAnyCase) {
  ExpectTool({"createGroup", "Friends", kOwner},
             "OK -- Group Friends created.\r\n"
             "Group Attributes:  Public  Unmoderated  NoNotify\r\n");
  ExpectTool({"Administer", "Friends", "LIST"}, std::string(kOwner) + "\r\n");
}

TEST_F(ToolTest, UnknownSubcommandPrintsTheAdminUsage) {
  CreateFriends();
  for (const char* word : {"SHOW", "NEWOWNER", "", "ADMI", "LIS"}) {
    const RunResult run = Tool({"ADMIN", "Friends", word});
    EXPECT_EQ(run.exit_code, kFailureExit) << word;
    EXPECT_EQ(run.output, kUsage + UsageLine(kAdminUsage)) << word;
  }
}

TEST_F(ToolTest, UnknownListActionPrintsTheListsHelp) {
  CreateFriends();
  struct Case {
    const char* list;
    const char* action;
    std::string output;
  };
  const std::string admin_help =
      "List, add or remove users with ADMIN rights in this group.\r\n\r\n" + std::string(kUsage) +
      UsageLine(" ADMIN GroupName ADMIN [ LIST / ADD number / REMOVE number ]\r\n");
  const std::string auth_help =
      "List, add or remove users with AuthUser rights in this group (rights to "
      "distributed to moderated or broadcast groups).\r\n\r\n" +
      std::string(kUsage) +
      UsageLine(" ADMIN GroupName AUTH [ LIST / ADD number / REMOVE number ]\r\n");
  const Case cases[] = {
      {"ADMIN", "SHOW", admin_help}, {"ADMIN", "LISTING", admin_help}, {"ADMIN", "", admin_help},
      {"AUTH", "SHOW", auth_help},   {"AUTH", "ADDS", auth_help},      {"auth", "", auth_help},
  };
  for (const Case& c : cases) {
    const RunResult run = Tool({"ADMIN", "Friends", c.list, c.action});
    EXPECT_EQ(run.exit_code, kFailureExit) << c.list << " " << c.action;
    EXPECT_EQ(run.output, c.output) << c.list << " " << c.action;
  }
}

// --- CREATE ---------------------------------------------------------------

struct CreateCase {
  std::vector<std::string> words;
  const char* membership;
  const char* post_type;
  bool notify;
};

class ToolCreateTest : public ToolTest, public ::testing::WithParamInterface<CreateCase> {};

TEST_P(ToolCreateTest, WritesGroupIniAndReportsTheAttributes) {
  const CreateCase& c = GetParam();
  std::vector<std::string> args = {"CREATE", "Friends", kOwner};
  args.insert(args.end(), c.words.begin(), c.words.end());
  const RunResult run = Tool(args);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, std::string("OK -- Group Friends created.\r\n") +
                            "Group Attributes:  " + c.membership + "  " + c.post_type + "  " +
                            (c.notify ? "Notify" : "NoNotify") + "\r\n");
  EXPECT_EQ(GroupIni("Friends"), std::string("[Group]\r\nMembershipType=") + c.membership +
                                     "\r\nPostType=" + c.post_type + "\r\n" +
                                     (c.notify ? "Notify=Yes\r\n" : "") + "Owner=" + kOwner +
                                     "\r\n[Admin]\r\n" + kOwner + "=Admin\r\n");
  // The owner is the first member, named Admin.
  ExpectTool({"ADMIN", "Friends", "ADMIN", "LIST"}, std::string(kOwner) + " - Admin\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Properties, ToolCreateTest,
    ::testing::Values(
        CreateCase{{}, "Public", "Unmoderated", false},
        CreateCase{{"PUBLIC"}, "Public", "Unmoderated", false},
        CreateCase{{"private"}, "Private", "Unmoderated", false},
        CreateCase{{"PRIVATE", "MOD"}, "Private", "Moderated", false},
        CreateCase{{"Moderated"}, "Public", "Moderated", false},
        CreateCase{{"UNMOD"}, "Public", "Unmoderated", false},
        CreateCase{{"BROADCAST"}, "Public", "Broadcast", false},
        CreateCase{{"bcast", "BROADCAST"}, "Public", "Broadcast", false},
        CreateCase{{"NOTIFY"}, "Public", "Unmoderated", true},
        CreateCase{{"NONOTIFY"}, "Public", "Unmoderated", false},
        CreateCase{{"PRI", "BRO", "NOT"}, "Private", "Broadcast", true},
        CreateCase{{"pub", "mod", "nonotify", "hello", ""}, "Public", "Moderated", false},
        CreateCase{{"PUBLIC", "PUBLIC", "NOTIFY", "NOTIFY"}, "Public", "Unmoderated", true}));

struct ConflictCase {
  std::vector<std::string> words;
  const char* line;
};

constexpr char kPublicPrivateLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "PUBLIC PRIVATE\r\n";
constexpr char kModUnmodLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "MOD UNMOD BROADCAST\r\n";
constexpr char kNotifyLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "NOTIFY NONOTIFY\r\n";

class ToolConflictTest : public ToolTest, public ::testing::WithParamInterface<ConflictCase> {};

TEST_P(ToolConflictTest, CreateRefusesConflictingPropertiesAndWritesNothing) {
  std::vector<std::string> args = {"CREATE", "Friends", kOwner};
  args.insert(args.end(), GetParam().words.begin(), GetParam().words.end());
  const RunResult run = Tool(args);
  EXPECT_EQ(run.exit_code, kFailureExit);
  EXPECT_EQ(run.output, GetParam().line);
  EXPECT_FALSE(home_.Exists("Groups/Friends"));
}

TEST_P(ToolConflictTest, PropRefusesConflictingPropertiesAndEndsNormally) {
  CreateFriends();
  const std::string before = GroupIni("Friends");
  std::vector<std::string> args = {"ADMIN", "Friends", "PROP"};
  args.insert(args.end(), GetParam().words.begin(), GetParam().words.end());
  const RunResult run = Tool(args);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, GetParam().line);
  EXPECT_EQ(GroupIni("Friends"), before);
}

INSTANTIATE_TEST_SUITE_P(
    Conflicts, ToolConflictTest,
    ::testing::Values(ConflictCase{{"PUBLIC", "PRIVATE"}, kPublicPrivateLine},
                      ConflictCase{{"PUB", "PRI", "MOD", "UNMOD", "NOTIFY", "NONOTIFY"},
                                   kPublicPrivateLine},
                      ConflictCase{{"MOD", "UNMOD"}, kModUnmodLine},
                      ConflictCase{{"MODERATED", "BROADCAST"}, kModUnmodLine},
                      ConflictCase{{"UNMOD", "BCAST", "NOTIFY", "NONOTIFY"}, kModUnmodLine},
                      ConflictCase{{"NOTIFY", "NONOTIFY"}, kNotifyLine}));

TEST_F(ToolTest, CreateRefusesCommandWordsAndUnsafeNames) {
  for (const char* name :
       {"Join", "delete", "ADMIN", "yes", "Stop", "../x", "a/b", "..", ".", "a\\b",
        "ErrorCtr.ini"}) {
    const RunResult run = Tool({"CREATE", name, kOwner});
    EXPECT_EQ(run.exit_code, kFailureExit) << name;
    EXPECT_EQ(run.output, "ERROR:  Invalid group name " + std::string(name) + "\r\n");
  }
  // Nothing was made for them, inside the store or beside it.
  EXPECT_FALSE(home_.Exists("x"));
  EXPECT_FALSE(home_.Exists("Groups/Join"));
  EXPECT_FALSE(home_.Exists("Groups/GROUP.INI"));
  EXPECT_FALSE(home_.Exists("Groups/a"));
  EXPECT_FALSE(home_.Exists("Groups/ErrorCtr.ini"));
}

TEST_F(ToolTest, CreateRefusesAnInvalidOwnerNumber) {
  for (const char* owner : {"555-0001", "+12345", "1234567890123456", "", "Bob"}) {
    const RunResult run = Tool({"CREATE", "Friends", owner});
    EXPECT_EQ(run.exit_code, kFailureExit) << owner;
    EXPECT_EQ(run.output, "ERROR:  Owner phone number " + std::string(owner) + " is invalid\r\n");
  }
  EXPECT_FALSE(home_.Exists("Groups/Friends"));
}

TEST_F(ToolTest, CreateRefusesAnOwnerWithoutAnAccount) {
  const RunResult run = Tool({"CREATE", "Friends", kBob});
  EXPECT_EQ(run.exit_code, kFailureExit);
  EXPECT_EQ(run.output, std::string("ERROR:  Owner phone number ") + kBob +
                            " must be defined in the Kavrel \"SMS Users\" list\r\n");
  EXPECT_FALSE(home_.Exists("Groups/Friends"));
}

TEST_F(ToolTest, CreateRefusesAnExistingGroupInAnyCase) {
  CreateFriends();
  const std::string before = GroupIni("Friends");
  for (const char* name : {"Friends", "FRIENDS"}) {
    // The existing group is reported before the owner is looked at.
    const RunResult run = Tool({"CREATE", name, "not-a-number", "PRIVATE"});
    EXPECT_EQ(run.exit_code, kFailureExit);
    EXPECT_EQ(run.output, "ERROR:  Group " + std::string(name) + " already exists\r\n");
  }
  EXPECT_EQ(GroupIni("Friends"), before);
}

// --- ADMIN ----------------------------------------------------------------

TEST_F(ToolTest, AdminOfAMissingGroupFails) {
  CreateFriends();
  for (const char* name : {"Nosuch", "../Groups/Friends", ""}) {
    const RunResult run = Tool({"ADMIN", name, "LIST"});
    EXPECT_EQ(run.exit_code, kFailureExit) << name;
    EXPECT_EQ(run.output, "ERROR:  Group " + std::string(name) + " does not exist\r\n");
  }
}

TEST_F(ToolTest, AddMemberChecksNumberAndName) {
  CreateFriends();
  ExpectTool({"ADMIN", "Friends", "ADD", "555-0001", "Bob"},
             "ERROR:  Invalid number 555-0001, not added to group Friends\r\n");
  ExpectTool({"ADMIN", "Friends", "ADD", kBob},
             std::string("ERROR:  Invalid number ") + kBob + ", not added to group Friends\r\n");
  // ADDRESS is ADD.
  ExpectTool({"ADMIN", "Friends", "ADDRESS", kBob, "Bob"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "ADD", kBob, "BOB"},
             std::string("ERROR:  User ") + kBob + " already exists in group Friends\r\n");
  // Another name renames the member.
  ExpectTool({"ADMIN", "Friends", "add", kBob, "Robert"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "AUTH", "ADD", "Robert"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "AUTH", "LIST"}, std::string(kBob) + " - Robert\r\n");
}

TEST_F(ToolTest, ListsMembersInCaseInsensitivePhoneOrder) {
  CreateFriendsWithMembers();
  {
    // Members whose numbers hold letters can only come from the gateway;
    // they are put into the store directly.
    ScopedEnv kavrel_home(kDataHomeVariable, home_.path());
    SetStoreBase(StoreBase::kPrivateData);
    ASSERT_TRUE(AddMember("Friends", "Bob-x", "bx"));
    ASSERT_TRUE(AddMember("Friends", "alice", "al"));
    ASSERT_TRUE(AddMember("Friends", "5550001", "short"));
  }
  ExpectTool({"ADMIN", "Friends", "list"}, std::string(kOwner) + "\r\n" + kBob + "\r\n" + kCarol +
                                               "\r\n5550001\r\nalice\r\nBob-x\r\n");
}

TEST_F(ToolTest, ListOfAGroupWithoutMembersPrintsNothing) {
  CreateFriends();
  ExpectTool({"ADMIN", "Friends", "REMOVE", kOwner}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "LISTING"}, "");
}

TEST_F(ToolTest, RemovesMembersByNameOrNumber) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "REMOVE", "bob"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "REMOVED", kCarol}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "LIST"}, std::string(kOwner) + "\r\n");
  ExpectTool({"ADMIN", "Friends", "REMOVE", "Nobody"},
             "ERROR:  User Nobody does not exist in group Friends\r\n");
  ExpectTool({"ADMIN", "Friends", "REMOVE", kBob},
             std::string("ERROR:  User ") + kBob + " does not exist in group Friends\r\n");
  ExpectTool({"ADMIN", "Friends", "REMOVE"}, "ERROR:  User  does not exist in group Friends\r\n");
  // Removing is no block.
  EXPECT_EQ(GroupIni("Friends").find("[Blocked]"), std::string::npos);
}

TEST_F(ToolTest, BlockRemovesTheMemberAndUnblockLiftsTheBlock) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "BLOCK", "Bob"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "LIST"}, std::string(kOwner) + "\r\n" + kCarol + "\r\n");
  EXPECT_NE(GroupIni("Friends").find("[Blocked]\r\n" + std::string(kBob) + "=Blocked\r\n"),
            std::string::npos);
  // Unblocking goes by number.
  ExpectTool({"ADMIN", "Friends", "UNBLOCK", "Bob"},
             "ERROR:  User Bob was not blocked in group Friends\r\n");
  ExpectTool({"ADMIN", "Friends", "UNBLOCKED", kBob}, "OK\r\n");
  EXPECT_EQ(GroupIni("Friends").find(std::string(kBob) + "=Blocked"), std::string::npos);
  ExpectTool({"ADMIN", "Friends", "UNBLOCK", kBob},
             std::string("ERROR:  User ") + kBob + " was not blocked in group Friends\r\n");
  // A blocked number that is no longer a member cannot be blocked again.
  ExpectTool({"ADMIN", "Friends", "BLOCKING", kBob},
             std::string("ERROR:  User ") + kBob + " does not exist in group Friends\r\n");
}

TEST_F(ToolTest, UnblockAllDeletesTheBlockedSection) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "BLOCK", kBob}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", "BLOCK", "Carol"}, "OK\r\n");
  ASSERT_NE(GroupIni("Friends").find("[Blocked]"), std::string::npos);
  ExpectTool({"ADMIN", "Friends", "UNBLOCK", "all"}, "OK\r\n");
  EXPECT_EQ(GroupIni("Friends").find("Blocked"), std::string::npos);
  // "ALL" is a whole word.
  ExpectTool({"ADMIN", "Friends", "UNBLOCK", "ALLx"},
             "ERROR:  User ALLx was not blocked in group Friends\r\n");
}

TEST_F(ToolTest, UnblockWithoutAWordPrintsNothing) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "BLOCK", kBob}, "OK\r\n");
  const std::string before = GroupIni("Friends");
  ExpectTool({"ADMIN", "Friends", "UNBLOCK"}, "");
  EXPECT_EQ(GroupIni("Friends"), before);
}

TEST_F(ToolTest, PropSetsAndReportsProperties) {
  CreateFriends();
  ExpectTool({"ADMIN", "Friends", "PROP"},
             "OK -- Current properties for group Friends -- PUBLIC  UNMODERATED  NONOTIFY\r\n");
  // PROPERTIES is PROP.
  ExpectTool({"ADMIN", "Friends", "PROPERTIES", "PRIVATE", "MODERATED", "NOTIFY"},
             "OK -- Current properties for group Friends -- PRIVATE  MODERATED  NOTIFY\r\n");
  // Values are replaced in place; a new key follows the section's last.
  EXPECT_EQ(GroupIni("Friends"),
            std::string("[Group]\r\nMembershipType=Private\r\nPostType=Moderated\r\n"
                        "Owner=") +
                kOwner + "\r\nNotify=Yes\r\n[Admin]\r\n" + kOwner + "=Admin\r\n");
  ExpectTool({"ADMIN", "Friends", "prop", "bcast", "nonotify"},
             "OK -- Current properties for group Friends -- PRIVATE  BROADCAST  NONOTIFY\r\n");
  EXPECT_EQ(GroupIni("Friends").find("Notify"), std::string::npos);
  ExpectTool({"ADMIN", "Friends", "PROP", "public", "unmoderated"},
             "OK -- Current properties for group Friends -- PUBLIC  UNMODERATED  NONOTIFY\r\n");
}

struct RightsCase {
  const char* list;
  const char* section;
  const char* value;
  const char* not_listed;
};

class ToolRightsTest : public ToolTest, public ::testing::WithParamInterface<RightsCase> {};

TEST_P(ToolRightsTest, ListsAddsAndRemovesEntries) {
  const RightsCase& c = GetParam();
  CreateFriendsWithMembers();
  const std::string nonmember = "+15550004444";
  // By number (a member or not) and by a member's name.
  ExpectTool({"ADMIN", "Friends", c.list, "ADD", nonmember}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "add", "carol"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "ADD", "Nobody"},
             "ERROR:  Invalid phone number Nobody\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "ADD"}, "ERROR:  Invalid phone number \r\n");
  const std::string owner_line =
      std::string(c.section) == "Admin" ? std::string(kOwner) + " - Admin\r\n" : "";
  ExpectTool({"ADMIN", "Friends", c.list, "LIST"},
             owner_line + nonmember + "\r\n" + kCarol + " - Carol\r\n");
  EXPECT_NE(GroupIni("Friends").find(nonmember + "=" + c.value + "\r\n" + kCarol + "=" + c.value +
                                     "\r\n"),
            std::string::npos);

  ExpectTool({"ADMIN", "Friends", c.list, "REMOVE", "Carol"}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "remove", nonmember}, "OK\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "REMOVE", nonmember},
             "ERROR:  " + nonmember + c.not_listed);
  ExpectTool({"ADMIN", "Friends", c.list, "REMOVE", "Bob"},
             std::string("ERROR:  ") + kBob + c.not_listed);
  ExpectTool({"ADMIN", "Friends", c.list, "REMOVE", "Nobody"},
             "ERROR:  Invalid phone number Nobody\r\n");
  ExpectTool({"ADMIN", "Friends", c.list, "LIST"}, owner_line);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ToolRightsTest,
    ::testing::Values(RightsCase{"ADMIN", "Admin", "Admin",
                                 " is not currently an ADMIN for this group\r\n"},
                      RightsCase{"Administrators", "Admin", "Admin",
                                 " is not currently an ADMIN for this group\r\n"},
                      RightsCase{"AUTH", "AuthUser", "AuthUser",
                                 " is not currently an AuthUser for this group\r\n"},
                      RightsCase{"authorised", "AuthUser", "AuthUser",
                                 " is not currently an AuthUser for this group\r\n"}));

// --- POST -----------------------------------------------------------------

class ToolPostTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.WriteProfile("HOLLIN.INI", "HOLLIN", "ReceiveSMSCommand1",
                                   std::string("morvane\t/s\t%s\t") + kGatewayNumber));
  }

  // Expects one accepted submission of `text` to each recipient, in order,
  // from the gateway number under the owner's account.
  void ExpectDelivered(const std::vector<std::string>& recipients, const std::string& text) {
    const std::vector<Submission> sent = gateway_.Accepted();
    ASSERT_EQ(sent.size(), recipients.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].phone_number, recipients[i]);
      EXPECT_EQ(sent[i].sender, kGatewayNumber);
      EXPECT_EQ(sent[i].text, text);
      EXPECT_EQ(sent[i].user, kOwner);
      EXPECT_EQ(sent[i].password, kPassword);
    }
  }

  FakeGateway gateway_;
};

TEST_F(ToolPostTest, EveryMemberOwnerIncludedReceivesTheTextUnchanged) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "POST", "Say", "\"hi\"", "to", "C:\\dir\\", "\\\\x\\"}, "");
  // The owner's copy shows that the processor ran in administrator mode.
  ExpectDelivered({kOwner, kBob, kCarol}, "@Friends:Admin Say \"hi\" to C:\\dir\\ \\\\x\\");
}

TEST_F(ToolPostTest, PostsToGroupsNamedLikeCommands) {
  // Without its post marker the processor would take these names for
  // commands (HELP, STOP, "#" before a group name).
  for (const char* group : {"Helpers", "Stopwatch", "#Friends"}) {
    ExpectTool({"CREATE", group, kOwner},
               "OK -- Group " + std::string(group) +
                   " created.\r\n"
                   "Group Attributes:  Public  Unmoderated  NoNotify\r\n");
    ExpectTool({"ADMIN", group, "ADD", kBob, "Bob"}, "OK\r\n");
    gateway_.Clear();
    ExpectTool({"ADMIN", group, "POSTING", "Hello", "all"}, "");
    ExpectDelivered({kOwner, kBob}, "@" + std::string(group) + ":Admin Hello all");
    ExpectTool({"ADMIN", group, "LIST"}, std::string(kOwner) + "\r\n" + kBob + "\r\n");
  }
}

TEST_F(ToolPostTest, WithoutTextPrintsAnErrorAndSendsNothing) {
  CreateFriendsWithMembers();
  ExpectTool({"ADMIN", "Friends", "POST"}, "ERROR:  No text to post\r\n");
  ExpectTool({"ADMIN", "Friends", "POST", ""}, "ERROR:  No text to post\r\n");
  EXPECT_TRUE(gateway_.Submissions().empty());
}

TEST_F(ToolPostTest, TextReachesTheProcessorAsWordsJoinedBySingleSpaces) {
  CreateFriendsWithMembers();
  // The joined text is the processor's command line: runs of spaces and
  // tabs, inside a word or around an empty one, come out as one space.
  ExpectTool({"ADMIN", "Friends", "POST", "Hello   there", "", "\tall "}, "");
  ExpectDelivered({kOwner, kBob, kCarol}, "@Friends:Admin Hello there all");
  // Blanks alone are a text without words: the prefix goes out alone.
  gateway_.Clear();
  ExpectTool({"ADMIN", "Friends", "POST", " "}, "");
  ExpectDelivered({kOwner, kBob, kCarol}, "@Friends:Admin");
}

TEST_F(ToolPostTest, RefusesATextLongerThanTheProcessorsCommandLine) {
  CreateFriendsWithMembers();
  // The processor's command line: /s owner /r number /t @Friends word.
  const size_t fixed = std::string("/s ").size() + std::string(kOwner).size() +
                       std::string(" /r ").size() + std::string(kGatewayNumber).size() +
                       std::string(" /t @Friends ").size();
  const std::string at_limit(kMaxCommandLineChars - fixed, 'x');

  ExpectTool({"ADMIN", "Friends", "POST", at_limit + "x"}, "ERROR:  Text too long to post\r\n");
  EXPECT_TRUE(gateway_.Submissions().empty());

  // At the limit the text goes out (cut further on its way to the gateway).
  ExpectTool({"ADMIN", "Friends", "POST", at_limit}, "");
  const std::vector<Submission> sent = gateway_.Accepted();
  ASSERT_EQ(sent.size(), 3u);
  const std::string start = "@Friends:Admin " + at_limit.substr(0, 100);
  for (const Submission& submission : sent) {
    EXPECT_EQ(submission.text.substr(0, start.size()), start);
  }
}

TEST_F(ToolPostTest, RefusesGroupsTheProcessorCannotName) {
  std::vector<std::string> names = {std::string(kMaxGroupChars + 1, 'g')};
  // No Windows file name holds ':', so there the tool cannot create "a:b".
  if (!OnWindows()) names.push_back("a:b");
  for (const std::string& group : names) {
    ExpectTool({"CREATE", group, kOwner},
               "OK -- Group " + group +
                   " created.\r\n"
                   "Group Attributes:  Public  Unmoderated  NoNotify\r\n");
    ExpectTool({"ADMIN", group, "POST", "hi"}, "ERROR:  Invalid group name " + group + "\r\n");
  }
  EXPECT_TRUE(gateway_.Submissions().empty());
}

// --- Groups made by the tool serve text messages --------------------------

TEST_F(ToolPostTest, JoinByTextMessageAfterCreate) {
  CreateFriends();
  const std::string dave = "+15550005555";
  const RunResult join =
      home_.Run({"/s", dave, "/r", kGatewayNumber, "/t", "JOIN", "Friends", "Dave"});
  ASSERT_TRUE(join.finished);
  EXPECT_EQ(join.output, "");
  const std::vector<Submission> sent = gateway_.Accepted();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].phone_number, dave);
  EXPECT_EQ(sent[0].sender, kGatewayNumber);
  EXPECT_EQ(sent[0].user, kOwner);
  EXPECT_EQ(sent[0].text,
            "You have joined the group Friends.  To leave the group, reply with "
            "'LEAVE Friends'.  To send to the group, reply and start text with @Friends");
  ExpectTool({"ADMIN", "Friends", "LIST"}, std::string(kOwner) + "\r\n" + dave + "\r\n");
}

}  // namespace
