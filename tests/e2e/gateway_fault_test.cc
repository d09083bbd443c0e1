// Posts and joins while the gateway fails: its port closed, an error status,
// a connection closed or reset in the middle of an answer, garbage instead
// of HTTP. The first failed submission ends a post's fan-out, the sender is
// told MessageForwardError when the gateway can still take the reply, no
// journal entry is written, and the store changes no further than the
// command itself says. (A gateway that stays silent costs a minute per
// submission here; the fan-out's unit tests show it with a short timeout.)
#include <string>
#include <vector>

#include "e2e/group_fixture.h"
#include "gateway/submit.h"
#include "platform/profile.h"
#include "platform/socket.h"

namespace {

using ::testing::ElementsAre;
using namespace group_fixture;

constexpr char kBob[] = "+15550000002";
constexpr char kCarol[] = "+15550000003";
constexpr char kDave[] = "+15550000004";
constexpr char kEve[] = "+15550000005";
constexpr char kZed[] = "+15550000009";

constexpr char kPostText[] = "@Friends:Bob hi";
constexpr char kForwardError[] = "Error forwarding message to group Friends";

// The files of a group, byte for byte.
struct GroupFiles {
  std::string ini;
  std::string members;
  std::string journal;
  bool operator==(const GroupFiles&) const = default;
};

// A port of 127.0.0.1 on which nothing listens: taken, then given back.
uint16_t ClosedPort() {
  platform::SocketsStartup();
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, 1);
  const uint16_t port = platform::LocalPort(listener);
  listener.Close();
  return port;
}

class GatewayFaultTest : public GroupTest {
 protected:
  // Friends: the owner, Bob (who posts), Carol, Dave and Eve; Bob's post
  // goes to the owner, Carol, Dave and Eve in that order. Every run writes
  // the journal, so TRANS.DB exists before the faults.
  void SetUp() override {
    GroupTest::SetUp();
    MakeGroup("Friends");
    AddMembers("Friends", {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}, {kEve, "Eve"}});
    ASSERT_EQ(Send(kBob, {"@Friends", "warm", "up"}), "");
    warm_up_ = gateway_.Submissions().size();
    gateway_.Clear();
    before_ = Files();
    ASSERT_FALSE(before_.journal.empty());
  }

  GroupFiles Files() const {
    return {home_.ReadFile("Groups/Friends/GROUP.INI"), home_.ReadFile("Groups/Friends/GROUP.DB"),
            home_.ReadFile("Groups/Friends/TRANS.DB")};
  }

  // Points HOLLIN.INI at a port where nobody answers.
  void CloseGateway() {
    ASSERT_TRUE(platform::ProfileWriteString(home_.path() + kGatewayConfigName, kGatewaySection,
                                             kWebPortKey, std::to_string(ClosedPort())));
  }

  // Every submission of the fake so far, with its status.
  std::vector<std::pair<std::string, int>> Statuses() const {
    std::vector<std::pair<std::string, int>> statuses;
    for (const Submission& submission : gateway_.Submissions()) {
      statuses.emplace_back(submission.phone_number, submission.status);
    }
    return statuses;
  }

  GroupFiles before_;
  size_t warm_up_ = 0;  // submissions before the test's own: the fake counts them
};

// One way an answer can go wrong, played for the nth submission of a post.
struct Fault {
  const char* name;
  ServerScript script;  // empty: answer 500
};

std::vector<Fault> Faults() {
  return {
      {"ServerError", {}},
      {"ClosedBeforeAnswer", {CloseConnection()}},
      {"ClosedInStatusLine", {SendBytes("HTTP/1.1 2"), CloseConnection()}},
      {"ClosedInHeaders", {SendBytes("HTTP/1.1 200 OK\r\nContent-Len"), CloseConnection()}},
      {"ClosedInBody",
       {SendBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), CloseConnection()}},
      {"ResetInHeaders", {SendBytes("HTTP/1.1 200 OK\r\n"), ResetConnection()}},
      {"NotHttp", {SendBytes("\x01\x02garbage\r\n\r\n"), CloseConnection()}},
  };
}

struct FaultCase {
  Fault fault;
  size_t nth;  // which submission of the fan-out fails
};

std::vector<FaultCase> FaultCases() {
  std::vector<FaultCase> cases;
  for (const Fault& fault : Faults()) {
    for (size_t nth : {1u, 3u}) cases.push_back({fault, nth});
  }
  return cases;
}

class PostFaultTest : public GatewayFaultTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(PostFaultTest, FirstFailedSubmissionEndsTheFanOut) {
  const FaultCase& c = GetParam();
  if (c.fault.script.empty()) {
    gateway_.FailSubmission(warm_up_ + c.nth);
  } else {
    gateway_.ScriptSubmission(warm_up_ + c.nth, c.fault.script);
  }
  const RunResult run = home_.Run({"/s", kBob, "/r", kReceive, "/t", "@Friends", "hi"});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "");  // the reply goes through the gateway

  // Members before the failed one have the post, the rest nothing; then the
  // reply. A scripted failure is recorded with status 0.
  const std::vector<std::string> order = {kOwner, kCarol, kDave, kEve};
  std::vector<std::pair<std::string, int>> expected;
  for (size_t i = 0; i + 1 < c.nth; ++i) expected.emplace_back(order[i], 200);
  expected.emplace_back(order[c.nth - 1], c.fault.script.empty() ? 500 : 0);
  expected.emplace_back(kBob, 200);
  EXPECT_EQ(Statuses(), expected);
  const std::vector<Message> sent = Sent();
  ASSERT_EQ(sent.size(), c.nth + 1);
  for (size_t i = 0; i < c.nth; ++i) EXPECT_EQ(sent[i].second, kPostText);
  EXPECT_EQ(sent.back().second, kForwardError);

  EXPECT_TRUE(Files() == before_) << "no journal entry, nothing else changed";
  EXPECT_EQ(home_.ErrorCount(kBob), 1u);
}

INSTANTIATE_TEST_SUITE_P(Faults, PostFaultTest, testing::ValuesIn(FaultCases()),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.fault.name) + "At" +
                                  std::to_string(info.param.nth);
                         });

TEST_F(GatewayFaultTest, ClosedPortEndsThePostAndLosesTheReply) {
  CloseGateway();
  const RunResult run = home_.Run({"/s", kBob, "/r", kReceive, "/t", "@Friends", "hi"});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  // The reply could not be submitted either; it is not written instead.
  EXPECT_EQ(run.output, "");
  EXPECT_TRUE(gateway_.Submissions().empty());
  EXPECT_TRUE(Files() == before_);
  // MessageForwardError is an error reply, also when it is lost.
  EXPECT_EQ(home_.ErrorCount(kBob), 1u);
}

TEST_F(GatewayFaultTest, ClosedPortStillAdmitsAJoin) {
  CloseGateway();
  const RunResult run = home_.Run({"/s", kZed, "/r", kReceive, "/t", "JOIN", "Friends", "Zed"});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.output, "");  // JoinOK was lost with the gateway
  std::vector<std::string> names;
  for (const MemberRow& row : ReadMembers(home_, "Friends")) names.push_back(row.user_name);
  EXPECT_THAT(names, ElementsAre("Admin", "Bob", "Carol", "Dave", "Eve", "Zed"));
  const std::vector<TransactionRow> journal = ReadTransactions(home_, "Friends");
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back().command, CommandLine(kZed, "JOIN Friends Zed"));
  EXPECT_FALSE(home_.HasErrorCount(kZed));
}

TEST_F(GatewayFaultTest, GatewayBackAfterAFaultDeliversTheNextPost) {
  gateway_.ScriptSubmission(warm_up_ + 1, {SendBytes("HTTP/1.1 200 OK\r\n"), ResetConnection()});
  Send(kBob, {"@Friends", "hi"});
  gateway_.Clear();
  Send(kBob, {"@Friends", "again"});
  EXPECT_THAT(
      Sent(),
      ElementsAre(Message{kOwner, "@Friends:Bob again"}, Message{kCarol, "@Friends:Bob again"},
                  Message{kDave, "@Friends:Bob again"}, Message{kEve, "@Friends:Bob again"},
                  Message{kBob, "Message forwarded to 4 member(s) of group Friends"}));
  // The count of the failed post is cleared by the good one.
  EXPECT_FALSE(home_.HasErrorCount(kBob));
}

}  // namespace
