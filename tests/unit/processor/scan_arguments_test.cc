#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "processor/request.h"
#include "processor/run.h"
#include "support/temp_dir.h"

namespace {

struct ScanCase {
  std::vector<std::string> args;
  std::string sender;
  std::string receive_number;
  size_t text_position;
};

TEST(ScanArgumentsTest, SwitchesAndThePositionalForm) {
  const std::string long_value(60, '7');
  const ScanCase cases[] = {
      {{"/s", "+15550001111", "/r", "4000", "/t", "LEAVE"}, "+15550001111", "4000", 5},
      {{"-S", "+15550001111", "-R", "4000", "-T", "LEAVE"}, "+15550001111", "4000", 5},
      {{"/r", "4000", "/S", "+1", "/T", "a", "b"}, "+1", "4000", 5},
      // "/t" as the last argument is the whole text.
      {{"/s", "+15550001111", "/r", "4000", "/t"}, "+15550001111", "4000", 4},
      // Without "/t" the first argument is the sender; "/r" is kept.
      {{"/s", "+15550001111", "JOIN", "Club", "Ann"}, "/s", "", 1},
      {{"/r", "4000", "+15550001111", "HELP"}, "/r", "4000", 1},
      {{"+15550001111", "HELP"}, "+15550001111", "", 1},
      // A switch as the last argument has no value.
      {{"x", "/s"}, "x", "", 1},
      {{"/t", "/s", "+1"}, "", "", 1},
      // A switch's value is not read as a switch.
      {{"/s", "/t", "/t", "TEST"}, "/t", "", 3},
      // Other arguments before "/t" are skipped; whole-word switches only.
      {{"junk", "/sender", "/s", "5", "/tt", "/t", "HELP"}, "5", "", 6},
      {{"/s", long_value, "/r", long_value, "/t", "X"},
       long_value.substr(0, 49),
       long_value.substr(0, 49),
       5},
      {{long_value, "HELP"}, long_value.substr(0, 49), "", 1},
      {{"\\s", "+1", "HELP"}, "\\s", "", 1},
  };
  for (const ScanCase& c : cases) {
    Request request;
    request.args = c.args;
    ScanArguments(&request);
    const std::string where = testing::PrintToString(c.args);
    EXPECT_EQ(request.sender, c.sender) << where;
    EXPECT_EQ(request.receive_number, c.receive_number) << where;
    EXPECT_EQ(request.text_position, c.text_position) << where;
  }
}

TEST(AdminModeTest, OnForYesValuesOnly) {
  struct Case {
    std::optional<std::string> value;
    bool admin;
  };
  const Case cases[] = {
      {"Yes", true}, {"yes", true},         {"1", true},  {"true", true},   {"ON", true},
      {"Yx", true},  {"y", true},           {"10", true}, {"TRUE", true},   {"no", false},
      {"0", false},  {"off", false},        {"", false},  {"truex", false}, {" yes", false},
      {"N", false},  {std::nullopt, false},
  };
  for (const Case& c : cases) {
    ScopedEnv env(kAdminModeVariable, c.value);
    EXPECT_EQ(ReadAdminMode(), c.admin) << c.value.value_or("(unset)");
  }
}

}  // namespace
