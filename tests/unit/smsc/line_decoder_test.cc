// Decoding what the gateway's fake SMSC writes: the codings, concatenated
// messages in any order, text lines broken by the text, and lines that are
// no message at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smsc/fake_smsc.h"

namespace {

using smsc::LineDecoder;
using smsc::Message;

struct DecodeCase {
  const char* scenario;
  std::vector<std::string> chunks;  // fed one after another
  std::vector<Message> expected;
  size_t malformed = 0;
  size_t waiting_parts = 0;
};

const Message kHi{"4000", "+1555", "hi"};

// "é€😀" in UTF-8 and as the gateway writes it in UTF-16BE (0x20 as '+').
constexpr char kNonGsm[] = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
constexpr char kNonGsmUcs2[] = "%00%E9+%AC%D8%3D%DE%00";

const std::vector<DecodeCase>& Cases() {
  static const std::vector<DecodeCase> cases = {
      {"TextIsTakenRaw", {"4000 +1555 text 100% a+b  c\n"}, {{"4000", "+1555", "100% a+b  c"}}},
      {"DataIsUrlDecoded",
       {"4000 +1555 data caf%C3%A9+%25\n"},
       {{"4000", "+1555", "caf\xC3\xA9 %"}}},
      {"Ucs2WithSurrogatePair",
       {std::string("4000 +1555 ucs-2 %00a") + kNonGsmUcs2 + "\n"},
       {{"4000", "+1555", std::string("a") + kNonGsm}}},
      {"LoneSurrogateAndOddByteBecomeReplacements",
       {"4000 +1555 ucs-2 %D8%3D%00a%00\n"},
       {{"4000", "+1555",
         "\xEF\xBF\xBD"
         "a\xEF\xBF\xBD"}}},
      {"LineSplitAcrossReads", {"4000 +15", "55 te", "xt hi\n"}, {kHi}},
      {"LineBreaksOfATextContinueIt",
       {"4000 +1555 text Reply 'YES G 1' to approve:\r\nG:Bob 4000 text b\n\nx\n4000 +1555 text "
        "hi\n"},
       {{"4000", "+1555", "Reply 'YES G 1' to approve:\r\nG:Bob 4000 text b\n\nx"}, kHi}},
      {"PartsOutOfOrder8BitReference",
       {"4000 +1555 udh %05%00%03%07%03%03 data +end\n",
        "4000 +1555 udh %05%00%03%07%03%01 data one\n", "4000 +1555 text hi\n",
        "4000 +1555 udh %05%00%03%07%03%02 data +two\n"},
       {kHi, {"4000", "+1555", "one two end"}}},
      {"PartsOf16BitReferenceWithOtherElementFirst",
       {"4000 +1555 udh %0C%05%04%0B%84%23%F0%08%04%01%02%02%02 data %DE%00%00b\n",
        "4000 +1555 udh %0C%05%04%0B%84%23%F0%08%04%01%02%02%01 data %00a%D8%3D\n"},
       {{"4000", "+1555",
         "a\xF0\x9F\x98\x80"
         "b"}}},
      {"SameReferenceOfAnotherSenderIsAnotherMessage",
       {"4000 +1555 udh %05%00%03%07%02%01 data a\n", "5000 +1555 udh %05%00%03%07%02%02 data b\n"},
       {},
       0,
       2},
      {"MalformedLinesAreDropped",
       {"\n", "garbage\n", "4000 +1555\n", "4000 +1555 fax hi\n", "4000 +1555 data %G1\n",
        "4000 +1555 data %4\n", "4000 +1555 udh %05%00%03%07%02%03 data x\n",
        "4000 +1555 udh %05%00%03%07%02%00 data x\n", "4000 +1555 udh %05%00%03 data x\n",
        "4000 +1555 udh %05%00%03%07%02%01 fax x\n", "4000 +1555 text hi\n"},
       {kHi},
       9},
  };
  return cases;
}

TEST(LineDecoderTest, DecodesEveryScenario) {
  for (const DecodeCase& c : Cases()) {
    LineDecoder decoder;
    for (const std::string& chunk : c.chunks) decoder.Feed(chunk);
    EXPECT_THAT(decoder.messages(), testing::ElementsAreArray(c.expected)) << c.scenario;
    EXPECT_EQ(decoder.malformed_lines(), c.malformed) << c.scenario;
    EXPECT_EQ(decoder.waiting_parts(), c.waiting_parts) << c.scenario;
  }
}

}  // namespace
