// The fake SMSC line protocol both ways, and the story player's refusal of a line that is no
// message.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "smsc/fake_smsc.h"
#include "smsc/play.h"

namespace {

TEST(LineDecoderTest, DecodesEveryScenario) {
  // The chunks fed one after another; then every message as "from>to:text;",
  // the parts still waiting and the malformed lines.
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"4000 +1555 text 100% a+b  c\n"}, "4000>+1555:100% a+b  c;0 0"},
      {{"4000 +1555 data caf%C3%A9+%25\n"}, "4000>+1555:caf\xC3\xA9 %;0 0"},
      // "aé€😀" as the gateway writes it in UTF-16BE (0x20 as '+')
      {{"4000 +1555 ucs-2 %00a%00%E9+%AC%D8%3D%DE%00\n"},
       "4000>+1555:a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80;0 0"},
      // a lone surrogate and an odd byte become replacements
      {{"4000 +1555 ucs-2 %D8%3D%00a%00\n"},
       "4000>+1555:\xEF\xBF\xBD"
       "a\xEF\xBF\xBD;0 0"},
      {{"4000 +15", "55 te", "xt hi\n"}, "4000>+1555:hi;0 0"},
      // the line breaks of a text continue it
      {{"4000 +1555 text Y 1:\r\nG:Bob 4000 text b\n\nx\n4000 +1555 text hi\n"},
       "4000>+1555:Y 1:\r\nG:Bob 4000 text b\n\nx;4000>+1555:hi;0 0"},
      // parts out of order, 8-bit reference
      {{"4000 +1555 udh %05%00%03%07%03%03 data +end\n",
        "4000 +1555 udh %05%00%03%07%03%01 data one\n", "4000 +1555 text hi\n",
        "4000 +1555 udh %05%00%03%07%03%02 data +two\n"},
       "4000>+1555:hi;4000>+1555:one two end;0 0"},
      // 16-bit reference behind another element
      {{"4000 +1555 udh %0C%05%04%0B%84%23%F0%08%04%01%02%02%02 data %DE%00%00b\n",
        "4000 +1555 udh %0C%05%04%0B%84%23%F0%08%04%01%02%02%01 data %00a%D8%3D\n"},
       "4000>+1555:a\xF0\x9F\x98\x80"
       "b;0 0"},
      // the same reference from another sender is another message
      {{"4000 +1555 udh %05%00%03%07%02%01 data a\n", "5000 +1555 udh %05%00%03%07%02%02 data b\n"},
       "2 0"},
      {{"\n", "garbage\n", "4000 +1555\n", "4000 +1555 fax hi\n", "4000 +1555 data %G1\n",
        "4000 +1555 data %4\n", "4000 +1555 udh %05%00%03%07%02%03 data x\n",
        "4000 +1555 udh %05%00%03%07%02%00 data x\n", "4000 +1555 udh %05%00%03 data x\n",
        "4000 +1555 udh %05%00%03%07%02%01 fax x\n", "4000 +1555 text hi\n"},
       "4000>+1555:hi;0 9"}};
  for (const auto& [chunks, want] : rows) {
    smsc::LineDecoder decoder;
    for (const std::string& chunk : chunks) decoder.Feed(chunk);
    std::string got;
    for (const auto& m : decoder.messages()) got += m.from + ">" + m.to + ":" + m.text + ";";
    EXPECT_EQ(got + std::to_string(decoder.waiting_parts()) + " " +
                  std::to_string(decoder.malformed_lines()),
              want)
        << chunks[0];
  }
}

TEST(PhonesTest, SendUrlEncodedLinesAndRefuseAStoryLineWithoutNumbers) {
  EXPECT_EQ(smsc::MoLine({"+1555", "4000", "AZaz09-_.~ %/\n"}, smsc::Coding::kData),
            "+1555 4000 data AZaz09-_.~%20%25%2F%0A\n");
  EXPECT_EQ(smsc::MoLine({"+1555", "4000", "@\xC3\xA9"}, smsc::Coding::kUcs2),
            "+1555 4000 ucs2 %00%40%00%E9\n");
  platform::SocketsStartup();
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, 8);
  ASSERT_TRUE(listener.valid());
  for (const std::string line : {"nospace", " 4000 hi", "+1555 ", "-"}) {
    std::istringstream story("# Start\n\n" + line + "\n");
    std::ostringstream out, errors;
    EXPECT_EQ(smsc::PlayStory(platform::LocalPort(listener), "+1999", 1, story, out, errors), 1);
    EXPECT_EQ(out.str() + errors.str(),
              "\n== Start\nkannel-phones: not \"FROM TO text\": " + line + "\n");
  }
}

}  // namespace
