// main() of platform_tests: a hidden switch as the first argument runs a
// child mode (see child_mode.h); anything else runs the tests.
#include <gtest/gtest.h>

#include <map>

#include "platform/process.h"
#include "unit/platform/child_mode.h"

namespace child_mode {
namespace {

std::map<std::string, ChildMain, std::less<>>& Modes() {
  static std::map<std::string, ChildMain, std::less<>> modes;
  return modes;
}

}  // namespace

bool Register(std::string_view flag, ChildMain main) {
  return Modes().emplace(std::string(flag), main).second;
}

ChildMain Find(std::string_view flag) {
  const auto found = Modes().find(flag);
  return found == Modes().end() ? nullptr : found->second;
}

std::vector<std::string> Command(std::string_view flag,
                                 const std::vector<std::string>& args) {
  std::vector<std::string> argv = {platform::ProgramPath(), std::string(flag)};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace child_mode

int main(int argc, char** argv) {
  if (argc >= 2) {
    if (child_mode::ChildMain run = child_mode::Find(argv[1])) {
      return run(std::vector<std::string>(argv + 2, argv + argc));
    }
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
