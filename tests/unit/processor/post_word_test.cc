// Reading the first word of a post, and the bounded texts a post sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/limits.h"
#include "processor/post.h"
#include "processor/request.h"

namespace {

struct WordCase {
  const char* word;
  const char* group;
  const char* target;
  bool has_marker;
};

class PostWordTest : public testing::TestWithParam<WordCase> {};

TEST_P(PostWordTest, SplitsMarkerGroupAndTarget) {
  const WordCase& c = GetParam();
  const PostAddress address = ParsePostWord(c.word);
  EXPECT_EQ(address.group, c.group);
  EXPECT_EQ(address.target, c.target);
  EXPECT_EQ(address.has_marker, c.has_marker);
}

INSTANTIATE_TEST_SUITE_P(
    Words, PostWordTest,
    testing::Values(WordCase{"@Friends", "Friends", "", true},
                    WordCase{"#Friends", "Friends", "", true},
                    WordCase{"Friends", "Friends", "", false},
                    WordCase{"@@Friends", "@Friends", "", true},
                    // '@' is a marker even when no letter follows it.
                    WordCase{"@", "", "", true}, WordCase{"@#x", "#x", "", true},
                    // Another sign is a marker only before a letter or digit.
                    WordCase{"##Friends", "##Friends", "", false}, WordCase{"#", "#", "", false},
                    WordCase{"/t", "t", "", true}, WordCase{"1Club", "1Club", "", false},
                    WordCase{"@Friends:Bob", "Friends", "Bob", true},
                    WordCase{"Friends:bob", "Friends", "bob", false},
                    WordCase{"@Friends:", "Friends", "", true}, WordCase{"@:Bob", "", "Bob", true},
                    // Only the first ':' splits.
                    WordCase{"@Friends:Bob:Ann", "Friends", "Bob:Ann", true},
                    // A UTF-8 lead byte is no letter; the marker test is ASCII.
                    WordCase{"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "", false},
                    WordCase{"", "", "", false}));

std::string Repeat(char c, size_t n) { return std::string(n, c); }

TEST(PostWordLimits, GroupIsCutBeforeTheColonIsLookedFor) {
  // limit - 1, limit and limit + 1 characters of group name.
  for (size_t length : {kMaxGroupChars - 1, kMaxGroupChars, kMaxGroupChars + 1}) {
    const PostAddress address = ParsePostWord("@" + Repeat('g', length));
    EXPECT_EQ(address.group.size(), std::min(length, kMaxGroupChars)) << length;
  }
  // A ':' that lies past the cut names no target.
  const PostAddress late = ParsePostWord("@" + Repeat('g', kMaxGroupChars) + ":Bob");
  EXPECT_EQ(late.group, Repeat('g', kMaxGroupChars));
  EXPECT_EQ(late.target, "");
  // The cut counts from behind the marker.
  const PostAddress last = ParsePostWord("@" + Repeat('g', kMaxGroupChars - 2) + ":Bob");
  EXPECT_EQ(last.group.size(), kMaxGroupChars - 2);
  EXPECT_EQ(last.target, "B");
  const PostAddress plain = ParsePostWord(Repeat('g', kMaxGroupChars + 5));
  EXPECT_EQ(plain.group.size(), kMaxGroupChars);
  EXPECT_FALSE(plain.has_marker);
}

Request MessageOf(std::vector<std::string> words) {
  Request request;
  request.args = {"/s", "+15550001111", "/t"};
  request.args.insert(request.args.end(), words.begin(), words.end());
  request.text_position = 3;
  return request;
}

TEST(PostText, EachWordFollowsOneSpace) {
  EXPECT_EQ(AppendTextWords("@Friends:Bob", MessageOf({"@Friends", "see", "you", "at", "8"})),
            "@Friends:Bob see you at 8");
  EXPECT_EQ(AppendTextWords("@Friends:Bob", MessageOf({"@Friends"})), "@Friends:Bob");
  // Words travel as received, quotes and backslashes included.
  EXPECT_EQ(AppendTextWords("F:B", MessageOf({"@F", "it's", "a\\b", "\"q\""})),
            "F:B it's a\\b \"q\"");
}

TEST(PostText, CutAtTheLimit) {
  const std::string prefix = "@Friends:Bob";
  // The words fill the text to limit - 1, limit and limit + 1 characters.
  for (size_t total : {kMaxPostTextChars - 1, kMaxPostTextChars, kMaxPostTextChars + 1}) {
    const std::string word = Repeat('w', total - prefix.size() - 1);
    const std::string text = AppendTextWords(prefix, MessageOf({"@Friends", word, "tail"}));
    EXPECT_EQ(text.size(), kMaxPostTextChars) << total;
    EXPECT_EQ(text.substr(0, prefix.size() + 1), prefix + " ");
  }
  const std::string word = Repeat('w', kMaxPostTextChars - prefix.size() - 7);
  EXPECT_EQ(AppendTextWords(prefix, MessageOf({"@Friends", word, "tail"})),
            prefix + " " + word + " tail");
  // A prefix longer than the limit is cut too.
  EXPECT_EQ(AppendTextWords(Repeat('p', kMaxPostTextChars + 10), MessageOf({"@F", "x"})).size(),
            kMaxPostTextChars);
}

}  // namespace
