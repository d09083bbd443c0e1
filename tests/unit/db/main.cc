// The database tests start this binary again for work that needs processes
// of its own (concurrent writers, the approved re-run); a hidden first
// argument selects that work instead of the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/db/db_test_support.h"

int main(int argc, char** argv) {
  if (argc >= 2) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> code = RunChildMode(args)) return *code;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
