// Many runs of both programs at once against one public group, as the gateway
// starts them when messages arrive together: joins under distinct names,
// posts of existing members, failing commands of distinct senders, and
// operator ADD and PROP commands. Afterwards nothing may be lost or doubled:
// members, deliveries, replies, journal entries, GROUP.INI keys and error
// counts are all checked, and both databases must pass SQLite's integrity
// check.
//
// The size is multiplied by the environment variable MORVANE_SOAK_SCALE
// (default 1: 100 joins, 50 posts, 50 failures, 20 operator commands).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

constexpr char kScaleVariable[] = "MORVANE_SOAK_SCALE";
constexpr char kAdminVariable[] = "TessaryAdmin";

constexpr char kGroup[] = "Soak";
constexpr char kOwner[] = "+15550000001";
constexpr char kOwnerPassword[] = "soak-pw";
constexpr char kReceive[] = "4000";

// Runs of one storm at scale 1.
constexpr unsigned kJoins = 100;
constexpr unsigned kPosts = 50;
constexpr unsigned kFailures = 50;
constexpr unsigned kToolCommands = 20;

// Children running at once: the whole storm at scale 1; larger scales keep
// this many going, which stays within the descriptors a process may hold.
constexpr size_t kMaxRunning = 300;
// A storm that is not over by then has hung.
constexpr uint32_t kStormMsPerScale = 600000;
constexpr uint32_t kPollMs = 5;

// Phone numbers by role: +1555<block><6 digits>. Posters, joiners and
// members added by the operator share one block, interleaved, so members
// who join during a post's fan-out sort among those it walks over.
enum class Role { kPoster, kJoiner, kToolMember, kFailer, kAuth, kAdmin };

std::string Phone(Role role, unsigned n) {
  unsigned block = 1;
  unsigned number = n;
  switch (role) {
    case Role::kPoster:
    case Role::kJoiner:
    case Role::kToolMember:
      number = 3 * n + static_cast<unsigned>(role);
      break;
    case Role::kFailer:
      block = 3;
      break;
    case Role::kAuth:
      block = 5;
      break;
    case Role::kAdmin:
      block = 6;
      break;
  }
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06u", number);
  return "+1555" + std::to_string(block) + digits;
}

unsigned Scale() {
  std::string value;
  if (!platform::GetEnv(kScaleVariable, &value)) return 1;
  const int64_t scale = ParseLeadingLong(value);
  return scale < 1 ? 1 : static_cast<unsigned>(scale);
}

// Texts the runs answer with.
const std::string kJoinReply =
    "You have joined the group Soak.  To leave the group, reply with 'LEAVE Soak'.  "
    "To send to the group, reply and start text with @Soak";
const std::string kPropertiesLine =
    "OK -- Current properties for group Soak -- PUBLIC  UNMODERATED  NONOTIFY\r\n";

std::string PosterName(unsigned n) { return "poster" + std::to_string(n); }
std::string JoinerName(unsigned n) { return "joiner" + std::to_string(n); }
std::string ToolMemberName(unsigned n) { return "tool" + std::to_string(n); }
// What every member but the poster receives of post n.
std::string PostText(unsigned n) {
  return "@Soak:" + PosterName(n) + " soak post " + std::to_string(n);
}
std::string ForwardedReply(size_t members) {
  return "Message forwarded to " + std::to_string(members) + " member(s) of group Soak";
}

// A failing command and the reply it gets: on standard output, or through
// the gateway when it names the existing group.
struct Failure {
  std::vector<std::string> words;
  std::string reply;
  bool on_stdout;
};

const std::vector<Failure>& FailureKinds() {
  static const std::vector<Failure> kinds = {
      {{"HELP"}, "Help is not yet available.", true},
      {{"JOIN", "Nowhere", "Ann"}, "Cannot join group Nowhere, it does not exist.", true},
      {{"@Soak", "let", "me", "in"}, "You are not joined to group Soak.", false},
      {{"LEAVE", "Soak"}, "You have not joined the group Soak", false},
      {{"ADMIN", "Soak", "PROP", "PRIVATE", "MOD"},
       "You do not have administrative rights to group Soak.  Syntax ADMIN GroupName",
       false},
  };
  return kinds;
}

enum class Kind { kJoin, kPost, kFailure, kTool };

struct Launch {
  Kind kind = Kind::kJoin;
  unsigned n = 0;  // number within its kind
  std::string program;
  std::vector<std::string> args;  // after the program name
  std::string expected_output;    // on standard output
  platform::Child child;
  bool started = false;
  bool ended = false;
};

std::vector<std::string> MorvaneArgs(const std::string& sender,
                                     const std::vector<std::string>& words) {
  std::vector<std::string> args = {"/s", sender, "/r", kReceive, "/t"};
  args.insert(args.end(), words.begin(), words.end());
  return args;
}

Launch MorvaneLaunch(const std::string& sender, const std::vector<std::string>& words,
                     std::string expected_output = "") {
  Launch launch;
  launch.program = MorvaneProgram();
  launch.args = MorvaneArgs(sender, words);
  launch.expected_output = std::move(expected_output);
  return launch;
}

// Operator command n: member ADDs, rights-list ADDs and PROPs that keep the
// group public and unmoderated.
void FillToolCommand(unsigned n, Launch* launch) {
  launch->program = MorvanectlProgram();
  launch->expected_output = "OK\r\n";
  switch (n % 10) {
    case 0:
    case 1:
    case 2:
    case 3:
      launch->args = {"ADMIN", kGroup, "ADD", Phone(Role::kToolMember, n), ToolMemberName(n)};
      break;
    case 4:
    case 5:
      launch->args = {"ADMIN", kGroup, "AUTH", "ADD", Phone(Role::kAuth, n)};
      break;
    case 6:
      launch->args = {"ADMIN", kGroup, "ADMIN", "ADD", Phone(Role::kAdmin, n)};
      break;
    case 7:
      launch->args = {"ADMIN", kGroup, "PROP", "PUBLIC", "UNMODERATED"};
      launch->expected_output = kPropertiesLine;
      break;
    case 8:
      launch->args = {"ADMIN", kGroup, "PROPERTIES", "PUB", "NONOTIFY"};
      launch->expected_output = kPropertiesLine;
      break;
    default:
      launch->args = {"ADMIN", kGroup, "PROP", "UNMOD"};
      launch->expected_output = kPropertiesLine;
      break;
  }
}

bool IsToolMemberAdd(unsigned n) { return n % 10 < 4; }

std::vector<Launch> PlanStorm(unsigned scale) {
  std::vector<Launch> launches;
  auto add = [&launches](Kind kind, unsigned n) {
    Launch launch;
    launch.kind = kind;
    launch.n = n;
    launches.push_back(std::move(launch));
    return &launches.back();
  };
  for (unsigned n = 0; n < kJoins * scale; ++n) {
    Launch* launch = add(Kind::kJoin, n);
    launch->program = MorvaneProgram();
    launch->args = MorvaneArgs(Phone(Role::kJoiner, n), {"JOIN", kGroup, JoinerName(n)});
  }
  for (unsigned n = 0; n < kPosts * scale; ++n) {
    Launch* launch = add(Kind::kPost, n);
    launch->program = MorvaneProgram();
    launch->args =
        MorvaneArgs(Phone(Role::kPoster, n), {"@Soak", "soak", "post", std::to_string(n)});
  }
  for (unsigned n = 0; n < kFailures * scale; ++n) {
    const Failure& failure = FailureKinds()[n % FailureKinds().size()];
    Launch* launch = add(Kind::kFailure, n);
    launch->program = MorvaneProgram();
    launch->args = MorvaneArgs(Phone(Role::kFailer, n), failure.words);
    if (failure.on_stdout) launch->expected_output = failure.reply;
  }
  for (unsigned n = 0; n < kToolCommands * scale; ++n) {
    FillToolCommand(n, add(Kind::kTool, n));
  }
  // Kinds mixed, the same way on every run.
  std::mt19937 random(20240305);
  std::shuffle(launches.begin(), launches.end(), random);
  return launches;
}

// Starts every run, at most kMaxRunning at a time, and waits for them all.
// False when the storm did not end in time (the rest are killed).
bool RunStorm(const MorvaneHome& home, std::vector<Launch>* launches, uint32_t deadline_ms) {
  const platform::EnvChanges env = {{kDataHomeVariable, home.path()},
                                    {kAdminVariable, std::nullopt}};
  const uint32_t start = platform::TickCountMs();
  size_t next = 0;
  size_t running = 0;
  size_t ended = 0;
  while (ended < launches->size()) {
    while (next < launches->size() && running < kMaxRunning) {
      Launch& launch = (*launches)[next++];
      std::vector<std::string> argv = {launch.program};
      argv.insert(argv.end(), launch.args.begin(), launch.args.end());
      launch.child = platform::Child::Start(argv, env, /*capture_output=*/true);
      launch.started = launch.child.started();
      if (launch.started) {
        ++running;
      } else {
        ++ended;
      }
    }
    for (Launch& launch : *launches) {
      if (!launch.started || launch.ended || !launch.child.Wait(0)) continue;
      launch.ended = true;
      --running;
      ++ended;
    }
    if (platform::TickCountMs() - start > deadline_ms) return false;
    platform::SleepMs(kPollMs);
  }
  return true;
}

using SentMessages = std::map<std::pair<std::string, std::string>, unsigned>;

// How often `text` was sent to `recipient`.
unsigned Times(const SentMessages& sent, const std::string& recipient, const std::string& text) {
  const auto found = sent.find({recipient, text});
  return found == sent.end() ? 0 : found->second;
}

// A data directory with the owner's account and a fake gateway.
class StormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
    SetStoreBase(StoreBase::kProgramData);
  }

  // GROUP.INI of a public group owned by kOwner, and nothing else.
  void WriteGroupIni(const std::string& group, const char* post_type) {
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue));
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kPostTypeKey, post_type));
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(home_.WriteGroupValue(group, kAdminSection, kOwner, kAdminValue));
  }

  std::string GroupFile(const std::string& group, const char* name) const {
    return home_.GroupsPath() + group + "/" + name;
  }

  // Starts every launch at once and expects each to end by itself, normally,
  // with its expected standard output.
  void Storm(std::vector<Launch>* launches) {
    ASSERT_TRUE(RunStorm(home_, launches, kStormMsPerScale * scale_))
        << "the runs did not end in time";
    for (const Launch& launch : *launches) {
      const std::string what = testing::PrintToString(launch.args);
      ASSERT_TRUE(launch.started) << what;
      EXPECT_FALSE(launch.child.killed_by_signal()) << what;
      EXPECT_EQ(launch.child.exit_code(), 0) << what;
      EXPECT_EQ(launch.child.output(), launch.expected_output) << what;
    }
  }

  // How often the gateway was asked to send each (recipient, text).
  SentMessages Sent() const {
    SentMessages sent;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.status, 200) << submission.request_line;
      EXPECT_EQ(submission.sender, kReceive) << submission.request_line;
      ++sent[{submission.phone_number, submission.text}];
    }
    return sent;
  }

  const unsigned scale_ = Scale();
  MorvaneHome home_;
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};
  FakeGateway gateway_;
};

// The group Soak with its owner and the posters as members.
class SoakTest : public StormTest {
 protected:
  void SetUp() override {
    StormTest::SetUp();
    WriteGroupIni(kGroup, kUnmoderatedValue);
    ASSERT_TRUE(AddMember(kGroup, kOwner, "Admin"));
    for (unsigned n = 0; n < kPosts * scale_; ++n) {
      ASSERT_TRUE(AddMember(kGroup, Phone(Role::kPoster, n), PosterName(n)));
    }
  }

  std::string IniValue(std::string_view section, std::string_view key) const {
    return platform::ProfileReadString(GroupFile(kGroup, kGroupIniName), section, key, "<missing>",
                                       kProfileValueBuffer);
  }
};

TEST_F(SoakTest, ConcurrentRunsLoseAndDoubleNothing) {
  std::vector<Launch> launches = PlanStorm(scale_);
  Storm(&launches);

  // Members: the owner, the posters, every joiner and every member the
  // operator added, each once under its own name.
  std::vector<std::pair<std::string, std::string>> expected_members = {{kOwner, "Admin"}};
  std::set<std::string> member_phones = {kOwner};
  for (unsigned n = 0; n < kPosts * scale_; ++n) {
    expected_members.emplace_back(Phone(Role::kPoster, n), PosterName(n));
  }
  for (unsigned n = 0; n < kJoins * scale_; ++n) {
    expected_members.emplace_back(Phone(Role::kJoiner, n), JoinerName(n));
  }
  for (unsigned n = 0; n < kToolCommands * scale_; ++n) {
    if (IsToolMemberAdd(n))
      expected_members.emplace_back(Phone(Role::kToolMember, n), ToolMemberName(n));
  }
  for (const auto& member : expected_members) member_phones.insert(member.first);
  std::vector<std::pair<std::string, std::string>> members;
  for (const MemberRow& row : ReadMembers(home_, kGroup)) {
    members.emplace_back(row.phone, row.user_name);
  }
  EXPECT_THAT(members, ::testing::UnorderedElementsAreArray(expected_members));

  // Deliveries: each post once to every member who was one throughout (the
  // owner and the other posters); to a joiner or an added member at most
  // once; never to anyone else. Every other submission is a reply.
  const SentMessages sent = Sent();
  for (const Submission& submission : gateway_.Submissions()) {
    EXPECT_EQ(submission.user, kOwner) << submission.request_line;
  }
  for (const auto& [message, count] : sent) {
    EXPECT_EQ(count, 1u) << message.first << " got " << count << " times: " << message.second;
  }
  std::map<std::string, size_t> deliveries;  // post text -> recipients
  for (const auto& [message, count] : sent) {
    if (message.second.rfind("@Soak:", 0) != 0) continue;
    ++deliveries[message.second];
    EXPECT_TRUE(member_phones.count(message.first)) << "post sent to non-member " << message.first;
  }
  size_t expected_submissions = 0;
  for (unsigned n = 0; n < kPosts * scale_; ++n) {
    const std::string text = PostText(n);
    EXPECT_EQ(Times(sent, kOwner, text), 1u) << "owner missed post " << n;
    for (unsigned other = 0; other < kPosts * scale_; ++other) {
      if (other == n) continue;
      EXPECT_EQ(Times(sent, Phone(Role::kPoster, other), text), 1u)
          << "poster " << other << " missed post " << n;
    }
    EXPECT_EQ(Times(sent, Phone(Role::kPoster, n), text), 0u) << "post " << n << " came back";
    // The reply counts exactly the deliveries that were made.
    EXPECT_EQ(Times(sent, Phone(Role::kPoster, n), ForwardedReply(deliveries[text])), 1u)
        << "post " << n << " reached " << deliveries[text];
    expected_submissions += deliveries[text] + 1;
  }
  for (unsigned n = 0; n < kJoins * scale_; ++n) {
    EXPECT_EQ(Times(sent, Phone(Role::kJoiner, n), kJoinReply), 1u) << "joiner " << n;
    ++expected_submissions;
  }
  for (unsigned n = 0; n < kFailures * scale_; ++n) {
    const Failure& failure = FailureKinds()[n % FailureKinds().size()];
    if (failure.on_stdout) continue;
    EXPECT_EQ(Times(sent, Phone(Role::kFailer, n), failure.reply), 1u) << "failer " << n;
    ++expected_submissions;
  }
  EXPECT_EQ(gateway_.Submissions().size(), expected_submissions);

  // Journal: one entry per join and per post, each approved, none else.
  std::multiset<std::string> journal;
  for (const TransactionRow& row : ReadTransactions(home_, kGroup)) {
    EXPECT_EQ(row.approval, "Yes") << row.command;
    journal.insert(row.command);
  }
  std::multiset<std::string> expected_journal;
  for (const Launch& launch : launches) {
    if (launch.kind == Kind::kJoin || launch.kind == Kind::kPost) {
      expected_journal.insert(JoinWords(launch.args, 0, kMaxCommandLineChars));
    }
  }
  EXPECT_EQ(journal, expected_journal);

  // GROUP.INI: every key written is there, nothing a non-administrator asked
  // for, and no notification.
  EXPECT_EQ(IniValue(kGroupSection, kMembershipTypeKey), kPublicValue);
  EXPECT_EQ(IniValue(kGroupSection, kPostTypeKey), kUnmoderatedValue);
  EXPECT_EQ(IniValue(kGroupSection, kOwnerKey), kOwner);
  EXPECT_EQ(IniValue(kGroupSection, kNotifyKey), "<missing>");
  EXPECT_EQ(IniValue(kAdminSection, kOwner), kAdminValue);
  for (unsigned n = 0; n < kToolCommands * scale_; ++n) {
    if (n % 10 == 4 || n % 10 == 5) {
      EXPECT_EQ(IniValue(kAuthUserSection, Phone(Role::kAuth, n)), kAuthUserValue) << n;
    } else if (n % 10 == 6) {
      EXPECT_EQ(IniValue(kAdminSection, Phone(Role::kAdmin, n)), kAdminValue) << n;
    }
  }

  // Error counts: each failing sender once, nobody else.
  for (unsigned n = 0; n < kFailures * scale_; ++n) {
    EXPECT_EQ(home_.ErrorCount(Phone(Role::kFailer, n)), 1u) << "failer " << n;
  }
  for (unsigned n = 0; n < kJoins * scale_; ++n) {
    EXPECT_FALSE(home_.HasErrorCount(Phone(Role::kJoiner, n))) << "joiner " << n;
  }
  for (unsigned n = 0; n < kPosts * scale_; ++n) {
    EXPECT_FALSE(home_.HasErrorCount(Phone(Role::kPoster, n))) << "poster " << n;
  }

  EXPECT_EQ(IntegrityCheck(GroupFile(kGroup, kGroupDbName)), "ok");
  EXPECT_EQ(IntegrityCheck(GroupFile(kGroup, kTransDbName)), "ok");

  RecordProperty("runs", static_cast<int>(launches.size()));
  RecordProperty("members", static_cast<int>(members.size()));
  RecordProperty("submissions", static_cast<int>(gateway_.Submissions().size()));
}

TEST_F(StormTest, FirstJoinsRaceToMakeTheDatabases) {
  // A group without GROUP.DB and TRANS.DB: the joins that come at once all
  // try to make both files, and each must be made exactly once.
  WriteGroupIni("Fresh", kUnmoderatedValue);
  std::vector<Launch> launches;
  for (unsigned n = 0; n < kJoins * scale_ / 2; ++n) {
    launches.push_back(MorvaneLaunch(Phone(Role::kJoiner, n), {"JOIN", "Fresh", JoinerName(n)}));
  }
  Storm(&launches);

  std::vector<std::pair<std::string, std::string>> expected;
  for (unsigned n = 0; n < launches.size(); ++n) {
    expected.emplace_back(Phone(Role::kJoiner, n), JoinerName(n));
  }
  std::vector<std::pair<std::string, std::string>> members;
  for (const MemberRow& row : ReadMembers(home_, "Fresh")) {
    members.emplace_back(row.phone, row.user_name);
  }
  EXPECT_THAT(members, ::testing::UnorderedElementsAreArray(expected));
  EXPECT_EQ(ReadTransactions(home_, "Fresh").size(), launches.size());
  const auto sent = Sent();
  for (unsigned n = 0; n < launches.size(); ++n) {
    const std::string reply =
        "You have joined the group Fresh.  To leave the group, reply with 'LEAVE Fresh'.  "
        "To send to the group, reply and start text with @Fresh";
    EXPECT_EQ(Times(sent, Phone(Role::kJoiner, n), reply), 1u) << n;
  }
  EXPECT_EQ(IntegrityCheck(GroupFile("Fresh", kGroupDbName)), "ok");
  EXPECT_EQ(IntegrityCheck(GroupFile("Fresh", kTransDbName)), "ok");
}

TEST_F(StormTest, CreationsOfOneGroupAtOnceMakeItOnce) {
  // Subscribers and the operator create the same group at the same moment,
  // each with another owner: one of them makes it, the others are told it
  // exists, and the group is that one creator's, line for line.
  std::vector<Launch> launches;
  const unsigned creators = 10 * scale_;
  for (unsigned n = 0; n < creators; ++n) {
    const std::string owner = Phone(Role::kAdmin, n);
    ASSERT_TRUE(home_.AddAccount(owner, "pw"));
    if (n % 2 == 0) {
      launches.push_back(MorvaneLaunch(owner, {"CREATE", "Twin"}));
    } else {
      Launch launch;
      launch.program = MorvanectlProgram();
      launch.args = {"CREATE", "Twin", owner};
      launches.push_back(std::move(launch));
    }
  }
  ASSERT_TRUE(RunStorm(home_, &launches, kStormMsPerScale * scale_));

  const std::string exists =
      "Group Twin already exists.  To join group, use 'JOIN Twin YourName'.  "
      "To admin group, use 'ADMIN Twin'.";
  const std::string created =
      "Group Twin created.  Membership availability is Public.  Message posting is "
      "Unmoderated.  Use 'ADMIN Twin' command to administer.";
  std::vector<std::string> winners;
  const auto sent = Sent();
  for (unsigned n = 0; n < creators; ++n) {
    const Launch& launch = launches[n];
    const std::string owner = Phone(Role::kAdmin, n);
    ASSERT_TRUE(launch.ended) << owner;
    EXPECT_FALSE(launch.child.killed_by_signal()) << owner;
    const std::string& output = launch.child.output();
    if (n % 2 == 0) {
      if (output.empty() && Times(sent, owner, created) == 1) {
        winners.push_back(owner);
      } else {
        EXPECT_EQ(output, exists) << owner;
      }
    } else if (output.rfind("OK -- Group Twin created.\r\n", 0) == 0) {
      EXPECT_EQ(launch.child.exit_code(), 0);
      winners.push_back(owner);
    } else {
      EXPECT_EQ(output, "ERROR:  Group Twin already exists\r\n") << owner;
    }
  }
  ASSERT_EQ(winners.size(), 1u);
  const std::string& owner = winners[0];
  EXPECT_EQ(home_.ReadFile("Groups/Twin/GROUP.INI"),
            "[Group]\r\nMembershipType=Public\r\nPostType=Unmoderated\r\nOwner=" + owner +
                "\r\n[Admin]\r\n" + owner + "=Admin\r\n");
  const std::vector<MemberRow> members = ReadMembers(home_, "Twin");
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].phone, owner);
  EXPECT_EQ(members[0].user_name, "Admin");
}

TEST_F(StormTest, ApprovalsAtOnceRunEachHeldPostOnce) {
  // Held posts of a moderated group, each approved three times at the same
  // moment: every post reaches every member exactly once.
  WriteGroupIni("Mod", kModeratedValue);
  ASSERT_TRUE(AddMember("Mod", kOwner, "Admin"));
  const unsigned posters = 10;
  for (unsigned n = 0; n < posters; ++n) {
    ASSERT_TRUE(AddMember("Mod", Phone(Role::kPoster, n), PosterName(n)));
  }
  const unsigned held = 20 * scale_;
  std::vector<Launch> holds;
  const std::string approval = "Message forwarded to group Mod administrator for approval";
  for (unsigned n = 0; n < held; ++n) {
    holds.push_back(MorvaneLaunch(Phone(Role::kPoster, n % posters),
                                  {"@Mod", "held", "post", std::to_string(n)}));
  }
  Storm(&holds);  // the posts are held at once too
  std::vector<TransactionRow> rows = ReadTransactions(home_, "Mod");
  ASSERT_EQ(rows.size(), held);
  const SentMessages asked = Sent();
  for (unsigned n = 0; n < posters; ++n) {
    EXPECT_EQ(Times(asked, Phone(Role::kPoster, n), approval), held / posters) << n;
  }
  gateway_.Clear();

  std::vector<Launch> approvals;
  for (const TransactionRow& row : rows) {
    EXPECT_EQ(row.approval, "No");
    for (int copy = 0; copy < 3; ++copy) {
      approvals.push_back(MorvaneLaunch(kOwner, {"YES", "Mod", std::to_string(row.id)}));
    }
  }
  Storm(&approvals);

  const auto sent = Sent();
  for (unsigned n = 0; n < held; ++n) {
    const std::string text = "@Mod:" + PosterName(n % posters) + " held post " + std::to_string(n);
    EXPECT_EQ(Times(sent, kOwner, text), 1u) << n;
    for (unsigned member = 0; member < posters; ++member) {
      // The approved re-run sends to every member, its poster included.
      EXPECT_EQ(Times(sent, Phone(Role::kPoster, member), text), 1u) << n << " to " << member;
    }
  }
  EXPECT_EQ(gateway_.Submissions().size(), held * (posters + 1));
  for (const TransactionRow& row : ReadTransactions(home_, "Mod")) {
    EXPECT_EQ(row.approval, "Yes") << row.id;
  }
  EXPECT_EQ(IntegrityCheck(GroupFile("Mod", kTransDbName)), "ok");
}

TEST_F(StormTest, FlakyGatewayUnderLoadLosesNoMemberAndDoublesNoPost) {
  // Every fifth submission fails while posts and joins come at once. A
  // post's fan-out stops at its first failure and leaves no journal entry;
  // a join is made whether or not its reply got through.
  WriteGroupIni("Flaky", kUnmoderatedValue);
  ASSERT_TRUE(AddMember("Flaky", kOwner, "Admin"));
  const unsigned posts = kPosts * scale_ / 2;
  const unsigned joins = kJoins * scale_ / 2;
  for (unsigned n = 0; n < posts; ++n) {
    ASSERT_TRUE(AddMember("Flaky", Phone(Role::kPoster, n), PosterName(n)));
  }
  for (size_t nth = 5; nth < 5 * (posts + 1) * (posts + joins + 2); nth += 5) {
    gateway_.FailSubmission(nth);
  }
  std::vector<Launch> launches;
  for (unsigned n = 0; n < posts; ++n) {
    launches.push_back(
        MorvaneLaunch(Phone(Role::kPoster, n), {"@Flaky", "flaky", std::to_string(n)}));
  }
  for (unsigned n = 0; n < joins; ++n) {
    launches.push_back(MorvaneLaunch(Phone(Role::kJoiner, n), {"JOIN", "Flaky", JoinerName(n)}));
  }
  std::mt19937 random(7);
  std::shuffle(launches.begin(), launches.end(), random);
  Storm(&launches);

  EXPECT_EQ(ReadMembers(home_, "Flaky").size(), 1 + posts + joins);

  // Per post, in the order the gateway was asked: its deliveries, whether
  // one failed (then it is the last), and what the poster was told.
  struct PostSeen {
    std::set<std::string> recipients;
    bool failed = false;
    std::string reply;
  };
  std::map<std::string, PostSeen> seen;  // by poster
  for (const Submission& submission : gateway_.Submissions()) {
    if (submission.text.rfind("@Flaky:", 0) == 0) {
      const std::string poster = submission.text.substr(7, submission.text.find(' ') - 7);
      PostSeen& post = seen[poster];
      EXPECT_FALSE(post.failed) << "a delivery after the failed one: " << submission.text;
      EXPECT_TRUE(post.recipients.insert(submission.phone_number).second)
          << "twice to " << submission.phone_number << ": " << submission.text;
      if (submission.status != 200) post.failed = true;
    }
  }
  std::multiset<std::string> journal;
  for (const TransactionRow& row : ReadTransactions(home_, "Flaky")) journal.insert(row.command);
  for (unsigned n = 0; n < posts; ++n) {
    const std::string poster = Phone(Role::kPoster, n);
    const PostSeen& post = seen[PosterName(n)];
    ASSERT_FALSE(post.recipients.empty()) << n;
    std::string reply;
    for (const Submission& submission : gateway_.Submissions()) {
      if (submission.phone_number == poster && submission.text.rfind("@Flaky:", 0) != 0) {
        EXPECT_TRUE(reply.empty()) << "two replies to poster " << n;
        reply = submission.text;
      }
    }
    const std::string line =
        "/s " + poster + " /r " + kReceive + " /t @Flaky flaky " + std::to_string(n);
    const size_t delivered = post.recipients.size() - (post.failed ? 1 : 0);
    if (post.failed) {
      EXPECT_EQ(reply, "Error forwarding message to group Flaky") << n;
      EXPECT_EQ(journal.count(line), 0u) << n;
      EXPECT_EQ(home_.ErrorCount(poster), 1u) << n;
    } else {
      EXPECT_EQ(reply,
                "Message forwarded to " + std::to_string(delivered) + " member(s) of group Flaky")
          << n;
      EXPECT_EQ(journal.count(line), 1u) << n;
      // A reply that the gateway refused still counts as a success.
      EXPECT_FALSE(home_.HasErrorCount(poster)) << n;
    }
  }
  for (unsigned n = 0; n < joins; ++n) {
    EXPECT_FALSE(home_.HasErrorCount(Phone(Role::kJoiner, n))) << n;
  }
  EXPECT_EQ(IntegrityCheck(GroupFile("Flaky", kGroupDbName)), "ok");
  EXPECT_EQ(IntegrityCheck(GroupFile("Flaky", kTransDbName)), "ok");
}

}  // namespace
