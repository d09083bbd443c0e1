#include <string>
#include <vector>

#include "platform/process.h"
#include "sim/sim.h"

int main(int argc, char** argv) {
  platform::UseBinaryStandardOutput();
  return RunSimulator(std::vector<std::string>(argv, argv + argc));
}
