// Posts as members send them: the fan-out and its texts, private messages,
// the group's posting policy, moderation with YES, the journal, and where
// each reply goes.
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

constexpr char kEve[] = "+15550000006";
constexpr char kStranger[] = "+15550009999";
constexpr char kInvalid[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

std::string Forwarded(unsigned count, const std::string& group) {
  return "Message forwarded to " + std::to_string(count) + " member(s) of group " + group;
}

std::string NoRights(const std::string& group) {
  return "You do not have administrative rights to group " + group + ".  Syntax ADMIN GroupName";
}

using PostTest = GroupTest;

TEST_F(PostTest, PostsOfAnUnmoderatedGroup) {
  MakeGroup("Friends", kUnmoderatedValue, kPublicValue,
            {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}, {kEve, "bob"}});
  const std::vector<std::string> others = {kOwner, kBob, kDave, kEve};
  const Messages forwarded = {{kCarol, Forwarded(4, "Friends")}};
  const std::string text = "it's \"quoted\" back\\slash @@TEXT@@ %s%u a&b=c+d? caf\xc3\xa9";
  ASSERT_TRUE(home_.SetErrorCount(kCarol, 4));
  Walk({// To every other member in phone order, the words unchanged.
        {kCarol, "@Friends " + text, "", To(others, "@Friends:Carol " + text, forwarded)},
        // A private message reaches every member of that name, in any case.
        {kCarol, "@Friends:BOB see you", "",
         To({kBob, kEve}, "@Friends:Carol (private) see you",
            {{kCarol, "Message forwarded to @Friends:BOB"}})},
        {kCarol, "@Friends:Nobody hi", "", {{kCarol, "User @Friends:Nobody not found."}}, 1},
        {kCarol, "friends:carol hi", "",
         To(others, "@friends:Carol hi", {{kCarol, Forwarded(4, "friends")}})},
        // No member: answered through the gateway, as the group exists.
        {kStranger, "@Friends hi", "", {{kStranger, "You are not joined to group Friends."}}, 1},
        {kStranger, "Friends hi", "", {{kStranger, kInvalid}}, 2},
        // No such group: on standard output.
        {kBob, "hello there", kInvalid, {}, 1},
        {kBob, "#Nosuch hi", "You are not joined to group Nosuch.", {}, 2}});
  const TransactionRow row = ReadTransactions(home_, "Friends").at(0);
  EXPECT_EQ(Held(row), std::string(kReceive) + "|" + kCarol + "|Carol|" +
                           CommandLine(kCarol, "@Friends " + text) + "|" + row.date);
  EXPECT_EQ(row.approval, "Yes");
  EXPECT_EQ(Journal("Friends"),
            (std::vector<std::string>{row.command, CommandLine(kCarol, "@Friends:BOB see you"),
                                      CommandLine(kCarol, "friends:carol hi")}));

  // The only member is told so, also in quiet mode: it is no failure.
  MakeGroup("Solo");
  ASSERT_TRUE(home_.SetErrorCount(kOwner, 11));
  Walk({{kOwner, "@Solo anyone?", "", {{kOwner, "You are the only member of group Solo"}}}});
  EXPECT_TRUE(Journal("Solo").empty());
}

// Bob, a plain member, posts to the group named as the row.
TEST_F(PostTest, PostTypeDecidesWhereAPlainMembersPostGoes) {
  struct Row {
    std::string group;
    const char* post_type;  // nullptr: no PostType key
    Messages sent;
    unsigned errors;  // 2 for a failure, 0 else
    size_t journal;
  };
  const std::vector<Row> rows = {
      {"Absent", nullptr, {{kOwner, "@Absent:Bob hi"}, {kBob, Forwarded(1, "Absent")}}, 0, 1},
      {"Lower", "unmoderated", {{kOwner, "@Lower:Bob hi"}, {kBob, Forwarded(1, "Lower")}}, 0, 1},
      // Any other policy drops the post without a word.
      {"Empty", "", {}, 0, 0},
      {"Open", "Open", {}, 0, 0},
      // Broadcast: handed to the administrators, unjournaled.
      {"Cast", "Broadcast", To({kOwner, kAnn}, "@Cast:Bob hi"), 0, 0},
      // Moderated, but no request can be stored: a folder is in the way.
      {"Jammed",
       "Moderated",
       {{kBob, "Error forwarding message to administrator for group Jammed"}},
       2,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.group);
    MakeGroup(row.group, row.post_type, kPublicValue, {{kBob, "Bob"}});
    ASSERT_TRUE(home_.WriteGroupValue(row.group, kAdminSection, kAnn, kAdminValue));
    if (row.errors > 0) {
      ASSERT_TRUE(std::filesystem::create_directory(home_.GroupsPath() + row.group + "/TRANS.DB"));
    }
    ASSERT_TRUE(home_.SetErrorCount(kBob, 1));
    Walk({{kBob, "@" + row.group + " hi", "", row.sent, row.errors}});
    EXPECT_EQ(Journal(row.group).size(), row.journal);
  }
}

TEST_F(PostTest, ModeratedPostIsHeldUntilAnAdministratorSaysYes) {
  MakeGroup("Friends", kModeratedValue, kPublicValue,
            {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}});
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAdminSection, kAnn, kAdminValue));
  ASSERT_TRUE(home_.WriteGroupValue("Friends", kAuthUserSection, kCarol, kAuthUserValue));
  const Messages held = {{kBob, "Message forwarded to group Friends administrator for approval"}};
  const std::string approve = "Reply 'YES Friends ";
  Walk({// Authorised posters and administrators are not held.
        {kCarol, "@Friends from Carol", "",
         To({kOwner, kBob, kDave}, "@Friends:Carol from Carol",
            {{kCarol, Forwarded(3, "Friends")}})},
        {kOwner, "@Friends from owner", "",
         To({kBob, kCarol, kDave}, "@Friends:Admin from owner",
            {{kOwner, Forwarded(3, "Friends")}})},
        // Administrator mode: the sender gets a copy; no reply, no journal.
        {kDave, "@Friends copy", "", To({kOwner, kBob, kCarol, kDave}, "@Friends:Dave copy"), 0,
         true},
        {kBob, "@Friends hi", "",
         To({kOwner, kAnn}, approve + "3' to approve:\r\nFriends:Bob hi", held)},
        {kBob, "@Friends:Carol psst", "",
         To({kOwner, kAnn}, approve + "4' to approve:\r\nFriends:Bob psst", held)}});
  const std::vector<TransactionRow> before = ReadTransactions(home_, "Friends");
  ASSERT_EQ(before.size(), 4u);
  EXPECT_EQ(Held(before[2]), std::string(kReceive) + "|" + kBob + "|Bob|" +
                                 CommandLine(kBob, "@Friends hi") + "|" + before[2].date);
  EXPECT_EQ(before[2].approval, "No");

  Walk(
      {// Only an administrator of the group approves; administrator mode grants nothing.
       {kBob, "YES Friends 3", "", {{kBob, NoRights("Friends")}}, 1},
       {kBob, "YES Friends 3", "", {{kBob, NoRights("Friends")}}, 2, true},
       {kOwner, "YES Nosuch 3", NoRights("Nosuch"), {}, 1},
       // Ids that would wrap to 3 name no request, and are no failure.
       {kOwner, "YES Friends 4294967299", "", {}},
       {kOwner, "YES Friends -4294967293", "", {}},
       // The approved run reaches every member, the poster too, and tells
       // nobody how many; then the request is done.
       {kAnn, "yes friends 3", "", To({kOwner, kBob, kCarol, kDave}, "@Friends:Bob hi")},
       {kOwner, "YES Friends 3", "", {}},
       // Read like atol; a held private message keeps its target.
       {kOwner,
        "YES Friends 4th",
        "",
        {{kCarol, "@Friends:Bob (private) psst"}, {kBob, "Message forwarded to @Friends:Carol"}}}});
  const std::vector<TransactionRow> after = ReadTransactions(home_, "Friends");
  ASSERT_EQ(after.size(), 4u);
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(Held(after[i]) + " " + after[i].approval, Held(before[i]) + " Yes") << i;
  }
}

}  // namespace
