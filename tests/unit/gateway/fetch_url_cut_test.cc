// A URL longer than the client fetches is cut at its limit; the cut never
// leaves half of a %XX escape at the end, so a long post's text arrives as
// its own beginning and not with a stray '%' or "%4" behind it.
#include <gtest/gtest.h>

#include <string>

#include "gateway/http_client.h"

namespace {

struct CutCase {
  const char* name;
  size_t escape_at;      // where an escape starts, counted from the limit
  size_t expected_keep;  // characters of the URL kept
};

class FetchUrlCutTest : public ::testing::TestWithParam<CutCase> {};

// A URL of kMaxFetchUrlChars + 10 characters: plain 'x' with one "%41"
// placed so that the limit falls before, inside or behind it.
TEST_P(FetchUrlCutTest, CutDropsAPartialEscape) {
  const CutCase& c = GetParam();
  std::string url = "http://h/?text=" + std::string(kMaxFetchUrlChars + 10 - 15, 'x');
  url.replace(kMaxFetchUrlChars - c.escape_at, 3, "%41");
  ParsedUrl parsed;
  ASSERT_TRUE(ParseUrl(url, &parsed));
  EXPECT_EQ(parsed.url, url.substr(0, c.expected_keep));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FetchUrlCutTest,
    ::testing::Values(CutCase{"EscapeEndsAtTheLimit", 3, kMaxFetchUrlChars},
                      CutCase{"LimitAfterTwoCharacters", 2, kMaxFetchUrlChars - 2},
                      CutCase{"LimitAfterThePercent", 1, kMaxFetchUrlChars - 1},
                      CutCase{"EscapeBeginsAtTheLimit", 0, kMaxFetchUrlChars}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST(FetchUrlCutRulesTest, UncutUrlKeepsATrailingPercent) {
  for (const std::string url : {"http://h/?text=100%", "http://h/?text=%4"}) {
    ParsedUrl parsed;
    ASSERT_TRUE(ParseUrl(url, &parsed));
    EXPECT_EQ(parsed.url, url);
  }
}

TEST(FetchUrlCutRulesTest, SchemelessUrlIsCutTheSameWay) {
  std::string url = "h/?text=" + std::string(kMaxSchemelessUrlChars, 'x');
  url.replace(kMaxSchemelessUrlChars - 1, 3, "%41");
  ParsedUrl parsed;
  ASSERT_TRUE(ParseUrl(url, &parsed));
  EXPECT_EQ(parsed.url, "http://" + url.substr(0, kMaxSchemelessUrlChars - 1));
}

}  // namespace
