// A post's fan-out behind a real Kannel gateway (bearerbox and smsbox on
// 127.0.0.1, the phones played on its fake SMSC), against a floor measured
// in the same run: the same sendsms GETs made by a minimal client.
//
//   kannel_bench [--members N] [--rounds R] [--out FILE]
//
// Every time runs from the first request (or the start of the run) to the
// last message the fake SMSC delivers. Rounds, each in this order:
//   1. the floor: N GETs, each on a connection of its own, as the processor
//      makes them (what a post cannot beat);
//   2. the same N GETs on one kept-alive connection (for comparison);
//   3. morvane in administrator mode posting to the group of N members (the
//      operator's POST): exactly N submissions;
//   4. a member's post through smsbox's exec service (N - 1 copies and the
//      poster's reply), with a HELP from another phone sent shortly after
//      it: how long that HELP waits, since smsbox runs one exec at a time.
// The installed programs come from MORVANE_KANNEL_PREFIX (cmake --install
// of this build, done by bench/run.sh).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_store.h"
#include "gateway/http_client.h"
#include "gateway/http_response.h"
#include "gateway/submit.h"
#include "kannel/kannel_gateway.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "smsc/fake_smsc.h"
#include "store/group_store.h"
#include "store/trans_db.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kOwner[] = "+15550000001";
constexpr char kOwnerPassword[] = "bench-pw";
constexpr char kReceive[] = "4000";
constexpr char kGroup[] = "Big";
constexpr char kText[] = "Benchmark post to every member";
constexpr char kHelpPhoneBase[] = "+1555777000";
constexpr uint32_t kConnectTimeoutMs = 30000;
constexpr uint32_t kReadyProbeMs = 3000;
constexpr int kReadyProbes = 10;
constexpr uint32_t kFanOutTimeoutMs = 600000;
constexpr uint32_t kAnswerTimeoutSeconds = 60;
// How long after a member's post the HELP is sent: the post's exec has
// surely started by then.
constexpr uint32_t kHelpDelayMs = 100;
// The floor's target: a post makes at least this share of its rate.
constexpr double kTargetRatio = 0.8;

bool Fail(const std::string& why) {
  std::fprintf(stderr, "kannel_bench: %s\n", why.c_str());
  return false;
}

// The request line and Host of one GET, with or without "Connection: close".
std::string RequestFor(const ParsedUrl& url, bool keep_alive) {
  return "GET /" + url.path + " HTTP/1.1\r\nHost: " + url.host + ":" + std::to_string(url.port) +
         "\r\n" + (keep_alive ? "" : "Connection: close\r\n") + "\r\n";
}

// Sends one request and reads its whole answer; true for a 2xx status.
bool Exchange(platform::Socket& socket, const std::string& request) {
  if (!platform::SendAll(socket, request.data(), request.size())) return false;
  ResponseBlock response;
  if (HttpResponseWait(socket, &response, kAnswerTimeoutSeconds) == 0) return false;
  return GetStatusCode(UntilZero(response.get())) / 100 == 2;
}

// The minimal client: the GETs one after another, each on a new connection
// or all on one kept alive. False at the first failure.
bool MinimalClient(const std::vector<ParsedUrl>& urls, bool keep_alive) {
  platform::Socket socket;
  for (const ParsedUrl& url : urls) {
    if (!keep_alive || !socket.valid()) {
      socket = platform::OpenStreamSocket();
      if (!socket.valid() || !platform::Connect(socket, platform::kLoopbackAddress, url.port)) {
        return false;
      }
    }
    if (!Exchange(socket, RequestFor(url, keep_alive))) return false;
    if (!keep_alive) socket.Close();
  }
  return true;
}

struct Lab {
  TempDir home;
  KannelGateway gateway;
  smsc::Phones phones;
  std::vector<ParsedUrl> floor_urls;  // the N submissions of a post, as the processor makes them
  unsigned members = 0;
};

bool StartLab(Lab* lab, unsigned members) {
  lab->members = members;
  if (lab->home.path().empty()) return Fail("no temporary folder");
  if (!platform::SetEnv(kDataHomeVariable, lab->home.path())) return Fail("cannot set KAVREL_HOME");
  SetStoreBase(StoreBase::kProgramData);
  if (!platform::ProfileWriteString(lab->home.path() + kUsersFileName, kUsersSection, kOwner,
                                    kOwnerPassword)) {
    return Fail("cannot write USERS.INI");
  }
  if (!MakeBenchGroup(kGroup, kPublicValue, kOwner, members - 1)) {
    return Fail("cannot make the group");
  }
  std::string error;
  if (!lab->gateway.Start(lab->home.path(), {kOwner, kOwnerPassword, ""}, &error)) {
    return Fail("the gateway did not start: " + error);
  }
  const std::string url_template = lab->gateway.SubmissionUrl();
  if (!platform::ProfileWriteString(lab->home.path() + kGatewayConfigName, kGatewaySection,
                                    kSubmissionUrlKey, url_template)) {
    return Fail("cannot write HOLLIN.INI");
  }
  const SubmissionTarget target = ReadSubmissionTarget(kGroup);
  for (unsigned n = 0; n < members; ++n) {
    ParsedUrl url;
    const std::string phone = n == 0 ? kOwner : BenchPhone(n);
    if (!ParseUrl(FillSubmissionTemplate(url_template, target, kReceive, phone, kText), &url)) {
      return Fail("bad submission URL");
    }
    lab->floor_urls.push_back(url);
  }
  if (!lab->phones.Connect(lab->gateway.fake_smsc_port(), kConnectTimeoutMs)) {
    return Fail("the fake SMSC port does not answer");
  }
  std::vector<smsc::Message> ignored;
  for (int probe = 0; !lab->phones.Sync(kReceive, kReadyProbeMs, &ignored); ++probe) {
    if (probe == kReadyProbes) return Fail("the gateway never answered TEST");
  }
  return true;
}

// Seconds from `start` until `count` messages have reached the phones.
std::optional<double> UntilDelivered(Lab* lab, size_t count, Clock::time_point start) {
  std::vector<smsc::Message> received;
  if (!lab->phones.Receive(count, kFanOutTimeoutMs, &received)) {
    Fail("only " + std::to_string(received.size()) + " of " + std::to_string(count) +
         " messages arrived");
    return std::nullopt;
  }
  return SecondsSince(start);
}

std::optional<double> TimeFloor(Lab* lab, bool keep_alive) {
  const Clock::time_point start = Clock::now();
  if (!MinimalClient(lab->floor_urls, keep_alive)) {
    Fail("the minimal client's GETs failed");
    return std::nullopt;
  }
  return UntilDelivered(lab, lab->members, start);
}

std::optional<double> TimeAdminPost(Lab* lab) {
  const Clock::time_point start = Clock::now();
  platform::Child run =
      platform::Child::Start({InstalledPrefix() + "/bin/morvane", "/s", kOwner, "/r", kReceive,
                              "/t", std::string("@") + kGroup, kText},
                             {{kAdminModeVariable, "Yes"}});
  if (!run.started()) {
    Fail("morvane did not start");
    return std::nullopt;
  }
  const std::optional<double> seconds = UntilDelivered(lab, lab->members, start);
  run.Wait(kFanOutTimeoutMs);
  return seconds;
}

struct ExecTimes {
  double post = 0;
  double help_wait = 0;
};

// A member's post through the exec service, and a HELP behind it.
std::optional<ExecTimes> TimeExecPost(Lab* lab, unsigned round) {
  const std::string help_phone = kHelpPhoneBase + std::to_string(round);
  const Clock::time_point start = Clock::now();
  if (!lab->phones.Send({BenchPhone(1), kReceive, std::string("@") + kGroup + " " + kText})) {
    Fail("cannot send the post");
    return std::nullopt;
  }
  platform::SleepMs(kHelpDelayMs);
  const Clock::time_point help_sent = Clock::now();
  if (!lab->phones.Send({help_phone, kReceive, "HELP"})) {
    Fail("cannot send HELP");
    return std::nullopt;
  }
  // N - 1 copies, the poster's reply, the HELP reply.
  ExecTimes times;
  for (size_t left = lab->members + 1; left > 0; --left) {
    std::vector<smsc::Message> one;
    if (!lab->phones.Receive(1, kFanOutTimeoutMs, &one)) {
      Fail(std::to_string(left) + " messages of the exec post never arrived");
      return std::nullopt;
    }
    if (one[0].to == help_phone) {
      times.help_wait = SecondsSince(help_sent);
    } else {
      times.post = SecondsSince(start);
    }
  }
  return times;
}

struct Results {
  std::vector<double> floor, kept_alive, admin_post, exec_post, help_wait;
};

bool RunRound(Lab* lab, unsigned round, Results* results) {
  const auto floor = TimeFloor(lab, false);
  const auto kept_alive = TimeFloor(lab, true);
  const auto admin_post = TimeAdminPost(lab);
  const auto exec = TimeExecPost(lab, round);
  if (!floor || !kept_alive || !admin_post || !exec) return false;
  results->floor.push_back(*floor);
  results->kept_alive.push_back(*kept_alive);
  results->admin_post.push_back(*admin_post);
  results->exec_post.push_back(exec->post);
  results->help_wait.push_back(exec->help_wait);
  std::printf(
      "round %u: floor %.3f s, kept alive %.3f s, post %.3f s, exec post %.3f s, HELP "
      "waited %.3f s\n",
      round, *floor, *kept_alive, *admin_post, exec->post, exec->help_wait);
  return true;
}

std::string Table(const Results& results, unsigned members, unsigned rounds) {
  const double floor = Median(results.floor);
  const auto rate = [members](double seconds) {
    return Fixed(members / seconds, 0) + " msg/s (" + Fixed(seconds, 3) + " s)";
  };
  const double ratio = floor / Median(results.admin_post);
  std::ostringstream table;
  table << "Medians of " << rounds << " rounds, " << members << " members:\n\n"
        << "| Measure | Time or rate | Ratio | Target | Met |\n"
        << "|---|---|---|---|---|\n"
        << "| floor: " << members << " sendsms GETs, a connection each | " << rate(floor)
        << " | 1.00 |  |  |\n"
        << "| the same GETs on one kept-alive connection | " << rate(Median(results.kept_alive))
        << " | " << Fixed(floor / Median(results.kept_alive), 2) << "× floor |  |  |\n"
        << "| post to " << members << " members (morvane, administrator mode) | "
        << rate(Median(results.admin_post)) << " | " << Fixed(ratio, 2) << "× floor | ≥ "
        << Fixed(kTargetRatio, 1) << "× floor | " << (ratio >= kTargetRatio ? "yes" : "**no**")
        << " |\n"
        << "| a member's post through smsbox's exec (" << members << " messages) | "
        << rate(Median(results.exec_post)) << " | " << Fixed(floor / Median(results.exec_post), 2)
        << "× floor |  |  |\n"
        << "| HELP from another phone " << kHelpDelayMs << " ms into that post: reply after | "
        << Fixed(Median(results.help_wait), 3) << " s |  |  |  |\n";
  return table.str();
}

struct Options {
  unsigned members = 1000;
  unsigned rounds = 3;
  std::string out;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--members") {
      options->members = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (name == "--rounds") {
      options->rounds = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (name == "--out") {
      options->out = value;
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options->members >= 2 && options->rounds >= 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: kannel_bench [--members N>=2] [--rounds R>=1] [--out FILE]\n");
    return 2;
  }
  platform::SocketsStartup();
  Lab lab;
  if (!StartLab(&lab, options.members)) return 1;
  Results results;
  for (unsigned round = 1; round <= options.rounds; ++round) {
    if (!RunRound(&lab, round, &results)) return 1;
  }
  const std::string table = Table(results, options.members, options.rounds);
  std::printf("\n%s", table.c_str());
  if (!options.out.empty()) std::ofstream(options.out, std::ios::binary) << table;
  return 0;
}
