#include "tool/post.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/limits.h"
#include "support/temp_dir.h"

namespace {

class ReceivingNumberTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& ini_text) {
    const std::string path = dir_.path() + "HOLLIN.INI";
    std::ofstream(path, std::ios::binary) << ini_text;
    return ConfiguredReceivingNumber(path);
  }
  TempDir dir_;
};

TEST_F(ReceivingNumberTest, MissingFileGivesNoNumber) {
  ASSERT_FALSE(dir_.path().empty());
  EXPECT_EQ(ConfiguredReceivingNumber(dir_.path() + "HOLLIN.INI"), "");
}

struct NumberCase {
  const char* scenario;
  const char* ini;
  const char* number;
};

class ReceivingNumberCases : public ReceivingNumberTest,
                             public ::testing::WithParamInterface<NumberCase> {};

TEST_P(ReceivingNumberCases, ReadsTheFourthFieldOfTheLastQualifyingEntry) {
  EXPECT_EQ(Read(GetParam().ini), GetParam().number) << GetParam().scenario;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ReceivingNumberCases,
    ::testing::Values(
        NumberCase{"one entry",
                   "[HOLLIN]\r\nReceiveSMSCommand1=c:\\m.exe\targs\tx\t+15550001111\r\n",
                   "+15550001111"},
        NumberCase{"fields after the fourth are ignored",
                   "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\te\tf\r\n", "5550001"},
        NumberCase{"a later entry overrides an earlier one",
                   "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\r\n"
                   "ReceiveSMSCommand2=a\tb\tc\t5550002\r\n",
                   "5550002"},
        NumberCase{"a later entry without a number keeps the earlier",
                   "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\r\n"
                   "ReceiveSMSCommand2=a\tb\tc\tnot-a-number\r\n"
                   "ReceiveSMSCommand3=a\tb\tc\t\r\n",
                   "5550001"},
        NumberCase{"reading stops at the first missing key",
                   "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\r\n"
                   "ReceiveSMSCommand3=a\tb\tc\t5550003\r\n",
                   "5550001"},
        NumberCase{"reading stops at the first empty key",
                   "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\r\n"
                   "ReceiveSMSCommand2=\r\n"
                   "ReceiveSMSCommand3=a\tb\tc\t5550003\r\n",
                   "5550001"},
        NumberCase{"fewer than four fields", "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\t5550001\r\n",
                   ""},
        NumberCase{"no entry 1", "[HOLLIN]\r\nReceiveSMSCommand2=a\tb\tc\t5550002\r\n", ""},
        NumberCase{"another section", "[Other]\r\nReceiveSMSCommand1=a\tb\tc\t5550001\r\n", ""},
        NumberCase{"a number of 6 characters", "[HOLLIN]\r\nReceiveSMSCommand1=a\tb\tc\t+12345\r\n",
                   ""}));

TEST_F(ReceivingNumberTest, ValuesAreReadUpTo8191Characters) {
  const std::string number = "55500012";
  const std::string fields = "\tb\tc\t" + number;
  // A value of exactly 8191 characters keeps its last digit.
  const std::string fits = std::string(kMaxWorkChars - fields.size(), 'x') + fields;
  ASSERT_EQ(fits.size(), kMaxWorkChars);
  EXPECT_EQ(Read("[HOLLIN]\r\nReceiveSMSCommand1=" + fits + "\r\n"), number);
  // One character more, and the last digit is cut off.
  const std::string longer = "x" + fits;
  EXPECT_EQ(Read("[HOLLIN]\r\nReceiveSMSCommand1=" + longer + "\r\n"), "5550001");
}

TEST(PostArgumentsTest, NamesOwnerNumberAndMarkedGroupThenTheWordsOfTheText) {
  // The text is a command line to the processor: it splits at runs of
  // spaces and tabs and keeps quotes and backslashes as typed.
  const std::vector<std::string> words = {"say \"hi\"", "C:\\temp\\", "", "50%",
                                          "  a\tb  c\t", " ", "\"x y\""};
  EXPECT_EQ(PostArguments("/bin/morvane", "+15550001111", "4000", "Friends", words),
            (std::vector<std::string>{"/bin/morvane", "/s", "+15550001111", "/r", "4000", "/t",
                                      "@Friends", "say", "\"hi\"", "C:\\temp\\", "50%", "a",
                                      "b", "c", "\"x", "y\""}));
}

TEST(PostArgumentsTest, GroupNameStaysOneWord) {
  EXPECT_EQ(PostArguments("m", "+15550001111", "", "My Group", {"hi"}),
            (std::vector<std::string>{"m", "/s", "+15550001111", "/t", "@My Group", "hi"}));
}

TEST(PostArgumentsTest, LeavesOutTheReceivingSwitchWithoutANumber) {
  EXPECT_EQ(PostArguments("m", "", "", "Helpers", {"hi"}),
            (std::vector<std::string>{"m", "/s", "", "/t", "@Helpers", "hi"}));
}

TEST(JoinedCommandLineCharsTest, CountsArgumentsAfterTheProgramAndSpaces) {
  EXPECT_EQ(JoinedCommandLineChars({}), 0u);
  EXPECT_EQ(JoinedCommandLineChars({"/a/long/program/path"}), 0u);
  EXPECT_EQ(JoinedCommandLineChars({"p", "abc"}), 3u);
  // "/s" "" "/t" "@G" "hi": 8 characters and 4 spaces.
  EXPECT_EQ(JoinedCommandLineChars({"p", "/s", "", "/t", "@G", "hi"}), 12u);
}

TEST(IsPostableGroupNameTest, ProcessorMustSeeTheWholeName) {
  EXPECT_TRUE(IsPostableGroupName(std::string(kMaxGroupChars - 1, 'g')));
  EXPECT_TRUE(IsPostableGroupName(std::string(kMaxGroupChars, 'g')));
  EXPECT_FALSE(IsPostableGroupName(std::string(kMaxGroupChars + 1, 'g')));
  EXPECT_TRUE(IsPostableGroupName("#Friends"));
  EXPECT_FALSE(IsPostableGroupName("Friends:Bob"));
  EXPECT_FALSE(IsPostableGroupName(":"));
}

}  // namespace
