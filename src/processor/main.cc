// morvane: started by the gateway once per received message.
#include <string>
#include <vector>

#include "platform/process.h"
#include "processor/run.h"

int main(int argc, char** argv) {
  // The reply goes back byte for byte, its CR LF line ends included.
  platform::UseBinaryStandardOutput();
  return RunProcessor(std::vector<std::string>(argv, argv + argc));
}
