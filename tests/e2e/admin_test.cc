// ADMIN as a group's administrators send it: who may use it, every
// subcommand with its replies and store changes, the journal, translated
// subcommand words, and quiet mode.
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using namespace group_fixture;

constexpr char kBob[] = "+15550000002";
constexpr char kCarol[] = "+15550000003";
constexpr char kOutsider[] = "+15559999999";  // no member of any group

std::string NoRights(const std::string& group) {
  return "You do not have administrative rights to group " + group + ".  Syntax ADMIN GroupName";
}

std::string Unknown(const std::string& subcommand, const std::string& group) {
  return "Unsupported ADMIN subcommand " + subcommand + ".  Valid subcommands - ADMIN " + group +
         " [REMOVE username/number] / [BLOCK username/number] / [PROP properties] / "
         "[AUTH username/number] / [ADMIN username/number] / [NEWOWNER username/number]";
}

std::string Props(const std::string& membership, const std::string& post_type,
                  const std::string& notify) {
  return "Group Friends Properties Updated:  " + membership + "  " + post_type + "  " + notify;
}

std::vector<std::string> Admin(std::vector<std::string> words) {
  words.insert(words.begin(), {"ADMIN", "Friends"});
  return words;
}

class AdminTest : public GroupTest {
 protected:
  // Friends: the owner ("Admin"), Bob and Carol.
  void SetUp() override {
    GroupTest::SetUp();
    MakeGroup("Friends");
    AddMembers("Friends", {{kBob, "Bob"}, {kCarol, "Carol"}});
  }

  // The owner sends ADMIN Friends `words`; answers the reply, which must
  // come through the gateway to the owner and nowhere else.
  std::string OwnerSends(const std::vector<std::string>& words, bool admin_mode = false) {
    EXPECT_EQ(Send(kOwner, Admin(words), admin_mode), "");
    const std::vector<Message> sent = TakeSent();
    if (sent.empty()) return "";
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, kOwner);
    return sent[0].second;
  }

  std::vector<std::string> MemberNames() const {
    std::vector<std::string> names;
    for (const MemberRow& row : ReadMembers(home_, "Friends")) names.push_back(row.user_name);
    return names;
  }

  std::vector<TransactionRow> Journal() const { return ReadTransactions(home_, "Friends"); }
};

TEST_F(AdminTest, SenderNeedsAdministrativeRights) {
  // No group, or one that does not exist: standard output.
  EXPECT_EQ(Send(kOwner, {"ADMIN"}), NoRights(""));
  EXPECT_EQ(Send(kOwner, {"ADMIN", "Nosuch", "PROP"}), NoRights("Nosuch"));
  EXPECT_EQ(home_.ErrorCount(kOwner), 2u);

  // A plain member, also in administrator mode, and an Admin entry whose
  // value is empty.
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAdminSection, kCarol, ""));
  EXPECT_EQ(Send(kBob, Admin({"REMOVE", "Carol"})), "");
  EXPECT_EQ(Send(kBob, Admin({"REMOVE", "Carol"}), /*admin_mode=*/true), "");
  EXPECT_EQ(Send(kCarol, Admin({"REMOVE", "Bob"})), "");
  EXPECT_THAT(Sent(),
              ElementsAre(Message{kBob, NoRights("Friends")}, Message{kBob, NoRights("Friends")},
                          Message{kCarol, NoRights("Friends")}));
  EXPECT_EQ(home_.ErrorCount(kBob), 2u);
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Bob", "Carol"));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, OwnerWithoutAdminEntryHasRights) {
  ASSERT_TRUE(home_.WriteGroupValue("Club", kGroupSection, kOwnerKey, kOwner));
  AddMembers("Club", {{kOwner, "Admin"}});
  EXPECT_EQ(Send(kOwner, {"ADMIN", "Club", "PROP"}), "");
  // Neither MembershipType nor PostType is stored: both show empty.
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "Group Club Properties Updated:      NONOTIFY"}));
}

TEST_F(AdminTest, UnknownSubcommandsAreRefused) {
  const std::vector<std::vector<std::string>> commands = {
      {},
      {"NEWOWNER", "Bob"},
      // An administrator notice sent back as it came.
      {"NOTIFY", "JOIN", "Bob", kBob},
      // Whole-word subcommands take no longer words; PROP and AUTH need all
      // four letters.
      {"REMOVED", "Bob"},
      {"ADDS", "+15550000009", "Zed"},
      {"ADMINS", "LIST"},
      {"PRO", "MOD"},
      {"AUT", "LIST"}};
  for (const auto& words : commands) {
    const std::string subcommand = words.empty() ? "" : words[0];
    EXPECT_EQ(OwnerSends(words), Unknown(subcommand, "Friends")) << subcommand;
  }
  EXPECT_EQ(home_.ErrorCount(kOwner), commands.size());
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Bob", "Carol"));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, RemoveTakesAMemberByNameAndLeavesAJournalEntry) {
  EXPECT_EQ(OwnerSends({"REMOVE", "bob"}), "User bob is removed from group Friends.");
  EXPECT_EQ(OwnerSends({"leave", "Carol"}), "User Carol is removed from group Friends.");
  EXPECT_THAT(MemberNames(), ElementsAre("Admin"));
  EXPECT_THAT(GroupIni("Friends"), Not(HasSubstr("Blocked")));

  const std::vector<TransactionRow> journal = Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].receive_number, kReceive);
  EXPECT_EQ(journal[0].phone, kOwner);
  EXPECT_EQ(journal[0].user_name, "Admin");
  EXPECT_EQ(journal[0].command, CommandLine(kOwner, "ADMIN Friends REMOVE bob"));
  EXPECT_EQ(journal[0].approval, "Yes");
  EXPECT_EQ(journal[1].command, CommandLine(kOwner, "ADMIN Friends leave Carol"));
}

TEST_F(AdminTest, RemoveOfNoMemberNameFails) {
  // Removal goes by user name: a member's number finds nobody.
  for (const std::string& word : {std::string(kBob), std::string("Nobody"), std::string()}) {
    std::vector<std::string> words = {"REMOVE"};
    if (!word.empty()) words.push_back(word);
    EXPECT_EQ(OwnerSends(words), "User " + word + " is not joined to group Friends.") << word;
  }
  EXPECT_EQ(home_.ErrorCount(kOwner), 3u);
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Bob", "Carol"));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, BlockRemovesAndBlocks) {
  EXPECT_EQ(OwnerSends({"BLOCK", "Bob"}),
            "User Bob is removed from group Friends.\r\n"
            "User Bob (+15550000002) blocked from group Friends.");
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Carol"));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr("[Blocked]\r\n+15550000002=Blocked\r\n"));
  ASSERT_EQ(Journal().size(), 1u);
  EXPECT_EQ(Journal()[0].command, CommandLine(kOwner, "ADMIN Friends BLOCK Bob"));
}

TEST_F(AdminTest, UnblockByNumberOrAll) {
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kBlockedSection, kBob, kBlockedValue));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kBlockedSection, kCarol, kBlockedValue));

  // The block is kept by number, as BLOCK showed it.
  EXPECT_EQ(OwnerSends({"UNBLOCK", "Bob"}), "User Bob is not blocked from group Friends.");
  EXPECT_EQ(OwnerSends({"unblock", kBob}), "Unblocked user +15550000002 from group Friends.");
  EXPECT_THAT(GroupIni("Friends"), Not(HasSubstr(std::string(kBob) + "=Blocked")));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr(std::string(kCarol) + "=Blocked"));
  EXPECT_EQ(OwnerSends({"UNBLOCK", kBob}), "User +15550000002 is not blocked from group Friends.");
  EXPECT_EQ(OwnerSends({"UNBLOCK", "all"}),
            "Unblocked all previously blocked users for group Friends.");
  EXPECT_THAT(GroupIni("Friends"), Not(HasSubstr("Blocked")));

  // No word: nothing changes and nothing is said, and the run is no failure.
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 2));
  EXPECT_EQ(OwnerSends({"UNBLOCK"}), "");
  EXPECT_FALSE(home_.HasErrorCount(kOwner));

  EXPECT_EQ(Journal().size(), 5u);
}

TEST_F(AdminTest, AddInsertsOrRenamesByNumber) {
  EXPECT_EQ(OwnerSends({"ADD", "+15550000009", "Zed"}), "User +15550000009 added to group Friends");
  EXPECT_EQ(OwnerSends({"ADD", "+15550000009", "ZED"}),
            "User +15550000009 already exists in group Friends");
  EXPECT_EQ(OwnerSends({"add", "+15550000009", "Zack"}),
            "User +15550000009 added to group Friends");
  // Nothing keeps two members from sharing a name.
  EXPECT_EQ(OwnerSends({"ADD", "5550008", "Bob"}), "User 5550008 added to group Friends");
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Bob", "Carol", "Zack", "Bob"));
  EXPECT_EQ(Journal().size(), 4u);
}

TEST_F(AdminTest, AddRefusesWhatIsNoPhoneNumber) {
  const std::vector<std::vector<std::string>> commands = {
      {"ADD", "555-0001", "Ann"},     {"ADD", "+12345", "Ann"}, {"ADD", "1234567890123456", "Ann"},
      {"ADD", "Ann", "+15550000009"}, {"ADD", "+15550000009"},  {"ADD"}};
  for (const auto& words : commands) {
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 1));
    const std::string number = words.size() > 1 ? words[1] : "";
    EXPECT_EQ(OwnerSends(words), "Invalid phone number " + number + ", not added to group Friends")
        << number;
    // Not counted as a failure.
    EXPECT_FALSE(home_.HasErrorCount(kOwner)) << number;
  }
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Bob", "Carol"));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, PropAloneReportsWithoutWriting) {
  const std::string before = GroupIni("Friends");
  EXPECT_EQ(OwnerSends({"PROP"}), Props("PUBLIC", "UNMODERATED", "NONOTIFY"));
  EXPECT_EQ(GroupIni("Friends"), before);
  EXPECT_EQ(Journal().size(), 1u);
}

TEST_F(AdminTest, PropWritesTheGivenProperties) {
  EXPECT_EQ(OwnerSends({"PROPERTIES", "MODERATED", "NOTIFY"}),
            Props("PUBLIC", "MODERATED", "NOTIFY"));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr("PostType=Moderated\r\n"));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr("Notify=Yes\r\n"));

  EXPECT_EQ(OwnerSends({"prop", "private", "bcast", "nonotify", "whatever"}),
            Props("PRIVATE", "BROADCAST", "NONOTIFY"));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr("MembershipType=Private\r\n"));
  EXPECT_THAT(GroupIni("Friends"), Not(HasSubstr("Notify")));

  // BCAST and BROADCAST are one choice; a word given twice is no conflict.
  EXPECT_EQ(OwnerSends({"PROP", "BROADCAST", "BCAST", "PUB", "PUBLIC"}),
            Props("PUBLIC", "BROADCAST", "NONOTIFY"));
  // The stored values are shown as stored, in capitals.
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kGroupSection, kPostTypeKey, "mixedCase"));
  EXPECT_EQ(OwnerSends({"PROP"}), Props("PUBLIC", "MIXEDCASE", "NONOTIFY"));
  EXPECT_EQ(Journal().size(), 4u);
}

TEST_F(AdminTest, PropConflictsWriteNothing) {
  const std::string public_private =
      "Only one of the following attributes can be applied to a group:  PUBLIC PRIVATE";
  const std::string mod_unmod =
      "Only one of the following attributes can be applied to a group:  MOD UNMOD BROADCAST";
  const std::string notify =
      "Only one of the following attributes can be applied to a group:  NOTIFY NONOTIFY";
  const std::string before = GroupIni("Friends");
  EXPECT_EQ(OwnerSends({"PROP", "PUB", "PRIVATE"}), public_private);
  EXPECT_EQ(OwnerSends({"PROP", "PUBLIC", "PRIVATE", "MOD", "UNMOD"}), public_private);
  EXPECT_EQ(OwnerSends({"PROP", "MOD", "BROADCAST", "NOTIFY"}), mod_unmod);
  EXPECT_EQ(OwnerSends({"PROP", "UNMOD", "NOTIFY", "NONOTIFY"}), notify);
  EXPECT_EQ(GroupIni("Friends"), before);
  EXPECT_EQ(home_.ErrorCount(kOwner), 4u);
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, AuthListShowsNumbersAndMemberNames) {
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, kBob, kAuthUserValue));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, kOutsider, kAuthUserValue));
  EXPECT_EQ(OwnerSends({"AUTH", "LIST"}),
            "ADMIN Friends AUTH LIST:\r\n+15550000002 (Bob)\r\n+15559999999\r\n");
  // The header repeats the words as typed; LIST in any case.
  EXPECT_EQ(Send(kOwner, {"administer", "friends", "authorised", "list"}), "");
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kOwner,
                                              "administer friends authorised list:\r\n"
                                              "+15550000002 (Bob)\r\n+15559999999\r\n"}));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, AuthAddAndRemoveByNameOrNumber) {
  EXPECT_EQ(OwnerSends({"AUTH", "ADD", "Carol"}), "Carol added to the AUTH list for group Friends");
  EXPECT_EQ(OwnerSends({"auth", "add", kOutsider}),
            "+15559999999 added to the auth list for group Friends");
  EXPECT_THAT(GroupIni("Friends"),
              HasSubstr("[AuthUser]\r\n+15550000003=AuthUser\r\n+15559999999=AuthUser\r\n"));
  EXPECT_EQ(OwnerSends({"AUTH", "ADD", "Nobody"}),
            "Nobody is not a valid phone number or username to add");
  EXPECT_EQ(OwnerSends({"AUTH", "ADD"}), " is not a valid phone number or username to add");

  EXPECT_EQ(OwnerSends({"AUTHUSERS", "REMOVE", "Carol"}),
            "Carol removed from the AUTHUSERS list for group Friends");
  EXPECT_EQ(OwnerSends({"AUTH", "REMOVE", "Carol"}),
            "Carol is not in the AUTH list for group Friends");
  EXPECT_EQ(OwnerSends({"AUTH", "REMOVE", "Bob"}), "Bob is not in the AUTH list for group Friends");
  EXPECT_THAT(GroupIni("Friends"), Not(HasSubstr("+15550000003=")));
  EXPECT_THAT(GroupIni("Friends"), HasSubstr("+15559999999=AuthUser"));

  EXPECT_EQ(OwnerSends({"AUTH", "DROP", "Bob"}),
            "Inalid syntax.  Usage: ADMIN Friends AUTH [ LIST / ADD username/number / REMOVE "
            "username/number ]");
  EXPECT_EQ(OwnerSends({"AUTH"}),
            "Inalid syntax.  Usage: ADMIN Friends AUTH [ LIST / ADD username/number / REMOVE "
            "username/number ]");
  // None of these is a failure or leaves a journal entry.
  EXPECT_FALSE(home_.HasErrorCount(kOwner));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, AdminListGrantsAndWithdrawsRights) {
  EXPECT_EQ(OwnerSends({"ADMIN", "ADD", "Carol"}),
            "Carol added to the ADMIN list for group Friends");
  EXPECT_EQ(Send(kCarol, Admin({"ADMIN", "LIST"})), "");
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kCarol,
                                              "ADMIN Friends ADMIN LIST:\r\n"
                                              "+15550000001 (Admin)\r\n"
                                              "+15550000003 (Carol)\r\n"}));
  EXPECT_EQ(Send(kCarol, Admin({"ADMIN", "REMOVE", kCarol})), "");
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kCarol,
                                              "+15550000003 removed from the ADMIN list for group "
                                              "Friends"}));
  EXPECT_EQ(Send(kCarol, Admin({"PROP"})), "");
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kCarol, NoRights("Friends")}));
  EXPECT_EQ(OwnerSends({"ADMIN", "NEWOWNER", "Bob"}),
            "Inalid syntax.  Usage: ADMIN Friends ADMIN [ LIST / ADD username/number / REMOVE "
            "username/number ]");
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, LongListIsCutAtTheReplyLimit) {
  std::string full = "ADMIN Friends AUTH LIST:\r\n";
  for (int i = 0; i < 100; ++i) {
    const std::string phone = "+1555100" + std::to_string(1000 + i);
    ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, phone, kAuthUserValue));
    full += phone + "\r\n";
  }
  ASSERT_GT(full.size(), 1023u);
  EXPECT_EQ(OwnerSends({"AUTH", "LIST"}), full.substr(0, 1023));
}

TEST_F(AdminTest, AdministratorModeActsWithoutJournal) {
  EXPECT_EQ(OwnerSends({"REMOVE", "Bob"}, /*admin_mode=*/true),
            "User Bob is removed from group Friends.");
  EXPECT_EQ(OwnerSends({"BLOCK", "Carol"}, true),
            "User Carol is removed from group Friends.\r\n"
            "User Carol (+15550000003) blocked from group Friends.");
  EXPECT_EQ(OwnerSends({"UNBLOCK", "ALL"}, true),
            "Unblocked all previously blocked users for group Friends.");
  EXPECT_EQ(OwnerSends({"ADD", "+15550000009", "Zed"}, true),
            "User +15550000009 added to group Friends");
  EXPECT_EQ(OwnerSends({"PROP", "MOD"}, true), Props("PUBLIC", "MODERATED", "NONOTIFY"));
  EXPECT_THAT(MemberNames(), ElementsAre("Admin", "Zed"));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(AdminTest, TranslatedSubcommandWordsAreWholeWords) {
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetCommand("REMOVE", "ENLEVER"));
  ASSERT_TRUE(copy.SetCommand("ADD", "AJOUTER"));
  ASSERT_TRUE(copy.SetCommand("LIST", "LISTE"));

  SendWith(copy.program(), kOwner, Admin({"enlever", "Bob"}));
  SendWith(copy.program(), kOwner, Admin({"AUTH", "ajouter", "Carol"}));
  SendWith(copy.program(), kOwner, Admin({"AUTH", "ADD", kBob}));  // English still works
  SendWith(copy.program(), kOwner, Admin({"ENLEVERX", "Carol"}));
  // LIST has no translation.
  SendWith(copy.program(), kOwner, Admin({"AUTH", "LISTE"}));
  EXPECT_THAT(
      Sent(),
      ElementsAre(Message{kOwner, "User Bob is removed from group Friends."},
                  Message{kOwner, "Carol added to the AUTH list for group Friends"},
                  Message{kOwner, "+15550000002 added to the AUTH list for group Friends"},
                  Message{kOwner, Unknown("ENLEVERX", "Friends")},
                  Message{kOwner,
                          "Inalid syntax.  Usage: ADMIN Friends AUTH [ LIST / ADD username/number "
                          "/ REMOVE username/number ]"}));
}

TEST_F(AdminTest, QuietModeWithholdsOnlyFailureReplies) {
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 10));
  EXPECT_EQ(OwnerSends({"NEWOWNER", "Bob"}), Unknown("NEWOWNER", "Friends"));
  EXPECT_EQ(home_.ErrorCount(kOwner), 11u);
  EXPECT_EQ(OwnerSends({"NEWOWNER", "Bob"}), "");
  EXPECT_EQ(OwnerSends({"REMOVE", "Nobody"}), "");
  EXPECT_EQ(OwnerSends({"PROP", "MOD", "UNMOD"}), "");
  EXPECT_EQ(home_.ErrorCount(kOwner), 14u);
  // Answers that are no failure still come, and clear the count.
  EXPECT_EQ(OwnerSends({"ADD", "555"}), "Invalid phone number 555, not added to group Friends");
  EXPECT_FALSE(home_.HasErrorCount(kOwner));
  EXPECT_THAT(OwnerSends({"AUTH", "LIST"}), StartsWith("ADMIN Friends AUTH LIST:"));
}

}  // namespace
