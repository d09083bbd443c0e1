// Runs a child mode of the store tests (store_test.cc) when the first
// argument names one, else the tests.
#include <gtest/gtest.h>

#include <optional>

std::optional<int> RunChildMode(const std::vector<std::string>& args);

int main(int argc, char** argv) {
  if (const auto code = RunChildMode({argv + 1, argv + argc})) return *code;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
