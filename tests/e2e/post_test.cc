// Posts: the fan-out, private messages, the posting policies, YES, the journal,
// and the fan-out while the gateway fails (a silent one: see the unit tests).
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"
#include "gateway/submit.h"

namespace {

using namespace group_fixture;

constexpr char kEve[] = "+15550000006";
constexpr char kInvalid[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

// Friends: Bob's posts go to the owner, Carol, Dave and Eve, in that order.
class PostTest : public GroupTest {
  void SetUp() override {
    GroupTest::SetUp();
    MakeGroup("Friends", kUnmoderatedValue, kPublicValue,
              {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}, {kEve, "bob"}});
  }
};

TEST_F(PostTest, PostsOfAnUnmoderatedGroup) {
  const std::vector<std::string> others = {kOwner, kBob, kDave, kEve};
  const std::string text = "it's \"quoted\" back\\slash @@TEXT@@ %s%u a&b=c+d? caf\xc3\xa9";
  ASSERT_TRUE(home_.SetErrorCount(kCarol, 4));
  Walk({// To every other member in phone order, the words unchanged.
        {kCarol, "@Friends " + text, "",
         To(others, "@Friends:Carol " + text, {{kCarol, Forwarded(4, "Friends")}})},
        // A private message reaches every member of that name, in any case.
        {kCarol, "@Friends:BOB see you", "",
         To({kBob, kEve}, "@Friends:Carol (private) see you",
            {{kCarol, "Message forwarded to @Friends:BOB"}})},
        Said(kCarol, "@Friends:Nobody hi", "User @Friends:Nobody not found.", 1),
        // To oneself: to the group. The group is named as typed.
        {kCarol, "friends:carol hi", "",
         To(others, "@friends:Carol hi", {{kCarol, Forwarded(4, "friends")}})},
        // No member: answered through the gateway, as the group exists.
        Said(kAnn, "@Friends hi", "You are not joined to group Friends.", 1),
        // No such group (a leading digit is no marker): on standard output.
        {kBob, "0ther words", kInvalid, {}, 1}});
  EXPECT_EQ(Journal("Friends"), (Lines{Entry(kCarol, "Carol", "@Friends " + text),
                                       Entry(kCarol, "Carol", "@Friends:BOB see you"),
                                       Entry(kCarol, "Carol", "friends:carol hi")}));
  // The only member is told so, also in quiet mode: it is no failure.
  MakeGroup("Solo");
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 11));
  Walk({Said(kOwner, "@Solo anyone?", "You are the only member of group Solo")});
  EXPECT_TRUE(Journal("Solo").empty());
}

TEST_F(PostTest, PlainMembersPostsAreHeldOrHandedOn) {
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kGroupSection, kPostTypeKey, kModeratedValue));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAdminSection, kAnn, kAdminValue));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, kCarol, kAuthUserValue));
  // A broadcast group hands them to its administrators; a moderated one
  // whose requests cannot be stored (a folder is in the way) refuses them.
  MakeGroup("Cast", kBroadcastValue, kPublicValue, {{kBob, "Bob"}});
  MakeGroup("Jammed", kModeratedValue, kPublicValue, {{kBob, "Bob"}});
  ASSERT_TRUE(std::filesystem::create_directory(home_.GroupsPath() + "Jammed/TRANS.DB"));
  const Messages waits = {{kBob, "Message forwarded to group Friends administrator for approval"}};
  const std::string approve = "' to approve:\r\nFriends:Bob ";
  Walk({{kBob, "@Cast hi", "", To({kOwner}, "@Cast:Bob hi")},
        Said(kBob, "@Jammed hi", "Error forwarding message to administrator for group Jammed", 1),
        // Authorised posters and administrators are not held.
        {kCarol, "@Friends from Carol", "",
         To({kOwner, kBob, kDave, kEve}, "@Friends:Carol from Carol",
            {{kCarol, Forwarded(4, "Friends")}})},
        {kOwner, "@Friends from owner", "",
         To({kBob, kCarol, kDave, kEve}, "@Friends:Admin from owner",
            {{kOwner, Forwarded(4, "Friends")}})},
        {kBob, "@Friends hi", "",
         To({kOwner, kAnn}, "Reply 'YES Friends 3" + approve + "hi", waits)},
        {kBob, "@Friends:Carol psst", "",
         To({kOwner, kAnn}, "Reply 'YES Friends 4" + approve + "psst", waits)}});
  EXPECT_TRUE(Journal("Cast").empty());
  const std::vector<TransactionRow> held = ReadTransactions(home_, "Friends");
  Lines journal = {
      Entry(kCarol, "Carol", "@Friends from Carol"), Entry(kOwner, "Admin", "@Friends from owner"),
      Entry(kBob, "Bob", "@Friends hi", "No"), Entry(kBob, "Bob", "@Friends:Carol psst", "No")};
  EXPECT_EQ(Journal("Friends"), journal);
  Walk({// Only an administrator of the group approves.
        Said(kBob, "YES Friends 3", NoRights("Friends"), 1),
        {kOwner, "YES Nosuch 3", NoRights("Nosuch"), {}, 1},
        // Ids that would wrap to 3 name no request, and are no failure.
        {kOwner, "YES Friends 4294967299"},
        {kOwner, "YES Friends -4294967293"},
        // The approved run, in administrator mode, reaches every member, the
        // poster too, tells nobody how many, and writes no journal entry.
        {kAnn, "yes friends 3", "", To({kOwner, kBob, kCarol, kDave, kEve}, "@Friends:Bob hi")},
        // Read like atol; a held private message keeps its target.
        {kOwner, "YES Friends 4th", "",
         To({kCarol}, "@Friends:Bob (private) psst",
            {{kBob, "Message forwarded to @Friends:Carol"}})}});
  // The approval writes every column back.
  journal[2] = Entry(kBob, "Bob", "@Friends hi");
  journal[3] = Entry(kBob, "Bob", "@Friends:Carol psst");
  EXPECT_EQ(Journal("Friends"), journal);
  EXPECT_EQ(ReadTransactions(home_, "Friends").at(2).date, held.at(2).date);
}

// The first failed submission ends the fan-out; the sender is told, and no
// journal entry is written.
TEST_F(PostTest, FirstFailedSubmissionEndsTheFanOut) {
  size_t seen = 0;  // the fake counts every submission
  const Lines others = {kOwner, kCarol, kDave, kEve};
  const std::vector<std::pair<const char*, ServerScript>> faults = {
      {"ServerError", {}},  // answered 500
      {"ClosedBeforeAnswer", {CloseConnection()}},
      {"ClosedInStatusLine", {SendBytes("HTTP/1.1 2"), CloseConnection()}},
      {"ClosedInBody",
       {SendBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), CloseConnection()}},
      {"ResetInHeaders", {SendBytes("HTTP/1.1 200 OK\r\n"), ResetConnection()}},
      {"NotHttp", {SendBytes("\x01\x02garbage\r\n\r\n"), CloseConnection()}},
  };
  for (const auto& [name, script] : faults) {
    for (const size_t nth : {1u, 3u}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(nth));
      script.empty() ? gateway_.FailSubmission(seen + nth)
                     : gateway_.ScriptSubmission(seen + nth, script);
      ASSERT_TRUE(home_.SetErrorCount(kBob, 0));
      Walk({{kBob, "@Friends hi", "",
             To({others.begin(), others.begin() + nth}, "@Friends:Bob hi",
                {{kBob, "Error forwarding message to group Friends"}}),
             1}});
      seen += nth + 1;
      EXPECT_TRUE(Journal("Friends").empty());
    }
  }
}

}  // namespace
