// End-to-end runs of morvanectl (and, for POST and JOIN, morvane) in a
// temporary gateway data directory, against a fake gateway on 127.0.0.1.
// Each test walks a table of runs and checks every run's output and status.
#include <gtest/gtest.h>

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
constexpr int kFail = 255;  // -1 as the operating system reports it

std::string Created(const std::string& group, const std::string& attributes) {
  return "OK -- Group " + group + " created.\r\nGroup Attributes:  " + attributes + "\r\n";
}
std::string Props(const std::string& props) {
  return "OK -- Current properties for group Friends -- " + props + "\r\n";
}
std::string Conflict(const std::string& words) {
  return "ERROR:  Only one of the following attributes can be applied to a group:  " + words +
         "\r\n";
}
// Usage lines name the program as it was started.
std::string Usage(const std::string& line) { return "  " + MorvanectlProgram() + line; }
const std::string kAdminUsage =
    "Usage:\r\n" + Usage(" ADMIN GroupName [ ADMIN / AUTH / PROP / ADD / REMOVE / LIST / "
                         "BLOCK / UNBLOCK / POST ]\r\n");

struct Step {
  std::vector<std::string> args;
  std::string output;
  int exit_code = 0;
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(home_.AddAccount(kOwner, kPassword));
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.WriteProfile("HOLLIN.INI", "HOLLIN", "ReceiveSMSCommand1",
                                   std::string("morvane\t/s\t%s\t") + kGatewayNumber));
  }

  void Walk(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      std::string what;
      for (const std::string& arg : step.args) what += "[" + arg.substr(0, 60) + "]";
      const RunResult run = home_.RunTool(step.args);
      EXPECT_TRUE(run.finished) << what;
      EXPECT_EQ(run.exit_code, step.exit_code) << what;
      EXPECT_EQ(run.output, step.output) << what;
    }
  }

  std::string Ini(const std::string& group = "Friends") const {
    return home_.ReadFile("Groups/" + group + "/GROUP.INI");
  }

  // One accepted submission of `text` to each recipient, in order, from the
  // gateway number under the owner's account.
  void ExpectDelivered(const std::vector<std::string>& recipients, const std::string& text) {
    const std::vector<Submission> sent = gateway_.Accepted();
    gateway_.Clear();
    ASSERT_EQ(sent.size(), recipients.size()) << text;
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].phone_number, recipients[i]);
      EXPECT_EQ(sent[i].sender, kGatewayNumber);
      EXPECT_EQ(sent[i].text, text);
      EXPECT_EQ(sent[i].user, kOwner);
      EXPECT_EQ(sent[i].password, kPassword);
    }
  }

  MorvaneHome home_;
  FakeGateway gateway_;
};

TEST_F(ToolTest, UsageAndHelpForMissingOrUnknownWords) {
  const std::string both = kAdminUsage + Usage(" CREATE GroupName OwnerPhoneNumber [ PUBLIC / "
                                               "PRIVATE ] [ MOD / UNMOD / BROADCAST ] [ NOTIFY "
                                               "/ NONOTIFY ]\r\n");
  Walk({{{}, both, kFail}, {{"ADMIN", "Friends"}, both, kFail}, {{"CREATE", "F"}, both, kFail}});
  // The store root is made only after the argument check.
  EXPECT_FALSE(home_.Exists("Groups"));
  const std::string admin_help =
      "List, add or remove users with ADMIN rights in this group.\r\n\r\nUsage:\r\n" +
      Usage(" ADMIN GroupName ADMIN [ LIST / ADD number / REMOVE number ]\r\n");
  const std::string auth_help =
      "List, add or remove users with AuthUser rights in this group (rights to distributed to "
      "moderated or broadcast groups).\r\n\r\nUsage:\r\n" +
      Usage(" ADMIN GroupName AUTH [ LIST / ADD number / REMOVE number ]\r\n");
  // Commands and subcommands are prefixes in any case; list actions whole words.
  Walk({{{"DELETE", "Friends", "LIST"}, kAdminUsage, kFail},
        {{"CREAT", "Friends", kOwner}, kAdminUsage, kFail},
        {{"", "Friends", "LIST"}, kAdminUsage, kFail},
        {{"createGroup", "Friends", kOwner}, Created("Friends", "Public  Unmoderated  NoNotify")},
        {{"Administer", "Friends", "LIST"}, std::string(kOwner) + "\r\n"},
        {{"ADMIN", "Friends", "SHOW"}, kAdminUsage, kFail},
        {{"ADMIN", "Friends", "LIS"}, kAdminUsage, kFail},
        {{"ADMIN", "Friends", ""}, kAdminUsage, kFail},
        {{"ADMIN", "Friends", "ADMIN", "LISTING"}, admin_help, kFail},
        {{"ADMIN", "Friends", "ADMIN", ""}, admin_help, kFail},
        {{"ADMIN", "Friends", "auth", "ADDS"}, auth_help, kFail}});
}

TEST_F(ToolTest, CreateWritesTheAttributesAndRefusesConflicts) {
  const struct {
    std::vector<std::string> words;
    std::string membership, post_type;
    bool notify;
  } rows[] = {{{}, "Public", "Unmoderated", false},
              {{"private", "MOD"}, "Private", "Moderated", false},
              {{"bcast", "BROADCAST"}, "Public", "Broadcast", false},
              {{"UNMOD", "NONOTIFY"}, "Public", "Unmoderated", false},
              {{"PRI", "BRO", "NOT"}, "Private", "Broadcast", true},
              {{"pub", "mod", "hello", ""}, "Public", "Moderated", false}};
  int n = 0;
  for (const auto& row : rows) {
    const std::string group = "G" + std::to_string(n++);
    std::vector<std::string> args = {"CREATE", group, kOwner};
    args.insert(args.end(), row.words.begin(), row.words.end());
    Walk({{args, Created(group, row.membership + "  " + row.post_type + "  " +
                                    (row.notify ? "Notify" : "NoNotify"))},
          {{"ADMIN", group, "ADMIN", "LIST"}, std::string(kOwner) + " - Admin\r\n"}});
    EXPECT_EQ(Ini(group), "[Group]\r\nMembershipType=" + row.membership + "\r\nPostType=" +
                              row.post_type + "\r\n" + (row.notify ? "Notify=Yes\r\n" : "") +
                              "Owner=" + kOwner + "\r\n[Admin]\r\n" + kOwner + "=Admin\r\n");
  }
  // The first conflict is reported; CREATE makes nothing, PROP changes nothing.
  const std::string before = Ini("G0");
  for (const auto& [words, line] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"PUB", "PRI", "MOD", "UNMOD", "NOTIFY", "NONOTIFY"}, Conflict("PUBLIC PRIVATE")},
           {{"MODERATED", "BROADCAST"}, Conflict("MOD UNMOD BROADCAST")},
           {{"UNMOD", "BCAST", "NOTIFY", "NONOTIFY"}, Conflict("MOD UNMOD BROADCAST")},
           {{"NOTIFY", "NONOTIFY"}, Conflict("NOTIFY NONOTIFY")}}) {
    std::vector<std::string> create = {"CREATE", "New", kOwner};
    std::vector<std::string> prop = {"ADMIN", "G0", "PROP"};
    create.insert(create.end(), words.begin(), words.end());
    prop.insert(prop.end(), words.begin(), words.end());
    Walk({{create, line, kFail}, {prop, line}});
  }
  EXPECT_FALSE(home_.Exists("Groups/New"));
  EXPECT_EQ(Ini("G0"), before);
}

TEST_F(ToolTest, CreateRefusesBadNamesOwnersAndExistingGroups) {
  std::vector<Step> steps;
  for (const char* name : {"Join", "delete", "ADMIN", "yes", "Stop", "../x", "a/b", "..", ".",
                           "a\\b", "ErrorCtr.ini"}) {
    steps.push_back({{"CREATE", name, kOwner}, "ERROR:  Invalid group name " + std::string(name) +
                                                   "\r\n", kFail});
  }
  for (const char* owner : {"555-0001", "+12345", "1234567890123456", "", "Bob"}) {
    steps.push_back({{"CREATE", "Friends", owner},
                     "ERROR:  Owner phone number " + std::string(owner) + " is invalid\r\n", kFail});
  }
  steps.push_back({{"CREATE", "Friends", kBob}, std::string("ERROR:  Owner phone number ") + kBob +
                                                    " must be defined in the Kavrel \"SMS "
                                                    "Users\" list\r\n", kFail});
  Walk(steps);
  // Nothing was made for them, inside the store or beside it.
  for (const char* path : {"x", "Groups/Join", "Groups/GROUP.INI", "Groups/a", "Groups/Friends",
                           "Groups/ErrorCtr.ini"}) {
    EXPECT_FALSE(home_.Exists(path)) << path;
  }
  // An existing group is reported before the owner is looked at.
  Walk({{{"CREATE", "Friends", kOwner}, Created("Friends", "Public  Unmoderated  NoNotify")},
        {{"CREATE", "FRIENDS", "not-a-number", "PRIVATE"},
         "ERROR:  Group FRIENDS already exists\r\n", kFail}});
  EXPECT_EQ(Ini().find("Private"), std::string::npos);
}

TEST_F(ToolTest, AdministersMembersBlocksAndProperties) {
  const std::string k = kOwner, b = kBob, c = kCarol;
  const std::string no_user = " does not exist in group Friends\r\n";
  Walk({{{"CREATE", "Friends", k}, Created("Friends", "Public  Unmoderated  NoNotify")},
        {{"ADMIN", "Nosuch", "LIST"}, "ERROR:  Group Nosuch does not exist\r\n", kFail},
        {{"ADMIN", "../Groups/Friends", "LIST"}, "ERROR:  Group ../Groups/Friends does not "
                                                 "exist\r\n", kFail},
        {{"ADMIN", "Friends", "ADD", "555-0001", "Bob"},
         "ERROR:  Invalid number 555-0001, not added to group Friends\r\n"},
        {{"ADMIN", "Friends", "ADD", b}, "ERROR:  Invalid number " + b + ", not added to group "
                                                                        "Friends\r\n"},
        {{"ADMIN", "Friends", "ADDRESS", b, "Bob"}, "OK\r\n"},
        {{"ADMIN", "Friends", "ADD", b, "BOB"}, "ERROR:  User " + b + " already exists in "
                                                                      "group Friends\r\n"},
        {{"ADMIN", "Friends", "add", b, "Robert"}, "OK\r\n"},  // another name renames
        {{"ADMIN", "Friends", "AUTH", "ADD", "Robert"}, "OK\r\n"},
        {{"ADMIN", "Friends", "AUTH", "LIST"}, b + " - Robert\r\n"},
        {{"ADMIN", "Friends", "ADD", c, "Carol"}, "OK\r\n"},
        {{"ADMIN", "Friends", "REMOVE", "robert"}, "OK\r\n"},
        {{"ADMIN", "Friends", "REMOVED", c}, "OK\r\n"},
        {{"ADMIN", "Friends", "REMOVE", "Nobody"}, "ERROR:  User Nobody" + no_user},
        {{"ADMIN", "Friends", "REMOVE", b}, "ERROR:  User " + b + no_user},
        {{"ADMIN", "Friends", "REMOVE"}, "ERROR:  User " + no_user},
        {{"ADMIN", "Friends", "LIST"}, k + "\r\n"},
        {{"ADMIN", "Friends", "ADD", b, "Bob"}, "OK\r\n"},
        {{"ADMIN", "Friends", "ADD", c, "Carol"}, "OK\r\n"},
        {{"ADMIN", "Friends", "BLOCK", "Bob"}, "OK\r\n"},
        {{"ADMIN", "Friends", "BLOCKING", b}, "ERROR:  User " + b + no_user},
        {{"ADMIN", "Friends", "LIST"}, k + "\r\n" + c + "\r\n"}});
  EXPECT_NE(Ini().find("[Blocked]\r\n" + b + "=Blocked\r\n"), std::string::npos);
  // Unblocking goes by number; ALL is a whole word; no word does nothing.
  const std::string blocked = Ini();
  Walk({{{"ADMIN", "Friends", "UNBLOCK"}, ""},
        {{"ADMIN", "Friends", "UNBLOCK", "Bob"}, "ERROR:  User Bob was not blocked in group "
                                                 "Friends\r\n"}});
  EXPECT_EQ(Ini(), blocked);
  Walk({{{"ADMIN", "Friends", "UNBLOCKED", b}, "OK\r\n"},
        {{"ADMIN", "Friends", "UNBLOCK", b}, "ERROR:  User " + b + " was not blocked in group "
                                                                   "Friends\r\n"},
        {{"ADMIN", "Friends", "BLOCK", "Carol"}, "OK\r\n"},
        {{"ADMIN", "Friends", "UNBLOCK", "ALLx"}, "ERROR:  User ALLx was not blocked in group "
                                                  "Friends\r\n"},
        {{"ADMIN", "Friends", "UNBLOCK", "all"}, "OK\r\n"},
        {{"ADMIN", "Friends", "REMOVE", k}, "OK\r\n"},
        {{"ADMIN", "Friends", "LISTING"}, ""}});
  EXPECT_EQ(Ini().find("Blocked"), std::string::npos);
  // Members whose numbers hold letters can only come from the gateway; the
  // list is in case-insensitive phone order.
  {
    ScopedEnv kavrel_home(kDataHomeVariable, home_.path());
    SetStoreBase(StoreBase::kPrivateData);
    for (const char* phone : {"Bob-x", "alice", "5550001", kCarol, kOwner}) {
      ASSERT_TRUE(AddMember("Friends", phone, "x"));
    }
  }
  Walk({{{"ADMIN", "Friends", "list"}, k + "\r\n" + c + "\r\n5550001\r\nalice\r\nBob-x\r\n"},
        {{"ADMIN", "Friends", "PROP"}, Props("PUBLIC  UNMODERATED  NONOTIFY")},
        {{"ADMIN", "Friends", "PROPERTIES", "PRIVATE", "MODERATED", "NOTIFY"},
         Props("PRIVATE  MODERATED  NOTIFY")}});
  // Values are replaced in place; a new key follows the section's last.
  EXPECT_EQ(Ini(), "[Group]\r\nMembershipType=Private\r\nPostType=Moderated\r\nOwner=" + k +
                       "\r\nNotify=Yes\r\n[Admin]\r\n" + k + "=Admin\r\n[AuthUser]\r\n" + b + "=AuthUser\r\n");
  Walk({{{"ADMIN", "Friends", "prop", "bcast", "nonotify"}, Props("PRIVATE  BROADCAST  NONOTIFY")},
        {{"ADMIN", "Friends", "PROP", "public", "unmod"}, Props("PUBLIC  UNMODERATED  NONOTIFY")}});
  EXPECT_EQ(Ini().find("Notify"), std::string::npos);
}

TEST_F(ToolTest, RightsListsAddAndRemoveByNumberOrMemberName) {
  const std::string c = kCarol, other = "+15550004444";
  for (const auto& [list, value, role] : {std::tuple{"Administrators", "Admin", "ADMIN"},
                                          std::tuple{"authorised", "AuthUser", "AuthUser"}}) {
    SCOPED_TRACE(list);
    const std::string group = list;
    const std::string owner_line = role == std::string("ADMIN") ? kOwner + std::string(" - "
                                                                                       "Admin\r\n")
                                                                : "";
    const std::string not_listed = std::string(" is not currently an ") + role +
                                   " for this group\r\n";
    Walk({{{"CREATE", group, kOwner}, Created(group, "Public  Unmoderated  NoNotify")},
          {{"ADMIN", group, "ADD", kBob, "Bob"}, "OK\r\n"},
          {{"ADMIN", group, "ADD", c, "Carol"}, "OK\r\n"},
          {{"ADMIN", group, list, "ADD", other}, "OK\r\n"},
          {{"ADMIN", group, list, "add", "carol"}, "OK\r\n"},
          {{"ADMIN", group, list, "ADD", "Nobody"}, "ERROR:  Invalid phone number Nobody\r\n"},
          {{"ADMIN", group, list, "ADD"}, "ERROR:  Invalid phone number \r\n"},
          {{"ADMIN", group, list, "LIST"}, owner_line + other + "\r\n" + c + " - Carol\r\n"}});
    EXPECT_NE(Ini(group).find(other + "=" + value + "\r\n" + c + "=" + value + "\r\n"),
              std::string::npos);
    Walk({{{"ADMIN", group, list, "REMOVE", "Carol"}, "OK\r\n"},
          {{"ADMIN", group, list, "remove", other}, "OK\r\n"},
          {{"ADMIN", group, list, "REMOVE", other}, "ERROR:  " + other + not_listed},
          {{"ADMIN", group, list, "REMOVE", "Bob"}, "ERROR:  " + std::string(kBob) + not_listed},
          {{"ADMIN", group, list, "REMOVE", "Nobody"}, "ERROR:  Invalid phone number Nobody\r\n"},
          {{"ADMIN", group, list, "LIST"}, owner_line}});
  }
}

TEST_F(ToolTest, PostReachesEveryMemberThroughTheProcessor) {
  const std::vector<std::string> all = {kOwner, kBob, kCarol};
  Walk({{{"CREATE", "Friends", kOwner}, Created("Friends", "Public  Unmoderated  NoNotify")},
        {{"ADMIN", "Friends", "ADD", kBob, "Bob"}, "OK\r\n"},
        {{"ADMIN", "Friends", "ADD", kCarol, "Carol"}, "OK\r\n"},
        {{"ADMIN", "Friends", "POST", "Say", "\"hi\"", "to", "C:\\dir\\", "\\\\x\\"}, ""}});
  // The owner's copy shows that the processor ran in administrator mode.
  ExpectDelivered(all, "@Friends:Admin Say \"hi\" to C:\\dir\\ \\\\x\\");
  // The joined text is the processor's command line: runs of blanks, inside a
  // word or around an empty one, come out as one space; blanks alone are a
  // text without words.
  Walk({{{"ADMIN", "Friends", "POST", "Hello   there", "", "\tall "}, ""}});
  ExpectDelivered(all, "@Friends:Admin Hello there all");
  Walk({{{"ADMIN", "Friends", "POST", " "}, ""}});
  ExpectDelivered(all, "@Friends:Admin");
  // The processor's command line: /s owner /r number /t @Friends word.
  const std::string at_limit(kMaxCommandLineChars - std::string("/s  /r  /t @Friends ").size() -
                                 std::string(kOwner).size() - std::string(kGatewayNumber).size(),
                             'x');
  Walk({{{"ADMIN", "Friends", "POST"}, "ERROR:  No text to post\r\n"},
        {{"ADMIN", "Friends", "POST", ""}, "ERROR:  No text to post\r\n"},
        {{"ADMIN", "Friends", "POST", at_limit + "x"}, "ERROR:  Text too long to post\r\n"}});
  EXPECT_TRUE(gateway_.Submissions().empty());
  Walk({{{"ADMIN", "Friends", "POST", at_limit}, ""}});
  const std::vector<Submission> sent = gateway_.Accepted();
  ASSERT_EQ(sent.size(), 3u);  // cut further on its way to the gateway
  for (const Submission& s : sent) EXPECT_EQ(s.text.rfind("@Friends:Admin " + at_limit.substr(0, 100), 0), 0u);
  gateway_.Clear();

  // Without its post marker the processor would take these names for
  // commands (HELP, STOP, "#" before a group name).
  for (const std::string group : {"Helpers", "Stopwatch", "#Friends"}) {
    Walk({{{"CREATE", group, kOwner}, Created(group, "Public  Unmoderated  NoNotify")},
          {{"ADMIN", group, "ADD", kBob, "Bob"}, "OK\r\n"},
          {{"ADMIN", group, "POSTING", "Hello", "all"}, ""}});
    ExpectDelivered({kOwner, kBob}, "@" + group + ":Admin Hello all");
  }
  // Names the processor cannot take: too long, or holding its ':' (which no
  // Windows file name holds, so there the tool cannot create it).
  std::vector<std::string> names = {std::string(kMaxGroupChars + 1, 'g')};
  if (!OnWindows()) names.push_back("a:b");
  for (const std::string& group : names) {
    Walk({{{"CREATE", group, kOwner}, Created(group, "Public  Unmoderated  NoNotify")},
          {{"ADMIN", group, "POST", "hi"}, "ERROR:  Invalid group name " + group + "\r\n"}});
  }
  EXPECT_TRUE(gateway_.Submissions().empty());

  // A group made by the tool serves text messages.
  const std::string dave = "+15550005555";
  const RunResult join = home_.Run({"/s", dave, "/r", kGatewayNumber, "/t", "JOIN", "Friends", "D"});
  EXPECT_TRUE(join.finished);
  EXPECT_EQ(join.output, "");
  ExpectDelivered({dave}, "You have joined the group Friends.  To leave the group, reply with "
                          "'LEAVE Friends'.  To send to the group, reply and start text with "
                          "@Friends");
  Walk({{{"ADMIN", "Friends", "LIST"}, std::string(kOwner) + "\r\n" + kBob + "\r\n" + kCarol +
                                           "\r\n" + dave + "\r\n"}});
}

}  // namespace
