// The fan-out of a post while the gateway fails (its port closed, an error
// status, a connection closed or reset in the middle of an answer, garbage
// instead of HTTP) and across the pages of the member walk. The first failed
// submission ends it, the sender is told if the gateway still takes the reply,
// and no journal entry is written. (A silent gateway costs a minute per
// submission here; the fan-out's unit tests show it with a short timeout.)
#include <string>
#include <vector>

#include "e2e/group_fixture.h"
#include "gateway/submit.h"
#include "platform/profile.h"
#include "platform/socket.h"

namespace {

using namespace group_fixture;

class FanOutTest : public GroupTest {
 protected:
  // Bob's posts go to the owner, Carol, Dave and Ann in that order. The
  // warm-up post makes TRANS.DB, so the files are complete before the faults.
  void SetUp() override {
    GroupTest::SetUp();
    MakeGroup("Friends", kUnmoderatedValue, kPublicValue,
              {{kBob, "Bob"}, {kCarol, "Carol"}, {kDave, "Dave"}, {kAnn, "Ann"}});
    ASSERT_EQ(Run(kBob, "@Friends warm up").output, "");
    seen_ = TakeSent().size();
    before_ = Files();
  }

  std::string Files() const {
    return Ini("Friends") + home_.ReadFile("Groups/Friends/GROUP.DB") +
           home_.ReadFile("Groups/Friends/TRANS.DB");
  }

  const std::vector<std::string> order_ = {kOwner, kCarol, kDave, kAnn};
  size_t seen_ = 0;  // every submission so far: the fake counts them all
  std::string before_;
};

TEST_F(FanOutTest, FirstFailedSubmissionEndsThePost) {
  const std::vector<std::pair<const char*, ServerScript>> faults = {
      {"ServerError", {}},  // answered 500
      {"ClosedBeforeAnswer", {CloseConnection()}},
      {"ClosedInStatusLine", {SendBytes("HTTP/1.1 2"), CloseConnection()}},
      {"ClosedInHeaders", {SendBytes("HTTP/1.1 200 OK\r\nContent-Len"), CloseConnection()}},
      {"ClosedInBody",
       {SendBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), CloseConnection()}},
      {"ResetInHeaders", {SendBytes("HTTP/1.1 200 OK\r\n"), ResetConnection()}},
      {"NotHttp", {SendBytes("\x01\x02garbage\r\n\r\n"), CloseConnection()}},
  };
  for (const auto& [name, script] : faults) {
    for (const size_t nth : {1u, 3u}) {
      SCOPED_TRACE(std::string(name) + " at " + std::to_string(nth));
      if (script.empty()) gateway_.FailSubmission(seen_ + nth);
      if (!script.empty()) gateway_.ScriptSubmission(seen_ + nth, script);
      ASSERT_TRUE(home_.SetErrorCount(kBob, 0));
      Walk({{kBob, "@Friends hi", "",
             To({order_.begin(), order_.begin() + nth}, "@Friends:Bob hi",
                {{kBob, "Error forwarding message to group Friends"}}),
             1}});
      seen_ += nth + 1;
      EXPECT_TRUE(Files() == before_) << "no journal entry, nothing else changed";
    }
  }
  // The gateway is back: the next post reaches everyone and clears the count.
  Walk({{kBob, "@Friends again", "",
         To(order_, "@Friends:Bob again",
            {{kBob, "Message forwarded to 4 member(s) of group Friends"}})}});
}

// Nobody listens at the gateway's port: the post ends at once and its reply
// (an error reply, counted) is lost with it; a join is still made.
TEST_F(FanOutTest, ClosedPortLosesTheRepliesButNotTheJoin) {
  platform::SocketsStartup();
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, 1);
  const uint16_t port = platform::LocalPort(listener);
  listener.Close();
  ASSERT_TRUE(platform::ProfileWriteString(home_.path() + kGatewayConfigName, kGatewaySection,
                                           kWebPortKey, std::to_string(port)));
  Walk({{kBob, "@Friends hi", "", {}, 1}});
  EXPECT_TRUE(Files() == before_);
  Walk({{"+15550000009", "JOIN Friends Zed", "", {}}});
  EXPECT_EQ(Members("Friends").back().second, "Zed");
  EXPECT_EQ(Journal("Friends").back(), Entry("+15550000009", "Zed", "JOIN Friends Zed"));
}

}  // namespace
