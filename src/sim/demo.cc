#include "sim/demo.h"

#include <mutex>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "sim/receive.h"
#include "sim/sim_config.h"
#include "sim/submission_server.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kOwner[] = "+15550001111";
constexpr char kOwnerPassword[] = "demo-secret";
constexpr char kAnn[] = "+15550002222";
constexpr char kBob[] = "+15550003333";
constexpr char kCarol[] = "+15550004444";
constexpr uint32_t kToolWaitMs = 60000;

// Everything the gateway was asked to send, for the story to read ids from.
class Outbox {
 public:
  void Add(const SubmittedMessage& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(message.text);
  }
  // The request id of the newest "Reply 'YES <group> <id>'" notice.
  std::string LatestApprovalId(const std::string& group) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string marker = "YES " + group + " ";
    for (auto text = texts_.rbegin(); text != texts_.rend(); ++text) {
      const size_t at = text->find(marker);
      if (at == std::string::npos) continue;
      const size_t start = at + marker.size();
      size_t end = start;
      while (end < text->size() && (*text)[end] >= '0' && (*text)[end] <= '9') ++end;
      return text->substr(start, end - start);
    }
    return "0";
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

void Heading(const std::string& text) { PrintLine("\n== " + text); }

struct Story {
  SimConfig config;
  Outbox outbox;

  void Say(const std::string& from, const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(' ', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) words.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    ReceiveMessage(config, config.receiving_number, from, words);
  }

  void Play() {
    Heading("The owner creates a group by text message");
    Say(kOwner, "CREATE Friends");
    Heading("Two subscribers join it");
    Say(kAnn, "JOIN Friends Ann");
    Say(kBob, "JOIN Friends Bob");
    Heading("A post fans out to every other member");
    Say(kAnn, "@Friends hello everyone");
    Heading("A private message reaches one member");
    Say(kBob, "@Friends:Ann see you at 8");
    Heading("The group becomes moderated: a plain member's post is held");
    Say(kOwner, "ADMIN Friends PROP MODERATED");
    Say(kBob, "@Friends lunch at noon?");
    Heading("The administrator approves it with YES");
    Say(kOwner, "YES Friends " + outbox.LatestApprovalId("Friends"));
    Heading("A broadcast group hands a plain member's post to its administrators");
    Say(kOwner, "CREATE News BROADCAST");
    Say(kCarol, "JOIN News Carol");
    Say(kCarol, "@News is the office open today?");
    Heading("The administrator blocks a member");
    Say(kOwner, "ADMIN Friends BLOCK Bob");
    Say(kBob, "JOIN Friends Bob");
    Heading("STOP leaves every group");
    Say(kCarol, "STOP");
    Heading("HELP and TEST");
    Say(kAnn, "HELP");
    Say(kAnn, "TEST one two");
  }
};

void ShowMembers(const std::string& group) {
  Heading("The operator lists the members of " + group + " with morvanectl");
  platform::Child tool = platform::Child::Start(
      {MorvanectlPath(), "ADMIN", group, "LIST"}, {}, /*capture_output=*/true);
  if (tool.started() && tool.Wait(kToolWaitMs)) {
    std::string members = tool.output();
    std::string shown;
    for (const char c : members) {
      if (c != '\r') shown.push_back(c);
    }
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    PrintLine(shown);
  }
}

}  // namespace

int RunDemo(bool clean) {
  const std::string home = platform::CreateTempFolder("kavrel-demo-");
  if (home.empty()) return 1;
  platform::SetEnv(kDataHomeVariable, home);
  PrintLine("Data directory: " + home);

  // A free port of the loopback interface for the submission interface.
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, 64);
  const uint16_t port = platform::LocalPort(listener);
  if (!listener.valid() || !InitDataDirectory(kDefaultReceivingNumber, port, true)) return 1;
  const std::string data_dir = SimDataDirectory();
  platform::ProfileWriteString(UsersFilePath(data_dir), kUsersSection, kOwner, kOwnerPassword);
  PrintLine("Gateway number " + std::string(kDefaultReceivingNumber) + ", account " + kOwner +
            ", submissions on 127.0.0.1:" + std::to_string(port));

  Story story;
  if (!LoadSimConfig(&story.config)) return 1;
  SubmissionServer server(data_dir,
                          [&story](const SubmittedMessage& message) { story.outbox.Add(message); });
  server.Start(std::move(listener));
  story.Play();
  server.Stop();
  ShowMembers("Friends");
  if (clean) platform::RemoveTree(home);
  return 0;
}
