// Hundreds of runs of both programs at once, as the gateway starts them when
// messages arrive together. Nothing may be lost or doubled: members,
// deliveries, replies, journal entries, GROUP.INI keys, error counts; and the
// databases stay sound. MORVANE_SOAK_SCALE (default 1) multiplies the runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

using Message = std::pair<std::string, std::string>;  // recipient and text, or phone and name

constexpr char kOwner[] = "5550001";  // seven digits: as short as a phone number may be
// Runs of the main storm at scale 1.
constexpr unsigned kJoins = 100, kPosts = 50, kFailures = 50, kToolCommands = 20;
// Children at once (the whole storm at scale 1, within the descriptors a
// process may hold); a storm not over by then has hung.
constexpr size_t kMaxRunning = 300;
constexpr uint32_t kStormMsPerScale = 600000;

// +1555<block><6 digits>. Posters, joiners and members the operator adds
// share block 1, interleaved, so members who join during a post's fan-out
// sort among those it walks over.
enum Role : unsigned { kPoster, kJoiner, kToolMember, kFailer, kAuth, kAdmin };
std::string Phone(Role role, unsigned n) {
  constexpr unsigned kBlock[] = {1, 1, 1, 3, 5, 6};
  return "+1555" + std::to_string(kBlock[role] * 1000000 + (role < 3 ? 3 * n + role : n));
}
std::string Name(const char* role, unsigned n) { return role + std::to_string(n); }
std::string Joined(const std::string& group) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'.  To send to the group, reply and start text with @" + group;
}

struct Launch {
  std::vector<std::string> argv;
  std::string output;  // expected on standard output
  platform::Child child = {};
  std::string Line() const { return JoinWords(argv, 1, kMaxCommandLineChars); }  // journaled
};
Launch Morvane(const std::string& sender, std::vector<std::string> words, std::string out = "") {
  words.insert(words.begin(), {MorvaneProgram(), "/s", sender, "/r", "4000", "/t"});
  return {words, out};
}

// A data directory with the owner's account and a fake gateway.
class StormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string scale;
    if (platform::GetEnv("MORVANE_SOAK_SCALE", &scale) && ParseLeadingLong(scale) > 1) {
      scale_ = static_cast<unsigned>(ParseLeadingLong(scale));
    }
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()) && home_.AddAccount(kOwner, "soak-pw"));
    SetStoreBase(StoreBase::kProgramData);
  }

  // A public group made by the operator for kOwner ("Admin"), and posters.
  void MakeGroup(const std::string& group, unsigned posters, bool moderated = false) const {
    ASSERT_EQ(home_.RunTool({"CREATE", group, kOwner}).exit_code, 0);
    ASSERT_TRUE(!moderated || home_.RunTool({"ADMIN", group, "PROP", "MODERATED"}).exit_code == 0);
    for (unsigned n = 0; n < posters; ++n) {
      ASSERT_TRUE(AddMember(group, Phone(kPoster, n), Name("poster", n)));
    }
  }

  // Starts every run, at most kMaxRunning at a time, and waits for all. Each
  // must end by itself; all but the first `unchecked` with exit code 0 and
  // their output.
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
    for (size_t i = 0; i < runs->size(); ++i) {
      SCOPED_TRACE(testing::PrintToString((*runs)[i].argv));
      EXPECT_FALSE((*runs)[i].child.killed_by_signal());
      EXPECT_EQ(i < unchecked ? 0 : (*runs)[i].child.exit_code(), 0);
      EXPECT_EQ(i < unchecked ? "" : (*runs)[i].child.output(), (*runs)[i].output);
    }
  }

  // Every (recipient, text) the gateway was asked to send, as often as asked.
  std::multiset<Message> Sent() const {
    std::multiset<Message> sent;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.status, 200) << submission.request_line;
      EXPECT_EQ(submission.sender, "4000") << submission.request_line;
      sent.insert({submission.phone_number, submission.text});
    }
    return sent;
  }

  // The members by phone; the journal's command lines, each with
  // `approval`; and sound databases.
  void ExpectStore(const std::string& group, const std::map<std::string, std::string>& members,
                   const std::multiset<std::string>& journal, const char* approval = "Yes") const {
    std::vector<Message> rows;
    for (const MemberRow& row : ReadMembers(home_, group))
      rows.emplace_back(row.phone, row.user_name);
    EXPECT_EQ(rows, std::vector<Message>(members.begin(), members.end())) << group;
    std::multiset<std::string> lines;
    for (const TransactionRow& row : ReadTransactions(home_, group)) {
      EXPECT_EQ(row.approval, approval) << row.id << " " << row.command;
      lines.insert(row.command);
    }
    EXPECT_EQ(lines, journal) << group;
    // A group nobody journaled in yet may have no TRANS.DB.
    for (const char* db : {kGroupDbName, journal.empty() ? kGroupDbName : kTransDbName}) {
      EXPECT_EQ(IntegrityCheck(home_.GroupsPath() + group + "/" + db), "ok") << group << db;
    }
  }

  unsigned scale_ = 1;
  MorvaneHome home_;
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};
  FakeGateway gateway_;
};

TEST_F(StormTest, ConcurrentRunsLoseAndDoubleNothing) {
  // Subscribers and the operator create Twin at the same moment, each as its
  // owner. Fresh has no databases yet: its first joins race to make both.
  // Soak has the owner and the posters as members; its runs come mixed.
  ASSERT_TRUE(home_.WriteGroupValue("Fresh", kGroupSection, kMembershipTypeKey, kPublicValue));
  ASSERT_TRUE(home_.WriteGroupValue("Fresh", kGroupSection, kOwnerKey, kOwner));
  MakeGroup("Soak", kPosts * scale_);
  const unsigned creators = 10 * scale_, joins = kJoins * scale_, posts = kPosts * scale_;
  std::vector<Launch> runs, soak;
  std::map<std::string, std::map<std::string, std::string>> members;  // by group, by phone
  std::map<std::string, std::multiset<std::string>> journal;          // by group
  std::set<Message> replies;                                          // through the gateway
  for (unsigned n = 0; n < creators; ++n) {
    ASSERT_TRUE(home_.AddAccount(Phone(kAdmin, n), "pw"));
    runs.push_back(n % 2 ? Launch{{MorvanectlProgram(), "CREATE", "Twin", Phone(kAdmin, n)}, ""}
                         : Morvane(Phone(kAdmin, n), {"CREATE", "Twin"}));
  }
  members["Soak"][kOwner] = "Admin";
  for (unsigned n = 0; n < joins * 3 / 2; ++n) {  // Soak's, then Fresh's
    const std::string group = n < joins ? "Soak" : "Fresh", phone = Phone(kJoiner, n % joins);
    std::vector<Launch>& to = n < joins ? soak : runs;
    to.push_back(Morvane(phone, {"JOIN", group, Name("joiner", n % joins)}));
    members[group][phone] = Name("joiner", n % joins);
    journal[group].insert(to.back().Line());
    replies.insert({phone, Joined(group)});
  }
  for (unsigned n = 0; n < posts; ++n) {
    members["Soak"][Phone(kPoster, n)] = Name("poster", n);
    soak.push_back(Morvane(Phone(kPoster, n), {"@Soak", "soak", "post", std::to_string(n)}));
    journal["Soak"].insert(soak.back().Line());
  }
  // Failing commands: the first two answered on standard output, the others
  // through the gateway, as they name the existing group.
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"HELP"}, "Help is not yet available."},
      {{"JOIN", "Nowhere", "Ann"}, "Cannot join group Nowhere, it does not exist."},
      {{"@Soak", "let", "me", "in"}, "You are not joined to group Soak."},
      {{"LEAVE", "Soak"}, "You have not joined the group Soak"},
      {{"ADMIN", "Soak", "PROP", "PRIVATE", "MOD"},
       "You do not have administrative rights to group Soak.  Syntax ADMIN GroupName"}};
  for (unsigned n = 0; n < kFailures * scale_; ++n) {
    const auto& [words, reply] = failures[n % 5];
    soak.push_back(Morvane(Phone(kFailer, n), words, n % 5 < 2 ? reply : ""));
    if (n % 5 >= 2) replies.insert({Phone(kFailer, n), reply});
  }
  // Operator commands: member ADDs, rights-list ADDs and PROPs that keep the
  // group public and unmoderated. GROUP.INI then holds what they wrote,
  // nothing a non-administrator asked for, and no notification.
  std::map<Message, std::string> ini = {{{kGroupSection, kMembershipTypeKey}, kPublicValue},
                                        {{kGroupSection, kPostTypeKey}, kUnmoderatedValue},
                                        {{kGroupSection, kOwnerKey}, kOwner},
                                        {{kGroupSection, kNotifyKey}, "<missing>"},
                                        {{kAdminSection, kOwner}, kAdminValue}};
  for (unsigned n = 0; n < kToolCommands * scale_; ++n) {
    const unsigned kind = n % 10 < 4 ? 0 : n % 10 < 6 ? 1 : n % 10 - 4;
    const std::string phone = Phone(kind == 0 ? kToolMember : kind == 1 ? kAuth : kAdmin, n);
    const std::vector<std::vector<std::string>> words = {
        {"ADD", phone, Name("tool", n)},   {"AUTH", "ADD", phone},
        {"ADMIN", "ADD", phone},           {"PROP", "PUBLIC", "UNMODERATED"},
        {"PROPERTIES", "PUB", "NONOTIFY"}, {"PROP", "UNMOD"}};
    if (kind == 0) members["Soak"][phone] = Name("tool", n);
    if (kind == 1) ini[{kAuthUserSection, phone}] = kAuthUserValue;
    if (kind == 2) ini[{kAdminSection, phone}] = kAdminValue;
    soak.push_back({{MorvanectlProgram(), "ADMIN", "Soak"},
                    kind < 3 ? "OK\r\n"
                             : "OK -- Current properties for group Soak -- PUBLIC  UNMODERATED  "
                               "NONOTIFY\r\n"});
    soak.back().argv.insert(soak.back().argv.end(), words[kind].begin(), words[kind].end());
  }
  std::shuffle(soak.begin(), soak.end(), std::mt19937(20240305));
  std::move(soak.begin(), soak.end(), std::back_inserter(runs));
  Storm(&runs, creators);

  // One creator made Twin, the others were told it exists; it is the
  // winner's, line for line.
  const std::string created =
      "Group Twin created.  Membership availability is Public.  Message posting is "
      "Unmoderated.  Use 'ADMIN Twin' command to administer.";
  std::vector<std::string> winners;
  for (unsigned n = 0; n < creators; ++n) {
    const std::string& out = runs[n].child.output();
    if (out == (n % 2 ? "ERROR:  Group Twin already exists\r\n"
                      : "Group Twin already exists.  To join group, use 'JOIN Twin YourName'.  "
                        "To admin group, use 'ADMIN Twin'.")) {
      continue;
    }
    winners.push_back(Phone(kAdmin, n));
    EXPECT_EQ(runs[n].child.exit_code(), 0);
    EXPECT_EQ(n % 2 ? out.substr(0, 27) : out, n % 2 ? "OK -- Group Twin created.\r\n" : "");
    members["Twin"] = {{winners.back(), "Admin"}};
    if (n % 2 == 0) replies.insert({winners.back(), created});
    if (n % 2 == 0) journal["Twin"].insert(runs[n].Line());
  }
  ASSERT_EQ(winners.size(), 1u) << testing::PrintToString(winners);
  EXPECT_EQ(home_.ReadFile("Groups/Twin/GROUP.INI"),
            "[Group]\r\nMembershipType=Public\r\nPostType=Unmoderated\r\nOwner=" + winners[0] +
                "\r\n[Admin]\r\n" + winners[0] + "=Admin\r\n");
  // Every member once under their own name; one journal entry per join,
  // post and creation.
  for (const auto& [group, expected] : members) ExpectStore(group, expected, journal[group]);

  // Each message once, in the name of its group's owner: each post to every
  // member who was one throughout (the owner and the other posters), to a
  // joiner or an added member at most once, to nobody else; and the replies.
  const std::multiset<Message> sent = Sent();
  std::map<std::string, size_t> reached;  // post text -> recipients
  std::set<Message> replied;
  for (const Submission& submission : gateway_.Submissions()) {
    EXPECT_EQ(submission.user, submission.text == created ? winners[0] : kOwner);
  }
  for (const Message& message : sent) {
    EXPECT_EQ(sent.count(message), 1u) << message.first << " got it twice: " << message.second;
    const bool post = message.second.rfind("@Soak:", 0) == 0;
    if (!post) replied.insert(message);
    reached[message.second] += post;
    EXPECT_TRUE(!post || members["Soak"].count(message.first)) << "to non-member " << message.first;
  }
  for (unsigned n = 0; n < posts; ++n) {
    const std::string text = "@Soak:" + Name("poster", n) + " soak post " + std::to_string(n);
    EXPECT_EQ(sent.count({kOwner, text}), 1u) << "owner missed post " << n;
    for (unsigned other = 0; other < posts; ++other) {
      EXPECT_EQ(sent.count({Phone(kPoster, other), text}), other == n ? 0u : 1u)
          << "post " << n << " to poster " << other;
    }
    // The reply counts exactly the deliveries that were made.
    replies.insert({Phone(kPoster, n), "Message forwarded to " + std::to_string(reached[text]) +
                                           " member(s) of group Soak"});
  }
  EXPECT_THAT(replied, ::testing::ContainerEq(replies));
  for (const auto& [where, value] : ini) {
    EXPECT_EQ(platform::ProfileReadString(home_.GroupsPath() + "Soak/" + kGroupIniName, where.first,
                                          where.second, "<missing>", kProfileValueBuffer),
              value)
        << where.first << "/" << where.second;
  }
  // Error counts: each failing sender once, nobody else.
  for (unsigned n = 0; n < joins; ++n) {
    EXPECT_TRUE(n >= kFailures * scale_ || home_.ErrorCount(Phone(kFailer, n)) == 1) << n;
    EXPECT_TRUE(n >= posts || !home_.HasErrorCount(Phone(kPoster, n))) << n;
    EXPECT_FALSE(home_.HasErrorCount(Phone(kJoiner, n))) << n;
  }
}

TEST_F(StormTest, ApprovalsAtOnceRunEachHeldPostOnce) {
  // Posts of a moderated group held at once, then each approved three times
  // at the same moment: every post reaches every member once, its poster too.
  const unsigned posters = 10, held = 20 * scale_;
  MakeGroup("Mod", posters, /*moderated=*/true);
  std::map<std::string, std::string> members = {{kOwner, "Admin"}};
  std::vector<Launch> runs;
  std::multiset<std::string> journal;
  std::multiset<Message> told, approved;
  for (unsigned n = 0; n < held; ++n) {
    const std::string poster = Phone(kPoster, n % posters), name = Name("poster", n % posters);
    members[poster] = name;
    runs.push_back(Morvane(poster, {"@Mod", "held", std::to_string(n)}));
    journal.insert(runs.back().Line());
    told.insert({poster, "Message forwarded to group Mod administrator for approval"});
    for (unsigned i = 0; i <= posters; ++i) {
      approved.insert({i < posters ? Phone(kPoster, i) : kOwner,
                       "@Mod:" + name + " held " + std::to_string(n)});
    }
  }
  Storm(&runs);
  ExpectStore("Mod", members, journal, "No");
  const std::multiset<Message> sent = Sent();
  for (const Message& message : told) EXPECT_EQ(sent.count(message), told.count(message));
  gateway_.Clear();
  runs.clear();
  for (const TransactionRow& row : ReadTransactions(home_, "Mod")) {
    for (int copy = 0; copy < 3; ++copy)
      runs.push_back(Morvane(kOwner, {"YES", "Mod", std::to_string(row.id)}));
  }
  Storm(&runs);
  EXPECT_THAT(Sent(), ::testing::ContainerEq(approved));
  ExpectStore("Mod", members, journal, "Yes");
}

TEST_F(StormTest, FlakyGatewayUnderLoadLosesNoMemberAndDoublesNoPost) {
  // Every fifth submission fails while posts and joins come at once. A
  // post's fan-out stops at its first failure and leaves no journal entry;
  // a join is made whether or not its reply got through.
  const unsigned posts = kPosts * scale_ / 2, joins = kJoins * scale_ / 2;
  MakeGroup("Flaky", posts);
  for (size_t nth = 5; nth < 5 * (posts + 1) * (posts + joins + 2); nth += 5) {
    gateway_.FailSubmission(nth);
  }
  std::map<std::string, std::string> members = {{kOwner, "Admin"}};
  std::vector<Launch> runs;
  std::map<std::string, std::vector<std::string>> replies, expected_replies;  // by phone
  std::multiset<std::string> journal;
  for (unsigned n = 0; n < posts + joins; ++n) {
    const bool post = n < posts;
    const unsigned i = post ? n : n - posts;
    const std::string phone = Phone(post ? kPoster : kJoiner, i),
                      name = Name(post ? "poster" : "joiner", i);
    members[phone] = name;
    runs.push_back(Morvane(phone, post ? std::vector<std::string>{"@Flaky", "flaky", name}
                                       : std::vector<std::string>{"JOIN", "Flaky", name}));
    if (!post) expected_replies[phone] = {Joined("Flaky")};
    if (!post) journal.insert(runs.back().Line());
  }
  std::shuffle(runs.begin(), runs.end(), std::mt19937(7));
  Storm(&runs);

  // Per post, in the order the gateway was asked: its recipients, and
  // whether one failed (then it is the last).
  std::map<std::string, std::pair<std::set<std::string>, bool>> seen;  // by poster's name
  for (const Submission& sub : gateway_.Submissions()) {
    if (sub.text.rfind("@Flaky:", 0) != 0) {
      replies[sub.phone_number].push_back(sub.text);
      continue;
    }
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
                                            : "Message forwarded to " +
                                                  std::to_string(recipients.size()) +
                                                  " member(s) of group Flaky"};
    if (!failed) journal.insert(run.Line());
    // A reply that the gateway refused still counts as a success.
    EXPECT_EQ(home_.ErrorCount(run.argv[2]), failed ? 1u : 0u) << run.argv[8];
  }
  EXPECT_EQ(replies, expected_replies);
  ExpectStore("Flaky", members, journal);
  for (unsigned n = 0; n < joins; ++n) EXPECT_FALSE(home_.HasErrorCount(Phone(kJoiner, n))) << n;
}

}  // namespace
