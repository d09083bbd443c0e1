// One run of morvane as the gateway starts it: the command line, the reply on
// standard output, the error count and quiet mode, the storeless commands.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/morvane_harness.h"

namespace {

constexpr char kHelp[] = "Help is not yet available.";
constexpr char kAB[] = "Why are you trying to test a b?";

TEST(RunTest, CommandLinesRepliesAndTheErrorCount) {
  MorvaneHome home;
  // Fewer than two arguments: nothing at all, not even the store root.
  EXPECT_EQ(home.Run({"HELP"}).output, "");
  EXPECT_FALSE(home.Exists("Groups"));
  const std::string s = "+15550001111";
  // The arguments, the sender's error count before, the reply, the count after.
  const std::tuple<std::vector<std::string>, unsigned, std::string, unsigned> rows[] = {
      // The positional form, and switches with '/' or '-' in any case.
      {{s, "HELP"}, 3, kHelp, 4},
      {{"/s", s, "/r", "4000", "/t", "TEST", "a", "b"}, 3, kAB, 0},
      {{"-S", s, "-R", "4000", "-T", "TEST", "a", "b"}, 3, kAB, 0},
      {{"/r", "4000", "junk", "/S", s, "/t", "Testing", "a", "b"}, 3, kAB, 0},
      // "/t" as the last argument is the whole text: a post to the group "t".
      {{"/s", s, "/t"}, 3, "You are not joined to group t.", 4},
      // Quiet after ten failures in a row; TEST is no failure, answered anyway.
      {{s, "HELP"}, 10, kHelp, 11},
      {{s, "helpme"}, 11, "", 12},
      {{s, "TEST", "me"}, 11, "Why are you trying to test me?", 0},
      // Ignored: no reply, and the count is cleared.
      {{s, "INVITE", "anyone"}, 3, "", 0},
      {{s, "id:1234", "sub:001"}, 3, "", 0},
      // TEST echoes the words as they are.
      {{s, "TEST"}, 3, "Why are you trying to test?", 0},
      {{s, "TEST", "%s%n", "\xc3\xa9\x01"}, 3, "Why are you trying to test %s%n \xc3\xa9\x01?", 0},
  };
  for (const auto& [args, before, out, after] : rows) {
    SCOPED_TRACE(testing::PrintToString(args).substr(0, 100));
    ASSERT_TRUE(home.SetErrorCount(s, before));
    const RunResult run = home.Run(args);
    EXPECT_TRUE(run.finished && run.exit_code == 0);
    EXPECT_EQ(run.output, out);
    EXPECT_EQ(home.ErrorCount(s), after);
  }
}

}  // namespace
