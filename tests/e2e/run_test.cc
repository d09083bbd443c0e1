// One run of morvane as the gateway starts it: the command line, the reply on
// standard output, quiet mode and the error count, the commands that touch no
// store, and the translation file beside the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/morvane_harness.h"

namespace {

using ::testing::StartsWith;

constexpr char kSender[] = "+15550001111";
constexpr char kHelpReply[] = "Help is not yet available.";

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.path().empty()); }

  // Runs morvane and checks that it ended with status 0.
  std::string Output(const std::vector<std::string>& args) {
    const RunResult run = home_.Run(args);
    EXPECT_TRUE(run.finished) << testing::PrintToString(args);
    EXPECT_EQ(run.exit_code, 0) << testing::PrintToString(args);
    return run.output;
  }

  MorvaneHome home_;
};

TEST_F(RunTest, FewerThanTwoArgumentsDoNothing) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"HELP"}}) {
    EXPECT_EQ(Output(args), "");
  }
  EXPECT_FALSE(home_.Exists("Groups"));
}

TEST_F(RunTest, PositionalFormTakesTheFirstArgumentAsSender) {
  EXPECT_EQ(Output({kSender, "HELP"}), kHelpReply);
  EXPECT_TRUE(home_.Exists("Groups"));
  EXPECT_EQ(home_.ErrorCount(kSender), 1u);
  EXPECT_EQ(home_.ReadFile("Groups/ERRORCTR.INI"), "[Errors]\r\n+15550001111=1\r\n");
}

TEST_F(RunTest, SwitchesInAnyCaseSetSenderAndText) {
  const std::vector<std::vector<std::string>> command_lines = {
      {"/s", kSender, "/r", "4000", "/t", "TEST", "a", "b"},
      {"-S", kSender, "-R", "4000", "-T", "TEST", "a", "b"},
      {"/r", "4000", "junk", "/S", kSender, "/t", "TEST", "a", "b"},
  };
  for (const auto& args : command_lines) {
    ASSERT_TRUE(home_.SetErrorCount(kSender, 3));
    EXPECT_EQ(Output(args), "Why are you trying to test a b?") << testing::PrintToString(args);
    EXPECT_FALSE(home_.HasErrorCount(kSender)) << testing::PrintToString(args);
  }
}

// "/t" as the last argument is the whole text: a post to the group "t".
TEST_F(RunTest, SlashTAsLastArgumentIsTheText) {
  EXPECT_EQ(Output({"/s", kSender, "/r", "4000", "/t"}), "You are not joined to group t.");
}

TEST_F(RunTest, FailureCountsForTheSenderOfTheSwitch) {
  EXPECT_EQ(Output({"/r", "4000", "/s", kSender, "/t", "HELP"}), kHelpReply);
  EXPECT_EQ(home_.ErrorCount(kSender), 1u);
  EXPECT_FALSE(home_.HasErrorCount("4000"));
}

TEST_F(RunTest, QuietModeStartsAfterTenFailures) {
  ASSERT_TRUE(home_.SetErrorCount(kSender, 10));
  EXPECT_EQ(Output({kSender, "HELP"}), kHelpReply);
  EXPECT_EQ(home_.ErrorCount(kSender), 11u);
  EXPECT_EQ(Output({kSender, "helpme"}), "");
  EXPECT_EQ(home_.ErrorCount(kSender), 12u);
  // TEST is no failure: answered in quiet mode, and it clears the count.
  EXPECT_EQ(Output({kSender, "TEST", "me", "now"}), "Why are you trying to test me now?");
  EXPECT_FALSE(home_.HasErrorCount(kSender));
  EXPECT_EQ(Output({kSender, "HELP"}), kHelpReply);
  EXPECT_EQ(home_.ErrorCount(kSender), 1u);
}

TEST_F(RunTest, IgnoredCommandsGiveNoReplyAndClearTheCount) {
  const std::vector<std::vector<std::string>> texts = {
      {"INVITE", "anyone"}, {"invited"}, {"id:1234", "sub:001"}, {"ID:5"}};
  for (const auto& text : texts) {
    ASSERT_TRUE(home_.SetErrorCount(kSender, 5));
    std::vector<std::string> args = {"/s", kSender, "/r", "4000", "/t"};
    args.insert(args.end(), text.begin(), text.end());
    EXPECT_EQ(Output(args), "") << text[0];
    EXPECT_FALSE(home_.HasErrorCount(kSender)) << text[0];
  }
}

TEST_F(RunTest, TestEchoesWordsAsTheyAre) {
  EXPECT_EQ(Output({kSender, "Testing", "1", "2"}), "Why are you trying to test 1 2?");
  EXPECT_EQ(Output({kSender, "TEST"}), "Why are you trying to test?");
  EXPECT_EQ(Output({kSender, "TEST", "%s%n%x", "100%"}), "Why are you trying to test %s%n%x 100%?");
}

TEST_F(RunTest, LongTestEchoIsCutAt1023Characters) {
  std::vector<std::string> args = {kSender, "TEST"};
  std::string expected = "Why are you trying to test";
  for (int i = 0; i < 300; ++i) {
    args.push_back("w" + std::to_string(i));
    expected += " " + args.back();
  }
  ASSERT_GT(expected.size(), 1023u);
  EXPECT_EQ(Output(args), expected.substr(0, 1023));
}

// The words of a message may hold any bytes; they reach the reply unchanged.
TEST_F(RunTest, TestEchoKeepsEightBitBytes) {
  EXPECT_EQ(Output({kSender, "TEST", "caf\xc3\xa9", "\x01\xff"}),
            "Why are you trying to test caf\xc3\xa9 \x01\xff?");
}

TEST(TranslatedRunTest, TranslatedCommandWordSelectsByWholeWord) {
  MorvaneHome home;
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetCommand("TEST", "ESSAI"));
  ASSERT_TRUE(copy.SetCommand("HELP", "AIDE"));

  RunResult run = home.RunProgram(copy.program(), {kSender, "essai", "un", "deux"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "Why are you trying to test un deux?");
  run = home.RunProgram(copy.program(), {kSender, "AIDE"});
  EXPECT_EQ(run.output, kHelpReply);
  EXPECT_EQ(home.ErrorCount(kSender), 1u);
  // The English word keeps working.
  run = home.RunProgram(copy.program(), {kSender, "TEST"});
  EXPECT_EQ(run.output, "Why are you trying to test?");
  // A longer word is no translation: it is read as a post, and the reply
  // text comes from the translation file.
  ASSERT_TRUE(copy.SetText("InvalidRequest", "Demande invalide."));
  run = home.RunProgram(copy.program(), {kSender, "ESSAI2", "un"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.output, "Demande invalide.");
  // The built program beside the tests has no translation.
  run = home.Run({kSender, "ESSAI"});
  EXPECT_THAT(run.output, StartsWith("Invalid Request. To send to a group"));
}

// A translated text is an operator's format: one with other conversions
// than the default's is never used.
TEST(TranslatedRunTest, TextWithOtherConversionsKeepsTheDefault) {
  MorvaneHome home;
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetText("UserNotJoined", "%s%n%x"));
  const RunResult run = home.RunProgram(copy.program(), {"/s", kSender, "/t"});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.output, "You are not joined to group t.");
}

}  // namespace
