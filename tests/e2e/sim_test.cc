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

// A POSIX shell for the tests that need one (Wine would find the host's
// /bin/sh too, but cannot start a Windows program from it).
bool HaveShell() { return !OnWindows() && std::filesystem::exists(kShell); }

// The environment that makes `folder` the temporary folder of a child.
platform::EnvChanges TempFolderEnv(const std::string& folder) {
  if (OnWindows()) return {{"TMP", folder}, {"TEMP", folder}};
  return {{"TMPDIR", folder}};
}

// Runs that start many processes (the demo, twenty posts at once).
constexpr uint32_t kLongRunMs = 180000;
// How long `serve` may take to say it listens, and an answer to come.
constexpr uint32_t kStartWaitMs = 30000;
constexpr uint32_t kAnswerWaitMs = 30000;
constexpr uint32_t kPollMs = 20;
constexpr int kPortAttempts = 5;
// Connections `serve` takes one after another, and the open files it gets
// for them: a connection that kept a file open would exhaust them early.
constexpr int kSequentialConnections = 2000;
constexpr char kServeFileLimit[] = "64";
constexpr int kConnectionsAtOnce = 40;
constexpr size_t kGroupSize = 20;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

size_t CountLinesWith(const std::string& output, std::string_view piece) {
  size_t count = 0;
  for (const std::string& line : Lines(output)) count += line.find(piece) != std::string::npos;
  return count;
}

// Every piece on a line of its own, in this order (other lines between).
::testing::AssertionResult HasLinesInOrder(const std::string& output,
                                           const std::vector<std::string>& pieces) {
  const std::vector<std::string> lines = Lines(output);
  size_t next = 0;
  for (const std::string& piece : pieces) {
    while (next < lines.size() && lines[next].find(piece) == std::string::npos) ++next;
    if (next == lines.size()) {
      return ::testing::AssertionFailure() << "no line with \"" << piece << "\" in this order in:\n"
                                           << output;
    }
    ++next;
  }
  return ::testing::AssertionSuccess();
}

// "TO <- FROM  TEXT", as the simulator shows a message.
std::string Shown(std::string_view to, std::string_view from, std::string_view text) {
  return std::string(to) + " <- " + std::string(from) + "  " + std::string(text);
}

uint16_t FreePort() {
  const platform::Socket probe = platform::Listen(platform::kLoopbackAddress, 0, 1);
  return probe.valid() ? platform::LocalPort(probe) : 0;
}

struct HttpAnswer {
  int status = 0;  // 0 when no status line came
  std::string head;
  std::string body;
};

// Sends `request` as it is on a connection of its own and reads the answer
// until the server closes the connection.
HttpAnswer Exchange(uint16_t port, std::string_view request) {
  HttpAnswer answer;
  platform::Socket socket = platform::OpenStreamSocket();
  if (!socket.valid() || !platform::Connect(socket, platform::kLoopbackAddress, port)) {
    return answer;
  }
  if (!platform::SendAll(socket, request.data(), request.size())) return answer;
  std::string raw;
  char chunk[4096];
  while (platform::WaitReadableMs(socket, kAnswerWaitMs) == 1) {
    const long n = platform::Receive(socket, chunk, sizeof chunk);
    if (n <= 0) break;
    raw.append(chunk, static_cast<size_t>(n));
  }
  const size_t end = raw.find("\r\n\r\n");
  answer.head = raw.substr(0, end);
  if (end != std::string::npos) answer.body = raw.substr(end + 4);
  if (raw.rfind("HTTP/1.1 ", 0) == 0)
    answer.status = static_cast<int>(ParseLeadingLong(raw.substr(9)));
  return answer;
}

std::string Basic(std::string_view user_and_password) {
  return "Basic " + Base64Encode(user_and_password);
}

std::string Request(std::string_view target, const std::optional<std::string>& authorization) {
  std::string request = "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (authorization) request += "Authorization: " + *authorization + "\r\n";
  return request + "\r\n";
}

bool HasHeader(const std::string& head, std::string_view name) {
  return ToUpperAscii(head).find("\r\n" + ToUpperAscii(name) + ":") != std::string::npos;
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    data_dir_ = home_.path();
  }

  void TearDown() override { serve_.Kill(); }

  platform::EnvChanges Env() const {
    platform::EnvChanges env = {{kDataHomeVariable, data_dir_}, {kAdminModeVariable, std::nullopt}};
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    return env;
  }

  // Waits for `child` to end, taking what a running `serve` prints meanwhile
  // so that it never blocks on a full pipe. A child that does not end in
  // time is killed.
  bool WaitServing(platform::Child& child, uint32_t timeout_ms) {
    const uint32_t start = platform::TickCountMs();
    while (!child.Wait(kPollMs)) {
      if (serve_.started()) serve_.Wait(0);
      if (platform::TickCountMs() - start >= timeout_ms) {
        child.Kill();
        return false;
      }
    }
    return true;
  }

  platform::Child StartSim(const std::vector<std::string>& args,
                           const std::optional<std::string>& input = std::nullopt) const {
    std::vector<std::string> argv = {KavrelSimProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    return platform::Child::Start(argv, Env(), /*capture_output=*/true, input);
  }

  RunResult Finish(platform::Child& child, uint32_t timeout_ms) {
    RunResult result;
    if (!child.started()) return result;
    result.finished = WaitServing(child, timeout_ms) && !child.killed_by_signal();
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
  std::string SimOk(const std::vector<std::string>& args) {
    const RunResult run = Sim(args);
    EXPECT_TRUE(run.finished) << args[0];
    EXPECT_EQ(run.exit_code, 0) << args[0] << ": " << run.output;
    return run.output;
  }

  // Writes a free port into HOLLIN.INI.
  uint16_t InitOnFreePort() {
    const uint16_t port = FreePort();
    EXPECT_NE(port, 0);
    SimOk({"init", "--port", std::to_string(port)});
    port_ = port;
    return port;
  }

  // Starts `serve` (under `wrapper`, a command line that ends in the
  // program) on a free port, again on another port when the first is taken
  // by then. True once it listens.
  bool StartServe(const std::vector<std::string>& wrapper = {}) {
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
      const uint16_t port = InitOnFreePort();
      std::vector<std::string> argv = wrapper;
      argv.push_back(KavrelSimProgram());
      argv.push_back("serve");
      serve_ = platform::Child::Start(argv, Env(), /*capture_output=*/true);
      if (!serve_.started()) return false;
      const std::string listening = "Serving submissions on 127.0.0.1:" + std::to_string(port);
      const uint32_t start = platform::TickCountMs();
      while (!serve_.Wait(kPollMs)) {
        if (serve_.output().find(listening) != std::string::npos) return true;
        if (platform::TickCountMs() - start >= kStartWaitMs) {
          serve_.Kill();
          return false;
        }
      }
      // It ended: the port was taken in the meantime.
    }
    return false;
  }

  // What `serve` printed so far.
  std::string ServeOutput() {
    serve_.Wait(0);
    return serve_.output();
  }

  std::string Hollin(std::string_view key) const {
    return platform::ProfileReadString(data_dir_ + kGatewayConfigName, kGatewaySection, key, "",
                                       kMaxWorkChars + 1);
  }

  std::string ReadData(std::string_view name) const {
    std::string contents;
    platform::ReadWholeFile(data_dir_ + std::string(name), &contents);
    return contents;
  }

  std::vector<std::string> LogLines() const { return Lines(ReadData(kMessageLogName)); }

  // A group of the owner made with morvanectl, with `members` added.
  void MakeGroup(const std::string& group,
                 const std::vector<std::pair<std::string, std::string>>& members) {
    const RunResult create = home_.RunTool({"CREATE", group, kOwner});
    ASSERT_EQ(create.exit_code, 0) << create.output;
    for (const auto& [phone, name] : members) {
      const RunResult add = home_.RunTool({"ADMIN", group, "ADD", phone, name});
      ASSERT_EQ(add.output, "OK\r\n") << phone;
    }
  }

  MorvaneHome home_;
  std::string data_dir_;  // KAVREL_HOME of the runs; home_.path() unless a test moves it
  platform::EnvChanges extra_env_;
  platform::Child serve_;
  uint16_t port_ = 0;
};

// --- init --------------------------------------------------------------------

TEST_F(SimTest, InitCreatesDirectoryWithDefaults) {
  const std::string separator(1, platform::PathSeparator());
  data_dir_ = home_.path() + "made" + separator + "by" + separator + "init" + separator;
  EXPECT_EQ(SimOk({"init"}), data_dir_ + "\n");
  EXPECT_TRUE(platform::IsFolder(data_dir_));
  EXPECT_EQ(Hollin(kWebPortKey), "8800");
  EXPECT_EQ(Hollin(kIpAddressKey), "127.0.0.1");
  const std::vector<std::string> command = Fields(Hollin(kReceiveCommandKey));
  ASSERT_GE(command.size(), 4u) << Hollin(kReceiveCommandKey);
  EXPECT_EQ(command[3], kGatewayNumber);
  EXPECT_TRUE(platform::PathExists(data_dir_ + kUsersFileName));
  EXPECT_EQ(ReadData(kUsersFileName), "");
}

TEST_F(SimTest, InitTakesNumberAndPortIncludingPortBoundaries) {
  const struct {
    std::vector<std::string> args;
    std::string port;
    std::string number;
  } cases[] = {
      {{"--port", "1"}, "1", kGatewayNumber},
      {{"--port", "65535"}, "65535", kGatewayNumber},
      {{"--number", "+15557654321"}, "8800", "+15557654321"},
      {{"--number", "4000", "--port", "18080"}, "18080", "4000"},
  };
  int index = 0;
  for (const auto& c : cases) {
    data_dir_ = home_.path() + "case" + std::to_string(index++) + platform::PathSeparator();
    std::vector<std::string> args = {"init"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SimOk(args);
    EXPECT_EQ(Hollin(kWebPortKey), c.port) << c.port;
    const std::vector<std::string> command = Fields(Hollin(kReceiveCommandKey));
    ASSERT_GE(command.size(), 4u);
    EXPECT_EQ(command[3], c.number);
  }
}

TEST_F(SimTest, InitRejectsPortOutsideRangeAndWritesNothing) {
  for (const char* port : {"0", "65536", "-1", "port"}) {
    const RunResult run = Sim({"init", "--port", port});
    EXPECT_EQ(run.exit_code, 2) << port;
    EXPECT_FALSE(platform::PathExists(data_dir_ + kGatewayConfigName)) << port;
  }
}

TEST_F(SimTest, InitKeepsExistingValuesAndAccounts) {
  const std::string hollin = data_dir_ + kGatewayConfigName;
  const std::string command = "other\t/x\tmine\t+15559990000";
  ASSERT_TRUE(platform::ProfileWriteString(hollin, kGatewaySection, kWebPortKey, "9123"));
  ASSERT_TRUE(platform::ProfileWriteString(hollin, kGatewaySection, kIpAddressKey, "localhost"));
  ASSERT_TRUE(platform::ProfileWriteString(hollin, kGatewaySection, kReceiveCommandKey, command));
  ASSERT_TRUE(platform::ProfileWriteString(hollin, kGatewaySection, "LogLevel", "3"));
  ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
  const std::string users = ReadData(kUsersFileName);

  SimOk({"init"});
  EXPECT_EQ(Hollin(kWebPortKey), "9123");
  EXPECT_EQ(Hollin(kIpAddressKey), "localhost");
  EXPECT_EQ(Hollin(kReceiveCommandKey), command);
  EXPECT_EQ(Hollin("LogLevel"), "3");
  EXPECT_EQ(ReadData(kUsersFileName), users);

  // A port given on the command line replaces the one in the file.
  SimOk({"init", "--port", "9124"});
  EXPECT_EQ(Hollin(kWebPortKey), "9124");
  EXPECT_EQ(Hollin(kIpAddressKey), "localhost");
  EXPECT_EQ(Hollin(kReceiveCommandKey), command);
  EXPECT_EQ(ReadData(kUsersFileName), users);
}

// --- user ----------------------------------------------------------------------

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
  EXPECT_EQ(SimOk({"user", "list"}), std::string(kOwner) + "\nnopass\n");
  EXPECT_EQ(password(kOwner), "changed");

  SimOk({"user", "remove", kOwner});
  EXPECT_EQ(SimOk({"user", "list"}), "nopass\n");
  EXPECT_EQ(password(kOwner), "(none)");
  Sim({"user", "remove", "nobody"});
  EXPECT_EQ(SimOk({"user", "list"}), "nopass\n");
}

TEST_F(SimTest, UserCommandsWithoutTheirArgumentsChangeNothing) {
  SimOk({"init"});
  SimOk({"user", "add", kOwner, kOwnerPassword});
  const std::string users = ReadData(kUsersFileName);
  const std::vector<std::vector<std::string>> cases = {
      {"user"}, {"user", "add"}, {"user", "remove"}, {"user", "rename", kOwner}};
  for (const auto& args : cases) {
    const RunResult run = Sim(args);
    EXPECT_EQ(run.exit_code, 2) << args.back();
    EXPECT_EQ(ReadData(kUsersFileName), users) << args.back();
  }
}

// --- serve -------------------------------------------------------------------

class SimServeTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(StartServe());
    SimOk({"user", "add", kOwner, kOwnerPassword});
  }

  HttpAnswer Get(std::string_view target, const std::optional<std::string>& authorization) {
    return Exchange(port_, Request(target, authorization));
  }
};

TEST_F(SimServeTest, AcceptedSubmissionIsShownAndLoggedDecoded) {
  const HttpAnswer answer =
      Get("/?sender=%2B15550000000&phonenumber=%2B15550002222&text=Hi%20%26%20bye%2B1%0D%0A"
          "%09tab%5Cslash%01%1B",
          Basic(std::string(kOwner) + ":" + kOwnerPassword));
  EXPECT_EQ(answer.status, 200) << answer.head;
  EXPECT_FALSE(answer.body.empty());

  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 1u);
  const std::vector<std::string> fields = Fields(log[0]);
  ASSERT_EQ(fields.size(), 5u) << log[0];
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
}

TEST_F(SimServeTest, AccountWithEmptyPasswordSignsInWithIt) {
  SimOk({"user", "add", "nopass"});
  EXPECT_EQ(Get("/?sender=1&phonenumber=2&text=x", Basic("nopass:")).status, 200);
  EXPECT_EQ(Get("/?sender=1&phonenumber=2&text=x", Basic("nopass:x")).status, 401);
  EXPECT_EQ(LogLines().size(), 1u);
}

TEST_F(SimServeTest, WrongOrMissingCredentialsAreRefusedWithChallenge) {
  const struct {
    const char* scenario;
    std::optional<std::string> authorization;
  } cases[] = {
      {"wrong password", Basic(std::string(kOwner) + ":wrong")},
      {"password cut short", Basic(std::string(kOwner) + ":owner")},
      {"empty password", Basic(std::string(kOwner) + ":")},
      {"no colon", Basic(kOwner)},
      {"unknown account", Basic(std::string("+15559999999:") + kOwnerPassword)},
      {"no credentials", std::nullopt},
      {"other scheme", "Bearer " + Base64Encode(std::string(kOwner) + ":" + kOwnerPassword)},
      {"not base64", "Basic *!*"},
  };
  for (const auto& c : cases) {
    const HttpAnswer answer = Get("/?sender=1&phonenumber=2&text=x", c.authorization);
    EXPECT_EQ(answer.status, 401) << c.scenario;
    EXPECT_TRUE(HasHeader(answer.head, "WWW-Authenticate")) << c.scenario << "\n" << answer.head;
  }
  EXPECT_FALSE(platform::PathExists(data_dir_ + kMessageLogName));
}

TEST_F(SimServeTest, RequestWithoutPhonenumberOrRequestLineIsBad) {
  const std::string credentials = Basic(std::string(kOwner) + ":" + kOwnerPassword);
  EXPECT_EQ(Get("/?sender=1&text=x", credentials).status, 400);
  EXPECT_EQ(Get("/", credentials).status, 400);
  EXPECT_EQ(Get("/?sender=1&phone=2&text=x", credentials).status, 400);
  EXPECT_EQ(Exchange(port_, "GARBAGE\r\n\r\n").status, 400);
  EXPECT_FALSE(platform::PathExists(data_dir_ + kMessageLogName));
}

TEST_F(SimServeTest, SecondServeOnTheSamePortEndsWithError) {
  const RunResult second = Sim({"serve"});
  EXPECT_TRUE(second.finished);
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(Get("/?phonenumber=2", Basic(std::string(kOwner) + ":" + kOwnerPassword)).status, 200);
}

TEST_F(SimServeTest, TwentyPostsAtOnceAreAllLogged) {
  std::vector<std::pair<std::string, std::string>> members;
  std::vector<std::pair<std::string, std::string>> everyone = {{kOwner, "Admin"}};
  for (size_t i = 1; i < kGroupSize; ++i) {
    const std::string phone = "+155500100" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    members.push_back({phone, "M" + std::to_string(i)});
    everyone.push_back(members.back());
  }
  MakeGroup("Friends", members);

  std::vector<platform::Child> runs;
  for (const auto& [phone, name] : everyone) {
    runs.push_back(StartSim({"receive", phone, "@Friends", "post", "from", name}));
  }
  for (platform::Child& run : runs) {
    const RunResult result = Finish(run, kLongRunMs);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, 0) << result.output;
  }

  // Each post reaches the nineteen others and its poster hears of it.
  const size_t others = kGroupSize - 1;
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log.size(), kGroupSize * kGroupSize);
  const std::string all = ReadData(kMessageLogName);
  EXPECT_EQ(CountLinesWith(all, "Message forwarded to " + std::to_string(others) +
                                    " member(s) of group Friends"),
            everyone.size());
  for (const auto& [phone, name] : everyone) {
    EXPECT_EQ(CountLinesWith(all, std::string("\t") + kGatewayNumber + "\t" + phone + "\t"),
              everyone.size())
        << phone;
    EXPECT_EQ(CountLinesWith(all, "\t@Friends:" + name + " post from " + name), others) << name;
  }
  EXPECT_EQ(CountLinesWith(ServeOutput(), " <- " + std::string(kGatewayNumber) + "  "),
            kGroupSize * kGroupSize);
}

// `serve` under a limit of open files: any file, socket or account list a
// connection left open would make it fail long before the end.
TEST_F(SimTest, ServeKeepsServingAfterThousandsOfConnections) {
  std::vector<std::string> wrapper;
  if (HaveShell()) {
    wrapper = {kShell, "-c",
               std::string("ulimit -n ") + kServeFileLimit + " && exec \"$0\" \"$@\""};
  }
  ASSERT_TRUE(StartServe(wrapper));
  SimOk({"user", "add", kOwner, kOwnerPassword});
  const std::string good = Basic(std::string(kOwner) + ":" + kOwnerPassword);
  const std::string bad = Basic(std::string(kOwner) + ":wrong");

  int logged = 0;
  for (int i = 0; i < kSequentialConnections; ++i) {
    const std::string target = "/?sender=1&phonenumber=" + std::to_string(i) + "&text=x";
    switch (i % 4) {
      case 0:
        ASSERT_EQ(Exchange(port_, Request(target, good)).status, 200) << i;
        ++logged;
        break;
      case 1:
        ASSERT_EQ(Exchange(port_, Request(target, bad)).status, 401) << i;
        break;
      case 2:
        ASSERT_EQ(Exchange(port_, Request("/?text=x", good)).status, 400) << i;
        break;
      default: {  // a connection closed without a request
        platform::Socket socket = platform::OpenStreamSocket();
        ASSERT_TRUE(platform::Connect(socket, platform::kLoopbackAddress, port_)) << i;
        break;
      }
    }
    if (i % 100 == 0) serve_.Wait(0);
  }

  // Then many at once: every request is sent before any answer is read.
  std::vector<platform::Socket> open;
  for (int i = 0; i < kConnectionsAtOnce; ++i) {
    open.push_back(platform::OpenStreamSocket());
    ASSERT_TRUE(platform::Connect(open.back(), platform::kLoopbackAddress, port_)) << i;
    const std::string request = Request("/?sender=1&phonenumber=2&text=burst", good);
    ASSERT_TRUE(platform::SendAll(open.back(), request.data(), request.size()));
  }
  for (platform::Socket& socket : open) {
    std::string raw;
    char chunk[1024];
    while (platform::WaitReadableMs(socket, kAnswerWaitMs) == 1) {
      const long n = platform::Receive(socket, chunk, sizeof chunk);
      if (n <= 0) break;
      raw.append(chunk, static_cast<size_t>(n));
    }
    EXPECT_EQ(raw.rfind("HTTP/1.1 200", 0), 0u) << raw;
    ++logged;
  }
  EXPECT_EQ(LogLines().size(), static_cast<size_t>(logged));
  EXPECT_FALSE(serve_.Wait(0)) << "serve ended: " << serve_.output();
}

// --- receive -----------------------------------------------------------------

TEST_F(SimTest, ReceiveServesTheReplySubmissionItself) {
  InitOnFreePort();
  SimOk({"user", "add", kOwner, kOwnerPassword});
  const std::string created = SimOk({"receive", kOwner, "CREATE", "Friends"});
  EXPECT_TRUE(HasLinesInOrder(created, {Shown(kGatewayNumber, kOwner, "CREATE Friends"),
                                        Shown(kOwner, kGatewayNumber, "Group Friends created.")}));

  const std::string joined = SimOk({"receive", kAnn, "JOIN", "Friends", "Ann"});
  EXPECT_TRUE(
      HasLinesInOrder(joined, {Shown(kGatewayNumber, kAnn, "JOIN Friends Ann"),
                               Shown(kAnn, kGatewayNumber, "You have joined the group Friends.")}));

  // Each reply went through the gateway once, under the owner's account.
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  const std::vector<std::string> fields = Fields(log[1]);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[1], kOwner);
  EXPECT_EQ(fields[2], kGatewayNumber);
  EXPECT_EQ(fields[3], kAnn);
  EXPECT_EQ(fields[4].rfind("You have joined the group Friends.", 0), 0u) << fields[4];
}

TEST_F(SimTest, ReceivePrintsAndLogsTheStandardOutputReply) {
  InitOnFreePort();
  const std::string output = SimOk({"receive", kAnn, "HELP"});
  EXPECT_TRUE(HasLinesInOrder(output, {Shown(kGatewayNumber, kAnn, "HELP"),
                                       Shown(kAnn, kGatewayNumber, "Help is not yet available.")}));
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 1u);
  const std::vector<std::string> fields = Fields(log[0]);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[1], "-");
  EXPECT_EQ(fields[2], kGatewayNumber);
  EXPECT_EQ(fields[3], kAnn);
  EXPECT_EQ(fields[4], "Help is not yet available.");
}

TEST_F(SimTest, ReceiveUsesTheConfiguredOrTheGivenNumber) {
  const uint16_t port = FreePort();
  SimOk({"init", "--number", "+15557654321", "--port", std::to_string(port)});
  EXPECT_TRUE(HasLinesInOrder(SimOk({"receive", kAnn, "HELP"}),
                              {Shown("+15557654321", kAnn, "HELP"),
                               Shown(kAnn, "+15557654321", "Help is not yet available.")}));
  EXPECT_TRUE(HasLinesInOrder(
      SimOk({"receive", "--to", "4000", kAnn, "TEST", "me"}),
      {Shown("4000", kAnn, "TEST me"), Shown(kAnn, "4000", "Why are you trying to test me?")}));
  EXPECT_EQ(Sim({"receive", kAnn}).exit_code, 2);
}

TEST_F(SimTest, ReceiveLeavesSubmissionsToARunningServe) {
  ASSERT_TRUE(StartServe());
  SimOk({"user", "add", kOwner, kOwnerPassword});
  MakeGroup("Friends", {});
  const std::string joined = SimOk({"receive", kAnn, "JOIN", "Friends", "Ann"});
  const std::string reply = Shown(kAnn, kGatewayNumber, "You have joined the group Friends.");
  EXPECT_EQ(CountLinesWith(joined, reply), 0u) << joined;
  EXPECT_EQ(CountLinesWith(ServeOutput(), reply), 1u);
  EXPECT_EQ(LogLines().size(), 1u);
}

// --- chat --------------------------------------------------------------------

TEST_F(SimTest, ChatScriptPlaysEveryLineInOrder) {
  InitOnFreePort();
  SimOk({"user", "add", kOwner, kOwnerPassword});
  const std::string script = home_.path() + "script.txt";
  const std::string lines = std::string("# the owner starts a group\n\n") + kOwner +
                            " CREATE Friends\r\n" + kAnn + " JOIN Friends Ann\n   \n" + kBob +
                            "  JOIN  Friends Bob\n#" + kBob + " @Friends skipped\n" + kAnn +
                            " @Friends hello all";
  ASSERT_TRUE(platform::AppendToFile(script, lines, nullptr));

  const RunResult run = Sim({"chat", "--script", script}, std::nullopt, kLongRunMs);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(HasLinesInOrder(
      run.output,
      {Shown(kGatewayNumber, kOwner, "CREATE Friends"),
       Shown(kOwner, kGatewayNumber, "Group Friends created."),
       Shown(kGatewayNumber, kAnn, "JOIN Friends Ann"),
       Shown(kAnn, kGatewayNumber, "You have joined the group Friends."),
       Shown(kGatewayNumber, kBob, "JOIN Friends Bob"),
       Shown(kBob, kGatewayNumber, "You have joined the group Friends."),
       Shown(kGatewayNumber, kAnn, "@Friends hello all"),
       Shown(kOwner, kGatewayNumber, "@Friends:Ann hello all"),
       Shown(kBob, kGatewayNumber, "@Friends:Ann hello all"),
       Shown(kAnn, kGatewayNumber, "Message forwarded to 2 member(s) of group Friends")}));
  EXPECT_EQ(CountLinesWith(run.output, std::string(kGatewayNumber) + " <- "), 4u) << run.output;
  EXPECT_EQ(CountLinesWith(run.output, "skipped"), 0u);
  EXPECT_EQ(LogLines().size(), 6u);
}

TEST_F(SimTest, ChatReadsStandardInputAndEndsWithIt) {
  InitOnFreePort();
  const std::string input = std::string(kAnn) + " HELP\n" + kBob + " TEST two words\n";
  const RunResult run = Sim({"chat"}, input);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(HasLinesInOrder(
      run.output, {Shown(kAnn, kGatewayNumber, "Help is not yet available."),
                   Shown(kBob, kGatewayNumber, "Why are you trying to test two words?")}));
}

TEST_F(SimTest, ChatMissingScriptFails) {
  InitOnFreePort();
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
  while (!chat.Wait(kPollMs) && platform::TickCountMs() - start < kAnswerWaitMs) {
    answered_first = chat.output().find(first) != std::string::npos;
    if (answered_first) break;
  }
  ASSERT_TRUE(platform::AppendToFile(marker, "", nullptr));
  ASSERT_TRUE(chat.Wait(kLongRunMs));
  EXPECT_TRUE(answered_first) << chat.output();
  EXPECT_EQ(chat.exit_code(), 0);
  EXPECT_TRUE(HasLinesInOrder(
      chat.output(), {first, Shown(kAnn, kGatewayNumber, "Why are you trying to test again?")}));
}

// --- demo --------------------------------------------------------------------

TEST_F(SimTest, DemoPlaysTheWholeStory) {
  const std::string temp = home_.path() + "tmp" + platform::PathSeparator();
  ASSERT_TRUE(std::filesystem::create_directory(temp));
  extra_env_ = TempFolderEnv(temp);
  const RunResult run = Sim({"demo"}, std::nullopt, kLongRunMs);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0) << run.output;

  const std::vector<std::string> lines = Lines(run.output);
  ASSERT_FALSE(lines.empty());
  const std::string heading = "Data directory: ";
  ASSERT_EQ(lines[0].rfind(heading + temp, 0), 0u) << lines[0];
  const std::string kept = lines[0].substr(heading.size());
  EXPECT_TRUE(platform::PathExists(kept + kGatewayConfigName));
  EXPECT_TRUE(platform::PathExists(kept + "Groups/Friends/GROUP.DB"));

  const std::string carol = "+15550004444";
  EXPECT_TRUE(HasLinesInOrder(
      run.output,
      {Shown(kOwner, kGatewayNumber, "Group Friends created."),
       Shown(kOwner, kGatewayNumber, "@Friends:Ann hello everyone"),
       Shown(kBob, kGatewayNumber, "@Friends:Ann hello everyone"),
       Shown(kAnn, kGatewayNumber, "@Friends:Bob (private) see you at 8"),
       Shown(kOwner, kGatewayNumber, "Reply 'YES Friends "),
       Shown(kBob, kGatewayNumber, "Message forwarded to group Friends administrator"),
       Shown(kGatewayNumber, kOwner, "YES Friends "),
       Shown(kAnn, kGatewayNumber, "@Friends:Bob lunch at noon?"),
       Shown(kBob, kGatewayNumber, "@Friends:Bob lunch at noon?"),
       Shown(kGatewayNumber, carol, "@News is the office open today?"),
       Shown(kOwner, kGatewayNumber, "@News:Carol is the office open today?"),
       "User Bob (+15550003333) blocked from group Friends.",
       Shown(kBob, kGatewayNumber, "Cannot join group Friends, admin has blocked access."),
       Shown(carol, kGatewayNumber, "Goodbye."),
       Shown(kAnn, kGatewayNumber, "Help is not yet available."),
       Shown(kAnn, kGatewayNumber, "Why are you trying to test one two?"),
       "members of Friends with morvanectl"}));
  // The YES names the request the held post got.
  EXPECT_EQ(CountLinesWith(run.output, "YES Friends 0"), 0u) << run.output;
  // The member list closes the story: the owner and Ann, Bob blocked.
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], kOwner);
  EXPECT_EQ(lines.back(), kAnn);
}

TEST_F(SimTest, DemoCleanRemovesItsDirectory) {
  const std::string temp = home_.path() + "tmp" + platform::PathSeparator();
  ASSERT_TRUE(std::filesystem::create_directory(temp));
  extra_env_ = TempFolderEnv(temp);
  const RunResult run = Sim({"demo", "--clean"}, std::nullopt, kLongRunMs);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(
      HasLinesInOrder(run.output, {"Data directory: " + temp, "Help is not yet available."}));
  EXPECT_TRUE(std::filesystem::is_empty(temp));
}

}  // namespace
