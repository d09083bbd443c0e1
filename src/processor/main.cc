// morvane: started by the gateway once per received message.
#include <string>
#include <vector>

#include "processor/run.h"

int main(int argc, char** argv) {
  return RunProcessor(std::vector<std::string>(argv, argv + argc));
}
