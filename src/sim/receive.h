// Handing a received message to morvane, as the gateway does.
#ifndef SIM_RECEIVE_H_
#define SIM_RECEIVE_H_

#include <string>
#include <vector>

#include "sim/sim_config.h"

// morvane and morvanectl beside the simulator.
std::string MorvanePath();
std::string MorvanectlPath();

// Runs morvane for a message from `from` received on `to`, prints the
// message and the reply it wrote on standard output (also logged), and
// returns that reply.
std::string ReceiveMessage(const SimConfig& config, const std::string& to, const std::string& from,
                           const std::vector<std::string>& words);

#endif  // SIM_RECEIVE_H_
