// The operator tool in this process: its cuts of the arguments at each limit and one past it,
// and for POST the receiving number and the processor's command line.
#include "tool/tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/limits.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "tool/post.h"
#include "userdir/pendrel.h"

namespace {

using Words = std::vector<std::string>;

constexpr char kOwner[] = "+15550001111";
constexpr char kMember[] = "+15550002222";

class ToolWordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(home_.path() + kUsersFileName, std::ios::binary) << "[Users]\r\n"
                                                                   << kOwner << "=secret\r\n";
  }
  // The tool's exit status, a blank, its report.
  std::string Tool(Words args) {
    args.insert(args.begin(), "morvanectl");
    std::string output;
    return std::to_string(RunTool(args, &output)) + " " + output;
  }
  // "-" for no member.
  static std::string Member(const std::string& group, const std::string& phone) {
    std::string name = "-";
    FindMemberByPhone(group, phone, &name);
    return name;
  }
  TempDir home_;
  ScopedEnv kavrel_home_{kDataHomeVariable, home_.path()};
};

TEST_F(ToolWordsTest, CutsGroupNameAt249) {
  if (OnWindows())
    GTEST_SKIP() << "a Windows path of 259 characters is too short for a 248-character group";
  for (size_t length : {kMaxToolGroupChars - 1, kMaxToolGroupChars, kMaxToolGroupChars + 1}) {
    const std::string typed(length, static_cast<char>('a' + length % 26));
    const std::string kept = typed.substr(0, kMaxToolGroupChars);
    EXPECT_EQ(Tool({"CREATE", typed, kOwner}).substr(0, kept.size() + 25),
              "0 OK -- Group " + kept + " created.\r\n");
    EXPECT_EQ(Member(kept, kOwner), "Admin") << length;
  }
}

TEST_F(ToolWordsTest, CutsOwnerMemberWordsAndListTargets) {
  const std::string owner(kMaxToolOwnerChars + 1, '5');
  EXPECT_EQ(Tool({"CREATE", "Friends", owner}),
            std::to_string(kToolFailureStatus) + " ERROR:  Owner phone number " +
                owner.substr(0, kMaxToolOwnerChars) + " is invalid\r\n");
  ASSERT_EQ(Tool({"CREATE", "Friends", kOwner}).substr(0, 5), "0 OK ");
  for (size_t length :
       {kMaxToolMemberWordChars - 1, kMaxToolMemberWordChars, kMaxToolMemberWordChars + 1}) {
    const std::string phone = "+1555000300" + std::to_string(length % 10), name(length, 'n');
    EXPECT_EQ(Tool({"ADMIN", "Friends", "ADD", phone, name}), "0 OK\r\n") << length;
    EXPECT_EQ(Member("Friends", phone), name.substr(0, kMaxToolMemberWordChars));
  }
  // REMOVE looks the name up cut at 149.
  const std::string name(kMaxToolMemberWordChars, 'm');
  ASSERT_EQ(Tool({"ADMIN", "Friends", "ADD", kMember, name}), "0 OK\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Friends", "REMOVE", name + "x"}), "0 OK\r\n");
  EXPECT_EQ(Member("Friends", kMember), "-");
  // A list target is cut at 49: one short names nobody, one more is cut back to the name.
  const std::string target(kMaxListWordChars, 't');
  ASSERT_EQ(Tool({"ADMIN", "Friends", "ADD", kMember, target}), "0 OK\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Friends", "AUTH", "ADD", target.substr(1)}),
            "0 ERROR:  Invalid phone number " + target.substr(1) + "\r\n");
  EXPECT_FALSE(IsAuthUser("Friends", kMember));
  EXPECT_EQ(Tool({"ADMIN", "Friends", "AUTH", "ADD", target + "x"}), "0 OK\r\n");
  EXPECT_TRUE(IsAuthUser("Friends", kMember));
}

// The last entry, up to the first missing or empty one, whose fourth field is
// a phone number; values are read up to 8191 characters ("|N=" starts entry N).
TEST_F(ToolWordsTest, ReceivingNumberIsTheFourthFieldOfTheLastQualifyingEntry) {
  const std::string path = home_.path() + "HOLLIN.INI", key = "\r\nReceiveSMSCommand";
  const std::string fits = "\tb\tc\t55500012", long_value(kMaxWorkChars - fits.size(), 'x');
  const std::pair<std::string, std::string> rows[] = {
      {"[HOLLIN]|1=c:\\m.exe\targs\tx\t+15550001111", "+15550001111"},
      {"[HOLLIN]|1=a\tb\tc\t5550001\te\tf", "5550001"},
      {"[HOLLIN]|1=a\tb\tc\t5550001|2=a\tb\tc\t5550002|3=a\tb\tc\tnumber|4=a\tb\tc\t", "5550002"},
      {"[HOLLIN]|1=a\tb\tc\t5550001|3=a\tb\tc\t5550003", "5550001"},     // a missing key ends
      {"[HOLLIN]|1=a\tb\tc\t5550001|2=|3=a\tb\tc\t5550003", "5550001"},  // an empty one too
      {"[HOLLIN]|1=a\tb\t5550001", ""},
      {"[Other]|1=a\tb\tc\t5550001", ""},
      {"[HOLLIN]|1=" + long_value + fits, "55500012"},
      {"[HOLLIN]|1=x" + long_value + fits, "5550001"}};
  for (const auto& [entries, number] : rows) {
    std::string ini;
    for (char c : entries) ini += c == '|' ? key : std::string(1, c);
    std::ofstream(path, std::ios::binary) << ini << "\r\n";
    EXPECT_EQ(ConfiguredReceivingNumber(path), number) << entries.substr(0, 60);
  }
}

// The text is a command line to the processor: it splits at runs of spaces
// and tabs and keeps quotes and backslashes as typed.
TEST(ToolPostTest, ProcessorsCommandLineAndItsLength) {
  EXPECT_EQ(PostArguments("/bin/morvane", kOwner, "4000", "Friends",
                          {"say \"hi\"", "C:\\temp\\", "", "50%", "  a\tb  c\t", " ", "\"x y\""}),
            (Words{"/bin/morvane", "/s", kOwner, "/r", "4000", "/t", "@Friends", "say", "\"hi\"",
                   "C:\\temp\\", "50%", "a", "b", "c", "\"x", "y\""}));
  // The group stays one word; no "/r" without a receiving number.
  EXPECT_EQ(PostArguments("m", "", "", "My Group", {"hi"}),
            (Words{"m", "/s", "", "/t", "@My Group", "hi"}));
  // Every argument after the program, and the spaces between them.
  EXPECT_EQ(JoinedCommandLineChars({}) + JoinedCommandLineChars({"/a/long/program/path"}), 0u);
  EXPECT_EQ(JoinedCommandLineChars({"p", "abc"}), 3u);
  EXPECT_EQ(JoinedCommandLineChars({"p", "/s", "", "/t", "@G", "hi"}), 12u);
  // The processor must see the whole group name.
  EXPECT_TRUE(IsPostableGroupName(std::string(kMaxGroupChars, 'g')) &&
              IsPostableGroupName("#Friends"));
  EXPECT_FALSE(IsPostableGroupName(std::string(kMaxGroupChars + 1, 'g')) ||
               IsPostableGroupName("F:Bob") || IsPostableGroupName(":"));
}

}  // namespace
