// Posts as members send them: the fan-out and its texts, private messages,
// moderation with YES, broadcast groups, failed submissions, the journal,
// and where each reply goes.
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace group_fixture;

constexpr char kBob[] = "+15550000002";
constexpr char kCarol[] = "+15550000003";
constexpr char kDave[] = "+15550000004";
constexpr char kAnn[] = "+15550000005";  // a second administrator
constexpr char kStranger[] = "+15550009999";

constexpr char kInvalidRequest[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

std::string ForwardedReply(unsigned count, const std::string& group) {
  return "Message forwarded to " + std::to_string(count) + " member(s) of group " + group;
}

class PostTest : public GroupTest {
 protected:
  // Friends: the owner ("Admin"), Bob, Carol and Dave.
  void MakeFriends(const char* post_type = "Unmoderated") {
    MakeGroup("Friends", post_type);
    AddMembers("Friends", {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}});
  }

  std::vector<TransactionRow> Journal() const { return ReadTransactions(home_, "Friends"); }
};

TEST_F(PostTest, GroupPostReachesEveryOtherMemberInPhoneOrder) {
  MakeFriends();
  ASSERT_TRUE(home_.SetErrorCount(kBob, 4));
  EXPECT_EQ(Send(kBob, {"@Friends", "see", "you", "at", "8"}), "");
  const std::string text = "@Friends:Bob see you at 8";
  EXPECT_THAT(Sent(),
              ElementsAre(Message{kOwner, text}, Message{kCarol, text}, Message{kDave, text},
                          Message{kBob, ForwardedReply(3, "Friends")}));
  EXPECT_FALSE(home_.HasErrorCount(kBob));

  const std::vector<TransactionRow> journal = Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].receive_number, kReceive);
  EXPECT_EQ(journal[0].phone, kBob);
  EXPECT_EQ(journal[0].user_name, "Bob");
  EXPECT_EQ(journal[0].command, CommandLine(kBob, "@Friends see you at 8"));
  EXPECT_EQ(journal[0].approval, "Yes");
}

TEST_F(PostTest, FanOutOrderIgnoresLetterCase) {
  MakeGroup("Club");
  // In byte order "C300" would come before "b200".
  AddMembers("Club", {{"C300", "Cy"}, {"b200", "Bea"}, {"A100", "Al"}, {kBob, "Bob"}});
  Send(kBob, {"@Club", "hi"});
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "@Club:Bob hi"}, Message{"A100", "@Club:Bob hi"},
                                  Message{"b200", "@Club:Bob hi"}, Message{"C300", "@Club:Bob hi"},
                                  Message{kBob, ForwardedReply(4, "Club")}));
}

// The group name travels as the sender typed it, whatever marker came first.
struct MarkerCase {
  const char* word;
  const char* typed_group;
};

class PostMarkerTest : public PostTest, public testing::WithParamInterface<MarkerCase> {};

TEST_P(PostMarkerTest, FirstWordNamesTheGroup) {
  MakeFriends();
  Send(kCarol, {GetParam().word, "hi"});
  const std::string text = std::string("@") + GetParam().typed_group + ":Carol hi";
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, text}, Message{kBob, text}, Message{kDave, text},
                                  Message{kCarol, ForwardedReply(3, GetParam().typed_group)}));
}

INSTANTIATE_TEST_SUITE_P(Words, PostMarkerTest,
                         testing::Values(MarkerCase{"@Friends", "Friends"},
                                         MarkerCase{"#Friends", "Friends"},
                                         MarkerCase{"Friends", "Friends"},
                                         MarkerCase{"!FRIENDS", "FRIENDS"},
                                         MarkerCase{"friends", "friends"}));

TEST_F(PostTest, DoubleMarkerNamesAGroupThatBeginsWithIt) {
  MakeFriends();
  EXPECT_EQ(Send(kBob, {"@@Friends", "hi"}), "You are not joined to group @Friends.");
  EXPECT_THAT(Sent(), IsEmpty());

  MakeGroup("@Friends");
  AddMembers("@Friends", {{kBob, "Bob"}});
  EXPECT_EQ(Send(kBob, {"@@Friends", "hi"}), "");
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "@@Friends:Bob hi"},
                                  Message{kBob, ForwardedReply(1, "@Friends")}));
}

TEST_F(PostTest, NonMembersAreTurnedAway) {
  MakeFriends();
  // No such group: the reply comes on standard output.
  EXPECT_EQ(Send(kBob, {"hello", "there"}), kInvalidRequest);
  EXPECT_EQ(Send(kBob, {"@Nosuch", "hi"}), "You are not joined to group Nosuch.");
  EXPECT_EQ(Send(kBob, {"/t"}), "You are not joined to group t.");
  EXPECT_THAT(Sent(), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kBob), 3u);

  // An existing group of which the sender is no member: through the gateway.
  EXPECT_EQ(Send(kStranger, {"@Friends", "hi"}), "");
  EXPECT_EQ(Send(kStranger, {"Friends", "hi"}), "");
  EXPECT_THAT(Sent(), ElementsAre(Message{kStranger, "You are not joined to group Friends."},
                                  Message{kStranger, kInvalidRequest}));
  EXPECT_EQ(home_.ErrorCount(kStranger), 2u);
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(PostTest, PrivateMessageReachesEveryMemberOfThatName) {
  MakeFriends();
  AddMembers("Friends", {{"+15550000006", "bob"}});
  EXPECT_EQ(Send(kCarol, {"@Friends:BOB", "see", "you", "at", "8"}), "");
  const std::string text = "@Friends:Carol (private) see you at 8";
  EXPECT_THAT(Sent(), ElementsAre(Message{kBob, text}, Message{"+15550000006", text},
                                  Message{kCarol, "Message forwarded to @Friends:BOB"}));
  const std::vector<TransactionRow> journal = Journal();
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].command, CommandLine(kCarol, "@Friends:BOB see you at 8"));
}

TEST_F(PostTest, PrivateMessageToNobodyFails) {
  MakeFriends();
  EXPECT_EQ(Send(kCarol, {"@Friends:Nobody", "hi"}), "");
  EXPECT_THAT(Sent(), ElementsAre(Message{kCarol, "User @Friends:Nobody not found."}));
  EXPECT_EQ(home_.ErrorCount(kCarol), 1u);
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(PostTest, PrivateMessageToOnesOwnNameGoesToTheWholeGroup) {
  MakeFriends();
  Send(kCarol, {"@Friends:carol", "hi"});
  EXPECT_THAT(Sent(),
              ElementsAre(Message{kOwner, "@Friends:Carol hi"}, Message{kBob, "@Friends:Carol hi"},
                          Message{kDave, "@Friends:Carol hi"},
                          Message{kCarol, ForwardedReply(3, "Friends")}));
}

TEST_F(PostTest, OnlyMemberIsToldSoWithoutJournal) {
  MakeGroup("Solo");
  // Not an error: given in quiet mode too, and the count is cleared.
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 11));
  Send(kOwner, {"@Solo", "anyone?"});
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "You are the only member of group Solo"}));
  EXPECT_FALSE(home_.HasErrorCount(kOwner));
  EXPECT_THAT(ReadTransactions(home_, "Solo"), IsEmpty());
}

TEST_F(PostTest, PostWithoutWordsSendsThePrefixAlone) {
  MakeGroup("Club");
  AddMembers("Club", {{kBob, "Bob"}});
  Send(kBob, {"@Club"});
  EXPECT_THAT(Sent(),
              ElementsAre(Message{kOwner, "@Club:Bob"}, Message{kBob, ForwardedReply(1, "Club")}));
}

TEST_F(PostTest, TextArrivesUnchanged) {
  MakeGroup("Club");
  AddMembers("Club", {{kBob, "Bob"}});
  const std::vector<std::string> words = {"it's", "\"quoted\"", "back\\slash", "@@TEXT@@",
                                          "%s%u", "a&b=c+d?",   "caf\xc3\xa9"};
  std::vector<std::string> message = {"@Club"};
  message.insert(message.end(), words.begin(), words.end());
  Send(kBob, message);
  const std::string joined = "it's \"quoted\" back\\slash @@TEXT@@ %s%u a&b=c+d? caf\xc3\xa9";
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "@Club:Bob " + joined},
                                  Message{kBob, ForwardedReply(1, "Club")}));
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Club");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].command, CommandLine(kBob, "@Club " + joined));
}

TEST_F(PostTest, FailedSubmissionEndsTheWalk) {
  MakeFriends();
  AddMembers("Friends", {{"+15550000006", "Eve"}});
  gateway_.FailSubmission(3);
  Send(kBob, {"@Friends", "hi"});
  const std::vector<Submission> all = gateway_.Submissions();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[2].status, 500);
  EXPECT_THAT(Sent(),
              ElementsAre(Message{kOwner, "@Friends:Bob hi"}, Message{kCarol, "@Friends:Bob hi"},
                          Message{kDave, "@Friends:Bob hi"},
                          Message{kBob, "Error forwarding message to group Friends"}));
  EXPECT_EQ(home_.ErrorCount(kBob), 1u);
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(PostTest, AdministratorModeSendsTheSenderACopyWithoutReplyOrJournal) {
  MakeFriends("Moderated");
  EXPECT_EQ(Send(kBob, {"@Friends", "hi"}, /*admin_mode=*/true), "");
  const std::string text = "@Friends:Bob hi";
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, text}, Message{kBob, text}, Message{kCarol, text},
                                  Message{kDave, text}));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(PostTest, ModeratedGroupLetsAdministratorsAndAuthorisedPostersThrough) {
  MakeFriends("Moderated");
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, kCarol, kAuthUserValue));
  Send(kCarol, {"@Friends", "from", "Carol"});
  Send(kOwner, {"@Friends", "from", "owner"});
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "@Friends:Carol from Carol"},
                                  Message{kBob, "@Friends:Carol from Carol"},
                                  Message{kDave, "@Friends:Carol from Carol"},
                                  Message{kCarol, ForwardedReply(3, "Friends")},
                                  Message{kBob, "@Friends:Admin from owner"},
                                  Message{kCarol, "@Friends:Admin from owner"},
                                  Message{kDave, "@Friends:Admin from owner"},
                                  Message{kOwner, ForwardedReply(3, "Friends")}));
}

TEST_F(PostTest, ModeratedPostIsHeldUntilAnAdministratorSaysYes) {
  MakeFriends("Moderated");
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAdminSection, kAnn, kAdminValue));

  Send(kBob, {"@Friends", "hi"});
  const std::string request = "Reply 'YES Friends 1' to approve:\r\nFriends:Bob hi";
  EXPECT_THAT(TakeSent(),
              ElementsAre(Message{kOwner, request}, Message{kAnn, request},
                          Message{kBob,
                                  "Message forwarded to group Friends administrator for "
                                  "approval"}));
  std::vector<TransactionRow> rows = Journal();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].id, 1);
  EXPECT_EQ(rows[0].phone, kBob);
  EXPECT_EQ(rows[0].user_name, "Bob");
  EXPECT_EQ(rows[0].command, CommandLine(kBob, "@Friends hi"));
  EXPECT_EQ(rows[0].approval, "No");

  // A plain member cannot approve.
  Send(kBob, {"YES", "Friends", "1"});
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kBob,
                                              "You do not have administrative rights to group "
                                              "Friends.  Syntax ADMIN GroupName"}));
  EXPECT_EQ(home_.ErrorCount(kBob), 1u);

  // The re-run reaches every member, the poster included, and nobody is
  // told how many it reached.
  EXPECT_EQ(Send(kAnn, {"yes", "friends", "1"}), "");
  const std::string text = "@Friends:Bob hi";
  EXPECT_THAT(TakeSent(), ElementsAre(Message{kOwner, text}, Message{kBob, text},
                                      Message{kCarol, text}, Message{kDave, text}));
  rows = Journal();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].approval, "Yes");
  EXPECT_FALSE(home_.HasErrorCount(kAnn));

  // Approved once, never again.
  EXPECT_EQ(Send(kOwner, {"YES", "Friends", "1"}), "");
  EXPECT_THAT(Sent(), IsEmpty());
}

TEST_F(PostTest, HoldThatCannotBeQueuedIsAnError) {
  MakeFriends("Moderated");
  // A folder where TRANS.DB should be: no request can be stored.
  ASSERT_TRUE(std::filesystem::create_directory(home_.GroupsPath() + "Friends/TRANS.DB"));
  Send(kBob, {"@Friends", "hi"});
  EXPECT_THAT(Sent(), ElementsAre(Message{
                          kBob, "Error forwarding message to administrator for group Friends"}));
  EXPECT_EQ(home_.ErrorCount(kBob), 1u);
}

TEST_F(PostTest, HeldPrivateMessageKeepsItsTarget) {
  MakeFriends("Moderated");
  Send(kBob, {"@Friends:Carol", "psst"});
  EXPECT_THAT(TakeSent(),
              ElementsAre(Message{kOwner, "Reply 'YES Friends 1' to approve:\r\nFriends:Bob psst"},
                          Message{kBob,
                                  "Message forwarded to group Friends administrator for "
                                  "approval"}));
  Send(kOwner, {"YES", "Friends", "1"});
  EXPECT_THAT(Sent(), ElementsAre(Message{kCarol, "@Friends:Bob (private) psst"},
                                  Message{kBob, "Message forwarded to @Friends:Carol"}));
}

TEST_F(PostTest, YesWithoutAWaitingRequestDoesNothing) {
  MakeFriends("Moderated");
  Send(kBob, {"@Friends", "hi"});
  gateway_.Clear();
  // Read like atol: "1x" would be 1, so only ids that name no waiting
  // request are tried here.
  for (const std::vector<std::string>& words : {std::vector<std::string>{"YES", "Friends"},
                                                {"YES", "Friends", "0"},
                                                {"YES", "Friends", "-1"},
                                                {"YES", "Friends", "two"},
                                                {"YES", "Friends", "2"},
                                                {"YES", "Friends", "4294967297"}}) {
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 3));
    EXPECT_EQ(Send(kOwner, words), "") << testing::PrintToString(words);
    EXPECT_FALSE(home_.HasErrorCount(kOwner)) << testing::PrintToString(words);
  }
  EXPECT_THAT(Sent(), IsEmpty());
  ASSERT_EQ(Journal().size(), 1u);
  EXPECT_EQ(Journal()[0].approval, "No");

  Send(kOwner, {"YES", "Friends", "1st"});
  EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(PostTest, YesNeedsAGroupTheSenderAdministers) {
  MakeFriends("Moderated");
  EXPECT_EQ(Send(kOwner, {"YES"}),
            "You do not have administrative rights to group .  Syntax ADMIN GroupName");
  EXPECT_EQ(Send(kOwner, {"YES", "Nosuch", "1"}),
            "You do not have administrative rights to group Nosuch.  Syntax ADMIN GroupName");
  // Administrator mode grants nothing here.
  EXPECT_EQ(Send(kBob, {"YES", "Friends", "1"}, /*admin_mode=*/true), "");
  EXPECT_THAT(Sent(), ElementsAre(Message{kBob,
                                          "You do not have administrative rights to group "
                                          "Friends.  Syntax ADMIN GroupName"}));
  EXPECT_EQ(home_.ErrorCount(kOwner), 2u);
}

TEST_F(PostTest, BroadcastPostOfAPlainMemberGoesToTheAdministrators) {
  MakeFriends("Broadcast");
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAdminSection, kAnn, kAdminValue));
  ASSERT_TRUE(home_.SetErrorCount(kBob, 2));
  EXPECT_EQ(Send(kBob, {"@Friends:Carol", "hi", "all"}), "");
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "@Friends:Bob hi all"},
                                  Message{kAnn, "@Friends:Bob hi all"}));
  EXPECT_FALSE(home_.HasErrorCount(kBob));
  EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(PostTest, PostTypeDecidesWhetherPlainMembersReachTheGroup) {
  struct Case {
    const char* post_type;  // nullptr: no PostType key
    bool delivered;
  };
  const std::vector<Case> cases = {
      {nullptr, true}, {"unmoderated", true}, {"", false}, {"Open", false}};
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string label = c.post_type == nullptr ? "(absent)" : c.post_type;
    const std::string group = "Group" + std::to_string(i);
    MakeGroup(group, c.post_type);
    AddMembers(group, {{kBob, "Bob"}});
    ASSERT_TRUE(home_.SetErrorCount(kBob, 1));
    EXPECT_EQ(Send(kBob, {"@" + group, "hi"}), "") << label;
    if (c.delivered) {
      EXPECT_THAT(TakeSent(), ElementsAre(Message{kOwner, "@" + group + ":Bob hi"},
                                          Message{kBob, ForwardedReply(1, group)}))
          << label;
    } else {
      EXPECT_THAT(TakeSent(), IsEmpty()) << label;
    }
    EXPECT_FALSE(home_.HasErrorCount(kBob)) << label;
  }
}

TEST_F(PostTest, QuietModeWithholdsOnlyFailureReplies) {
  MakeFriends();
  ASSERT_TRUE(home_.SetErrorCount(kBob, 10));
  EXPECT_EQ(Send(kBob, {"@Nosuch", "hi"}), "You are not joined to group Nosuch.");
  EXPECT_EQ(home_.ErrorCount(kBob), 11u);
  EXPECT_EQ(Send(kBob, {"@Nosuch", "hi"}), "");
  EXPECT_EQ(Send(kBob, {"@Friends:Nobody", "hi"}), "");
  EXPECT_THAT(Sent(), IsEmpty());
  EXPECT_EQ(home_.ErrorCount(kBob), 13u);

  Send(kBob, {"@Friends", "back"});
  const std::vector<Message> sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent.back(), (Message{kBob, ForwardedReply(3, "Friends")}));
  EXPECT_FALSE(home_.HasErrorCount(kBob));
}

}  // namespace
