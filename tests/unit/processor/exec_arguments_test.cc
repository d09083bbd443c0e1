#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kannel/kannel_request.h"

namespace {

using Args = std::vector<std::string>;

struct ExecCase {
  const char* name;
  Args argv;       // after the program name
  Args processor;  // after the program name; empty when refused
  std::string error_part = {};
};

class ExecArgumentsTest : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecArgumentsTest, DecodesIntoTheProcessorsCommandLine) {
  Args argv = {"prog"};
  argv.insert(argv.end(), GetParam().argv.begin(), GetParam().argv.end());
  Args processor;
  std::string error;
  const bool accepted = ProcessorArguments(argv, &processor, &error);
  if (GetParam().processor.empty()) {
    EXPECT_FALSE(accepted);
    EXPECT_NE(error.find(GetParam().error_part), std::string::npos) << error;
    return;
  }
  ASSERT_TRUE(accepted) << error;
  Args expected = {"prog"};
  expected.insert(expected.end(), GetParam().processor.begin(), GetParam().processor.end());
  EXPECT_EQ(processor, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecArgumentsTest,
    ::testing::Values(
        ExecCase{"EscapesAndPlus",
                 {"%2B15550002222", "4000", "%40Friends+two++spaces+%C3%A9%e2%82%ac"},
                 {"/s", "+15550002222", "/r", "4000", "/t", "@Friends", "two", "spaces",
                  "\xC3\xA9\xE2\x82\xAC"}},
        ExecCase{"ShellCharactersStayWords",
                 {"1", "2", "%24%28id%29+%60id%60+%22%5C%3B'(*)!~+%25%2B%26"},
                 {"/s", "1", "/r", "2", "/t", "$(id)", "`id`", "\"\\;'(*)!~", "%+&"}},
        ExecCase{"SwitchWordsInTheTextAreText",
                 {"1", "", "JOIN+/s+x+/t"},
                 {"/s", "1", "/r", "", "/t", "JOIN", "/s", "x", "/t"}},
        ExecCase{
            "TabsAndEdgeBlanks", {"1", "2", "+%09a%09b+"}, {"/s", "1", "/r", "2", "/t", "a", "b"}},
        ExecCase{"NoWords", {"1", "2", "++"}, {"/s", "1", "/r", "2", "/t"}},
        ExecCase{"LoneEscape", {"1", "2", "100%"}, {}, "text holds a '%'"},
        ExecCase{"CutEscape", {"1", "2", "a%4"}, {}, "text holds a '%'"},
        ExecCase{"NonHexEscape", {"%G1", "2", "HELP"}, {}, "sender holds a '%'"},
        ExecCase{"BadReceivingNumber", {"1", "%%", "HELP"}, {}, "receiving number"},
        ExecCase{"NulByte", {"1", "2", "JOIN+Friends%00evil"}, {}, "text holds a NUL byte"},
        ExecCase{"EmptySender", {"", "2", "HELP"}, {}, "sender is empty"},
        ExecCase{"MissingArgument", {"1", "2"}, {}, "expected 3 arguments, got 2"},
        ExecCase{"ExtraArgument", {"1", "2", "HELP", "x"}, {}, "got 4"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
