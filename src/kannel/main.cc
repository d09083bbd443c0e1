// morvane-kannel: started by the gateway's exec service once per received
// message, with the sender, the receiving number and the text URL-encoded.
#include <cstdio>
#include <string>
#include <vector>

#include "kannel/kannel_request.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // The reply goes back byte for byte, its CR LF line ends included.
  platform::UseBinaryStandardOutput();
  std::string error;
  const int status = RunFromExecArguments(std::vector<std::string>(argv, argv + argc), &error);
  if (!error.empty()) std::fprintf(stderr, "morvane-kannel: %s\n%s\n", error.c_str(), kExecUsage);
  return status;
}
