// The store tests start this binary again for work that needs processes of
// its own (many writers at once, the approved re-run); a hidden first argument
// selects that work instead of the tests.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// In store_test.cc: the child's exit code, or nullopt when args name no work.
std::optional<int> RunChildMode(const std::vector<std::string>& args);

int main(int argc, char** argv) {
  if (const auto code = RunChildMode(std::vector<std::string>(argv + 1, argv + argc))) return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
