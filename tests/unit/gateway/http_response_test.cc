#include "gateway/http_response.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/http_test_server.h"
#include "support/platform_checks.h"

namespace {

constexpr char kOkHeader[] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

// ---------------------------------------------------------------------------
// Header scanning

struct OffsetCase {
  const char* name;
  std::string text;
  size_t expected;
};

class FindHeaderEndTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(FindHeaderEndTest, PointsPastEmptyLine) {
  EXPECT_EQ(FindHeaderEnd(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindHeaderEndTest,
    ::testing::Values(OffsetCase{"CrLf", "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody", 25},
                      OffsetCase{"BareLf", "HTTP/1.1 200 OK\nA: b\n\nbody", 22},
                      OffsetCase{"LfCrLf", "X\n\r\nbody", 4},
                      OffsetCase{"HalfEmptyLine", "HTTP/1.1 200 OK\r\nA: b\r\n\r", 0},
                      OffsetCase{"NoEmptyLine", "HTTP/1.1 200 OK\r\nA: b\r\n", 0},
                      OffsetCase{"Empty", "", 0},
                      OffsetCase{"StopsAtZeroByte", std::string("X\0\n\nbody", 8), 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct HeaderValueCase {
  const char* name;
  std::string text;
  std::string header;
  std::string expected;
};

class GetHeaderValueTest : public ::testing::TestWithParam<HeaderValueCase> {};

TEST_P(GetHeaderValueTest, ReadsValueOfHeaderBlockOnly) {
  EXPECT_EQ(GetHeaderValue(GetParam().text, GetParam().header, kMaxHeaderValueChars),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetHeaderValueTest,
    ::testing::Values(
        HeaderValueCase{"Plain", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello",
                        "Content-Length:", "5"},
        HeaderValueCase{"NameCaseIgnored", "HTTP/1.1 200 OK\r\ncontent-length:   12\r\n\r\n",
                        "Content-Length:", "12"},
        HeaderValueCase{"ValueEndsAtTab", "HTTP/1.1 200 OK\r\nA: x y\tz\r\n\r\n", "A:", "x y"},
        HeaderValueCase{"OnlyAtLineStart",
                        "HTTP/1.1 200 OK\r\nX-Content-Length: 7\r\n\r\n", "Content-Length:", ""},
        HeaderValueCase{"FirstLine", "Content-Length: 3\r\n\r\n", "Content-Length:", "3"},
        HeaderValueCase{"NotInBody", "HTTP/1.1 200 OK\r\n\r\nContent-Length: 5\r\n",
                        "Content-Length:", ""},
        HeaderValueCase{"IncompleteHeader", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
                        "Content-Length:", ""},
        HeaderValueCase{"FirstOfTwo", "HTTP/1.1 200 OK\r\nA: 1\r\nA: 2\r\n\r\n", "A:", "1"},
        HeaderValueCase{"EmptyValue", "HTTP/1.1 200 OK\r\nA:\r\nB: 2\r\n\r\n", "A:", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetHeaderValueTest, CutsValueAtLimit) {
  for (const size_t length : {kMaxHeaderValueChars - 1, kMaxHeaderValueChars,
                              kMaxHeaderValueChars + 1}) {
    const std::string value(length, 'v');
    const std::string text = "HTTP/1.1 200 OK\r\nA: " + value + "\r\n\r\n";
    EXPECT_EQ(GetHeaderValue(text, "A:", kMaxHeaderValueChars),
              value.substr(0, kMaxHeaderValueChars))
        << length;
  }
}

struct StatusCase {
  const char* name;
  std::string text;
  uint16_t expected;
};

class GetStatusCodeTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(GetStatusCodeTest, ReadsStatusOfFirstLine) {
  EXPECT_EQ(GetStatusCode(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetStatusCodeTest,
    ::testing::Values(StatusCase{"Ok", "HTTP/1.1 200 OK\r\n", 200},
                      StatusCase{"SmallLettersLeadingSpaces", "  http/1.0 404 Not Found", 404},
                      StatusCase{"SpacesBeforeNumber", "HTTP/1.1    302 Found", 302},
                      StatusCase{"NoHttpWord", "HTTX/1.1 200 OK", 0},
                      StatusCase{"NoNumber", "HTTP/1.1 OK", 0},
                      StatusCase{"VersionOnly", "HTTP/1.1", 0},
                      StatusCase{"WrapsPast16Bits", "HTTP/1.1 65537", 1},
                      StatusCase{"StopsAtZeroByte", std::string("HTTP/1.1 2\0" "04", 13), 2}),
    [](const auto& info) { return std::string(info.param.name); });

struct BodyOffsetCase {
  const char* name;
  std::string text;
  size_t expected;
  std::string text_after;  // the text as GetBodyOffset leaves it
};

class GetBodyOffsetTest : public ::testing::TestWithParam<BodyOffsetCase> {};

TEST_P(GetBodyOffsetTest, FindsBodyStart) {
  std::string text = GetParam().text;
  EXPECT_EQ(GetBodyOffset(text.data(), text.size()), GetParam().expected);
  EXPECT_EQ(text, GetParam().text_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetBodyOffsetTest,
    ::testing::Values(
        BodyOffsetCase{"CrLf", "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody", 25,
                       "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody"},
        BodyOffsetCase{"BareLf", "H\nA: b\n\nbody", 8, "H\nA: b\n\nbody"},
        BodyOffsetCase{"SpacesAndCrsInEmptyLine", "H\n \r \r\nbody", 7, "H\n \r \r\nbody"},
        BodyOffsetCase{"CrWithoutLfBecomesLf", "H\n\rbody", 3, "H\n\nbody"},
        BodyOffsetCase{"NoBody", "HTTP/1.1 200 OK\r\nA: b\r\n", 23,
                       "HTTP/1.1 200 OK\r\nA: b\r\n"},
        BodyOffsetCase{"StopsAtZeroByte", std::string("H\r\n\0\r\nx", 7), 3,
                       std::string("H\r\n\0\r\nx", 7)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexDigitValueTest, DigitsBothCasesAndOthers) {
  const std::string digits = "0123456789abcdef";
  for (size_t i = 0; i < digits.size(); ++i) {
    EXPECT_EQ(HexDigitValue(digits[i]), static_cast<int>(i)) << digits[i];
    EXPECT_EQ(HexDigitValue(static_cast<char>(std::toupper(digits[i]))), static_cast<int>(i));
  }
  for (const char c : {'g', 'G', ' ', '/', ':', '@', '`', '\0', '\xFF'}) {
    EXPECT_EQ(HexDigitValue(c), 0) << static_cast<int>(c);
  }
}

// ---------------------------------------------------------------------------
// Chunked bodies

struct ChunkCase {
  const char* name;
  std::string body;      // behind kOkHeader
  bool complete;         // HttpChunkComplete
  bool error;
  std::string stripped;  // the body after HttpChunkStrip
};

class ChunkedBodyTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkedBodyTest, CompletesAndStrips) {
  const std::string text = kOkHeader + GetParam().body;
  bool error = false;
  EXPECT_EQ(HttpChunkComplete(text, &error), GetParam().complete);
  EXPECT_EQ(error, GetParam().error);

  std::string buffer = text + '\0';
  size_t length = text.size();
  bool strip_error = false;
  HttpChunkStrip(buffer.data(), &length, &strip_error);
  EXPECT_EQ(buffer.substr(0, length), kOkHeader + GetParam().stripped);
  EXPECT_EQ(strip_error, GetParam().error);
  EXPECT_EQ(buffer.find_first_not_of('\0', length), std::string::npos)
      << "bytes behind the new end are zeroed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkedBodyTest,
    ::testing::Values(
        ChunkCase{"OneChunk", "5\r\nhello\r\n0\r\n\r\n", true, false, "hello"},
        ChunkCase{"Extension", "5;name=value\r\nhello\r\n0\r\n\r\n", true, false, "hello"},
        ChunkCase{"HexBothCases", "A\r\n0123456789\r\na\r\nabcdefghij\r\n0\r\n\r\n", true, false,
                  "0123456789abcdefghij"},
        ChunkCase{"DataHoldsCrLf", "4\r\n\r\n\r\n\r\n0\r\n\r\n", true, false, "\r\n\r\n"},
        ChunkCase{"OnlyLastChunk", "0\r\n\r\n", true, false, ""},
        ChunkCase{"NothingYet", "", false, false, ""},
        ChunkCase{"SizeLineOnly", "5\r\n", false, false, "5\r\n"},
        ChunkCase{"DataPartly", "5\r\nhel", false, false, "5\r\nhel"},
        ChunkCase{"DataBeginsLikeEmptyLine", "5\r\n\r\nab", false, false, "5\r\n\r\nab"},
        ChunkCase{"CrLfNotYetBehindData", "5\r\nhello", false, false, "5\r\nhello"},
        ChunkCase{"CrNotYetLf", "5\r\nhello\r", false, false, "5\r\nhello\r"},
        ChunkCase{"LastChunkWithoutEmptyLine", "5\r\nhello\r\n0\r\n", false, false, "hello"},
        ChunkCase{"TrailerNeverCompletes", "5\r\nhello\r\n0\r\nX-Check: 1\r\n\r\n", false, false,
                  "helloX-Check: 1\r\n\r\n"},
        ChunkCase{"BadSizeCharacterAtStart", "g\r\nhello\r\n", true, true, "g\r\nhello\r\n"},
        ChunkCase{"BadSizeCharacterLater", "5\r\nhello\r\nzz\r\n", true, true, "hellozz\r\n"},
        ChunkCase{"DataNotFollowedByCrLf", "2\r\nhello\r\n0\r\n\r\n", true, true,
                  "2\r\nhello\r\n0\r\n\r\n"},
        ChunkCase{"HugeSize", "FFFFFFFFFFFFFFFFFFFFFFFF\r\nabc", false, false,
                  "FFFFFFFFFFFFFFFFFFFFFFFF\r\nabc"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Reading from a socket

struct ReadResult {
  unsigned length = 0;
  bool has_block = false;
  std::string text;  // the block's first `length` bytes
  bool zero_behind = false;
};

// Connects to the server, sends a request and reads the answer.
ReadResult ReadAnswer(HttpTestServer& server, unsigned idle_seconds,
                      size_t max_bytes = kMaxResponseBytes) {
  ReadResult result;
  platform::Socket socket = platform::OpenStreamSocket();
  if (!socket.valid() || !platform::Connect(socket, platform::kLoopbackAddress, server.port())) {
    ADD_FAILURE() << "no connection to the test server";
    return result;
  }
  const std::string request = "GET / HTTP/1.1\r\nHost: test\r\n\r\n";
  platform::SendAll(socket, request.data(), request.size());
  ResponseBlock block;
  result.length = HttpResponseWait(socket, &block, idle_seconds, max_bytes);
  result.has_block = block != nullptr;
  if (block) {
    result.text.assign(block.get(), result.length);
    result.zero_behind = block.get()[result.length] == '\0';
  }
  return result;
}

class HttpResponseWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.listening());
    blocks_before_ = GWBlockCount();
  }
  void TearDown() override { EXPECT_EQ(GWBlockCount(), blocks_before_) << "leaked block"; }

  HttpTestServer server_;
  unsigned blocks_before_ = 0;
};

// A peer that stays silent after the bytes proves that the reader decided
// completeness from the bytes themselves: waiting for a close would fail.
TEST_F(HttpResponseWaitTest, ContentLengthReachedCompletesWithoutClose) {
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
  server_.Enqueue({SendBytes(answer), StaySilent()});
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.length, answer.size());
  EXPECT_EQ(result.text, answer);
  EXPECT_TRUE(result.zero_behind);
}

TEST_F(HttpResponseWaitTest, CloseBeforeContentLengthFails) {
  server_.Enqueue(Reply("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"));
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.length, 0u);
  EXPECT_FALSE(result.has_block);
}

TEST_F(HttpResponseWaitTest, CloseBeforeHeaderEndFails) {
  server_.Enqueue(Reply("HTTP/1.1 200 OK\r\nServer: x\r\n"));
  EXPECT_FALSE(ReadAnswer(server_, 2).has_block);
}

TEST_F(HttpResponseWaitTest, CloseEndsResponseWithoutLength) {
  const std::string answer = "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nall of it";
  server_.Enqueue({SendBytes(answer), PauseMs(50), SendBytes(" and more"), CloseConnection()});
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.text, answer + " and more");
}

TEST_F(HttpResponseWaitTest, SilenceAfterBytesWithoutLengthFails) {
  server_.Enqueue({SendBytes("HTTP/1.1 200 OK\r\n\r\npartial body"), StaySilent()});
  const ReadResult result = ReadAnswer(server_, 1);
  EXPECT_EQ(result.length, 0u);
  EXPECT_FALSE(result.has_block);
}

TEST_F(HttpResponseWaitTest, SilentPeerFails) {
  server_.Enqueue({StaySilent()});
  EXPECT_FALSE(ReadAnswer(server_, 1).has_block);
}

TEST_F(HttpResponseWaitTest, ResetAfterBodyWithoutLengthFails) {
  if (OnWindows()) {
    GTEST_SKIP() << "the Windows tests run under Wine, whose sockets close gracefully even "
                    "with a zero linger time, so the server cannot reset";
  }
  server_.Enqueue({SendBytes("HTTP/1.1 200 OK\r\n\r\nbody"), PauseMs(50), ResetConnection()});
  EXPECT_FALSE(ReadAnswer(server_, 2).has_block);
}

TEST_F(HttpResponseWaitTest, ChunkedBodyInPiecesIsJoined) {
  server_.Enqueue({SendBytes(kOkHeader), PauseMs(30), SendBytes("5;x=y\r\nhel"), PauseMs(30),
                   SendBytes("lo\r\nA\r\n0123"), PauseMs(30), SendBytes("456789\r\n0\r"),
                   PauseMs(30), SendBytes("\n\r\n"), StaySilent()});
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.text, std::string(kOkHeader) + "hello0123456789");
  EXPECT_EQ(result.length, sizeof kOkHeader - 1 + 15);
  EXPECT_TRUE(result.zero_behind);
}

TEST_F(HttpResponseWaitTest, ChunkedBodyWithTrailerEndsOnlyWithCloseAndKeepsFraming) {
  const std::string answer = std::string(kOkHeader) + "5\r\nhello\r\n0\r\nX-Sum: 1\r\n\r\n";
  server_.Enqueue({SendBytes(answer), PauseMs(50), CloseConnection()});
  EXPECT_EQ(ReadAnswer(server_, 2).text, answer);
}

TEST_F(HttpResponseWaitTest, ChunkedBodyWithTrailerAndSilenceFails) {
  server_.Enqueue(
      {SendBytes(std::string(kOkHeader) + "5\r\nhello\r\n0\r\nX-Sum: 1\r\n\r\n"), StaySilent()});
  EXPECT_FALSE(ReadAnswer(server_, 1).has_block);
}

TEST_F(HttpResponseWaitTest, BadChunkSizeEndsAtOnceWithFramingRemovedUpToFault) {
  server_.Enqueue({SendBytes(std::string(kOkHeader) + "5\r\nhello\r\ngarbage"), StaySilent()});
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.text, std::string(kOkHeader) + "hellogarbage");
}

TEST_F(HttpResponseWaitTest, InterimContinueIsDropped) {
  const std::string final_answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  server_.Enqueue({SendBytes("HTTP/1.1 100 Continue\r\n\r\n" + final_answer), StaySilent()});
  EXPECT_EQ(ReadAnswer(server_, 2).text, final_answer);
}

TEST_F(HttpResponseWaitTest, InterimContinueAloneThenFinalAnswerLater) {
  const std::string final_answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  server_.Enqueue({SendBytes("HTTP/1.1 100 Continue\r\n\r\n"), PauseMs(50),
                   SendBytes("HTTP/1.1 102 Processing\r\n\r\n"), PauseMs(50),
                   SendBytes(final_answer), StaySilent()});
  EXPECT_EQ(ReadAnswer(server_, 2).text, final_answer);
}

class NoBodyStatusTest : public HttpResponseWaitTest,
                         public ::testing::WithParamInterface<int> {};

TEST_P(NoBodyStatusTest, CompletesAtHeaderEndWhateverHeadersSay) {
  const std::string answer = "HTTP/1.1 " + std::to_string(GetParam()) +
                             " No Body\r\nContent-Length: 10\r\n\r\n";
  server_.Enqueue({SendBytes(answer), StaySilent()});
  EXPECT_EQ(ReadAnswer(server_, 2).text, answer);
}

INSTANTIATE_TEST_SUITE_P(Statuses, NoBodyStatusTest, ::testing::Values(204, 304));

TEST_F(HttpResponseWaitTest, HeaderTrickledByteByByteIsRecognised) {
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
  ServerScript script = Trickle(answer, 2);
  script.back() = StaySilent();
  server_.Enqueue(script);
  EXPECT_EQ(ReadAnswer(server_, 2).text, answer);
}

TEST_F(HttpResponseWaitTest, BareLfHeaderEnd) {
  const std::string answer = "HTTP/1.1 200 OK\nContent-Length: 2\n\nok";
  server_.Enqueue({SendBytes(answer), StaySilent()});
  EXPECT_EQ(ReadAnswer(server_, 2).text, answer);
}

TEST_F(HttpResponseWaitTest, LargeResponseGrowsBufferIntact) {
  std::string body(300000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  const std::string answer = HttpAnswer(200, "OK", body);
  server_.Enqueue({SendBytes(answer), StaySilent()});
  const ReadResult result = ReadAnswer(server_, 2);
  EXPECT_EQ(result.length, answer.size());
  EXPECT_TRUE(result.text == answer);
  EXPECT_TRUE(result.zero_behind);
}

// The size limit, lowered for the test: a response of exactly the limit is
// read, one byte more fails.
TEST_F(HttpResponseWaitTest, ResponseSizeLimitWithoutLength) {
  const std::string answer = "HTTP/1.1 200 OK\r\n\r\n" + std::string(20000, 'x');
  server_.Enqueue(Reply(answer));
  EXPECT_EQ(ReadAnswer(server_, 2, answer.size()).length, answer.size());
  server_.Enqueue(Reply(answer));
  EXPECT_FALSE(ReadAnswer(server_, 2, answer.size() - 1).has_block);
}

TEST_F(HttpResponseWaitTest, ResponseSizeLimitWithDeclaredLength) {
  const std::string answer = HttpAnswer(200, "OK", std::string(20000, 'x'));
  server_.Enqueue({SendBytes(answer), StaySilent()});
  EXPECT_EQ(ReadAnswer(server_, 2, answer.size()).length, answer.size());
  server_.Enqueue({SendBytes(answer), StaySilent()});
  EXPECT_FALSE(ReadAnswer(server_, 2, answer.size() - 1).has_block);
}

TEST_F(HttpResponseWaitTest, ChunkedResponseOverLimitFails) {
  std::string answer = kOkHeader;
  for (int i = 0; i < 10; ++i) answer += "3E8\r\n" + std::string(1000, 'c') + "\r\n";
  answer += "0\r\n\r\n";
  server_.Enqueue({SendBytes(answer), StaySilent()});
  EXPECT_FALSE(ReadAnswer(server_, 2, 5000).has_block);
}

}  // namespace
