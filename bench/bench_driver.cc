// The benchmark driver: times whole runs of the programs, as the gateway
// starts them, against floors measured in the same run, and prints a table
// of ratios (absolute times vary between machines; ratios much less).
//
//   morvane_bench --bin DIR [--runs N] [--sizes 100,1000,10000] [--out FILE]
//
// DIR holds morvane, morvanectl, floor_process and bench_gateway. Everything
// runs in a temporary gateway data directory, removed at the end.
//
// Process floor: floor_process (a C program that writes one word) started
// and waited for with captured output, like the gateway starts morvane.
// Against it: morvane TEST, HELP, and a JOIN of a public group whose reply
// goes through the fake gateway; medians of --runs runs each, interleaved.
//
// Submission floor: N sequential HTTP GETs, each on a new connection, to the
// same fake gateway. Against it: an operator-style post (administrator mode,
// so every one of the N members gets it and nothing else is sent) to a group
// of N members; both as messages per second.
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
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/sqlite_handle.h"
#include "userdir/pendrel.h"

namespace {


constexpr uint32_t kRunTimeoutMs = 600000;  // the O(N^2) walk of 10,000 is slow
constexpr uint32_t kGatewayStartMs = 5000;
constexpr char kOwner[] = "+15550000001";
constexpr char kOwnerPassword[] = "secret";
constexpr char kReceive[] = "4000";
constexpr char kPublicGroup[] = "Pub";

struct Options {
  std::string bin;
  unsigned runs = 200;
  std::vector<unsigned> sizes = {100, 1000, 10000};
  std::string out;
};

// One started program, waited for with its output captured; the seconds it
// took, or nullopt when it did not end well.
std::optional<double> TimeRun(const std::vector<std::string>& argv,
                              const platform::EnvChanges& env = {}, std::string* output = nullptr) {
  const Clock::time_point start = Clock::now();
  platform::Child child = platform::Child::Start(argv, env, /*capture_output=*/true);
  if (!child.started() || !child.Wait(kRunTimeoutMs)) return std::nullopt;
  const double seconds = SecondsSince(start);
  if (child.exit_code() != 0) return std::nullopt;
  if (output != nullptr) *output = child.output();
  return seconds;
}

// One GET on a new connection to 127.0.0.1:port; the whole answer, read
// until the server closes.
std::optional<std::string> HttpGet(uint16_t port, std::string_view path) {
  platform::Socket socket = platform::OpenStreamSocket();
  if (!socket.valid() || !platform::Connect(socket, platform::kLoopbackAddress, port)) {
    return std::nullopt;
  }
  const std::string request =
      "GET " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  if (!platform::SendAll(socket, request.data(), request.size())) return std::nullopt;
  std::string answer;
  char chunk[4096];
  for (;;) {
    const long got = platform::Receive(socket, chunk, sizeof chunk);
    if (got < 0) return std::nullopt;
    if (got == 0) return answer;
    answer.append(chunk, static_cast<size_t>(got));
  }
}

// The fake gateway, as a process of its own.
class Gateway {
 public:
  bool Start(const std::string& program, const std::string& port_file) {
    child_ = platform::Child::Start({program, port_file});
    if (!child_.started()) return false;
    const uint32_t start = platform::TickCountMs();
    while (platform::TickCountMs() - start < kGatewayStartMs) {
      std::ifstream in(port_file);
      unsigned port = 0;
      if (in >> port && port != 0) {
        port_ = static_cast<uint16_t>(port);
        return true;
      }
      platform::SleepMs(1);
    }
    return false;
  }
  ~Gateway() {
    if (port_ != 0) HttpGet(port_, "/quit");
    if (child_.started()) child_.Wait(kGatewayStartMs);
  }
  uint16_t port() const { return port_; }

  // Submissions answered so far; -1 when the server does not answer.
  long long Count() const {
    const std::optional<std::string> answer = HttpGet(port_, "/count");
    if (!answer) return -1;
    const size_t body = answer->find("\r\n\r\n");
    return body == std::string::npos ? -1 : std::atoll(answer->c_str() + body + 4);
  }

 private:
  platform::Child child_;
  uint16_t port_ = 0;
};

struct Row {
  std::string measure;
  std::string value;
  std::string ratio;
  std::string target;
  std::string met;
};

std::string Met(bool met) { return met ? "yes" : "**no**"; }

class Bench {
 public:
  explicit Bench(Options options) : options_(std::move(options)) {}

  bool SetUp() {
    home_ = platform::CreateTempFolder("morvane-bench-");
    if (home_.empty()) return Fail("cannot make a temporary folder");
    platform::SetEnv(kDataHomeVariable, home_);
    platform::UnsetEnv("TessaryAdmin");
    SetStoreBase(StoreBase::kProgramData);
    if (!gateway_.Start(Program("bench_gateway"), home_ + "gateway.port")) {
      return Fail("the fake gateway did not start");
    }
    const std::string hollin = home_ + "HOLLIN.INI";
    platform::ProfileWriteString(hollin, "HOLLIN", "IPAddress", "127.0.0.1");
    platform::ProfileWriteString(hollin, "HOLLIN", "WebPort", std::to_string(gateway_.port()));
    platform::ProfileWriteString(home_ + kUsersFileName, kUsersSection, kOwner, kOwnerPassword);
    std::string root;
    GroupFolderPath("", &root);
    return MakeBenchGroup(kPublicGroup, kPublicValue, kOwner, 0) || Fail("cannot make the public group");
  }

  ~Bench() {
    if (!home_.empty()) platform::RemoveTree(home_);
  }

  bool RunProcessRuns() {
    const std::string morvane = Program("morvane");
    auto processor = [&](std::vector<std::string> words, const std::string& sender) {
      std::vector<std::string> argv = {morvane, "/s", sender, "/r", kReceive, "/t"};
      argv.insert(argv.end(), words.begin(), words.end());
      return argv;
    };
    std::vector<double> floor, test, help, join;
    const long long before = gateway_.Count();
    for (unsigned run = 0; run < options_.runs; ++run) {
      std::string output;
      const auto f = TimeRun({Program("floor_process")}, {}, &output);
      const auto t = TimeRun(processor({"TEST"}, kOwner), {}, &output);
      if (!t || output.empty()) return Fail("TEST gave no reply");
      const auto h = TimeRun(processor({"HELP"}, kOwner));
      const auto j = TimeRun(processor({"JOIN", kPublicGroup}, BenchPhone(100000 + run)));
      if (!f || !h || !j) return Fail("a run failed");
      floor.push_back(*f);
      test.push_back(*t);
      help.push_back(*h);
      join.push_back(*j);
    }
    if (gateway_.Count() - before != options_.runs) {
      return Fail("not every JOIN reply reached the gateway");
    }
    const double base = Median(floor);
    rows_.push_back({"process floor (floor_process)", Ms(base), "1.00", "", ""});
    AddProcessRow("morvane TEST", Median(test), base, 2.0);
    AddProcessRow("morvane HELP", Median(help), base, 0);
    AddProcessRow("morvane JOIN (public group, reply via gateway)", Median(join), base, 5.0);
    return true;
  }

  bool RunFanOuts() {
    for (const unsigned size : options_.sizes) {
      const std::string group = "Fan" + std::to_string(size);
      if (!MakeBenchGroup(group, kPublicValue, kOwner, size - 1)) return Fail("cannot make " + group);
      const unsigned repeats = size <= 100 ? 9 : size <= 1000 ? 5 : 3;
      std::vector<double> floor, fan_out;
      for (unsigned n = 0; n < repeats; ++n) {
        const auto f = SubmissionFloor(size);
        const auto p = FanOut(group, size);
        if (!f || !p) return Fail("fan-out to " + group + " failed");
        floor.push_back(*f);
        fan_out.push_back(*p);
      }
      const double floor_s = Median(floor);
      const double fan_s = Median(fan_out);
      fan_out_seconds_.push_back(fan_s);
      floor_seconds_.push_back(floor_s);
      rows_.push_back({"submission floor, N=" + Count(size), Rate(size, floor_s), "1.00", "", ""});
      const bool target = size == 10000;
      const double ratio = floor_s / fan_s;
      rows_.push_back({"post fan-out, N=" + Count(size), Rate(size, fan_s),
                       Fixed(ratio, 2) + "× floor", target ? "≥ 0.6× floor" : "",
                       target ? Met(ratio >= 0.6) : ""});
    }
    AddGrowthRow(1000, 10000, 12.0);
    return true;
  }

  // morvanectl LIST of the largest group (informational).
  bool RunList() {
    if (options_.sizes.empty()) return true;
    const unsigned size = options_.sizes.back();
    std::string output;
    const auto t = TimeRun({Program("morvanectl"), "ADMIN", "Fan" + std::to_string(size), "LIST"},
                           {}, &output);
    if (!t) return Fail("morvanectl LIST failed");
    const size_t lines = static_cast<size_t>(std::count(output.begin(), output.end(), '\n'));
    if (lines != size) return Fail("morvanectl LIST printed " + std::to_string(lines) + " lines");
    rows_.push_back({"morvanectl LIST, N=" + Count(size), Ms(*t), "", "", ""});
    return true;
  }

  std::string Table() const {
    std::ostringstream table;
    table << "| Measure | Time or rate | Ratio | Target | Met |\n|---|---|---|---|---|\n";
    for (const Row& row : rows_) {
      table << "| " << row.measure << " | " << row.value << " | " << row.ratio << " | "
            << row.target << " | " << row.met << " |\n";
    }
    return table.str();
  }

  const std::string& error() const { return error_; }

 private:
  std::string Program(const std::string& name) const { return options_.bin + "/" + name; }

  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }

  static std::string Ms(double seconds) { return Fixed(seconds * 1000, 3) + " ms"; }
  // 10000 as "10,000".
  static std::string Count(unsigned n) {
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t at = 0; at < digits.size(); ++at) {
      if (at > 0 && (digits.size() - at) % 3 == 0) grouped += ',';
      grouped += digits[at];
    }
    return grouped;
  }
  static std::string Rate(unsigned n, double seconds) {
    return Fixed(n / seconds, 0) + " msg/s (" + Fixed(seconds, 3) + " s)";
  }

  void AddProcessRow(const std::string& name, double seconds, double base, double limit) {
    const double ratio = seconds / base;
    rows_.push_back({name, Ms(seconds), Fixed(ratio, 2) + "× floor",
                     limit > 0 ? "≤ " + Fixed(limit, 0) + "× floor" : "",
                     limit > 0 ? Met(ratio <= limit) : ""});
  }

  void AddGrowthRow(unsigned small, unsigned large, double limit) {
    const auto& sizes = options_.sizes;
    const auto at_small = std::find(sizes.begin(), sizes.end(), small);
    const auto at_large = std::find(sizes.begin(), sizes.end(), large);
    if (at_small == sizes.end() || at_large == sizes.end()) return;
    const double ratio =
        fan_out_seconds_[at_large - sizes.begin()] / fan_out_seconds_[at_small - sizes.begin()];
    rows_.push_back({"fan-out time N=" + Count(large) + " / N=" + Count(small), "", Fixed(ratio, 2),
                     "≤ " + Fixed(limit, 0), Met(ratio <= limit)});
    // For comparison: connections closed by the thousand slow the system's
    // own connects down, so even the floor grows faster than N.
    const double floor_ratio =
        floor_seconds_[at_large - sizes.begin()] / floor_seconds_[at_small - sizes.begin()];
    rows_.push_back({"submission floor time N=" + Count(large) + " / N=" + Count(small), "",
                     Fixed(floor_ratio, 2), "", ""});
  }

  std::optional<double> SubmissionFloor(unsigned n) {
    const Clock::time_point start = Clock::now();
    for (unsigned i = 0; i < n; ++i) {
      if (!HttpGet(gateway_.port(), "/?sender=4000&phonenumber=%2B1666&text=hello%20all")) {
        return std::nullopt;
      }
    }
    return SecondsSince(start);
  }

  // An operator's post: administrator mode, so all `n` members get it and
  // no reply is sent.
  std::optional<double> FanOut(const std::string& group, unsigned n) {
    const long long before = gateway_.Count();
    const auto seconds = TimeRun(
        {Program("morvane"), "/s", kOwner, "/r", kReceive, "/t", "@" + group, "hello", "all"},
        {{"TessaryAdmin", "Yes"}});
    if (!seconds || gateway_.Count() - before != n) return std::nullopt;
    return seconds;
  }

  Options options_;
  std::string home_;
  Gateway gateway_;
  std::vector<Row> rows_;
  std::vector<double> fan_out_seconds_;
  std::vector<double> floor_seconds_;
  std::string error_;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--bin") {
      options->bin = value;
    } else if (name == "--runs") {
      options->runs = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (name == "--out") {
      options->out = value;
    } else if (name == "--sizes") {
      options->sizes.clear();
      std::istringstream list(value);
      std::string item;
      while (std::getline(list, item, ',')) {
        options->sizes.push_back(static_cast<unsigned>(std::strtoul(item.c_str(), nullptr, 10)));
      }
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options->bin.empty() && options->runs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs("usage: morvane_bench --bin DIR [--runs N] [--sizes 100,1000,10000] [--out FILE]\n",
               stderr);
    return 2;
  }
  platform::SocketsStartup();
  Bench bench(options);
  const bool ok = bench.SetUp() && bench.RunProcessRuns() && bench.RunFanOuts() && bench.RunList();
  const std::string table = bench.Table();
  std::fputs(table.c_str(), stdout);
  if (!options.out.empty()) {
    std::ofstream out(options.out, std::ios::trunc);
    out << table;
  }
  if (!ok) {
    std::fprintf(stderr, "morvane_bench: %s\n", bench.error().c_str());
    return 1;
  }
  return 0;
}
