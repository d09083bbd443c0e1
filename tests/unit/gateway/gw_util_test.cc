#include "gateway/gw_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

constexpr size_t npos = std::string_view::npos;

struct Base64Case {
  std::string text;
  std::string encoded;
};

class Base64EncodeTest : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64EncodeTest, EncodesWithPadding) {
  EXPECT_EQ(Base64Encode(GetParam().text), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64EncodeTest,
    ::testing::Values(Base64Case{"", ""}, Base64Case{"a", "YQ=="},
                      Base64Case{"ab", "YWI="}, Base64Case{"abc", "YWJj"},
                      Base64Case{"abcd", "YWJjZA=="}, Base64Case{"user:pass", "dXNlcjpwYXNz"},
                      Base64Case{"user:", "dXNlcjo="},
                      // High bytes use the end of the alphabet: + and /.
                      Base64Case{"\xFB\xEF\xFF", "++//"},
                      Base64Case{std::string("\0\0\0", 3), "AAAA"}));

struct FindCase {
  const char* name;
  std::string text;
  std::string pattern;
  size_t expected;
};

class FindTextTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsFirstMatch) {
  EXPECT_EQ(FindText(GetParam().text, GetParam().pattern), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    ::testing::Values(
        FindCase{"SmallPatternFindsHeader", "HTTP/1.1 302 Found\r\nLocation: /x", "location:", 20},
        FindCase{"MatchesInsideContentLocation",
                 "HTTP/1.1 302 Found\r\nContent-Location: /a\r\nLocation: /b", "Location:", 28},
        FindCase{"ChunkedInAList", "gzip, CHUNKED", "chunked", 6},
        FindCase{"LongerThanText", "abc", "abcd", npos},
        FindCase{"EmptyText", "", "x", npos},
        FindCase{"SkipsSenderTokenAndExtraAt", "@@@SENDER@@&x=@@RECIP@@", "@@RECIP@@", 14},
        FindCase{"TokensBackToBack", "@@SENDER@@@@RECIP@@", "@@RECIP@@", 10},
        FindCase{"TokenCaseIgnored", "a=@@recip@@", "@@RECIP@@", 2},
        FindCase{"ClosingPairIsNoOpening", "@@X@@RECIP@@", "@@RECIP@@", npos},
        FindCase{"UnclosedToken", "@@A@@ @@B", "@@B@@", npos},
        FindCase{"NoTokenAtAll", "sender=1&text=2", "@@TEXT@@", npos},
        FindCase{"TokenAtTextEnd", "text=@@TEXT@@", "@@TEXT@@", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GWmallocTest, BlockIsZeroFilledWithSpareBytesAndCounted) {
  const unsigned before = GWBlockCount();
  char* block = static_cast<char*>(GWmalloc(100));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GWBlockCount(), before + 1);
  for (size_t i = 0; i < 100 + kBlockSpareBytes; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_TRUE(GWfree(block));
  EXPECT_EQ(GWBlockCount(), before);
}

TEST(GWmallocTest, ReallocKeepsContentsZeroFillsGrowthAndKeepsCount) {
  const unsigned before = GWBlockCount();
  char* block = static_cast<char*>(GWmalloc(8));
  ASSERT_NE(block, nullptr);
  std::memset(block, 'x', 8 + kBlockSpareBytes);
  char* grown = static_cast<char*>(GWrealloc(block, 5000));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(GWBlockCount(), before + 1);
  EXPECT_EQ(std::string(grown, 8 + kBlockSpareBytes), std::string(8 + kBlockSpareBytes, 'x'));
  for (size_t i = 8 + kBlockSpareBytes; i < 5000 + kBlockSpareBytes; ++i) {
    ASSERT_EQ(grown[i], 0) << i;
  }
  EXPECT_TRUE(GWfree(grown));
  EXPECT_EQ(GWBlockCount(), before);
}

TEST(GWmallocTest, ImpossibleSizesFailWithoutCounting) {
  const unsigned before = GWBlockCount();
  EXPECT_EQ(GWmalloc(SIZE_MAX), nullptr);
  char* block = static_cast<char*>(GWmalloc(1));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GWrealloc(block, SIZE_MAX), nullptr);  // the old block stays
  block[0] = 'k';
  EXPECT_EQ(GWrealloc(nullptr, 10), nullptr);
  EXPECT_TRUE(GWfree(block));
  EXPECT_EQ(GWBlockCount(), before);
}

TEST(GWfreeTest, NullBlockFailsAndLeavesCount) {
  const unsigned before = GWBlockCount();
  EXPECT_FALSE(GWfree(nullptr));
  EXPECT_EQ(GWBlockCount(), before);
}

TEST(GWfreeTest, ResponseBlockReleasesOnScopeEnd) {
  const unsigned before = GWBlockCount();
  {
    ResponseBlock block(static_cast<char*>(GWmalloc(10)));
    ASSERT_TRUE(block);
    EXPECT_EQ(GWBlockCount(), before + 1);
  }
  EXPECT_EQ(GWBlockCount(), before);
}

TEST(UntilZeroTest, StopsAtFirstZeroByte) {
  EXPECT_EQ(UntilZero(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(UntilZero("abc"), "abc");
  EXPECT_EQ(UntilZero(""), "");
}

TEST(WriteStringTest, WritesWholeTextAndCountsBytes) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string path = dir.path() + "GROUP.INI";
  {
    platform::File file =
        platform::CreateFile(path, platform::CreateDisposition::kCreateAlways, nullptr);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(WriteString(file, "[Group]\r\n"), 9u);
    EXPECT_EQ(WriteString(file, "Owner=alice\r\n"), 13u);
  }
  std::string contents;
  ASSERT_TRUE(platform::ReadWholeFile(path, &contents));
  EXPECT_EQ(contents, "[Group]\r\nOwner=alice\r\n");
}

TEST(WriteStringTest, ClosedFileWritesNothing) {
  platform::File closed;
  EXPECT_EQ(WriteString(closed, "text"), 0u);
}

}  // namespace
