// kannel-phones: the phones of a demonstration behind a real gateway.
#include <string>
#include <vector>

#include "smsc/play.h"

int main(int argc, char** argv) {
  return smsc::RunPhones(std::vector<std::string>(argv, argv + argc));
}
