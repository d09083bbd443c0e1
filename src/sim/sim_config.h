// The simulator's files in the data directory.
#ifndef SIM_SIM_CONFIG_H_
#define SIM_SIM_CONFIG_H_

#include <cstdint>
#include <string>

constexpr char kMessageLogName[] = "MESSAGES.LOG";
constexpr char kReceiveCommandKey[] = "ReceiveSMSCommand1";
constexpr uint16_t kDefaultSimPort = 8800;
constexpr char kDefaultReceivingNumber[] = "+15550000000";

struct SimConfig {
  std::string data_dir;        // with a trailing separator
  uint32_t address = 0;        // IPAddress, host byte order
  std::string address_text;
  uint16_t port = kDefaultSimPort;
  std::string receiving_number;
};

// The data directory of the user-directory stand-in, created with its
// parents when missing; empty when it cannot be named.
std::string SimDataDirectory();

// Writes HOLLIN.INI (WebPort, IPAddress, ReceiveSMSCommand1) and an empty
// USERS.INI, keeping every value that exists. False when the directory
// cannot be made.
bool InitDataDirectory(const std::string& number, uint16_t port, bool force_port);

// Reads HOLLIN.INI of the data directory.
bool LoadSimConfig(SimConfig* config);

std::string UsersFilePath(const std::string& data_dir);
std::string HollinFilePath(const std::string& data_dir);

#endif  // SIM_SIM_CONFIG_H_
