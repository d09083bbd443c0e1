#include "processor/request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/processor/translation_file.h"

namespace {

Request RequestWithText(std::vector<std::string> args, size_t text_position) {
  Request request;
  request.args = std::move(args);
  request.text_position = text_position;
  return request;
}

TEST(RequestWordsTest, WordsCountFromTheCommandWord) {
  const Request request = RequestWithText({"/s", "+1555", "/t", "JOIN", "Club", "Ann"}, 3);
  EXPECT_EQ(request.WordCount(), 3u);
  EXPECT_EQ(request.Word(0), "JOIN");
  EXPECT_EQ(request.Word(2), "Ann");
  EXPECT_EQ(request.Word(3), "");
  EXPECT_EQ(request.Word(static_cast<size_t>(-1)), "");
  EXPECT_EQ(request.Word(1, 2), "Cl");
  EXPECT_EQ(request.JoinedWords(1, 100), "Club Ann");
  EXPECT_EQ(request.JoinedWords(1, 6), "Club A");
  EXPECT_EQ(request.JoinedWords(3, 100), "");
}

TEST(RequestWordsTest, TextPositionPastTheEndHasNoWords) {
  const Request request = RequestWithText({"a"}, 1);
  EXPECT_EQ(request.WordCount(), 0u);
  EXPECT_EQ(request.Word(0), "");
  EXPECT_EQ(request.JoinedWords(0, 10), "");
}

using ReplyTest = TranslationTest;

TEST_F(ReplyTest, RepliesAreFormattedOnceAndAppended) {
  Request request;
  AppendReply(&request, ReplyKey::kJoinOK, {"Club", "Club"});
  AppendReplyText(&request, " ");
  AppendReply(&request, ReplyKey::kMessageForwardOK, {3LL, "Club"});
  EXPECT_EQ(request.reply,
            "You have joined the group Club.  To leave the group, reply with 'LEAVE Club'. "
            "Message forwarded to 3 member(s) of group Club");
  EXPECT_FALSE(request.error);
}

TEST_F(ReplyTest, ArgumentsAreNotReadAsFormats) {
  Request request;
  AppendReply(&request, ReplyKey::kJoinGroupNotExist, {"%s%n%x"});
  EXPECT_EQ(request.reply, "Cannot join group %s%n%x, it does not exist.");
}

TEST_F(ReplyTest, TranslatedTextIsUsed) {
  SetText("LeaveNotJoined", "Pas membre de %s");
  Request request;
  AppendReply(&request, ReplyKey::kLeaveNotJoined, {"Club"});
  EXPECT_EQ(request.reply, "Pas membre de Club");
}

TEST(ReplyLimitTest, ReplyIsCutAt1023Characters) {
  for (size_t held : {1021u, 1022u, 1023u}) {
    Request request;
    request.reply.assign(held, 'r');
    AppendReplyText(&request, "ab");
    EXPECT_EQ(request.reply.size(), std::min<size_t>(held + 2, 1023)) << held;
    AppendReply(&request, ReplyKey::kLeaveNoGroups);
    EXPECT_EQ(request.reply.size(), 1023u) << held;
  }
}

TEST(FailWithTest, SetsTheErrorAndRepliesOnlyWhenNotQuiet) {
  for (bool quiet : {false, true}) {
    Request request;
    request.quiet = quiet;
    FailWith(&request, ReplyKey::kLeaveNoGroups);
    EXPECT_TRUE(request.error);
    EXPECT_EQ(request.reply, quiet ? "" : "You have not joined any groups.");
  }
}

}  // namespace
