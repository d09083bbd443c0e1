#include "sim/sim_config.h"

#include "common/files.h"
#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "userdir/pendrel.h"

namespace {

// Creates every missing folder of the path.
bool MakeFolders(const std::string& path) {
  for (size_t end = 1; end < path.size(); ++end) {
    if (!platform::IsPathSeparator(path[end])) continue;
    const std::string prefix = path.substr(0, end);
    if (!platform::PathExists(prefix)) platform::CreateFolder(prefix, SharedSecurityAttributes());
  }
  return platform::IsFolder(path);
}

// The value of a ReceiveSMSCommand entry: program, arguments, description
// and, in the fourth TAB-separated field, the receiving number.
std::string ReceiveCommandValue(const std::string& number) {
  return "morvane\t/s @@SENDER@@ /r @@RECIPIENT@@ /t @@TEXT@@\tgroup messaging\t" + number;
}

std::string FourthField(const std::string& value) {
  size_t start = 0;
  for (int field = 0; field < 3; ++field) {
    start = value.find('\t', start);
    if (start == std::string::npos) return std::string();
    ++start;
  }
  return value.substr(start, value.find('\t', start) - start);
}

}  // namespace

std::string SimDataDirectory() {
  std::string directory;
  if (!GetProgramDataDirectory(&directory)) return std::string();
  return MakeFolders(directory) ? directory : std::string();
}

std::string UsersFilePath(const std::string& data_dir) { return data_dir + kUsersFileName; }
std::string HollinFilePath(const std::string& data_dir) { return data_dir + kGatewayConfigName; }

bool InitDataDirectory(const std::string& number, uint16_t port, bool force_port) {
  const std::string data_dir = SimDataDirectory();
  if (data_dir.empty()) return false;
  const std::string hollin = HollinFilePath(data_dir);
  auto keep_or_write = [&](const char* key, const std::string& value, bool force) {
    const std::string current =
        platform::ProfileReadString(hollin, kGatewaySection, key, "", kProfileValueBuffer);
    if (current.empty() || force) platform::ProfileWriteString(hollin, kGatewaySection, key, value);
  };
  keep_or_write(kWebPortKey, std::to_string(port), force_port);
  keep_or_write(kIpAddressKey, kDefaultGatewayAddress, false);
  keep_or_write(kReceiveCommandKey, ReceiveCommandValue(number), false);
  return platform::AppendToFile(UsersFilePath(data_dir), "", SharedSecurityAttributes());
}

bool LoadSimConfig(SimConfig* config) {
  config->data_dir = SimDataDirectory();
  if (config->data_dir.empty()) return false;
  const std::string hollin = HollinFilePath(config->data_dir);
  const int64_t port = ParseLeadingLong(platform::ProfileReadString(
      hollin, kGatewaySection, kWebPortKey, kDefaultWebPort, kProfileValueBuffer));
  config->port = (port > 0 && port <= 65535) ? static_cast<uint16_t>(port) : kDefaultSimPort;
  config->address_text = platform::ProfileReadString(hollin, kGatewaySection, kIpAddressKey, "",
                                                     kProfileValueBuffer);
  if (config->address_text.empty()) config->address_text = kDefaultGatewayAddress;
  if (!platform::ParseDottedAddress(config->address_text, &config->address) &&
      !platform::LookupHost(config->address_text, &config->address)) {
    return false;
  }
  config->receiving_number = FourthField(platform::ProfileReadString(
      hollin, kGatewaySection, kReceiveCommandKey, "", kMaxWorkChars + 1));
  if (config->receiving_number.empty()) config->receiving_number = kDefaultReceivingNumber;
  return true;
}
