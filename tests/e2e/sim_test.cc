// End-to-end runs of the gateway simulator kavrel-sim as a process: its
// files, the HTTP submission interface, received messages handed to
// morvane, the chat and the demo story. Every test works in a temporary
// data directory (KAVREL_HOME) and on a free port of 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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

constexpr char kGatewayNumber[] = "+15550000000";  // the simulator's default
constexpr char kOwner[] = "+15550001111";
constexpr char kOwnerPassword[] = "owner:secret";
constexpr char kAnn[] = "+15550002222";
constexpr char kBob[] = "+15550003333";
constexpr char kShell[] = "/bin/sh";
constexpr uint32_t kLongRunMs = 180000;  // runs that start many processes
constexpr uint32_t kWaitMs = 30000;      // for `serve` to listen, an answer to come
constexpr uint32_t kPollMs = 20;

// A POSIX shell for the tests that need one (Wine would find the host's
// /bin/sh too, but cannot start a Windows program from it).
bool HaveShell() { return !OnWindows() && std::filesystem::exists(kShell); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    if (separator == '\n' && !part.empty() && part.back() == '\r') part.pop_back();
    if (separator != '\n' || end < text.size() || !part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

size_t CountLinesWith(const std::string& output, std::string_view piece) {
  size_t count = 0;
  for (const std::string& line : Split(output, '\n')) count += line.find(piece) != line.npos;
  return count;
}

// Every piece on a line of its own, in this order (other lines between).
::testing::AssertionResult HasLinesInOrder(const std::string& output,
                                           const std::vector<std::string>& pieces) {
  const std::vector<std::string> lines = Split(output, '\n');
  size_t next = 0;
  for (const std::string& piece : pieces) {
    while (next < lines.size() && lines[next].find(piece) == std::string::npos) ++next;
    if (next++ == lines.size()) {
      return ::testing::AssertionFailure() << "no line \"" << piece << "\" in order in:\n"
                                           << output;
    }
  }
  return ::testing::AssertionSuccess();
}

// "TO <- FROM  TEXT", as the simulator shows a message.
std::string Shown(std::string_view to, std::string_view from, std::string_view text) {
  return std::string(to) + " <- " + std::string(from) + "  " + std::string(text);
}

std::string Basic(std::string_view user_and_password) {
  return "Basic " + Base64Encode(user_and_password);
}

std::string Request(std::string_view target, const std::optional<std::string>& authorization) {
  std::string request = "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (authorization) request += "Authorization: " + *authorization + "\r\n";
  return request + "\r\n";
}

// Reads an answer until the server closes the connection.
std::string ReadAll(platform::Socket& socket) {
  std::string raw;
  char chunk[4096];
  while (platform::WaitReadableMs(socket, kWaitMs) == 1) {
    const long n = platform::Receive(socket, chunk, sizeof chunk);
    if (n <= 0) break;
    raw.append(chunk, static_cast<size_t>(n));
  }
  return raw;
}

// Sends `request` as it is on a connection of its own; the whole answer.
std::string Exchange(uint16_t port, std::string_view request) {
  platform::Socket socket = platform::OpenStreamSocket();
  if (!socket.valid() || !platform::Connect(socket, platform::kLoopbackAddress, port) ||
      !platform::SendAll(socket, request.data(), request.size())) {
    return "";
  }
  return ReadAll(socket);
}

int Status(const std::string& answer) {
  return answer.rfind("HTTP/1.1 ", 0) == 0 ? static_cast<int>(ParseLeadingLong(answer.substr(9)))
                                           : 0;
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(data_dir_.empty()); }
  void TearDown() override { serve_.Kill(); }

  platform::EnvChanges Env() const {
    platform::EnvChanges env = {{kDataHomeVariable, data_dir_}, {kAdminModeVariable, std::nullopt}};
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    return env;
  }

  platform::Child StartSim(const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt) const {
    std::vector<std::string> argv = {KavrelSimProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    return platform::Child::Start(argv, Env(), /*capture_output=*/true, input);
  }

  // Waits for `child` to end, taking what a running `serve` prints meanwhile
  // so that it never blocks on a full pipe; kills it when it takes too long.
  RunResult Finish(platform::Child& child, uint32_t timeout_ms = kRunTimeoutMs) {
    RunResult result;
    if (!child.started()) return result;
    const uint32_t start = platform::TickCountMs();
    while (!child.Wait(kPollMs)) {
      if (serve_.started()) serve_.Wait(0);
      if (platform::TickCountMs() - start >= timeout_ms) child.Kill();
    }
    result.finished = !child.killed_by_signal() && platform::TickCountMs() - start < timeout_ms;
    result.exit_code = child.exit_code();
    result.output = child.output();
    return result;
  }

  RunResult Sim(const std::vector<std::string>& args,
                const std::optional<std::string>& input = std::nullopt,
                uint32_t timeout_ms = kRunTimeoutMs) {
    platform::Child child = StartSim(args, input);
    return Finish(child, timeout_ms);
  }

  // Runs the simulator and expects exit status 0.
  std::string SimOk(const std::vector<std::string>& args, uint32_t timeout_ms = kRunTimeoutMs) {
    const RunResult run = Sim(args, std::nullopt, timeout_ms);
    EXPECT_TRUE(run.finished) << args[0];
    EXPECT_EQ(run.exit_code, 0) << args[0] << ": " << run.output;
    return run.output;
  }

  // Writes a free port (and `init_args`) into HOLLIN.INI.
  void InitOnFreePort(std::vector<std::string> init_args = {}) {
    const platform::Socket probe = platform::Listen(platform::kLoopbackAddress, 0, 1);
    port_ = probe.valid() ? platform::LocalPort(probe) : 0;
    ASSERT_NE(port_, 0);
    init_args.insert(init_args.begin(), {"init", "--port", std::to_string(port_)});
    SimOk(init_args);
  }

  // Starts `serve` (under `wrapper`, a command line that ends in the
  // program) on a free port, again on another port when the first is taken
  // by then. True once it listens.
  bool StartServe(const std::vector<std::string>& wrapper = {}) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      InitOnFreePort();
      std::vector<std::string> argv = wrapper;
      argv.push_back(KavrelSimProgram());
      argv.push_back("serve");
      serve_ = platform::Child::Start(argv, Env(), /*capture_output=*/true);
      const std::string listening = "Serving submissions on 127.0.0.1:" + std::to_string(port_);
      const uint32_t start = platform::TickCountMs();
      while (serve_.started() && !serve_.Wait(kPollMs)) {
        if (serve_.output().find(listening) != std::string::npos) return true;
        if (platform::TickCountMs() - start >= kWaitMs) return false;
      }
    }
    return false;
  }

  std::string ServeOutput() {
    serve_.Wait(0);
    return serve_.output();
  }

  int Get(std::string_view target, const std::optional<std::string>& authorization) {
    return Status(Exchange(port_, Request(target, authorization)));
  }

  std::string Hollin(std::string_view key) const {
    return platform::ProfileReadString(data_dir_ + kGatewayConfigName, kGatewaySection, key, "",
                                       kMaxWorkChars + 1);
  }
  // The receiving number of the configured receive command.
  std::string ReceiveNumber() const {
    const std::vector<std::string> fields = Split(Hollin(kReceiveCommandKey), '\t');
    return fields.size() >= 4 ? fields[3] : "(none)";
  }

  std::string ReadData(std::string_view name) const {
    std::string contents;
    platform::ReadWholeFile(data_dir_ + std::string(name), &contents);
    return contents;
  }
  std::vector<std::string> LogLines() const { return Split(ReadData(kMessageLogName), '\n'); }
  std::vector<std::string> LogFields(size_t line) const {
    const std::vector<std::string> log = LogLines();
    return line < log.size() ? Split(log[line], '\t') : std::vector<std::string>{};
  }

  // A group of the owner made with morvanectl, with `members` added.
  void MakeGroup(const std::string& group,
                 const std::vector<std::pair<std::string, std::string>>& members) {
    ASSERT_EQ(home_.RunTool({"CREATE", group, kOwner}).exit_code, 0);
    for (const auto& [phone, name] : members) {
      ASSERT_EQ(home_.RunTool({"ADMIN", group, "ADD", phone, name}).output, "OK\r\n") << phone;
    }
  }

  MorvaneHome home_;
  std::string data_dir_ = home_.path();  // KAVREL_HOME of the runs
  platform::EnvChanges extra_env_;
  platform::Child serve_;
  uint16_t port_ = 0;
};

TEST_F(SimTest, InitWritesDefaultsKeepsValuesAndChecksThePort) {
  const std::string sep(1, platform::PathSeparator());
  data_dir_ = home_.path() + "made" + sep + "by" + sep + "init" + sep;
  for (const char* port : {"0", "65536", "-1", "port"}) {
    EXPECT_EQ(Sim({"init", "--port", port}).exit_code, 2) << port;
    EXPECT_FALSE(platform::PathExists(data_dir_ + kGatewayConfigName)) << port;
  }
  EXPECT_EQ(SimOk({"init"}), data_dir_ + "\n");
  EXPECT_TRUE(platform::IsFolder(data_dir_));
  EXPECT_EQ(Hollin(kWebPortKey), "8800");
  EXPECT_EQ(Hollin(kIpAddressKey), "127.0.0.1");
  EXPECT_EQ(ReceiveNumber(), kGatewayNumber);
  EXPECT_TRUE(platform::PathExists(data_dir_ + kUsersFileName));
  EXPECT_EQ(ReadData(kUsersFileName), "");

  int n = 0;
  for (const auto& [args, port, number] :
       std::vector<std::tuple<std::vector<std::string>, std::string, std::string>>{
           {{"--port", "1"}, "1", kGatewayNumber},
           {{"--port", "65535"}, "65535", kGatewayNumber},
           {{"--number", "4000", "--port", "18080"}, "18080", "4000"}}) {
    data_dir_ = home_.path() + "case" + std::to_string(n++) + sep;
    std::vector<std::string> init = {"init"};
    init.insert(init.end(), args.begin(), args.end());
    SimOk(init);
    EXPECT_EQ(Hollin(kWebPortKey), port);
    EXPECT_EQ(ReceiveNumber(), number);
  }

  // Values already there are kept, and the accounts; only a port given on
  // the command line replaces the one in the file.
  data_dir_ = home_.path();
  const std::string hollin = data_dir_ + kGatewayConfigName;
  const std::string command = "other\t/x\tmine\t+15559990000";
  for (const auto& [key, value] : {std::pair<std::string, std::string>{kWebPortKey, "9123"},
                                   {kIpAddressKey, "localhost"},
                                   {kReceiveCommandKey, command},
                                   {"LogLevel", "3"}}) {
    ASSERT_TRUE(platform::ProfileWriteString(hollin, kGatewaySection, key, value));
  }
  ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
  const std::string users = ReadData(kUsersFileName);
  SimOk({"init", "--number", "+15557654321"});
  EXPECT_EQ(Hollin(kWebPortKey), "9123");
  SimOk({"init", "--port", "9124"});
  EXPECT_EQ(Hollin(kWebPortKey), "9124");
  EXPECT_EQ(Hollin(kIpAddressKey), "localhost");
  EXPECT_EQ(Hollin(kReceiveCommandKey), command);
  EXPECT_EQ(Hollin("LogLevel"), "3");
  EXPECT_EQ(ReadData(kUsersFileName), users);
}

TEST_F(SimTest, UserAddListRemove) {
  SimOk({"init"});
  const std::string users = data_dir_ + kUsersFileName;
  auto password = [&](const char* name) {
    return platform::ProfileReadString(users, kUsersSection, name, "(none)", kProfileValueBuffer);
  };
  SimOk({"user", "add", kOwner, kOwnerPassword});
  SimOk({"user", "add", "nopass"});
  EXPECT_EQ(SimOk({"user", "list"}), std::string(kOwner) + "\nnopass\n");
  EXPECT_EQ(password(kOwner), kOwnerPassword);
  EXPECT_EQ(password("nopass"), "");  // an account with an empty password
  SimOk({"user", "add", kOwner, "changed"});
  EXPECT_EQ(password(kOwner), "changed");
  // Commands without their arguments change nothing.
  const std::string before = ReadData(kUsersFileName);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"user"}, {"user", "add"}, {"user", "remove"}, {"user", "rename", kOwner}}) {
    EXPECT_EQ(Sim(args).exit_code, 2) << args.back();
    EXPECT_EQ(ReadData(kUsersFileName), before) << args.back();
  }
  SimOk({"user", "remove", kOwner});
  Sim({"user", "remove", "nobody"});
  EXPECT_EQ(SimOk({"user", "list"}), "nopass\n");
  EXPECT_EQ(password(kOwner), "(none)");
}

// `serve` runs under a limit of open files: any file, socket or account list
// a connection left open would make it fail long before the end.
TEST_F(SimTest, ServeAnswersLogsAndKeepsServing) {
  std::vector<std::string> wrapper;
  if (HaveShell()) wrapper = {kShell, "-c", "ulimit -n 64 && exec \"$0\" \"$@\""};
  ASSERT_TRUE(StartServe(wrapper));
  SimOk({"user", "add", kOwner, kOwnerPassword});
  SimOk({"user", "add", "nopass"});
  const std::string good = Basic(std::string(kOwner) + ":" + kOwnerPassword);

  const std::string answer = Exchange(
      port_, Request("/?sender=%2B15550000000&phonenumber=%2B15550002222&text=Hi%20%26%20bye%2B1"
                     "%0D%0A%09tab%5Cslash%01%1B",
                     good));
  EXPECT_EQ(Status(answer), 200) << answer;
  const size_t body = answer.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  EXPECT_GT(answer.size(), body + 4) << "no body";
  const std::vector<std::string> fields = LogFields(0);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].size(), std::string_view("2024-01-31 12:00:00").size()) << fields[0];
  EXPECT_EQ(fields[1], kOwner);
  EXPECT_EQ(fields[2], kGatewayNumber);
  EXPECT_EQ(fields[3], kAnn);
  EXPECT_EQ(fields[4], "Hi & bye+1\\r\\n\\ttab\\\\slash\\x01\\x1B");
  // Shown with the line break continued, and no raw escape for the terminal.
  const std::string shown = ServeOutput();
  EXPECT_TRUE(HasLinesInOrder(shown, {Shown(kAnn, kGatewayNumber, "Hi & bye+1")}));
  EXPECT_NE(shown.find("\ttab\\slash\\x01\\x1B"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1B'), std::string::npos);

  // Refused: wrong or missing credentials (with a challenge), and requests
  // without a phone number or a request line. None is logged.
  const std::string query = "/?sender=1&phonenumber=2&text=x";
  EXPECT_EQ(Get(query, Basic("nopass:")), 200);
  for (const std::optional<std::string>& authorization : std::vector<std::optional<std::string>>{
           Basic(std::string(kOwner) + ":wrong"), Basic(std::string(kOwner) + ":owner"),
           Basic(std::string(kOwner) + ":"), Basic(kOwner), Basic("nopass:x"),
           Basic(std::string("+15559999999:") + kOwnerPassword), std::nullopt,
           "Bearer " + Base64Encode(std::string(kOwner) + ":" + kOwnerPassword), "Basic *!*"}) {
    const std::string refused = Exchange(port_, Request(query, authorization));
    EXPECT_EQ(Status(refused), 401) << authorization.value_or("none");
    EXPECT_NE(ToUpperAscii(refused).find("\r\nWWW-AUTHENTICATE:"), std::string::npos) << refused;
  }
  for (const char* target : {"/?sender=1&text=x", "/", "/?sender=1&phone=2&text=x"}) {
    EXPECT_EQ(Get(target, good), 400) << target;
  }
  EXPECT_EQ(Status(Exchange(port_, "GARBAGE\r\n\r\n")), 400);
  EXPECT_EQ(LogLines().size(), 2u);

  // A second serve on the same port ends with an error; the first goes on.
  const RunResult second = Sim({"serve"});
  EXPECT_TRUE(second.finished);
  EXPECT_EQ(second.exit_code, 1);
  // `receive` leaves the reply submission to the running serve.
  MakeGroup("Friends", {});
  const std::string joined = SimOk({"receive", kAnn, "JOIN", "Friends", "Ann"});
  const std::string reply = Shown(kAnn, kGatewayNumber, "You have joined the group Friends.");
  EXPECT_EQ(CountLinesWith(joined, reply), 0u) << joined;
  EXPECT_EQ(CountLinesWith(ServeOutput(), reply), 1u);

  // Many connections one after another, then many at once: every request is
  // sent before any answer is read.
  size_t logged = 3;
  for (int i = 0; i < 200; ++i) {
    const std::string target = "/?sender=1&phonenumber=" + std::to_string(i) + "&text=x";
    if (i % 4 == 0) {
      ASSERT_EQ(Get(target, good), 200) << i;
      ++logged;
    } else if (i % 4 == 1) {
      ASSERT_EQ(Get(target, Basic(std::string(kOwner) + ":wrong")), 401) << i;
    } else if (i % 4 == 2) {
      ASSERT_EQ(Get("/?text=x", good), 400) << i;
    } else {  // a connection closed without a request
      platform::Socket socket = platform::OpenStreamSocket();
      ASSERT_TRUE(platform::Connect(socket, platform::kLoopbackAddress, port_)) << i;
    }
    if (i % 50 == 0) serve_.Wait(0);
  }
  std::vector<platform::Socket> open;
  for (int i = 0; i < 40; ++i) {
    open.push_back(platform::OpenStreamSocket());
    ASSERT_TRUE(platform::Connect(open.back(), platform::kLoopbackAddress, port_)) << i;
    const std::string request = Request("/?sender=1&phonenumber=2&text=burst", good);
    ASSERT_TRUE(platform::SendAll(open.back(), request.data(), request.size()));
  }
  for (platform::Socket& socket : open) {
    EXPECT_EQ(Status(ReadAll(socket)), 200);
    ++logged;
  }
  EXPECT_EQ(LogLines().size(), logged);
  EXPECT_FALSE(serve_.Wait(0)) << "serve ended: " << serve_.output();
}

TEST_F(SimTest, PostsAtOnceAreAllLogged) {
  constexpr size_t kGroupSize = 10;
  ASSERT_TRUE(StartServe());
  SimOk({"user", "add", kOwner, kOwnerPassword});
  std::vector<std::pair<std::string, std::string>> everyone = {{kOwner, "Admin"}};
  for (size_t i = 1; i < kGroupSize; ++i) {
    everyone.push_back({"+1555001000" + std::to_string(i), "M" + std::to_string(i)});
  }
  MakeGroup("Friends", {everyone.begin() + 1, everyone.end()});
  std::vector<platform::Child> runs;
  for (const auto& [phone, name] : everyone) {
    runs.push_back(StartSim({"receive", phone, "@Friends", "post", "from", name}));
  }
  for (platform::Child& run : runs) {
    const RunResult result = Finish(run, kLongRunMs);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0) << result.output;
  }
  // Each post reaches the others and its poster hears of it.
  const size_t others = kGroupSize - 1;
  const std::string all = ReadData(kMessageLogName);
  EXPECT_EQ(LogLines().size(), kGroupSize * kGroupSize);
  EXPECT_EQ(CountLinesWith(all, "Message forwarded to " + std::to_string(others) +
                                    " member(s) of group Friends"),
            kGroupSize);
  for (const auto& [phone, name] : everyone) {
    EXPECT_EQ(CountLinesWith(all, std::string("\t") + kGatewayNumber + "\t" + phone + "\t"),
              kGroupSize)
        << phone;
    EXPECT_EQ(CountLinesWith(all, "\t@Friends:" + name + " post from " + name), others) << name;
  }
  EXPECT_EQ(CountLinesWith(ServeOutput(), " <- " + std::string(kGatewayNumber) + "  "),
            kGroupSize * kGroupSize);
}

TEST_F(SimTest, ReceiveHandsTheMessageToMorvaneAndServesItsReply) {
  const std::string number = "+15557654321";
  InitOnFreePort({"--number", number});
  SimOk({"user", "add", kOwner, kOwnerPassword});
  EXPECT_TRUE(HasLinesInOrder(
      SimOk({"receive", kOwner, "CREATE", "Friends"}),
      {Shown(number, kOwner, "CREATE Friends"), Shown(kOwner, number, "Group Friends created.")}));
  EXPECT_TRUE(HasLinesInOrder(SimOk({"receive", kAnn, "JOIN", "Friends", "Ann"}),
                              {Shown(number, kAnn, "JOIN Friends Ann"),
                               Shown(kAnn, number, "You have joined the group Friends.")}));
  // A reply on standard output is shown and logged without an account.
  EXPECT_TRUE(HasLinesInOrder(
      SimOk({"receive", kAnn, "HELP"}),
      {Shown(number, kAnn, "HELP"), Shown(kAnn, number, "Help is not yet available.")}));
  EXPECT_TRUE(HasLinesInOrder(
      SimOk({"receive", "--to", "4000", kAnn, "TEST", "me"}),
      {Shown("4000", kAnn, "TEST me"), Shown(kAnn, "4000", "Why are you trying to test me?")}));
  EXPECT_EQ(Sim({"receive", kAnn}).exit_code, 2);
  // Each reply went through the gateway once, under the owner's account.
  ASSERT_EQ(LogLines().size(), 4u);
  const std::vector<std::string> joined = LogFields(1);
  const std::vector<std::string> help = LogFields(2);
  ASSERT_EQ(joined.size(), 5u);
  ASSERT_EQ(help.size(), 5u);
  EXPECT_EQ(joined[1] + "|" + joined[2] + "|" + joined[3], kOwner + ("|" + number) + "|" + kAnn);
  EXPECT_EQ(joined[4].rfind("You have joined the group Friends.", 0), 0u) << joined[4];
  EXPECT_EQ(help[1] + "|" + help[2] + "|" + help[3], "-|" + number + "|" + kAnn);
  EXPECT_EQ(help[4], "Help is not yet available.");
}

TEST_F(SimTest, ChatPlaysAScriptOrStandardInput) {
  InitOnFreePort();
  SimOk({"user", "add", kOwner, kOwnerPassword});
  const std::string script = home_.path() + "script.txt";
  ASSERT_TRUE(platform::AppendToFile(script,
                                     std::string("# the owner starts a group\n\n") + kOwner +
                                         " CREATE Friends\r\n" + kAnn + " JOIN Friends Ann\n   \n" +
                                         kBob + "  JOIN  Friends Bob\n#" + kBob +
                                         " @Friends skipped\n" + kAnn + " @Friends hello all",
                                     nullptr));
  const RunResult run = Sim({"chat", "--script", script}, std::nullopt, kLongRunMs);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  const std::string g = kGatewayNumber;
  EXPECT_TRUE(HasLinesInOrder(
      run.output,
      {Shown(g, kOwner, "CREATE Friends"), Shown(kOwner, g, "Group Friends created."),
       Shown(g, kAnn, "JOIN Friends Ann"), Shown(kAnn, g, "You have joined the group Friends."),
       Shown(g, kBob, "JOIN Friends Bob"), Shown(kBob, g, "You have joined the group Friends."),
       Shown(g, kAnn, "@Friends hello all"), Shown(kOwner, g, "@Friends:Ann hello all"),
       Shown(kBob, g, "@Friends:Ann hello all"),
       Shown(kAnn, g, "Message forwarded to 2 member(s) of group Friends")}));
  EXPECT_EQ(CountLinesWith(run.output, g + " <- "), 4u) << run.output;
  EXPECT_EQ(CountLinesWith(run.output, "skipped"), 0u);
  EXPECT_EQ(LogLines().size(), 6u);

  const RunResult typed = Sim({"chat"}, std::string(kAnn) + " HELP\n" + kBob + " TEST two\n");
  EXPECT_EQ(typed.exit_code, 0);
  EXPECT_TRUE(HasLinesInOrder(typed.output, {Shown(kAnn, g, "Help is not yet available."),
                                             Shown(kBob, g, "Why are you trying to test two?")}));
  EXPECT_EQ(Sim({"chat", "--script", home_.path() + "none.txt"}).exit_code, 1);
}

// The second line is written only once the first has been answered: a chat
// that waited for more input before acting would never answer it.
TEST_F(SimTest, ChatAnswersEachLineAsItArrives) {
  if (!HaveShell()) GTEST_SKIP() << "needs the POSIX shell " << kShell;
  InitOnFreePort();
  const std::string marker = home_.path() + "first-answered";
  // The writer gives up after a minute, so that the chat ends in any case.
  const std::string pipeline =
      "{ printf '%s\\n' \"$1\"; i=0; "
      "while [ ! -e \"$2\" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done; "
      "printf '%s\\n' \"$3\"; } | \"$4\" chat";
  platform::Child chat =
      platform::Child::Start({kShell, "-c", pipeline, "sh", std::string(kAnn) + " HELP", marker,
                              std::string(kAnn) + " TEST again", KavrelSimProgram()},
                             Env(), /*capture_output=*/true);
  ASSERT_TRUE(chat.started());
  const std::string first = Shown(kAnn, kGatewayNumber, "Help is not yet available.");
  bool answered_first = false;
  const uint32_t start = platform::TickCountMs();
  while (!answered_first && !chat.Wait(kPollMs) && platform::TickCountMs() - start < kWaitMs) {
    answered_first = chat.output().find(first) != std::string::npos;
  }
  ASSERT_TRUE(platform::AppendToFile(marker, "", nullptr));
  ASSERT_TRUE(chat.Wait(kLongRunMs));
  EXPECT_TRUE(answered_first) << chat.output();
  EXPECT_EQ(chat.exit_code(), 0);
  EXPECT_TRUE(HasLinesInOrder(
      chat.output(), {first, Shown(kAnn, kGatewayNumber, "Why are you trying to test again?")}));
}

TEST_F(SimTest, DemoPlaysTheWholeStoryAndCleansUpOnRequest) {
  const std::string temp = home_.path() + "tmp" + platform::PathSeparator();
  ASSERT_TRUE(std::filesystem::create_directory(temp));
  // The environment that makes `temp` the temporary folder of a child.
  if (OnWindows()) {
    extra_env_ = {{"TMP", temp}, {"TEMP", temp}};
  } else {
    extra_env_ = {{"TMPDIR", temp}};
  }
  const RunResult run = Sim({"demo"}, std::nullopt, kLongRunMs);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0) << run.output;
  const std::vector<std::string> lines = Split(run.output, '\n');
  ASSERT_GE(lines.size(), 3u);
  const std::string heading = "Data directory: ";
  ASSERT_EQ(lines[0].rfind(heading + temp, 0), 0u) << lines[0];
  const std::string kept = lines[0].substr(heading.size());
  EXPECT_TRUE(platform::PathExists(kept + kGatewayConfigName));
  EXPECT_TRUE(platform::PathExists(kept + "Groups/Friends/GROUP.DB"));
  const std::string g = kGatewayNumber, carol = "+15550004444";
  EXPECT_TRUE(HasLinesInOrder(
      run.output,
      {Shown(kOwner, g, "Group Friends created."), Shown(kOwner, g, "@Friends:Ann hello everyone"),
       Shown(kBob, g, "@Friends:Ann hello everyone"),
       Shown(kAnn, g, "@Friends:Bob (private) see you at 8"),
       Shown(kOwner, g, "Reply 'YES Friends "),
       Shown(kBob, g, "Message forwarded to group Friends administrator"),
       Shown(g, kOwner, "YES Friends "), Shown(kAnn, g, "@Friends:Bob lunch at noon?"),
       Shown(kBob, g, "@Friends:Bob lunch at noon?"),
       Shown(g, carol, "@News is the office open today?"),
       Shown(kOwner, g, "@News:Carol is the office open today?"),
       "User Bob (+15550003333) blocked from group Friends.",
       Shown(kBob, g, "Cannot join group Friends, admin has blocked access."),
       Shown(carol, g, "Goodbye."), Shown(kAnn, g, "Help is not yet available."),
       Shown(kAnn, g, "Why are you trying to test one two?"),
       "members of Friends with morvanectl"}));
  // The YES names the request the held post got.
  EXPECT_EQ(CountLinesWith(run.output, "YES Friends 0"), 0u) << run.output;
  // The member list closes the story: the owner and Ann, Bob blocked.
  EXPECT_EQ(lines[lines.size() - 2], kOwner);
  EXPECT_EQ(lines.back(), kAnn);
  std::filesystem::remove_all(kept);

  const RunResult clean = Sim({"demo", "--clean"}, std::nullopt, kLongRunMs);
  EXPECT_EQ(clean.exit_code, 0);
  EXPECT_TRUE(HasLinesInOrder(clean.output, {heading + temp, "Help is not yet available."}));
  EXPECT_TRUE(std::filesystem::is_empty(temp));
}

}  // namespace
