#include "sim/sim.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "common/limits.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "sim/demo.h"
#include "sim/receive.h"
#include "sim/sim_config.h"
#include "sim/submission_server.h"
#include "userdir/pendrel.h"

namespace {

constexpr uint32_t kRunWaitMs = 120000;
constexpr size_t kUsersSectionBuffer = 1 << 20;

void PrintUsage(const std::string& program) {
  const std::string lines[] = {
      "Usage:",
      "  " + program + " init [--number NUMBER] [--port PORT]",
      "  " + program + " user add NAME [PASSWORD] | user remove NAME | user list",
      "  " + program + " serve",
      "  " + program + " receive [--to NUMBER] FROM TEXT...",
      "  " + program + " chat [--script FILE]",
      "  " + program + " demo [--clean]",
  };
  for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
}

// Takes "--name VALUE" out of args; nullopt when absent.
std::optional<std::string> TakeOption(std::vector<std::string>* args, const std::string& name) {
  for (size_t i = 0; i + 1 < args->size(); ++i) {
    if ((*args)[i] == name) {
      std::string value = (*args)[i + 1];
      args->erase(args->begin() + static_cast<long>(i), args->begin() + static_cast<long>(i) + 2);
      return value;
    }
  }
  return std::nullopt;
}

bool TakeFlag(std::vector<std::string>* args, const std::string& name) {
  for (size_t i = 0; i < args->size(); ++i) {
    if ((*args)[i] == name) {
      args->erase(args->begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

int Init(std::vector<std::string> args) {
  const std::optional<std::string> number = TakeOption(&args, "--number");
  const std::optional<std::string> port_text = TakeOption(&args, "--port");
  int64_t port = kDefaultSimPort;
  if (port_text) {
    port = ParseLeadingLong(*port_text);
    if (port <= 0 || port > 65535) {
      std::fprintf(stderr, "init: invalid port %s\n", port_text->c_str());
      return 2;
    }
  }
  if (!InitDataDirectory(number.value_or(kDefaultReceivingNumber), static_cast<uint16_t>(port),
                         port_text.has_value())) {
    std::fprintf(stderr, "init: cannot prepare the data directory\n");
    return 1;
  }
  std::printf("%s\n", SimDataDirectory().c_str());
  return 0;
}

int User(const std::vector<std::string>& args) {
  const std::string data_dir = SimDataDirectory();
  if (data_dir.empty() || args.empty()) return 2;
  const std::string users = UsersFilePath(data_dir);
  if (args[0] == "add" && args.size() >= 2) {
    const std::string password = args.size() >= 3 ? args[2] : "";
    return platform::ProfileWriteString(users, kUsersSection, args[1], password) ? 0 : 1;
  }
  if (args[0] == "remove" && args.size() >= 2) {
    return platform::ProfileDeleteKey(users, kUsersSection, args[1]) ? 0 : 1;
  }
  if (args[0] == "list") {
    const std::string block =
        platform::ProfileReadSection(users, kUsersSection, kUsersSectionBuffer);
    for (const std::string& entry : SplitSectionBlock(block)) {
      std::printf("%s\n", std::string(EntryKey(entry)).c_str());
    }
    return 0;
  }
  return 2;
}

// Listens on the configured address and port; invalid when the port is
// taken.
platform::Socket ListenOn(const SimConfig& config) {
  return platform::Listen(config.address, config.port, 64);
}

bool SomeoneListens(const SimConfig& config) {
  platform::Socket probe = platform::OpenStreamSocket();
  return probe.valid() && platform::Connect(probe, config.address, config.port);
}

int Serve() {
  SimConfig config;
  if (!LoadSimConfig(&config)) return 1;
  platform::Socket listener = ListenOn(config);
  if (!listener.valid()) {
    std::fprintf(stderr, "serve: cannot listen on %s:%u\n", config.address_text.c_str(),
                 config.port);
    return 1;
  }
  PrintLine("Serving submissions on " + config.address_text + ":" + std::to_string(config.port));
  SubmissionServer server(config.data_dir);
  server.Start(std::move(listener));
  // Serves until the process is interrupted.
  for (;;) platform::SleepMs(1000);
}

}  // namespace

std::string MorvanePath() {
  return platform::ProgramFolder() + "morvane" + std::string(platform::ExecutableSuffix());
}
std::string MorvanectlPath() {
  return platform::ProgramFolder() + "morvanectl" + std::string(platform::ExecutableSuffix());
}

std::string ReceiveMessage(const SimConfig& config, const std::string& to, const std::string& from,
                           const std::vector<std::string>& words) {
  std::vector<std::string> argv = {MorvanePath(), "/s", from, "/r", to, "/t"};
  argv.insert(argv.end(), words.begin(), words.end());
  PrintLine(DisplayLine(to, from, JoinWords(words, 0, kMaxCommandLineChars)));
  platform::Child run = platform::Child::Start(argv, {}, /*capture_output=*/true);
  if (!run.started() || !run.Wait(kRunWaitMs)) {
    PrintLine("(morvane did not finish)");
    return std::string();
  }
  const std::string& reply = run.output();
  if (!reply.empty()) {
    platform::AppendToFile(config.data_dir + kMessageLogName, LogLine("-", to, from, reply),
                           nullptr);
    PrintLine(DisplayLine(from, to, reply));
  }
  return reply;
}

namespace {

int Receive(std::vector<std::string> args) {
  SimConfig config;
  if (!LoadSimConfig(&config)) return 1;
  const std::string to = TakeOption(&args, "--to").value_or(config.receiving_number);
  if (args.size() < 2) return 2;
  const std::string from = args[0];
  const std::vector<std::string> words(args.begin() + 1, args.end());
  SubmissionServer server(config.data_dir);
  if (!SomeoneListens(config)) {
    platform::Socket listener = ListenOn(config);
    if (listener.valid()) server.Start(std::move(listener));
  }
  ReceiveMessage(config, to, from, words);
  server.Stop();
  return 0;
}

// Splits a line of the chat at blanks.
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

int Chat(std::vector<std::string> args) {
  SimConfig config;
  if (!LoadSimConfig(&config)) return 1;
  const std::optional<std::string> script = TakeOption(&args, "--script");
  std::string text;
  if (script && !platform::ReadWholeFile(*script, &text)) {
    std::fprintf(stderr, "chat: cannot read %s\n", script->c_str());
    return 1;
  }
  SubmissionServer server(config.data_dir);
  platform::Socket listener = ListenOn(config);
  if (listener.valid()) server.Start(std::move(listener));
  // Lines come from the script, or one at a time as they are typed.
  size_t start = 0;
  std::string line;
  auto next_line = [&]() {
    if (!script) return static_cast<bool>(std::getline(std::cin, line));
    if (start >= text.size()) return false;
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    line = text.substr(start, end - start);
    start = end + 1;
    return true;
  };
  while (next_line()) {
    const std::vector<std::string> words = SplitLine(line);
    if (words.size() < 2 || words[0][0] == '#') continue;
    ReceiveMessage(config, config.receiving_number, words[0],
                   std::vector<std::string>(words.begin() + 1, words.end()));
  }
  server.Stop();
  return 0;
}

}  // namespace

int RunSimulator(const std::vector<std::string>& argv) {
  const std::string program = argv.empty() ? "kavrel-sim" : argv[0];
  if (argv.size() < 2) {
    PrintUsage(program);
    return 2;
  }
  const std::string& command = argv[1];
  std::vector<std::string> args(argv.begin() + 2, argv.end());
  int status = 2;
  if (command == "init") status = Init(args);
  if (command == "user") status = User(args);
  if (command == "serve") status = Serve();
  if (command == "receive") status = Receive(args);
  if (command == "chat") status = Chat(args);
  if (command == "demo") status = RunDemo(TakeFlag(&args, "--clean"));
  if (status == 2) PrintUsage(program);
  return status;
}
