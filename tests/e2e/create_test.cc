// CREATE as a subscriber sends it: who may create, the names and property
// words it accepts, the GROUP.INI it writes byte for byte, the owner's member
// row and journal entry, and where each reply goes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"

namespace {

using ::testing::IsEmpty;

constexpr char kOwner[] = "+15550001111";
constexpr char kOwnerPassword[] = "pa:ss";
constexpr char kReceive[] = "4000";
constexpr char kStranger[] = "+15550009999";  // no gateway account

constexpr char kNoRights[] = "You do not have the necessary rights to create a group";
constexpr char kPublicPrivate[] =
    "Only one of the following attributes can be applied to a group:  PUBLIC PRIVATE";
constexpr char kModUnmod[] =
    "Only one of the following attributes can be applied to a group:  MOD UNMOD BROADCAST";
constexpr char kNotifyConflict[] =
    "Only one of the following attributes can be applied to a group:  NOTIFY NONOTIFY";

std::string GroupExistsReply(const std::string& group) {
  return "Group " + group + " already exists.  To join group, use 'JOIN " + group +
         " YourName'.  To admin group, use 'ADMIN " + group + "'.";
}

std::string InvalidNameReply(const std::string& group) {
  return "Error creating group " + group + ".  Name may contain invalid characters.";
}

std::string CreatedReply(const std::string& group, const std::string& membership,
                         const std::string& posting) {
  return "Group " + group + " created.  Membership availability is " + membership +
         ".  Message posting is " + posting + ".  Use 'ADMIN " + group + "' command to administer.";
}

std::string GroupIni(const std::string& membership, const std::string& posting, bool notify,
                     const std::string& owner) {
  return "[Group]\r\nMembershipType=" + membership + "\r\nPostType=" + posting + "\r\n" +
         (notify ? "Notify=Yes\r\n" : "") + "Owner=" + owner + "\r\n[Admin]\r\n" + owner +
         "=Admin\r\n";
}

// "YYYY-MM-DD hh:mm:ss". (GoogleTest's own regular expressions, used where
// the system has none, as on Windows, know no classes or counts.)
bool IsStoreDate(const std::string& text) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  return true;
}

std::string IniPath(const std::string& group) { return "Groups/" + group + "/GROUP.INI"; }

std::vector<std::string> TextFrom(const std::string& sender,
                                  const std::vector<std::string>& words) {
  std::vector<std::string> args = {"/s", sender, "/r", kReceive, "/t"};
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

class CreateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
  }

  // Runs CREATE (or any text) from the sender and returns standard output.
  std::string Send(const std::string& sender, const std::vector<std::string>& words,
                   bool admin_mode = false) {
    platform::EnvChanges env;
    if (admin_mode) env.push_back({"TessaryAdmin", "Yes"});
    const RunResult run = home_.Run(TextFrom(sender, words), env);
    EXPECT_TRUE(run.finished) << testing::PrintToString(words);
    return run.output;
  }

  // Expects the one submission of a run: the reply to `recipient` from the
  // receiving number, signed in as the owner.
  void ExpectReplyThroughGateway(const std::string& recipient, const std::string& text) {
    const std::vector<Submission> sent = gateway_.Submissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sender, kReceive);
    EXPECT_EQ(sent[0].phone_number, recipient);
    EXPECT_EQ(sent[0].text, text);
    EXPECT_TRUE(sent[0].has_credentials);
    EXPECT_EQ(sent[0].user, kOwner);
    EXPECT_EQ(sent[0].password, kOwnerPassword);
  }

  MorvaneHome home_;
  FakeGateway gateway_;
};

// The right to create is the sender's gateway account, also for a re-run.
class CreateRightsTest : public CreateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CreateRightsTest, SenderWithoutAccountIsRefusedOnStandardOutput) {
  EXPECT_EQ(Send(kStranger, {"CREATE", "Club"}, GetParam()), kNoRights);
  EXPECT_FALSE(home_.Exists("Groups/Club"));
  EXPECT_THAT(gateway_.Submissions(), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kStranger), 1u);
}

INSTANTIATE_TEST_SUITE_P(AdminMode, CreateRightsTest, ::testing::Bool());

TEST_F(CreateTest, NoGroupNameAsksForOne) {
  EXPECT_EQ(Send(kOwner, {"Create"}),
            "You must specify a group name to create.  Example:  CREATE GroupName [PUBLIC / "
            "PRIVATE] [MOD / UNMOD / BROADCAST] [NOTIFY / NONOTIFY]");
  EXPECT_EQ(home_.ErrorCount(kOwner), 1u);
}

TEST_F(CreateTest, ExistingGroupIsAnsweredOnStandardOutputAndKeptAsItWas) {
  ASSERT_EQ(Send(kOwner, {"CREATE", "Club", "PRIVATE"}), "");
  const std::string before = home_.ReadFile(IniPath("Club"));
  gateway_.Clear();
  ASSERT_TRUE(home_.AddAccount("+15550002222", ""));

  EXPECT_EQ(Send("+15550002222", {"CREATE", "club", "PUBLIC", "NOTIFY"}), GroupExistsReply("club"));
  EXPECT_THAT(gateway_.Submissions(), IsEmpty());
  EXPECT_EQ(home_.ReadFile(IniPath("Club")), before);
  EXPECT_EQ(home_.ErrorCount("+15550002222"), 1u);
  EXPECT_THAT(ReadMembers(home_, "Club"), testing::SizeIs(1));
}

struct ConflictCase {
  std::vector<std::string> words;
  const char* reply;
};

class CreateConflictTest : public CreateTest, public ::testing::WithParamInterface<ConflictCase> {};

TEST_P(CreateConflictTest, FirstConflictIsReportedAndNothingIsWritten) {
  std::vector<std::string> words = {"CREATE", "Club"};
  words.insert(words.end(), GetParam().words.begin(), GetParam().words.end());
  EXPECT_EQ(Send(kOwner, words), GetParam().reply);
  EXPECT_FALSE(home_.Exists("Groups/Club"));
  EXPECT_THAT(gateway_.Submissions(), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kOwner), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    PropertyWords, CreateConflictTest,
    ::testing::Values(ConflictCase{{"PUBLIC", "PRIVATE", "MOD", "UNMOD"}, kPublicPrivate},
                      ConflictCase{{"private", "publicity"}, kPublicPrivate},
                      ConflictCase{{"MOD", "BROADCAST"}, kModUnmod},
                      ConflictCase{{"unmoderated", "bcast"}, kModUnmod},
                      ConflictCase{{"MODERATED", "UNMOD", "NOTIFY", "NONOTIFY"}, kModUnmod},
                      ConflictCase{{"NOTIFY", "nonotify"}, kNotifyConflict}));

struct FileCase {
  std::vector<std::string> words;
  const char* membership;
  const char* posting;
  bool notify;
};

class CreateFileTest : public CreateTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(CreateFileTest, WritesTheGroupIniAndRepliesThroughTheGateway) {
  const FileCase& file = GetParam();
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 4));
  std::vector<std::string> words = {"CREATE", "Club"};
  words.insert(words.end(), file.words.begin(), file.words.end());

  EXPECT_EQ(Send(kOwner, words), "");
  EXPECT_EQ(home_.ReadFile(IniPath("Club")),
            GroupIni(file.membership, file.posting, file.notify, kOwner));
  ExpectReplyThroughGateway(kOwner, CreatedReply("Club", file.membership, file.posting));
  EXPECT_FALSE(home_.HasErrorCount(kOwner));
}

INSTANTIATE_TEST_SUITE_P(
    PropertyWords, CreateFileTest,
    ::testing::Values(
        FileCase{{}, "Public", "Unmoderated", false},
        FileCase{{"private", "broadcast", "notify"}, "Private", "Broadcast", true},
        FileCase{{"nonotify"}, "Public", "Unmoderated", false},
        FileCase{{"BCAST", "BROADCAST"}, "Public", "Broadcast", false},
        FileCase{{"PUBLIC", "PUBLIC"}, "Public", "Unmoderated", false},
        FileCase{{"Moderated", "PRIVATE", "words", "ignored"}, "Private", "Moderated", false},
        FileCase{{"unmod", "notify", "notify"}, "Public", "Unmoderated", true}));

TEST_F(CreateTest, OwnerBecomesMemberAdminAndTheCreationIsJournaled) {
  ASSERT_EQ(Send(kOwner, {"CREATE", "Club", "private"}), "");

  const std::vector<MemberRow> members = ReadMembers(home_, "Club");
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].phone, kOwner);
  EXPECT_EQ(members[0].user_name, "Admin");

  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].id, 1);
  EXPECT_EQ(journal[0].receive_number, kReceive);
  EXPECT_EQ(journal[0].phone, kOwner);
  EXPECT_EQ(journal[0].user_name, "Admin");
  EXPECT_EQ(journal[0].command, "/s +15550001111 /r 4000 /t CREATE Club private");
  EXPECT_TRUE(IsStoreDate(journal[0].date)) << journal[0].date;
  EXPECT_EQ(journal[0].approval, "Yes");
}

TEST_F(CreateTest, AdministratorModeCreatesWithoutJournal) {
  ASSERT_EQ(Send(kOwner, {"CREATE", "Club"}, /*admin_mode=*/true), "");
  EXPECT_EQ(home_.ReadFile(IniPath("Club")), GroupIni("Public", "Unmoderated", false, kOwner));
  EXPECT_THAT(ReadMembers(home_, "Club"), testing::SizeIs(1));
  EXPECT_FALSE(home_.Exists("Groups/Club/TRANS.DB"));
  ExpectReplyThroughGateway(kOwner, CreatedReply("Club", "Public", "Unmoderated"));
}

// Command words, in any case, can never be group names; nothing is made for
// them, not even an empty folder.
TEST_F(CreateTest, CommandWordsAreRefusedAsNames) {
  for (const std::string name : {"join", "START", "Leave", "stop", "INVITE", "create", "Delete",
                                 "help", "YES", "test", "admin"}) {
    gateway_.Clear();
    EXPECT_EQ(Send(kOwner, {"CREATE", name}), InvalidNameReply(name));
    EXPECT_FALSE(home_.Exists("Groups/" + name)) << name;
    EXPECT_THAT(gateway_.Submissions(), IsEmpty()) << name;
  }
  EXPECT_EQ(home_.ErrorCount(kOwner), 11u);
}

// Only whole command words are refused.
TEST_F(CreateTest, NamesThatMerelyBeginWithACommandWordAreAccepted) {
  for (const std::string name : {"JOINED", "Helpers", "Yesterday"}) {
    EXPECT_EQ(Send(kOwner, {"CREATE", name}), "") << name;
    EXPECT_TRUE(home_.Exists(IniPath(name))) << name;
  }
}

TEST_F(CreateTest, TranslatedCommandWordIsRefusedAsName) {
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetCommand("JOIN", "REJOINDRE"));

  const RunResult run = home_.RunProgram(copy.program(), TextFrom(kOwner, {"CREATE", "Rejoindre"}));
  EXPECT_EQ(run.output, InvalidNameReply("Rejoindre"));
  EXPECT_FALSE(home_.Exists("Groups/Rejoindre"));

  // Without the translation the same name is an ordinary group.
  EXPECT_EQ(Send(kOwner, {"CREATE", "Rejoindre"}), "");
  EXPECT_TRUE(home_.Exists(IniPath("Rejoindre")));
}

TEST_F(CreateTest, NamesThatAreNoSafePathComponentAreRefused) {
  for (const std::string name : {".", "..", "../Escape", "a/b", "..\\Escape", "x\\y"}) {
    EXPECT_EQ(Send(kOwner, {"CREATE", name}), InvalidNameReply(name)) << name;
  }
  EXPECT_FALSE(home_.Exists("Escape"));
  EXPECT_FALSE(home_.Exists("Groups/a"));
  EXPECT_FALSE(home_.Exists("GROUP.INI"));
  EXPECT_FALSE(home_.Exists("Groups/GROUP.INI"));
  EXPECT_THAT(gateway_.Submissions(), IsEmpty());
}

TEST_F(CreateTest, PercentInNameIsShownUnchanged) {
  EXPECT_EQ(Send(kOwner, {"CREATE", "100%s%u"}), "");
  ExpectReplyThroughGateway(kOwner, CreatedReply("100%s%u", "Public", "Unmoderated"));
}

// Group names are cut at 149 characters.
TEST_F(CreateTest, GroupNameIsCutAtItsLimit) {
  const std::string at_limit(149, 'a');
  const std::string over_limit(150, 'b');
  EXPECT_EQ(Send(kOwner, {"CREATE", at_limit}), "");
  EXPECT_TRUE(home_.Exists(IniPath(at_limit)));
  EXPECT_EQ(Send(kOwner, {"CREATE", over_limit}), "");
  EXPECT_TRUE(home_.Exists(IniPath(over_limit.substr(0, 149))));
  EXPECT_FALSE(home_.Exists("Groups/" + over_limit));
}

// Two runs creating one group at the same moment: exactly one founds it and
// is answered through the gateway; the other hears that it exists.
TEST_F(CreateTest, SimultaneousCreatesOfOneGroupFoundItOnce) {
  constexpr char kRival[] = "+15550002222";
  ASSERT_TRUE(home_.AddAccount(kRival, "rival"));
  for (int round = 0; round < 20; ++round) {
    const std::string group = "Club" + std::to_string(round);
    gateway_.Clear();
    // One sender may lose several rounds in a row, and a sender whose runs
    // keep failing is answered no more.
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 0));
    ASSERT_TRUE(home_.SetErrorCount(kRival, 0));
    std::string owner_output;
    std::string rival_output;
    std::thread owner_run([&] { owner_output = Send(kOwner, {"CREATE", group, "PRIVATE"}); });
    std::thread rival_run([&] { rival_output = Send(kRival, {"CREATE", group, "MOD"}); });
    owner_run.join();
    rival_run.join();

    const std::vector<Submission> sent = gateway_.Submissions();
    ASSERT_EQ(sent.size(), 1u) << group;
    const bool owner_won = sent[0].phone_number == kOwner;
    const std::string& winner = owner_won ? kOwner : kRival;
    EXPECT_EQ(sent[0].text, owner_won ? CreatedReply(group, "Private", "Unmoderated")
                                      : CreatedReply(group, "Public", "Moderated"));
    EXPECT_EQ(owner_won ? owner_output : rival_output, "");
    EXPECT_EQ(owner_won ? rival_output : owner_output, GroupExistsReply(group));
    EXPECT_EQ(home_.ReadFile(IniPath(group)),
              owner_won ? GroupIni("Private", "Unmoderated", false, kOwner)
                        : GroupIni("Public", "Moderated", false, kRival));
    const std::vector<MemberRow> members = ReadMembers(home_, group);
    ASSERT_EQ(members.size(), 1u) << group;
    EXPECT_EQ(members[0].phone, winner);
  }
}

}  // namespace
