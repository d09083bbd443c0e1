// JOIN/START and LEAVE/STOP as subscribers send them, with the notices the
// administrators get: admission, renaming, blocks, held joins of private
// groups, leaving one group or all, journal entries, and where every reply
// goes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

constexpr char kOwner[] = "+15550001111";
constexpr char kOwnerPassword[] = "owner-pw";
constexpr char kCoAdmin[] = "+15550004444";
constexpr char kAnn[] = "+15550002222";
constexpr char kBob[] = "+15550003333";
constexpr char kReceive[] = "4000";

std::string JoinedReply(const std::string& group) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'.";
}

std::string JoinedCanSendReply(const std::string& group) {
  return JoinedReply(group) + "  To send to the group, reply and start text with @" + group;
}

std::string LeftReply(const std::string& group) {
  return "Goodbye.  You have left the group " + group;
}

std::string NameTakenReply(const std::string& name, const std::string& group,
                           const std::string& command) {
  return "Name " + name + " is already in use for group " + group +
         ".  Please join with a different name.  Example:  " + command + " " + group + " YourName";
}

std::string BlockedReply(const std::string& group) {
  return "Cannot join group " + group + ", admin has blocked access.";
}

std::vector<std::string> TextFrom(const std::string& sender,
                                  const std::vector<std::string>& words) {
  std::vector<std::string> args = {"/s", sender, "/r", kReceive, "/t"};
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

// What one submission carried, for whole-list comparisons.
struct Sent {
  std::string recipient;
  std::string text;
  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& sent, std::ostream* out) {
  *out << "{" << sent.recipient << ", " << testing::PrintToString(sent.text) << "}";
}

class MembershipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
  }

  // A group as CREATE leaves it, owned by kOwner; Notify=Yes when `notify`.
  void MakeGroup(const std::string& group, const std::string& membership = "Public",
                 const std::string& posting = "Unmoderated", bool notify = false) {
    ASSERT_TRUE(home_.WriteGroupValue(group, "Group", "MembershipType", membership));
    ASSERT_TRUE(home_.WriteGroupValue(group, "Group", "PostType", posting));
    if (notify) {
      ASSERT_TRUE(home_.WriteGroupValue(group, "Group", "Notify", "Yes"));
    }
    ASSERT_TRUE(home_.WriteGroupValue(group, "Group", "Owner", kOwner));
    ASSERT_TRUE(home_.WriteGroupValue(group, "Admin", kOwner, "Admin"));
  }

  std::string Send(const std::string& sender, const std::vector<std::string>& words,
                   bool admin_mode = false) {
    platform::EnvChanges env;
    if (admin_mode) env.push_back({"TessaryAdmin", "Yes"});
    const RunResult run = home_.Run(TextFrom(sender, words), env);
    EXPECT_TRUE(run.finished) << testing::PrintToString(words);
    return run.output;
  }

  // Sends and expects nothing on standard output.
  void SendQuietly(const std::string& sender, const std::vector<std::string>& words,
                   bool admin_mode = false) {
    EXPECT_EQ(Send(sender, words, admin_mode), "") << testing::PrintToString(words);
  }

  // Every submission since the last Clear, in order; each must have come
  // from the receiving number under the owner's account.
  std::vector<Sent> TakeSubmissions() {
    std::vector<Sent> sent;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.sender, kReceive);
      EXPECT_EQ(submission.user, kOwner);
      EXPECT_EQ(submission.password, kOwnerPassword);
      sent.push_back({submission.phone_number, submission.text});
    }
    gateway_.Clear();
    return sent;
  }

  std::vector<std::pair<std::string, std::string>> Members(const std::string& group) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const MemberRow& row : ReadMembers(home_, group)) {
      members.emplace_back(row.phone, row.user_name);
    }
    return members;
  }

  using Member = std::pair<std::string, std::string>;

  MorvaneHome home_;
  FakeGateway gateway_;
};

// --- JOIN -----------------------------------------------------------------

TEST_F(MembershipTest, PublicJoinAdmitsAndAnswersThroughTheGateway) {
  MakeGroup("Club");
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 3));
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});

  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].receive_number, kReceive);
  EXPECT_EQ(journal[0].phone, kAnn);
  EXPECT_EQ(journal[0].user_name, "Ann");
  EXPECT_EQ(journal[0].command, "/s +15550002222 /r 4000 /t JOIN Club Ann");
  EXPECT_EQ(journal[0].approval, "Yes");
  EXPECT_FALSE(home_.HasErrorCount(kAnn));
}

// The full command line that the journal keeps is cut at 16383 characters.
TEST_F(MembershipTest, JournalKeepsTheCommandLineCutAtItsLimit) {
  MakeGroup("Club");
  const std::string fixed = "/s +15550002222 /r 4000 /t JOIN Club ";
  const size_t kLimit = 16383;
  size_t rows = 0;
  for (const size_t total : {kLimit - 1, kLimit, kLimit + 1}) {
    // A new name each time renames the member, which is journaled.
    const std::string name(1, static_cast<char>('A' + rows));
    const std::string filler(total - fixed.size() - name.size() - 1, 'w');
    SendQuietly(kAnn, {"JOIN", "Club", name, filler});
    const std::string whole = fixed + name + " " + filler;
    ASSERT_EQ(whole.size(), total);
    const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
    ASSERT_EQ(journal.size(), ++rows) << total;
    EXPECT_EQ(journal.back().command, whole.substr(0, kLimit)) << total;
  }
}

TEST_F(MembershipTest, BroadcastJoinLeavesOutTheCanSendSentence) {
  MakeGroup("News", "Public", "Broadcast");
  SendQuietly(kAnn, {"JOIN", "News", "Ann"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedReply("News")}));
}

// Only the first word after the group is the name; the group is named in
// replies as typed.
TEST_F(MembershipTest, StartJoinsLikeJoinWithTheFirstNameWordOnly) {
  MakeGroup("Club");
  SendQuietly(kAnn, {"start", "club", "Ann", "Marie"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
}

TEST_F(MembershipTest, UserNameIsCutAtItsLimit) {
  MakeGroup("Club");
  const std::string at_limit(149, 'a');
  const std::string over_limit(150, 'b');
  SendQuietly(kAnn, {"JOIN", "Club", at_limit});
  SendQuietly(kBob, {"JOIN", "Club", over_limit});
  EXPECT_THAT(Members("Club"),
              ElementsAre(Member{kAnn, at_limit}, Member{kBob, over_limit.substr(0, 149)}));
}

TEST_F(MembershipTest, MemberIsRenamedButNotJoinedTwice) {
  MakeGroup("Club");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  // Now private: a member's new name needs no approval.
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Group", "MembershipType", "Private"));
  TakeSubmissions();

  SendQuietly(kAnn, {"JOIN", "Club", "ann"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, "You have already joined the group Club"}));
  EXPECT_EQ(home_.ErrorCount(kAnn), 1u);

  SendQuietly(kAnn, {"Join", "Club", "Anna"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Anna"}));
  EXPECT_FALSE(home_.HasErrorCount(kAnn));
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[1].user_name, "Anna");
  EXPECT_EQ(journal[1].approval, "Yes");
}

TEST_F(MembershipTest, NameOfAnotherMemberIsTaken) {
  MakeGroup("Club");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  TakeSubmissions();

  for (const std::string command : {"JOIN", "start"}) {
    SendQuietly(kBob, {command, "Club", "ANN"});
    EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kBob, NameTakenReply("ANN", "Club", command)}));
  }
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  EXPECT_EQ(home_.ErrorCount(kBob), 2u);
}

struct BlockCase {
  const char* name;
  bool store_wide;
  bool admin_mode;
  bool already_member;
};

class JoinBlockedTest : public MembershipTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(JoinBlockedTest, BlockedNumberIsRefused) {
  const BlockCase& block = GetParam();
  MakeGroup("Club");
  if (block.already_member) {
    SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
    TakeSubmissions();
  }
  if (block.store_wide) {
    ASSERT_TRUE(home_.WriteProfile("Groups/GROUP.INI", "Blocked", kAnn, "Blocked"));
  } else {
    ASSERT_TRUE(home_.WriteGroupValue("Club", "Blocked", kAnn, "Blocked"));
  }
  const size_t journal_rows = ReadTransactions(home_, "Club").size();

  SendQuietly(kAnn, {"JOIN", "Club", "Annie"}, block.admin_mode);
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, BlockedReply("Club")}));
  if (block.already_member) {
    EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  } else {
    EXPECT_THAT(Members("Club"), IsEmpty());
  }
  EXPECT_EQ(ReadTransactions(home_, "Club").size(), journal_rows);
  EXPECT_EQ(home_.ErrorCount(kAnn), 1u);
}

INSTANTIATE_TEST_SUITE_P(Blocks, JoinBlockedTest,
                         ::testing::Values(BlockCase{"Group", false, false, false},
                                           BlockCase{"StoreWide", true, false, false},
                                           BlockCase{"GroupInAdminMode", false, true, false},
                                           BlockCase{"StoreWideInAdminMode", true, true, false},
                                           BlockCase{"GroupMember", false, false, true},
                                           BlockCase{"StoreWideMember", true, false, true}),
                         [](const ::testing::TestParamInfo<BlockCase>& info) {
                           return info.param.name;
                         });

// A blocked entry with an empty value blocks nobody.
TEST_F(MembershipTest, EmptyBlockedEntryDoesNotBlock) {
  MakeGroup("Club");
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Blocked", kAnn, ""));
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
}

TEST_F(MembershipTest, PrivateJoinIsHeldAndEveryAdministratorAskedToApprove) {
  MakeGroup("Club", "Private");
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Admin", kCoAdmin, "Admin"));
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 2));

  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  const std::string approval = "Reply 'YES Club 1' to approve:\r\nJOIN Club Ann";
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kOwner, approval}, Sent{kCoAdmin, approval}));
  EXPECT_THAT(Members("Club"), IsEmpty());
  const std::vector<TransactionRow> held = ReadTransactions(home_, "Club");
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].id, 1);
  EXPECT_EQ(held[0].phone, kAnn);
  EXPECT_EQ(held[0].user_name, "Ann");
  EXPECT_EQ(held[0].command, "/s +15550002222 /r 4000 /t JOIN Club Ann");
  EXPECT_EQ(held[0].approval, "No");
  EXPECT_FALSE(home_.HasErrorCount(kAnn));  // a held join is a success

  // The administrators see every word of the request; a second join is a
  // second held request.
  SendQuietly(kAnn, {"join", "club", "Ann", "Marie"});
  const std::string second = "Reply 'YES club 2' to approve:\r\njoin club Ann Marie";
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kOwner, second}, Sent{kCoAdmin, second}));
}

TEST_F(MembershipTest, PrivateJoinWithATakenNameIsNotHeld) {
  MakeGroup("Club", "Private");
  SendQuietly(kBob, {"JOIN", "Club", "Ann"}, /*admin_mode=*/true);
  TakeSubmissions();

  SendQuietly(kAnn, {"JOIN", "Club", "ann"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, NameTakenReply("ann", "Club", "JOIN")}));
  EXPECT_THAT(ReadTransactions(home_, "Club"), IsEmpty());
}

TEST_F(MembershipTest, AdministratorModeAdmitsToAPrivateGroupWithoutJournal) {
  MakeGroup("Club", "Private");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"}, /*admin_mode=*/true);
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  EXPECT_FALSE(home_.Exists("Groups/Club/TRANS.DB"));

  SendQuietly(kAnn, {"LEAVE", "Club"}, /*admin_mode=*/true);
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, LeftReply("Club")}));
  EXPECT_FALSE(home_.Exists("Groups/Club/TRANS.DB"));
}

TEST_F(MembershipTest, YesAdmitsTheHeldJoin) {
  MakeGroup("Club", "Private");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  TakeSubmissions();

  SendQuietly(kOwner, {"YES", "Club", "1"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  const std::vector<TransactionRow> rows = ReadTransactions(home_, "Club");
  ASSERT_EQ(rows.size(), 1u);  // the re-run writes no journal entry
  EXPECT_EQ(rows[0].approval, "Yes");
}

TEST_F(MembershipTest, GroupWithoutMembershipTypeAdmitsNobody) {
  MakeGroup("Club", "Closed");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, "Error joining group Club"}));
  EXPECT_THAT(Members("Club"), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kAnn), 1u);
}

TEST_F(MembershipTest, MissingWordsAndGroupsAreAnsweredWhereTheGroupDecides) {
  MakeGroup("Club");
  EXPECT_EQ(Send(kAnn, {"Start"}),
            "You must specify a group name to join.  Example:  Start GroupName YourName");
  EXPECT_EQ(Send(kAnn, {"JOIN", "Nowhere"}),
            "You must specify your name when joining a group.  Example:  JOIN Nowhere YourName");
  EXPECT_EQ(Send(kAnn, {"JOIN", "Nowhere", "Ann"}),
            "Cannot join group Nowhere, it does not exist.");
  EXPECT_THAT(TakeSubmissions(), IsEmpty());

  // The group exists: the same request for a name goes through the gateway.
  SendQuietly(kAnn, {"JOIN", "Club"});
  EXPECT_THAT(TakeSubmissions(),
              ElementsAre(Sent{kAnn,
                               "You must specify your name when joining a group.  Example:  "
                               "JOIN Club YourName"}));
  EXPECT_EQ(home_.ErrorCount(kAnn), 4u);
  EXPECT_FALSE(home_.Exists("Groups/Nowhere"));
}

// --- LEAVE ----------------------------------------------------------------

TEST_F(MembershipTest, LeaveRemovesTheMemberAndIsJournaled) {
  MakeGroup("Club");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  SendQuietly(kBob, {"JOIN", "Club", "Bob"});
  TakeSubmissions();

  SendQuietly(kAnn, {"Leave", "club", "ignored"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, LeftReply("club")}));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kBob, "Bob"}));
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[2].phone, kAnn);
  EXPECT_EQ(journal[2].user_name, "Ann");
  EXPECT_EQ(journal[2].command, "/s +15550002222 /r 4000 /t Leave club ignored");
  EXPECT_EQ(journal[2].approval, "Yes");
}

TEST_F(MembershipTest, LeavingAGroupNotJoined) {
  MakeGroup("Club");
  EXPECT_EQ(Send(kAnn, {"LEAVE", "Nowhere"}), "You have not joined the group Nowhere");
  EXPECT_THAT(TakeSubmissions(), IsEmpty());
  SendQuietly(kAnn, {"LEAVE", "Club"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, "You have not joined the group Club"}));
  EXPECT_EQ(home_.ErrorCount(kAnn), 2u);
  // Asking about a missing group leaves nothing behind in the store.
  EXPECT_FALSE(home_.Exists("Groups/Nowhere"));
}

// Membership lives in the member database: a folder that lost its GROUP.INI
// still lets its members leave. The group does not exist, so the reply goes
// to standard output.
TEST_F(MembershipTest, LeaveOfAFolderWithoutGroupIniRemovesTheMember) {
  MakeGroup("Club");
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  TakeSubmissions();
  ASSERT_TRUE(std::filesystem::remove(home_.GroupsPath() + "Club/GROUP.INI"));

  EXPECT_EQ(Send(kAnn, {"LEAVE", "club"}), LeftReply("club"));
  EXPECT_THAT(TakeSubmissions(), IsEmpty());
  EXPECT_THAT(Members("Club"), IsEmpty());
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[1].user_name, "Ann");
  EXPECT_EQ(journal[1].command, "/s +15550002222 /r 4000 /t LEAVE club");
  EXPECT_FALSE(home_.HasErrorCount(kAnn));

  EXPECT_EQ(Send(kAnn, {"LEAVE", "Club"}), "You have not joined the group Club");
  EXPECT_EQ(home_.ErrorCount(kAnn), 1u);
}

// The lines of STOP come in the order of the group names without regard to
// case, whatever order the folders were made in.
TEST_F(MembershipTest, StopListsTheGroupsLeftInNameOrder) {
  const std::vector<std::string> made = {"delta", "Charlie", "alpha", "Bravo"};
  for (const std::string& group : made) {
    MakeGroup(group);
    SendQuietly(kAnn, {"JOIN", group, "Ann"});
  }
  EXPECT_EQ(Send(kAnn, {"STOP"}), LeftReply("alpha") + "\r\n" + LeftReply("Bravo") + "\r\n" +
                                      LeftReply("Charlie") + "\r\n" + LeftReply("delta"));
}

TEST_F(MembershipTest, StopLeavesEveryGroupOnStandardOutput) {
  for (const char* group : {"Alpha", "Beta", "Gamma", "Delta"})
    MakeGroup(group, "Public", "Unmoderated", true);
  for (const char* group : {"Alpha", "Beta", "Gamma"}) SendQuietly(kAnn, {"JOIN", group, "Ann"});
  SendQuietly(kBob, {"JOIN", "Delta", "Bob"});
  SendQuietly(kBob, {"JOIN", "Beta", "Bob"});
  gateway_.Clear();

  const std::string reply = Send(kAnn, {"STOP"});
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    const size_t end = reply.find("\r\n", start);
    lines.push_back(reply.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  EXPECT_THAT(lines,
              UnorderedElementsAre(LeftReply("Alpha"), LeftReply("Beta"), LeftReply("Gamma")));
  for (const char* group : {"Alpha", "Gamma"}) EXPECT_THAT(Members(group), IsEmpty()) << group;
  EXPECT_THAT(Members("Beta"), ElementsAre(Member{kBob, "Bob"}));
  EXPECT_THAT(Members("Delta"), ElementsAre(Member{kBob, "Bob"}));

  // Each group's administrator hears of the leave; each group journals it.
  const std::string notice = std::string("NOTIFY LEAVE Ann ") + kAnn;
  EXPECT_THAT(TakeSubmissions(), UnorderedElementsAre(Sent{kOwner, "ADMIN Alpha " + notice},
                                                      Sent{kOwner, "ADMIN Beta " + notice},
                                                      Sent{kOwner, "ADMIN Gamma " + notice}));
  for (const char* group : {"Alpha", "Beta", "Gamma"}) {
    const std::vector<TransactionRow> journal = ReadTransactions(home_, group);
    ASSERT_FALSE(journal.empty()) << group;
    EXPECT_EQ(journal.back().phone, kAnn);
    EXPECT_EQ(journal.back().user_name, "Ann");
    EXPECT_EQ(journal.back().command, "/s +15550002222 /r 4000 /t STOP");
  }
  EXPECT_FALSE(home_.HasErrorCount(kAnn));

  // Nothing left to leave.
  EXPECT_EQ(Send(kAnn, {"STOP"}), "You have not joined any groups.");
  EXPECT_EQ(home_.ErrorCount(kAnn), 1u);
}

TEST_F(MembershipTest, StopWithoutAnyGroupAnswersNoGroups) {
  EXPECT_EQ(Send(kAnn, {"Stop"}), "You have not joined any groups.");
  EXPECT_EQ(Send(kAnn, {"leave"}), "You have not joined any groups.");
  EXPECT_EQ(home_.ErrorCount(kAnn), 2u);
}

TEST_F(MembershipTest, StopReplyIsCutAtItsLimit) {
  std::string every_line;
  for (char letter = 'a'; letter <= 'i'; ++letter) {
    const std::string group = std::string(1, letter) + std::string(99, 'x');
    MakeGroup(group);
    SendQuietly(kAnn, {"JOIN", group, "Ann"});
  }
  const std::string reply = Send(kAnn, {"STOP"});
  ASSERT_EQ(reply.size(), 1023u);
  // Whole lines as far as they fit, then the start of the next one.
  size_t start = 0;
  for (size_t end; (end = reply.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = reply.substr(start, end - start);
    EXPECT_EQ(line.size(), 134u) << line;
    EXPECT_THAT(line, StartsWith(LeftReply("")));
  }
  EXPECT_EQ(start, 7 * 136u);
  EXPECT_THAT(reply.substr(start), StartsWith(LeftReply("")));
  // Every group was left although the reply could not name them all.
  for (char letter = 'a'; letter <= 'i'; ++letter) {
    EXPECT_THAT(Members(std::string(1, letter) + std::string(99, 'x')), IsEmpty());
  }
}

// --- Notices --------------------------------------------------------------

TEST_F(MembershipTest, NotifyTellsEveryAdministratorOfJoinsAndLeaves) {
  MakeGroup("Club", "Public", "Unmoderated", /*notify=*/true);
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Admin", kCoAdmin, "Admin"));
  // An entry without value still hears of it, though it has no rights.
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Admin", kBob, ""));

  SendQuietly(kAnn, {"start", "club", "Ann"});
  const std::string joined = std::string("ADMIN club NOTIFY JOIN Ann ") + kAnn;
  EXPECT_THAT(TakeSubmissions(),
              ElementsAre(Sent{kOwner, joined}, Sent{kCoAdmin, joined}, Sent{kBob, joined},
                          Sent{kAnn, JoinedCanSendReply("club")}));

  SendQuietly(kAnn, {"STOP", "Club"});
  const std::string left = std::string("ADMIN Club NOTIFY LEAVE Ann ") + kAnn;
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kOwner, left}, Sent{kCoAdmin, left},
                                             Sent{kBob, left}, Sent{kAnn, LeftReply("Club")}));
}

TEST_F(MembershipTest, WithoutNotifyOnlyTheSenderHears) {
  MakeGroup("Club");
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Group", "Notify", "No"));
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  SendQuietly(kAnn, {"LEAVE", "Club"});
  EXPECT_THAT(TakeSubmissions(),
              ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}, Sent{kAnn, LeftReply("Club")}));
}

// The notice is cut at 251 characters; the reply is not affected.
TEST_F(MembershipTest, LongNoticeIsCutAtItsLimit) {
  const std::string group(149, 'g');
  const std::string name(149, 'n');
  MakeGroup(group, "Public", "Unmoderated", /*notify=*/true);
  SendQuietly(kAnn, {"JOIN", group, name});
  const std::string notice = "ADMIN " + group + " NOTIFY JOIN " + name + " " + kAnn;
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kOwner, notice.substr(0, 251)},
                                             Sent{kAnn, JoinedCanSendReply(group)}));
}

// A failed notice is lost for that administrator only.
TEST_F(MembershipTest, FailedNoticeDoesNotStopTheOthers) {
  MakeGroup("Club", "Public", "Unmoderated", /*notify=*/true);
  ASSERT_TRUE(home_.WriteGroupValue("Club", "Admin", kCoAdmin, "Admin"));
  gateway_.FailSubmission(1);  // the owner's notice
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  const std::vector<Submission> sent = gateway_.Accepted();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].phone_number, kCoAdmin);
  EXPECT_EQ(sent[0].text, std::string("ADMIN Club NOTIFY JOIN Ann ") + kAnn);
  EXPECT_EQ(sent[1].phone_number, kAnn);
  EXPECT_EQ(sent[1].text, JoinedCanSendReply("Club"));
  EXPECT_THAT(Members("Club"), ElementsAre(Member{kAnn, "Ann"}));
  EXPECT_FALSE(home_.HasErrorCount(kAnn));
}

// --- Quiet mode -----------------------------------------------------------

TEST_F(MembershipTest, EleventhFailureInARowIsSilent) {
  MakeGroup("Club");
  ASSERT_TRUE(home_.SetErrorCount(kAnn, 9));
  EXPECT_EQ(Send(kAnn, {"JOIN", "Nowhere", "Ann"}),
            "Cannot join group Nowhere, it does not exist.");
  EXPECT_EQ(Send(kAnn, {"LEAVE", "Nowhere"}), "You have not joined the group Nowhere");
  EXPECT_EQ(home_.ErrorCount(kAnn), 11u);
  EXPECT_EQ(Send(kAnn, {"JOIN", "Nowhere", "Ann"}), "");
  EXPECT_EQ(Send(kAnn, {"STOP"}), "");
  SendQuietly(kAnn, {"JOIN", "Club"});  // would go through the gateway
  EXPECT_THAT(TakeSubmissions(), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kAnn), 14u);

  // Success replies are composed in quiet mode, and clear the count.
  SendQuietly(kAnn, {"JOIN", "Club", "Ann"});
  EXPECT_THAT(TakeSubmissions(), ElementsAre(Sent{kAnn, JoinedCanSendReply("Club")}));
  EXPECT_FALSE(home_.HasErrorCount(kAnn));
}

}  // namespace
