#include <string>
#include <vector>

#include "sim/sim.h"

int main(int argc, char** argv) {
  return RunSimulator(std::vector<std::string>(argv, argv + argc));
}
