// Stream sockets on 127.0.0.1: readiness and waiting bytes around a
// graceful close and a reset, addresses, and a closed port.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <string>

#include "support/platform_checks.h"

namespace platform {
namespace {

constexpr unsigned kWaitMs = 30000;

// A connected pair on the loopback interface.
struct Pair {
  Socket client;
  Socket server;
};

bool Connected(Pair* pair) {
  SocketsStartup();
  Socket listener = Listen(kLoopbackAddress, 0, 4);
  const uint16_t port = LocalPort(listener);
  if (!listener.valid() || port == 0) return false;
  pair->client = OpenStreamSocket();
  if (!pair->client.valid() || !Connect(pair->client, kLoopbackAddress, port)) return false;
  pair->server = Accept(listener);
  return pair->server.valid();
}

// Readable with N bytes waiting, then readable with none: end of stream.
TEST(LoopbackSocket, GracefulCloseAfterDataReadsAsEndOfStream) {
  Pair pair;
  ASSERT_TRUE(Connected(&pair));
  EXPECT_EQ(WaitReadableMs(pair.client, 0), 0);
  const std::string data = "hello";
  ASSERT_TRUE(SendAll(pair.server, data.data(), data.size()));
  pair.server.Close();

  ASSERT_EQ(WaitReadableMs(pair.client, kWaitMs), 1);
  size_t waiting = 0;
  ASSERT_TRUE(BytesWaiting(pair.client, &waiting));
  EXPECT_EQ(waiting, data.size());
  char buffer[16];
  ASSERT_EQ(Receive(pair.client, buffer, sizeof buffer), static_cast<long>(data.size()));
  EXPECT_EQ(std::string(buffer, data.size()), data);

  EXPECT_EQ(WaitReadable(pair.client, 30), 1);
  ASSERT_TRUE(BytesWaiting(pair.client, &waiting));
  EXPECT_EQ(waiting, 0u);
  EXPECT_EQ(Receive(pair.client, buffer, sizeof buffer), 0);
}

TEST(LoopbackSocket, ResetIsAnErrorNotEndOfStream) {
  if (OnWindows()) {
    GTEST_SKIP() << "the Windows tests run under Wine, whose sockets close gracefully even "
                    "with a zero linger time, so no reset can be made";
  }
  Pair pair;
  ASSERT_TRUE(Connected(&pair));
  SetResetOnClose(pair.server);
  pair.server.Close();
  ASSERT_EQ(WaitReadableMs(pair.client, kWaitMs), 1);
  char buffer[16];
  EXPECT_EQ(Receive(pair.client, buffer, sizeof buffer), -1);
}

TEST(LoopbackSocket, ShutdownSendEndsTheStreamButNotTheReplies) {
  Pair pair;
  ASSERT_TRUE(Connected(&pair));
  ShutdownSend(pair.client);
  char buffer[16];
  ASSERT_EQ(WaitReadableMs(pair.server, kWaitMs), 1);
  EXPECT_EQ(Receive(pair.server, buffer, sizeof buffer), 0);
  ASSERT_TRUE(SendAll(pair.server, "ok", 2));
  ASSERT_EQ(WaitReadableMs(pair.client, kWaitMs), 1);
  EXPECT_EQ(Receive(pair.client, buffer, sizeof buffer), 2);
}

TEST(LoopbackSocket, ClosedPortRefusesAtOnce) {
  SocketsStartup();
  Socket listener = Listen(kLoopbackAddress, 0, 1);
  const uint16_t port = LocalPort(listener);
  ASSERT_NE(port, 0);
  listener.Close();
  Socket client = OpenStreamSocket();
  ASSERT_TRUE(client.valid());
  EXPECT_FALSE(Connect(client, kLoopbackAddress, port));
}

TEST(Addresses, DottedAddressesParse) {
  const struct {
    const char* text;
    bool valid;
    uint32_t address;
  } cases[] = {
      {"127.0.0.1", true, kLoopbackAddress},
      {"10.0.0.1", true, 0x0A000001},
      {"0.0.0.0", true, 0},
      {"255.255.255.255", true, 0xFFFFFFFF},
      {"1.2.3.256", false, 0},
      {"", false, 0},
      {"gateway.example", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t address = 0;
    EXPECT_EQ(ParseDottedAddress(c.text, &address), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(address, c.address) << c.text;
    }
  }
  uint32_t looked_up = 0;
  ASSERT_TRUE(LookupHost("127.0.0.1", &looked_up));
  EXPECT_EQ(looked_up, kLoopbackAddress);
}

}  // namespace
}  // namespace platform
