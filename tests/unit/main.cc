// main() of unit_tests. Some tests start this program again with a switch as
// its first argument, which runs it as a child process of theirs instead of
// the tests; any other first argument but GoogleTest's is refused, so that a
// child started with a wrong line never runs the whole suite again.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

std::optional<int> RunPlatformChild(const std::vector<std::string>& args);
std::optional<int> RunStoreChild(const std::vector<std::string>& args);

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (const std::optional<int> code = RunPlatformChild(args)) return *code;
  if (const std::optional<int> code = RunStoreChild(args)) return *code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
