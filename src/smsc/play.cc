#include "smsc/play.h"

#include <fstream>
#include <iostream>
#include <optional>

#include "sim/submission_server.h"
#include "smsc/fake_smsc.h"

namespace smsc {
namespace {

constexpr char kUsage[] =
    "usage: kannel-phones [--sentinel NUMBER] [--timeout SECONDS] PORT [STORY]\n"
    "  PORT: the gateway's fake-SMSC port on 127.0.0.1\n"
    "  STORY: lines \"FROM TO text\" (standard input without it); '#' lines are headings;\n"
    "         \"- TO\" shows what arrived since the last line, through gateway number TO\n";
constexpr char kSentinelOption[] = "--sentinel";
constexpr char kTimeoutOption[] = "--timeout";
constexpr char kHeadingMark = '#';
constexpr char kCollectMark[] = "- ";
constexpr char kReceivedIndent[] = "  ";
constexpr unsigned kMaxPort = 65535;
constexpr unsigned kMaxTimeoutSeconds = 3600;
constexpr unsigned kMsPerSecond = 1000;

struct PhonesArguments {
  uint16_t port = 0;
  std::string sentinel = kDefaultSentinel;
  uint32_t step_timeout_ms = kDefaultStepTimeoutMs;
  std::optional<std::string> story_path;
};

// A decimal number from 1 to `max`; 0 when the text is none.
unsigned ParseCount(const std::string& text, unsigned max) {
  if (text.empty() || text.size() > 5) return 0;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= max ? value : 0;
}

bool ParseArguments(const std::vector<std::string>& argv, PhonesArguments* arguments) {
  std::vector<std::string> positional;
  for (size_t i = 1; i < argv.size(); ++i) {
    const bool has_value = i + 1 < argv.size();
    if (argv[i] == kSentinelOption && has_value) {
      arguments->sentinel = argv[++i];
    } else if (argv[i] == kTimeoutOption && has_value) {
      const unsigned seconds = ParseCount(argv[++i], kMaxTimeoutSeconds);
      if (seconds == 0) return false;
      arguments->step_timeout_ms = seconds * kMsPerSecond;
    } else {
      positional.push_back(argv[i]);
    }
  }
  if (positional.empty() || positional.size() > 2) return false;
  arguments->port = static_cast<uint16_t>(ParseCount(positional[0], kMaxPort));
  if (positional.size() == 2) arguments->story_path = positional[1];
  return arguments->port != 0;
}

// "FROM TO text": false for a line without both numbers.
bool ParseStoryLine(const std::string& line, Message* message) {
  const size_t from_end = line.find(' ');
  if (from_end == std::string::npos || from_end == 0) return false;
  const size_t to_end = line.find(' ', from_end + 1);
  message->from = line.substr(0, from_end);
  message->to = line.substr(from_end + 1, to_end - from_end - 1);
  message->text = to_end == std::string::npos ? "" : line.substr(to_end + 1);
  return !message->to.empty();
}

// The simulator's way of showing a message, one indent further in.
std::string ReceivedLine(const Message& message) {
  std::string shown = kReceivedIndent;
  for (const char c : DisplayLine(message.to, message.from, message.text)) {
    shown.push_back(c);
    if (c == '\n') shown += kReceivedIndent;
  }
  return shown;
}

// Shows what arrived since the last step (and what `message` caused, when
// one is given).
bool PlayStep(Phones& phones, const std::string& gateway, const Message* message,
              uint32_t step_timeout_ms, std::ostream& out, std::ostream& errors) {
  if (message != nullptr) {
    out << message->from << " -> " << message->to << "  " << message->text << "\n";
  }
  std::vector<Message> received;
  const bool synced = (message == nullptr || phones.Send(*message)) &&
                      phones.Sync(gateway, step_timeout_ms, &received);
  for (const Message& got : received) out << ReceivedLine(got) << "\n";
  out.flush();
  if (!synced) errors << "kannel-phones: no answer from the gateway within the step's time\n";
  return synced;
}

}  // namespace

int PlayStory(uint16_t port, const std::string& sentinel, uint32_t step_timeout_ms,
              std::istream& story, std::ostream& out, std::ostream& errors) {
  Phones phones(sentinel);
  if (!phones.Connect(port, kPlayConnectTimeoutMs)) {
    errors << "kannel-phones: nothing listens on 127.0.0.1:" << port << "\n";
    return 1;
  }
  std::string line;
  while (std::getline(story, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.front() == kHeadingMark) {
      const size_t start = line.find_first_not_of("# ");
      out << "\n== " << (start == std::string::npos ? "" : line.substr(start)) << "\n";
      continue;
    }
    if (line.rfind(kCollectMark, 0) == 0) {
      const std::string gateway = line.substr(std::string(kCollectMark).size());
      if (!PlayStep(phones, gateway, nullptr, step_timeout_ms, out, errors)) return 1;
      continue;
    }
    Message message;
    if (!ParseStoryLine(line, &message)) {
      errors << "kannel-phones: not \"FROM TO text\": " << line << "\n";
      return 1;
    }
    if (!PlayStep(phones, message.to, &message, step_timeout_ms, out, errors)) return 1;
  }
  return 0;
}

int RunPhones(const std::vector<std::string>& argv) {
  PhonesArguments arguments;
  if (!ParseArguments(argv, &arguments)) {
    std::cerr << kUsage;
    return 2;
  }
  if (!arguments.story_path) {
    return PlayStory(arguments.port, arguments.sentinel, arguments.step_timeout_ms, std::cin,
                     std::cout, std::cerr);
  }
  std::ifstream story(*arguments.story_path, std::ios::binary);
  if (!story) {
    std::cerr << "kannel-phones: cannot read " << *arguments.story_path << "\n";
    return 2;
  }
  return PlayStory(arguments.port, arguments.sentinel, arguments.step_timeout_ms, story, std::cout,
                   std::cerr);
}

}  // namespace smsc
