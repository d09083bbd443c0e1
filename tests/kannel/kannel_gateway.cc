#include "kannel/kannel_gateway.h"

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "platform/clock.h"
#include "platform/socket.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kExampleConfig[] = "/share/morvane/kannel.conf";
constexpr char kExampleProgramFolder[] = "/usr/local/bin/";
constexpr char kConfigName[] = "kannel.conf";
constexpr char kSmsboxErrorName[] = "smsbox.stderr";
constexpr char kGroupKey[] = "group";
constexpr char kKeySeparator[] = " = ";
// Only panics on the boxes' own standard error: smsbox's is the exec
// services' then.
constexpr char kQuietLogLevel[] = "4";
// smsbox gives up at once when bearerbox does not listen yet.
constexpr uint32_t kStartTimeoutMs = 30000;
constexpr uint32_t kStartPollMs = 50;
constexpr char kSendsmsPath[] =
    "/cgi-bin/sendsms?username=@@USER@@&password=@@PASSWORD@@&from=@@SENDER@@&to=@@RECIP@@"
    "&text=@@TEXT@@&charset=UTF-8&coding=@@CODING@@";

// (group, key) -> value: lines to replace, or to add behind the group line
// where the group has no such key.
using ConfigValues = std::map<std::pair<std::string, std::string>, std::string>;

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// "key = value" -> key; empty for comments, blank lines and other text.
std::string KeyOf(const std::string& line) {
  const size_t separator = line.find(kKeySeparator);
  if (line.empty() || line[0] == '#' || separator == std::string::npos) return "";
  return line.substr(0, separator);
}

std::string ValueOf(const std::string& line) {
  return line.substr(line.find(kKeySeparator) + std::string(kKeySeparator).size());
}

// The example with `values` put in; the groups' layout stays as it is.
std::string DeriveConfig(const std::string& example, const ConfigValues& values) {
  std::set<std::pair<std::string, std::string>> present;
  std::string group;
  std::istringstream scan(example);
  for (std::string line; std::getline(scan, line);) {
    if (KeyOf(line) == kGroupKey) group = ValueOf(line);
    present.insert({group, KeyOf(line)});
  }
  std::string derived;
  std::istringstream lines(example);
  for (std::string line; std::getline(lines, line);) {
    const std::string key = KeyOf(line);
    if (key == kGroupKey) group = ValueOf(line);
    const auto value = values.find({group, key});
    derived +=
        value == values.end() || key == kGroupKey ? line : key + kKeySeparator + value->second;
    derived += "\n";
    if (key != kGroupKey) continue;
    for (const auto& [where, added] : values) {
      if (where.first == group && !present.count(where)) {
        derived += where.second + kKeySeparator + added + "\n";
      }
    }
  }
  return derived;
}

// True once something accepts connections on the loopback port.
bool WaitUntilListening(uint16_t port) {
  const uint32_t start = platform::TickCountMs();
  while (platform::TickCountMs() - start < kStartTimeoutMs) {
    platform::Socket probe = platform::OpenStreamSocket();
    if (probe.valid() && platform::Connect(probe, platform::kLoopbackAddress, port)) return true;
    platform::SleepMs(kStartPollMs);
  }
  return false;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The example's program folder replaced by the installed one.
std::string WithInstalledPrograms(std::string config) {
  const std::string installed = InstalledPrefix() + "/bin/";
  for (size_t at = 0; (at = config.find(kExampleProgramFolder, at)) != std::string::npos;) {
    config.replace(at, std::string(kExampleProgramFolder).size(), installed);
    at += installed.size();
  }
  return config;
}

}  // namespace

std::string InstalledPrefix() { return MORVANE_KANNEL_PREFIX; }

uint16_t ClosedPort() {
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, 1);
  return listener.valid() ? platform::LocalPort(listener) : 0;
}

bool KannelGateway::PickPorts(std::string* error) {
  // All four held open at once, so that they differ.
  platform::Socket held[4];
  uint16_t* ports[] = {&admin_port_, &box_port_, &fake_smsc_port_, &sendsms_port_};
  for (size_t i = 0; i < std::size(held); ++i) {
    held[i] = platform::Listen(platform::kLoopbackAddress, 0, 1);
    *ports[i] = held[i].valid() ? platform::LocalPort(held[i]) : 0;
    if (*ports[i] == 0) {
      *error = "no free loopback port";
      return false;
    }
  }
  return true;
}

bool KannelGateway::WriteConfig(const GatewayOptions& options, std::string* error) const {
  const std::string example = ReadWhole(InstalledPrefix() + kExampleConfig);
  if (example.empty()) {
    *error = "no installed example configuration at " + InstalledPrefix() + kExampleConfig;
    return false;
  }
  const std::string& dir = folder_.path();
  ConfigValues values = {
      {{"core", "admin-port"}, std::to_string(admin_port_)},
      {{"core", "smsbox-port"}, std::to_string(box_port_)},
      {{"core", "log-file"}, Quoted(dir + "bearerbox.log")},
      {{"core", "access-log"}, Quoted(dir + "access.log")},
      {{"smsc", "port"}, std::to_string(fake_smsc_port_)},
      {{"smsbox", "bearerbox-port"}, std::to_string(box_port_)},
      {{"smsbox", "sendsms-port"}, std::to_string(sendsms_port_)},
      {{"smsbox", "log-file"}, Quoted(dir + "smsbox.log")},
      {{"sendsms-user", "username"}, Quoted(options.sendsms_user)},
      {{"sendsms-user", "password"}, Quoted(options.sendsms_password)},
  };
  if (!options.black_list_regex.empty()) {
    values[{"sendsms-user", "black-list-regex"}] = Quoted(options.black_list_regex);
  }
  std::ofstream file(dir + kConfigName, std::ios::binary);
  file << WithInstalledPrograms(DeriveConfig(example, values));
  file.close();
  if (!file) *error = "cannot write " + dir + kConfigName;
  return static_cast<bool>(file);
}

bool KannelGateway::Start(const std::string& home, const GatewayOptions& options,
                          std::string* error) {
  if (folder_.path().empty() || !PickPorts(error) || !WriteConfig(options, error)) return false;
  const std::string config = folder_.path() + kConfigName;
  bearerbox_ = platform::Child::Start({kBearerboxProgram, "-v", kQuietLogLevel, config});
  if (!bearerbox_.started() || !WaitUntilListening(box_port_)) {
    *error = "bearerbox does not listen on its box port";
    return false;
  }
  // The shell only sends smsbox's standard error into a file and becomes
  // smsbox; killing the child kills smsbox.
  smsbox_ = platform::Child::Start(
      {"/bin/sh", "-c", "exec \"$0\" -v \"$1\" \"$2\" 2>\"$3\"", kSmsboxProgram, kQuietLogLevel,
       config, folder_.path() + kSmsboxErrorName},
      {{kDataHomeVariable, home}});
  if (!smsbox_.started()) *error = "smsbox did not start";
  return smsbox_.started();
}

std::string SendsmsUrl(uint16_t port) {
  return "http://127.0.0.1:" + std::to_string(port) + kSendsmsPath;
}

std::vector<std::string> KannelGateway::ExecErrorLines() const {
  std::vector<std::string> lines;
  std::istringstream text(ReadWhole(folder_.path() + kSmsboxErrorName));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}
