// Hundreds of runs of both programs at once, as when messages arrive together: nothing lost or
// doubled, and the databases stay sound. MORVANE_SOAK_SCALE (default 1) multiplies the runs.
#include <gmock/gmock.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/limits.h"
#include "common/text.h"
#include "e2e/group_fixture.h"
#include "platform/clock.h"

namespace {

using namespace group_fixture;
using Message = std::pair<std::string, std::string>;  // recipient and text, or phone and name
using Roster = std::map<std::string, std::string>;    // name by phone
using Words = std::vector<std::string>;
using Commands = std::multiset<std::string>;  // journaled command lines
constexpr char kShortOwner[] = "5550001";     // seven digits: as short as a phone number may be
constexpr unsigned kJoins = 100, kPosts = 50, kToolCommands = 20;  // at scale 1
constexpr size_t kMaxRunning = 300;  // children at once, within the descriptors a process may hold
constexpr uint32_t kStormMsPerScale = 600000;  // a storm not over by then has hung
// +1555<block><6 digits>. Posters, joiners and members the operator adds share block 1,
// interleaved, so members who join during a post's fan-out sort among those it walks over.
enum Role : unsigned { kPoster, kJoiner, kToolMember, kAdmin };
std::string Phone(Role role, unsigned n) {
  return "+1555" + std::to_string(role == kAdmin ? 6000000 + n : 1000000 + 3 * n + role);
}
std::string Name(const char* role, unsigned n) { return role + std::to_string(n); }
struct Launch {
  Words argv;
  std::string output;  // expected on standard output
  platform::Child child = {};
  std::string Line() const { return JoinWords(argv, 1, kMaxCommandLineChars); }  // journaled
};
Launch Morvane(const std::string& sender, Words words, std::string out = "") {
  words.insert(words.begin(), {MorvaneProgram(), "/s", sender, "/r", "4000", "/t"});
  return {words, out};
}
class StormTest : public GroupTest {
 protected:
  void SetUp() override {
    std::string scale;  // stays empty when unset
    platform::GetEnv("MORVANE_SOAK_SCALE", &scale);
    scale_ = static_cast<unsigned>(std::max<int64_t>(ParseLeadingLong(scale), 1));
    GroupTest::SetUp();
    ASSERT_TRUE(home_.AddAccount(kShortOwner, "soak-pw"));
  }
  // A public group the operator made for kShortOwner ("Admin"), with posters; all in `members`.
  void MakeGroup(const std::string& group, unsigned posters, Roster* members) const {
    ASSERT_EQ(home_.RunTool({"CREATE", group, kShortOwner}).exit_code, 0);
    (*members)[kShortOwner] = "Admin";
    for (unsigned n = 0; n < posters; ++n) {
      const std::string phone = Phone(kPoster, n);
      ASSERT_TRUE(AddMember(group, phone, (*members)[phone] = Name("poster", n)));
    }
  }
  // Runs all, kMaxRunning at a time, each to its end; all but the first `unchecked` as expected.
  void Storm(std::vector<Launch>* runs, size_t unchecked = 0) const {
    const uint32_t start = platform::TickCountMs(), limit = kStormMsPerScale * scale_;
    size_t waited = 0;
    const auto wait_oldest = [&] {
      platform::Child& child = (*runs)[waited++].child;
      const uint32_t spent = platform::TickCountMs() - start;
      return child.started() && spent < limit && child.Wait(limit - spent);
    };
    for (size_t i = 0; i < runs->size(); ++i) {
      ASSERT_TRUE(i - waited < kMaxRunning || wait_oldest()) << "run " << waited - 1;
      (*runs)[i].child = platform::Child::Start(
          (*runs)[i].argv, {{kDataHomeVariable, home_.path()}, {"TessaryAdmin", std::nullopt}},
          /*capture_output=*/true);
    }
    while (waited < runs->size()) ASSERT_TRUE(wait_oldest()) << "run " << waited - 1;
    for (size_t i = unchecked; i < runs->size(); ++i) {
      const platform::Child& child = (*runs)[i].child;
      EXPECT_EQ(std::make_tuple(child.killed_by_signal(), child.exit_code(), child.output()),
                std::make_tuple(false, 0, (*runs)[i].output))
          << testing::PrintToString((*runs)[i].argv);
    }
  }
  // Every (recipient, text) the gateway took, as often as asked; in the name of the group's owner
  // (of `creator` for the news that Twin was created).
  std::multiset<Message> Sent(const std::string& creator = "") const {
    std::multiset<Message> sent;
    for (const Submission& s : gateway_.Submissions()) {
      const std::string user = s.text.rfind("Group Twin created", 0) == 0 ? creator : kShortOwner;
      EXPECT_EQ(std::tie(s.status, s.sender, s.user), std::make_tuple(200, "4000", user))
          << s.request_line;
      sent.insert({s.phone_number, s.text});
    }
    return sent;
  }
  // The members; the journal's command lines, each with `approval`; and sound databases (a group
  // nobody journaled in yet may have no TRANS.DB).
  void ExpectStore(const std::string& group, const Roster& members, const Commands& journal,
                   const char* approval = "Yes") const {
    EXPECT_EQ(Members(group), Messages(members.begin(), members.end())) << group;
    Commands lines;
    for (const TransactionRow& row : ReadTransactions(home_, group)) {
      EXPECT_EQ(row.approval, approval) << row.id << " " << row.command;
      lines.insert(row.command);
    }
    EXPECT_EQ(lines, journal) << group;
    for (const char* db : {kGroupDbName, journal.empty() ? kGroupDbName : kTransDbName})
      EXPECT_EQ(IntegrityCheck(home_.GroupsPath() + group + "/" + db), "ok") << group << db;
  }

  unsigned scale_ = 1;
};

TEST_F(StormTest, ConcurrentRunsLoseAndDoubleNothing) {
  // Subscribers (asking for other properties) and the operator create Twin at once, each as its
  // owner. Fresh has no databases yet: its first joins race to make both. Soak has the owner and
  // posters; its runs come mixed.
  ASSERT_TRUE(home_.WriteGroupValue("Fresh", kGroupSection, kMembershipTypeKey, kPublicValue));
  ASSERT_TRUE(home_.WriteGroupValue("Fresh", kGroupSection, kOwnerKey, kShortOwner));
  const unsigned creators = 10 * scale_, joins = kJoins * scale_, posts = kPosts * scale_;
  std::map<std::string, Roster> members;    // by group
  std::map<std::string, Commands> journal;  // by group
  std::set<Message> replies;                // through the gateway
  MakeGroup("Soak", posts, &members["Soak"]);
  std::vector<Launch> runs;
  for (unsigned n = 0; n < creators; ++n) {
    ASSERT_TRUE(home_.AddAccount(Phone(kAdmin, n), "pw"));
    runs.push_back(n % 2
                       ? Launch{{MorvanectlProgram(), "CREATE", "Twin", Phone(kAdmin, n)}, ""}
                       : Morvane(Phone(kAdmin, n), {"CREATE", "Twin", n % 4 ? "MOD" : "PRIVATE"}));
  }
  for (unsigned n = 0; n < joins * 3 / 2; ++n) {  // Soak's, then Fresh's
    const std::string group = n < joins ? "Soak" : "Fresh", phone = Phone(kJoiner, n % joins);
    runs.push_back(
        Morvane(phone, {"JOIN", group, members[group][phone] = Name("joiner", n % joins)}));
    journal[group].insert(runs.back().Line());
    replies.insert({phone, Joined(group)});
  }
  for (unsigned n = 0; n < posts; ++n) {
    runs.push_back(Morvane(Phone(kPoster, n), {"@Soak", "soak", "post", std::to_string(n)}));
    journal["Soak"].insert(runs.back().Line());
  }
  for (unsigned n = 0; n < kToolCommands * scale_; ++n) {  // and the operator adds members
    const std::string phone = Phone(kToolMember, n),
                      name = members["Soak"][phone] = Name("tool", n);
    runs.push_back({{MorvanectlProgram(), "ADMIN", "Soak", "ADD", phone, name}, "OK\r\n"});
  }
  std::shuffle(runs.begin() + creators, runs.end(), std::mt19937(20240305));
  Storm(&runs, creators);
  // One creator made Twin, the others were told it exists; it is the winner's, line for line.
  std::string winner;
  const char *membership = "Public", *posting = "Unmoderated";
  for (unsigned n = 0; n < creators; ++n) {
    const platform::Child& child = runs[n].child;
    if (child.output().find("Group Twin already exists") != std::string::npos) continue;
    EXPECT_EQ(winner, "") << "and " << Phone(kAdmin, n) << " both created Twin";
    winner = Phone(kAdmin, n);
    EXPECT_EQ(child.exit_code(), 0);
    EXPECT_EQ(child.output().substr(0, 27), n % 2 ? "OK -- Group Twin created.\r\n" : "");
    members["Twin"] = {{winner, "Admin"}};
    if (n % 2) continue;  // the operator's creation has no reply and no journal entry
    (n % 4 ? posting : membership) = n % 4 ? "Moderated" : "Private";
    replies.insert({winner, Created("Twin", membership, posting)});
    journal["Twin"].insert(runs[n].Line());
  }
  ASSERT_NE(winner, "");
  EXPECT_EQ(Ini("Twin"), GroupIni(membership, posting, false, winner));
  // Every member once under their own name; one journal entry per join, post and creation.
  for (const auto& [group, expected] : members) ExpectStore(group, expected, journal[group]);
  // Each message once: each post to every member who was one throughout (the owner and the other
  // posters), to a joiner or an added member at most once, to nobody else; and the replies.
  const std::multiset<Message> sent = Sent(winner);
  std::map<std::string, size_t> reached;  // post text -> recipients
  std::set<Message> replied;
  for (const Message& message : sent) {
    EXPECT_EQ(sent.count(message), 1u) << message.first << " got it twice: " << message.second;
    const bool post = message.second.rfind("@Soak:", 0) == 0;
    if (!post) replied.insert(message);
    reached[message.second] += post;
    EXPECT_TRUE(!post || members["Soak"].count(message.first)) << "to non-member " << message.first;
  }
  for (unsigned n = 0; n < posts; ++n) {
    const std::string text = "@Soak:" + Name("poster", n) + " soak post " + std::to_string(n);
    for (unsigned other = 0; other <= posts; ++other) {
      const std::string to = other < posts ? Phone(kPoster, other) : kShortOwner;
      EXPECT_EQ(sent.count({to, text}), other == n ? 0u : 1u) << text << " to " << to;
    }
    replies.insert({Phone(kPoster, n), Forwarded(reached[text], "Soak")});  // as many as made
  }
  EXPECT_THAT(replied, ::testing::ContainerEq(replies));
  for (unsigned n = 0; n < joins; ++n)  // and no error counts
    EXPECT_FALSE(home_.HasErrorCount(Phone(kPoster, n)) || home_.HasErrorCount(Phone(kJoiner, n)));
}

TEST_F(StormTest, ApprovalsAtOnceRunEachHeldPostOnce) {
  // Posts of a moderated group held at once, then each approved three times at the same moment:
  // every post reaches every member once, its poster too.
  const unsigned posters = 10, held = 20 * scale_;
  Roster members;
  MakeGroup("Mod", posters, &members);
  ASSERT_EQ(home_.RunTool({"ADMIN", "Mod", "PROP", "MODERATED"}).exit_code, 0);
  std::vector<Launch> runs;
  Commands journal;
  std::multiset<Message> told, approved;
  for (unsigned n = 0; n < held; ++n) {
    const std::string poster = Phone(kPoster, n % posters);
    runs.push_back(Morvane(poster, {"@Mod", "held", std::to_string(n)}));
    journal.insert(runs.back().Line());
    told.insert({poster, "Message forwarded to group Mod administrator for approval"});
    for (const auto& [phone, name] : members)
      approved.insert({phone, "@Mod:" + members.at(poster) + " held " + std::to_string(n)});
  }
  Storm(&runs);
  ExpectStore("Mod", members, journal, "No");
  const std::multiset<Message> sent = Sent();
  for (const Message& message : told) EXPECT_EQ(sent.count(message), told.count(message));
  gateway_.Clear();
  runs.clear();
  for (const TransactionRow& row : ReadTransactions(home_, "Mod"))
    for (int copy = 0; copy < 3; ++copy)
      runs.push_back(Morvane(kShortOwner, {"YES", "Mod", std::to_string(row.id)}));
  Storm(&runs);
  EXPECT_THAT(Sent(), ::testing::ContainerEq(approved));
  ExpectStore("Mod", members, journal, "Yes");
}

TEST_F(StormTest, FlakyGatewayUnderLoadLosesNoMemberAndDoublesNoPost) {
  // Every fifth submission fails while posts and joins come at once. A post's fan-out stops at
  // its first failure and leaves no journal entry; a join is made even if its reply failed, and
  // a refused reply counts as a success.
  const unsigned posts = kPosts * scale_ / 2, joins = kJoins * scale_ / 2;
  Roster members;
  MakeGroup("Flaky", posts, &members);
  for (size_t nth = 5; nth < 5 * (posts + 1) * (posts + joins + 2); nth += 5)
    gateway_.FailSubmission(nth);
  std::vector<Launch> runs;
  std::map<std::string, Words> replies, expected_replies;  // by phone
  Commands journal;
  for (unsigned n = 0; n < posts; ++n)
    runs.push_back(Morvane(Phone(kPoster, n), {"@Flaky", "flaky", Name("poster", n)}));
  for (unsigned n = 0; n < joins; ++n) {
    const std::string phone = Phone(kJoiner, n);
    runs.push_back(Morvane(phone, {"JOIN", "Flaky", members[phone] = Name("joiner", n)}));
    expected_replies[phone] = {Joined("Flaky")};
    journal.insert(runs.back().Line());
  }
  std::shuffle(runs.begin(), runs.end(), std::mt19937(7));
  Storm(&runs);
  // Per post, in the order asked: its recipients, and whether one failed (then it is the last).
  std::map<std::string, std::pair<std::set<std::string>, bool>> seen;  // by poster's name
  for (const Submission& sub : gateway_.Submissions()) {
    if (sub.text.rfind("@Flaky:", 0) != 0) replies[sub.phone_number].push_back(sub.text);
    if (sub.text.rfind("@Flaky:", 0) != 0) continue;
    auto& [recipients, failed] = seen[sub.text.substr(sub.text.rfind(' ') + 1)];
    EXPECT_FALSE(failed) << "a delivery after the failed one: " << sub.text;
    EXPECT_TRUE(recipients.insert(sub.phone_number).second) << "twice: " << sub.text;
    failed = sub.status != 200;
  }
  for (const Launch& run : runs) {
    if (run.argv[6] != "@Flaky") continue;
    const auto& [recipients, failed] = seen[run.argv[8]];
    EXPECT_FALSE(recipients.empty()) << run.argv[8];
    expected_replies[run.argv[2]] = {failed ? "Error forwarding message to group Flaky"
                                            : Forwarded(recipients.size(), "Flaky")};
    if (!failed) journal.insert(run.Line());
    EXPECT_EQ(home_.ErrorCount(run.argv[2]), failed ? 1u : 0u) << run.argv[8];
  }
  EXPECT_EQ(replies, expected_replies);
  ExpectStore("Flaky", members, journal);
  for (unsigned n = 0; n < joins; ++n) EXPECT_FALSE(home_.HasErrorCount(Phone(kJoiner, n))) << n;
}

}  // namespace
