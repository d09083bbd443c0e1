#include <gtest/gtest.h>

#include <string>

#include "sim/submission_server.h"

namespace {

TEST(SimDecoding, PercentDecodeKeepsPlusAndBrokenEscapes) {
  const struct {
    const char* encoded;
    std::string decoded;
  } cases[] = {
      {"Hi%20%26%20bye%2B1", "Hi & bye+1"},
      {"%2B15550001111", "+15550001111"},
      {"+15550001111", "+15550001111"},  // a bare '+' stays a plus sign
      {"%C3%a9", "\xC3\xA9"},
      {"100%", "100%"},
      {"%4", "%4"},
      {"%zz", "%zz"},
      {"%0D%0A", "\r\n"},
      {"%00x", std::string("\0x", 2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PercentDecode(c.encoded), c.decoded) << c.encoded;
  }
}

TEST(SimDecoding, Base64DecodesCredentials) {
  std::string decoded;
  ASSERT_TRUE(Base64Decode("KzE1NTUwMDAxMTExOnNlY3JldA==", &decoded));
  EXPECT_EQ(decoded, "+15550001111:secret");
  ASSERT_TRUE(Base64Decode("YWJj", &decoded));
  EXPECT_EQ(decoded, "abc");
  ASSERT_TRUE(Base64Decode("", &decoded));
  EXPECT_EQ(decoded, "");
  EXPECT_FALSE(Base64Decode("a*b=", &decoded));
}

TEST(SimLog, LogLineEscapesControlCharactersAndKeepsFiveFields) {
  const std::string line = LogLine("acct", "+1555\t0", "to", "a\\b\r\nc\x01");
  ASSERT_EQ(line.back(), '\n');
  size_t tabs = 0;
  for (char c : line) tabs += c == '\t';
  EXPECT_EQ(tabs, 4u);
  EXPECT_NE(line.find("\tacct\t+1555\\t0\tto\ta\\\\b\\r\\nc\\x01\n"), std::string::npos) << line;
}

TEST(SimDisplay, MultiLineTextContinuesIndented) {
  EXPECT_EQ(DisplayLine("+2", "+1", "hello"), "+2 <- +1  hello");
  EXPECT_EQ(DisplayLine("+2", "+1", "a\r\nb"), "+2 <- +1  a\n          b");
}

}  // namespace
