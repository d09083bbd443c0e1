// kavrel-sim: a stand-in for the SMS gateway on one machine, for development
// and demonstrations. It owns HOLLIN.INI and USERS.INI in the data directory,
// accepts message submissions over HTTP, and hands received messages to
// morvane as the gateway does.
#ifndef SIM_SIM_H_
#define SIM_SIM_H_

#include <string>
#include <vector>

// Runs one simulator command; argv[0] is the program name. Returns the exit
// status.
int RunSimulator(const std::vector<std::string>& argv);

#endif  // SIM_SIM_H_
