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

// The poster's reply after a post reached `count` members.
Messages Forwarded(const std::string& to, unsigned count, const std::string& group) {
  return {{to, "Message forwarded to " + std::to_string(count) + " member(s) of group " + group}};
}

using PostTest = GroupTest;

TEST_F(PostTest, PostsOfAnUnmoderatedGroup) {
  MakeGroup("Friends", kUnmoderatedValue, kPublicValue,
            {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}, {kEve, "bob"}});
  const std::vector<std::string> others = {kOwner, kBob, kDave, kEve};
  const std::string text = "it's \"quoted\" back\\slash @@TEXT@@ %s%u a&b=c+d? caf\xc3\xa9";
  const std::string not_joined = "You are not joined to group ";
  ASSERT_TRUE(home_.SetErrorCount(kCarol, 4));
  Walk({// To every other member in phone order, the words unchanged.
        {kCarol, "@Friends " + text, "",
         To(others, "@Friends:Carol " + text, Forwarded(kCarol, 4, "Friends"))},
        // A private message reaches every member of that name, in any case.
        {kCarol, "@Friends:BOB see you", "",
         To({kBob, kEve}, "@Friends:Carol (private) see you",
            {{kCarol, "Message forwarded to @Friends:BOB"}})},
        {kCarol, "@Friends:Nobody hi", "", {{kCarol, "User @Friends:Nobody not found."}}, 1},
        // To oneself: to the group. The group is named as typed.
        {kCarol, "friends:carol hi", "",
         To(others, "@friends:Carol hi", Forwarded(kCarol, 4, "friends"))},
        // No member: answered through the gateway, as the group exists.
        {kStranger, "@Friends hi", "", {{kStranger, not_joined + "Friends."}}, 1},
        {kStranger, "Friends hi", "", {{kStranger, kInvalid}}, 2},
        // No such group: on standard output.
        {kBob, "hello there", kInvalid, {}, 1},
        {kBob, "#Nosuch hi", not_joined + "Nosuch.", {}, 2}});
  EXPECT_EQ(Journal("Friends"), (Lines{Entry(kCarol, "Carol", "@Friends " + text),
                                       Entry(kCarol, "Carol", "@Friends:BOB see you"),
                                       Entry(kCarol, "Carol", "friends:carol hi")}));

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
    size_t journal;   // entries: only what reached the members is journaled
  };
  const std::vector<Row> rows = {
      {"Absent", nullptr, To({kOwner}, "@Absent:Bob hi", Forwarded(kBob, 1, "Absent")), 0, 1},
      {"Lower", "unmoderated", To({kOwner}, "@Lower:Bob hi", Forwarded(kBob, 1, "Lower")), 0, 1},
      // Any other policy drops the post without a word.
      {"Empty", "", {}, 0, 0},
      {"Open", "Open", {}, 0, 0},
      // Broadcast: handed to the administrators.
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
  const Messages waits = {{kBob, "Message forwarded to group Friends administrator for approval"}};
  const std::string approve = "' to approve:\r\nFriends:Bob ";
  const std::string no_rights =
      "You do not have administrative rights to group Friends.  Syntax ADMIN GroupName";
  Walk({// Authorised posters and administrators are not held.
        {kCarol, "@Friends from Carol", "",
         To({kOwner, kBob, kDave}, "@Friends:Carol from Carol", Forwarded(kCarol, 3, "Friends"))},
        {kOwner, "@Friends from owner", "",
         To({kBob, kCarol, kDave}, "@Friends:Admin from owner", Forwarded(kOwner, 3, "Friends"))},
        // Administrator mode: the sender gets a copy; no reply, no journal.
        {kDave, "@Friends copy", "", To({kOwner, kBob, kCarol, kDave}, "@Friends:Dave copy"), 0,
         true},
        {kBob, "@Friends hi", "",
         To({kOwner, kAnn}, "Reply 'YES Friends 3" + approve + "hi", waits)},
        {kBob, "@Friends:Carol psst", "",
         To({kOwner, kAnn}, "Reply 'YES Friends 4" + approve + "psst", waits)}});
  const std::vector<TransactionRow> held = ReadTransactions(home_, "Friends");
  Lines journal = {
      Entry(kCarol, "Carol", "@Friends from Carol"), Entry(kOwner, "Admin", "@Friends from owner"),
      Entry(kBob, "Bob", "@Friends hi", "No"), Entry(kBob, "Bob", "@Friends:Carol psst", "No")};
  EXPECT_EQ(Journal("Friends"), journal);

  Walk({// Only an administrator of the group approves; administrator mode grants nothing.
        {kBob, "YES Friends 3", "", {{kBob, no_rights}}, 1},
        {kBob, "YES Friends 3", "", {{kBob, no_rights}}, 2, true},
        {kOwner,
         "YES Nosuch 3",
         "You do not have administrative rights to group Nosuch.  Syntax ADMIN GroupName",
         {},
         1},
        // Ids that would wrap to 3 name no request, and are no failure.
        {kOwner, "YES Friends 4294967299"},
        {kOwner, "YES Friends -4294967293"},
        // The approved run reaches every member, the poster too, and tells
        // nobody how many; then the request is done.
        {kAnn, "yes friends 3", "", To({kOwner, kBob, kCarol, kDave}, "@Friends:Bob hi")},
        {kOwner, "YES Friends 3"},
        // Read like atol; a held private message keeps its target.
        {kOwner, "YES Friends 4th", "",
         To({kCarol}, "@Friends:Bob (private) psst",
            {{kBob, "Message forwarded to @Friends:Carol"}})}});
  // The approval writes every column back.
  journal[2] = Entry(kBob, "Bob", "@Friends hi");
  journal[3] = Entry(kBob, "Bob", "@Friends:Carol psst");
  EXPECT_EQ(Journal("Friends"), journal);
  ASSERT_EQ(held.size(), 4u);
  EXPECT_EQ(ReadTransactions(home_, "Friends").at(2).date, held[2].date);
}

}  // namespace
