// kavrel-sim as a process, in a temporary data directory on a free port of 127.0.0.1: its files,
// HTTP submissions, messages handed to morvane, the chat and the demo.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/limits.h"
#include "common/text.h"
#include "gateway/gw_util.h"
#include "gateway/submit.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "processor/run.h"
#include "sim/sim_config.h"
#include "support/morvane_harness.h"
#include "support/platform_checks.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kGateway[] = "+15550000000";  // the simulator's default number
constexpr char kOwner[] = "+15550001111";
constexpr char kAnn[] = "+15550002222";
constexpr char kBob[] = "+15550003333";
constexpr uint32_t kWaitMs = 30000;
using Str = const std::string&;
using Words = std::vector<std::string>;

// How often `piece` occurs in `text`.
size_t Count(Str text, Str piece) {
  size_t count = 0;
  for (size_t at = 0; (at = text.find(piece, at)) != std::string::npos; ++at) ++count;
  return count;
}

// Every piece in this order.
::testing::AssertionResult InOrder(Str text, const Words& pieces) {
  size_t at = 0;
  for (Str piece : pieces)
    if ((at = text.find(piece, at)) == std::string::npos)
      return ::testing::AssertionFailure() << piece << " in:\n" << text;
  return ::testing::AssertionSuccess();
}

// "TO <- FROM  TEXT", as the simulator shows a message.
std::string Shown(Str to, Str from, Str text) { return to + " <- " + from + "  " + text; }
std::string Basic(Str user_and_password) { return "Basic " + Base64Encode(user_and_password); }
const std::string kGood = Basic(std::string(kOwner) + ":owner:secret");

std::string Request(Str query, const std::optional<std::string>& auth = kGood) {
  return "GET /?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         (auth ? "Authorization: " + *auth + "\r\n" : "") + "\r\n";
}

// The whole answer, read until the server closes the connection.
std::string ReadAll(platform::Socket& socket) {
  std::string raw;
  char chunk[4096];
  long n = 0;
  while (platform::WaitReadableMs(socket, kWaitMs) == 1 &&
         (n = platform::Receive(socket, chunk, sizeof chunk)) > 0)
    raw.append(chunk, static_cast<size_t>(n));
  return raw;
}

class SimTest : public ::testing::Test {
 protected:
  void TearDown() override { serve_.Kill(); }

  // Runs the simulator to its end (killed after three minutes), taking what a running `serve`
  // prints meanwhile so that it never blocks on a pipe.
  RunResult Sim(Words argv, const std::optional<std::string>& input = std::nullopt) {
    argv.insert(argv.begin(), KavrelSimProgram());
    platform::EnvChanges env = {{kDataHomeVariable, data_dir_}, {kAdminModeVariable, std::nullopt}};
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    platform::Child child = platform::Child::Start(argv, env, /*capture_output=*/true, input);
    const uint32_t start = platform::TickCountMs();
    while (child.started() && !child.Wait(20)) {
      if (serve_.started()) serve_.Wait(0);
      if (platform::TickCountMs() - start > 6 * kWaitMs) child.Kill();
    }
    return {child.started() && !child.killed_by_signal(), child.exit_code(), child.output()};
  }

  std::string SimOk(const Words& args) {
    const RunResult run = Sim(args);
    EXPECT_TRUE(run.finished && run.exit_code == 0) << args[0] << ": " << run.output;
    return run.output;
  }

  // Writes a free port into HOLLIN.INI, and starts `serve` there unless told not to (again on
  // another port when that one was taken meanwhile), under `argv`, a command line's start.
  bool Init(bool serve, Words argv = {}) {
    argv.insert(argv.end(), {KavrelSimProgram(), "serve"});
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = platform::LocalPort(platform::Listen(platform::kLoopbackAddress, 0, 1));
      SimOk({"init", "--port", std::to_string(port_)});
      SimOk({"user", "add", kOwner, "owner:secret"});
      if (!serve) return true;
      serve_ = platform::Child::Start(argv, {{kDataHomeVariable, data_dir_}}, true);
      const std::string ready = "Serving submissions on 127.0.0.1:" + std::to_string(port_);
      const uint32_t start = platform::TickCountMs();
      while (serve_.started() && !serve_.Wait(20)) {
        if (serve_.output().find(ready) != std::string::npos) return true;
        if (platform::TickCountMs() - start > kWaitMs) return false;
      }
    }
    return false;
  }

  bool Send(platform::Socket& socket, Str request) const {
    socket = platform::OpenStreamSocket();
    return platform::Connect(socket, platform::kLoopbackAddress, port_) &&
           platform::SendAll(socket, request.data(), request.size());
  }
  std::string Exchange(Str request) {
    platform::Socket socket;
    return Send(socket, request) ? ReadAll(socket) : "";
  }
  int Status(Str request) {
    const std::string answer = Exchange(request);
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
  }

  std::string Hollin(Str key) const {
    return platform::ProfileReadString(data_dir_ + kGatewayConfigName, kGatewaySection, key, "",
                                       kMaxWorkChars + 1);
  }
  std::string Read(Str name) const {
    std::string contents;
    platform::ReadWholeFile(data_dir_ + name, &contents);
    return contents;
  }
  std::string Log() const { return Read(kMessageLogName); }
  // The port, the address and the receiving number (the receive command's last field).
  std::string Config() const {
    const std::string command = Hollin(kReceiveCommandKey);
    return Hollin(kWebPortKey) + " " + Hollin(kIpAddressKey) + " " +
           command.substr(command.rfind('\t') + 1);
  }

  MorvaneHome home_;
  std::string data_dir_ = home_.path();  // KAVREL_HOME of the runs
  platform::EnvChanges extra_env_;
  platform::Child serve_;
  uint16_t port_ = 0;
};

TEST_F(SimTest, InitAndUserKeepWhatIsThere) {
  const std::string sep(1, platform::PathSeparator());
  data_dir_ = home_.path() + "made" + sep + "by" + sep;
  for (const char* port : {"0", "65536", "-1", "port"})
    EXPECT_EQ(Sim({"init", "--port", port}).exit_code, 2) << port;
  EXPECT_FALSE(platform::PathExists(data_dir_ + kGatewayConfigName));
  EXPECT_EQ(SimOk({"init"}), data_dir_ + "\n");
  EXPECT_EQ(Config(), "8800 127.0.0.1 " + std::string(kGateway));
  EXPECT_TRUE(platform::PathExists(data_dir_ + kUsersFileName));
  // Values already there are kept; only a port on the command line replaces the one in the file.
  ASSERT_TRUE(platform::ProfileWriteString(data_dir_ + kGatewayConfigName, kGatewaySection,
                                           kIpAddressKey, "localhost"));
  SimOk({"init", "--number", "4000", "--port", "65535"});
  EXPECT_EQ(Config(), "65535 localhost " + std::string(kGateway));
  data_dir_ += "new" + sep;
  SimOk({"init", "--number", "4000", "--port", "1"});
  EXPECT_EQ(Config(), "1 127.0.0.1 4000");
  SimOk({"user", "add", kOwner, "secret"});
  SimOk({"user", "add", "nopass"});
  SimOk({"user", "add", kOwner, "changed"});
  EXPECT_EQ(SimOk({"user", "list"}), std::string(kOwner) + "\nnopass\n");
  const std::string users = Read(kUsersFileName);
  EXPECT_NE(users.find(std::string(kOwner) + "=changed"), std::string::npos) << users;
  for (const Words& args : std::vector<Words>{
           {"user"}, {"user", "add"}, {"user", "remove"}, {"user", "rename", kOwner}})
    EXPECT_EQ(Sim(args).exit_code, 2) << args.back();
  EXPECT_EQ(Read(kUsersFileName), users);
  SimOk({"user", "remove", kOwner});
  Sim({"user", "remove", "nobody"});
  EXPECT_EQ(SimOk({"user", "list"}), "nopass\n");
}

// `serve` runs under a limit of open files: any file, socket or account list
// a connection left open would make it fail long before the end.
TEST_F(SimTest, ServeAnswersLogsAndKeepsServing) {
  const bool sh = !OnWindows() && std::filesystem::exists("/bin/sh");
  ASSERT_TRUE(
      Init(true, sh ? Words{"/bin/sh", "-c", "ulimit -n 64 && exec \"$0\" \"$@\""} : Words{}));
  SimOk({"user", "add", "nopass"});
  const std::string answer = Exchange(Request(
      "sender=%2B15550000000&phonenumber=%2B15550002222&text=Hi%20%26%20bye%2B1%0D%0A%09tab%5C"
      "slash%01%1B"));
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
  EXPECT_LT(answer.find("\r\n\r\n") + 4, answer.size()) << "no body: " << answer;
  // Logged with date and account, escaped; shown with the line break continued and no raw escape
  // for the terminal.
  const std::string log = Log();
  ASSERT_EQ(log.find('\t'), std::string("2024-01-31 12:00:00").size()) << log;
  EXPECT_EQ(log.substr(log.find('\t')), std::string("\t") + kOwner + "\t" + kGateway + "\t" + kAnn +
                                            "\tHi & bye+1\\r\\n\\ttab\\\\slash\\x01\\x1B\n");
  serve_.Wait(0);
  EXPECT_TRUE(
      InOrder(serve_.output(), {Shown(kAnn, kGateway, "Hi & bye+1"), "\ttab\\slash\\x01\\x1B"}));
  EXPECT_EQ(serve_.output().find('\x1B'), std::string::npos);
  // Refused, unlogged: bad or missing credentials (with a challenge), no number, no request line.
  const std::string query = "sender=1&phonenumber=2&text=x";
  EXPECT_EQ(Status(Request(query, Basic("nopass:"))), 200);
  for (const std::optional<std::string>& auth : std::vector<std::optional<std::string>>{
           Basic(std::string(kOwner) + ":owner"), Basic(std::string(kOwner) + ":"), Basic(kOwner),
           Basic("nopass:x"), Basic("+15559999999:owner:secret"), std::nullopt,
           "Bearer " + Base64Encode(std::string(kOwner) + ":owner:secret"), "Basic *!*"}) {
    const std::string refused = Exchange(Request(query, auth));
    EXPECT_EQ(refused.rfind("HTTP/1.1 401", 0), 0u) << auth.value_or("none");
    EXPECT_NE(ToUpperAscii(refused).find("\r\nWWW-AUTHENTICATE:"), std::string::npos) << refused;
  }
  for (Str bad : {Request("sender=1&text=x"), Request(""), Request("sender=1&phone=2&text=x"),
                  std::string("GARBAGE\r\n\r\n")})
    EXPECT_EQ(Status(bad), 400) << bad;
  EXPECT_EQ(Count(Log(), "\n"), 2u);
  // A second serve on the port fails; `receive` leaves the reply's submission to the running one.
  EXPECT_EQ(Sim({"serve"}).exit_code, 1);
  ASSERT_EQ(home_.RunTool({"CREATE", "Friends", kOwner}).exit_code, 0);
  const std::string joined = SimOk({"receive", kAnn, "JOIN", "Friends", "Ann"});
  const std::string reply = Shown(kAnn, kGateway, "You have joined the group Friends.");
  EXPECT_EQ(Count(joined, reply), 0u) << joined;
  serve_.Wait(0);
  EXPECT_EQ(Count(serve_.output(), reply), 1u);
  // Connections one by one (every fourth closed without a request: 1 when it was made), then
  // forty at once, every request sent before any answer is read.
  for (int i = 0; i < 200; ++i) {
    const std::string query =
        i % 4 == 2 ? "text=x" : "sender=1&phonenumber=" + std::to_string(i) + "&text=x";
    platform::Socket closed;
    const int status =
        i % 4 == 3 ? Send(closed, "") : Status(Request(query, i % 4 == 1 ? Basic("x:y") : kGood));
    ASSERT_EQ(status, (std::vector{200, 401, 400, 1}[i % 4])) << i;
    if (i % 50 == 0) serve_.Wait(0);
  }
  std::vector<platform::Socket> open(40);
  for (platform::Socket& socket : open)
    ASSERT_TRUE(Send(socket, Request("sender=1&phonenumber=2&text=burst")));
  for (platform::Socket& socket : open) EXPECT_EQ(ReadAll(socket).rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(Count(Log(), "\n"), 3 + 50 + open.size());  // 3 before, 50 of the 200
  EXPECT_FALSE(serve_.Wait(0)) << "serve ended: " << serve_.output();
}

TEST_F(SimTest, ReceiveAndChatHandMessagesToMorvane) {
  // The receiving number comes from the configuration.
  const std::string g = "+15557654321";
  SimOk({"init", "--number", g});
  ASSERT_TRUE(Init(false));
  EXPECT_TRUE(
      InOrder(SimOk({"receive", kOwner, "CREATE", "Friends"}),
              {Shown(g, kOwner, "CREATE Friends"), Shown(kOwner, g, "Group Friends created.")}));
  // A reply on standard output is logged without an account; --to sets the receiving number.
  EXPECT_TRUE(InOrder(
      SimOk({"receive", "--to", "4000", kAnn, "TEST", "me"}),
      {Shown("4000", kAnn, "TEST me"), Shown(kAnn, "4000", "Why are you trying to test me?")}));
  EXPECT_EQ(Sim({"receive", kAnn}).exit_code, 2);
  const std::string script = home_.path() + "script.txt",
                    lines = std::string("# a comment\n\n") + kAnn + " JOIN Friends Ann\r\n   \n" +
                            kBob + "  JOIN  Friends Bob\n#" + kBob + " @Friends skipped\n" + kAnn +
                            " @Friends hello all";
  ASSERT_TRUE(platform::AppendToFile(script, lines, nullptr));
  const std::string chat = SimOk({"chat", "--script", script});
  EXPECT_TRUE(InOrder(
      chat,
      {Shown(g, kAnn, "JOIN Friends Ann"), Shown(kAnn, g, "You have joined the group Friends."),
       Shown(kBob, g, "You have joined the group Friends."),
       Shown(kOwner, g, "@Friends:Ann hello all"), Shown(kBob, g, "@Friends:Ann hello all"),
       Shown(kAnn, g, "Message forwarded to 2 member(s)")}));
  EXPECT_EQ(Count(chat, g + " <- "), 3u) << chat;
  const std::string log = Log();
  EXPECT_TRUE(InOrder(
      log, {std::string("\t") + kOwner + "\t" + g + "\t" + kOwner + "\tGroup Friends created.",
            "\t-\t4000\t" + std::string(kAnn) + "\tWhy are you trying to test me?\n",
            "\t" + std::string(kOwner) + "\t" + g + "\t" + kAnn + "\tYou have joined"}));
  EXPECT_EQ(Count(log, "\n"), 7u);
  const RunResult typed = Sim({"chat"}, std::string(kAnn) + " HELP\n" + kBob + " TEST two\n");
  EXPECT_TRUE(InOrder(typed.output, {Shown(kAnn, g, "Help is not yet available."),
                                     Shown(kBob, g, "Why are you trying to test two?")}));
  EXPECT_EQ(Sim({"chat", "--script", home_.path() + "none.txt"}).exit_code, 1);
}

TEST_F(SimTest, DemoPlaysTheWholeStoryAndCleansUpOnRequest) {
  const std::string temp = home_.path() + "tmp" + platform::PathSeparator();
  ASSERT_TRUE(std::filesystem::create_directory(temp));
  extra_env_ = {{"TMPDIR", temp}, {"TMP", temp}, {"TEMP", temp}};
  const RunResult run = Sim({"demo"});
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::string heading = "Data directory: " + temp;
  ASSERT_EQ(run.output.rfind(heading, 0), 0u) << run.output;
  const std::string kept = run.output.substr(16, run.output.find('\n') - 16);
  EXPECT_TRUE(platform::PathExists(kept + "Groups/Friends/GROUP.DB"));
  const std::string g = kGateway, carol = "+15550004444";
  EXPECT_TRUE(InOrder(
      run.output,
      {Shown(kOwner, g, "Group Friends created."), Shown(kBob, g, "@Friends:Ann hello everyone"),
       Shown(kAnn, g, "@Friends:Bob (private) see you at 8"),
       Shown(kOwner, g, "Reply 'YES Friends "),
       Shown(kBob, g, "Message forwarded to group Friends administrator"),
       Shown(g, kOwner, "YES Friends "), Shown(kAnn, g, "@Friends:Bob lunch at noon?"),
       Shown(kOwner, g, "@News:Carol is the office open today?"),
       "User Bob (+15550003333) blocked from group Friends.",
       Shown(kBob, g, "Cannot join group Friends, admin has blocked access."),
       Shown(carol, g, "Goodbye."), Shown(kAnn, g, "Why are you trying to test one two?")}));
  // The member list closes the story: the owner and Ann, Bob blocked.
  const std::string members = run.output.substr(run.output.rfind("with morvanectl"));
  EXPECT_TRUE(InOrder(members, {kOwner, kAnn}) && Count(members, kBob) == 0) << members;
  // The YES names the request the held post got.
  EXPECT_EQ(Count(run.output, "YES Friends 0"), 0u) << run.output;
  std::filesystem::remove_all(kept);
  EXPECT_EQ(Sim({"demo", "--clean"}).output.rfind(heading, 0), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(temp));
}

}  // namespace
