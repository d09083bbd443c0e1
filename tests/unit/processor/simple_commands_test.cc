#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "processor/handlers.h"
#include "processor/request.h"

namespace {

Request TextRequest(std::vector<std::string> words, bool quiet = false) {
  Request request;
  request.args = {"/s", "+15550001111", "/t"};
  request.args.insert(request.args.end(), words.begin(), words.end());
  request.text_position = 3;
  request.quiet = quiet;
  return request;
}

TEST(TestCommandTest, EchoesEveryWordAfterTheCommandWord) {
  struct Case {
    std::vector<std::string> words;
    std::string reply;
  };
  const Case cases[] = {
      {{"TEST"}, "Why are you trying to test?"},
      {{"TEST", "me", "now"}, "Why are you trying to test me now?"},
      {{"Testing", "1", "2"}, "Why are you trying to test 1 2?"},
      {{"TEST", "%s%n", "%u"}, "Why are you trying to test %s%n %u?"},
  };
  for (const Case& c : cases) {
    for (bool quiet : {false, true}) {
      Request request = TextRequest(c.words, quiet);
      HandleTest(&request);
      EXPECT_EQ(request.reply, c.reply);
      EXPECT_FALSE(request.error);
      EXPECT_TRUE(request.group.empty());
    }
  }
}

// "Why are you trying to test" is 26 characters; each echoed word adds one
// space and itself, the end one "?".
TEST(TestCommandTest, LongEchoIsCutAt1023Characters) {
  const std::string start = "Why are you trying to test ";
  for (size_t word_length : {995u, 996u, 997u}) {
    Request request = TextRequest({"TEST", std::string(word_length, 'w')});
    HandleTest(&request);
    const std::string full = start + std::string(word_length, 'w') + "?";
    EXPECT_EQ(request.reply, full.substr(0, 1023)) << word_length;
  }
  Request many = TextRequest({"TEST"});
  for (int i = 0; i < 400; ++i) many.args.push_back("word");
  HandleTest(&many);
  EXPECT_EQ(many.reply.size(), 1023u);
  EXPECT_EQ(many.reply.substr(0, 35), "Why are you trying to test word wor");
}

TEST(HelpCommandTest, FailsAndRepliesOnlyWhenNotQuiet) {
  Request request = TextRequest({"HELP"});
  HandleHelp(&request);
  EXPECT_EQ(request.reply, "Help is not yet available.");
  EXPECT_TRUE(request.error);

  Request quiet = TextRequest({"helpme"}, /*quiet=*/true);
  HandleHelp(&quiet);
  EXPECT_EQ(quiet.reply, "");
  EXPECT_TRUE(quiet.error);
}

}  // namespace
