// The phones' side of the gateway's fake SMSC: a client of the port that
// bearerbox opens for an `smsc = fake` connection. It hands bearerbox the
// messages phones send (MO) and decodes the messages bearerbox delivers (MT).
//
// The line protocol, one message per line:
//   we send        FROM TO data %xx...      the UTF-8 bytes, URL-encoded
//                  FROM TO ucs2 %xx...      UTF-16BE, URL-encoded
//   bearerbox      FROM TO text words       GSM text, raw: a line break of
//   sends                                   the text breaks the line too
//                  FROM TO data %xx...      8-bit (or UTF-8) bytes
//                  FROM TO ucs-2 %xx...     UTF-16BE ('+' is a 0x20 byte)
//                  FROM TO udh %xx... data %xx...
//                                           one part of a concatenated
//                                           message; its header holds the
//                                           reference, part count and number
//
//   smsc::Phones phones;
//   if (!phones.Connect(port, 10000)) ...
//   phones.Send({"+15550001111", "4000", "CREATE Friends"});
//   std::vector<smsc::Message> got;
//   if (!phones.Sync("4000", 30000, &got)) ...  // got: everything it caused
#ifndef SMSC_FAKE_SMSC_H_
#define SMSC_FAKE_SMSC_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/socket.h"

namespace smsc {

// One text message: sender, recipient, text in UTF-8.
struct Message {
  std::string from;
  std::string to;
  std::string text;
  bool operator==(const Message&) const = default;
};

// How a phone's message travels to bearerbox.
enum class Coding {
  // 8-bit data: the exec service receives the UTF-8 bytes unchanged.
  kData,
  // UCS-2, as a phone sends a text outside the GSM alphabet. With
  // `mo-recode = true` in its smsbox group the gateway hands the exec
  // service UTF-8; without it the UTF-16BE bytes (%c is 2, %C UTF-16BE).
  kUcs2,
};

// The line of one received message, ending in "\n". `from` and `to` must
// hold no blank or line break.
std::string MoLine(const Message& message, Coding coding);

// Decodes the bytes bearerbox sends into messages, whatever pieces they
// arrive in.
//
// A line whose first two fields are not numbers (digits after an optional
// '+') or whose third is no known type continues the text of a `text`
// message that came just before it (the line break belongs to the text);
// any other such line is counted as malformed and dropped.
//
// The parts of a concatenated message (8-bit or 16-bit reference) are kept
// until all have come, in any order, and then become one message, placed
// where its last part arrived. Their payload carries no coding of its own:
// one with a 0x00 byte at an even offset is read as UTF-16BE (text with any
// ASCII in it has one there), any other as UTF-8.
class LineDecoder {
 public:
  void Feed(std::string_view bytes);

  // The messages decoded so far, in arrival order. The newest may still
  // grow by continuation lines until another line comes.
  const std::vector<Message>& messages() const { return messages_; }
  // Removes the first `count` messages and returns them.
  std::vector<Message> Take(size_t count);

  size_t malformed_lines() const { return malformed_; }
  // Parts of concatenated messages still waiting for the others.
  size_t waiting_parts() const;

 private:
  // A concatenated message: sender, recipient, reference, part count.
  using PartsKey = std::tuple<std::string, std::string, unsigned, unsigned>;

  void DecodeLine(std::string_view line);
  bool DecodeMessageLine(std::string_view line);
  bool AddPart(const std::string& from, const std::string& to, std::string_view udh,
               std::string payload);

  std::string pending_;  // bytes after the last line break
  std::vector<Message> messages_;
  bool text_open_ = false;  // messages_.back() is a text that may continue
  std::map<PartsKey, std::map<unsigned, std::string>> parts_;
  size_t malformed_ = 0;
};

// The number the story's sync messages come from, and what the processor
// answers to TEST: its words between these two.
constexpr char kDefaultSentinel[] = "+15559990000";
constexpr std::string_view kTestReplyStart = "Why are you trying to test ";
constexpr std::string_view kTestReplyEnd = "?";

constexpr uint32_t kConnectRetryMs = 100;

// Every phone at once, on one connection to bearerbox's fake-SMSC port on
// 127.0.0.1.
class Phones {
 public:
  explicit Phones(std::string sentinel = kDefaultSentinel) : sentinel_(std::move(sentinel)) {}

  // Connects, trying again every kConnectRetryMs until bearerbox listens or
  // timeout_ms has passed. False then.
  bool Connect(uint16_t port, uint32_t timeout_ms);
  bool connected() const { return socket_.valid(); }

  // Hands bearerbox one message a phone sends. False when the connection
  // failed.
  bool Send(const Message& message, Coding coding = Coding::kData);

  // Sends "TEST syncN" from the sentinel number to `gateway_number` and
  // reads until the processor's echo comes back. The gateway runs one exec
  // service at a time in arrival order, so everything that arrived before
  // the echo was caused by the earlier messages. True with those messages in
  // *received (messages to the sentinel left out); false when the echo did
  // not come within timeout_ms or the connection ended, with what did come
  // in *received.
  bool Sync(const std::string& gateway_number, uint32_t timeout_ms, std::vector<Message>* received);

  // Reads until `count` messages have come (the sentinel's among them) and
  // hands them over in arrival order; false when they did not come within
  // timeout_ms or the connection ended, with what did come in *received.
  // For a benchmark that knows how many messages a step causes.
  bool Receive(size_t count, uint32_t timeout_ms, std::vector<Message>* received);

  const std::string& sentinel() const { return sentinel_; }
  const LineDecoder& decoder() const { return decoder_; }

 private:
  // Reads what arrives within `milliseconds`; false when the connection
  // ended or failed.
  bool ReadFor(uint32_t milliseconds);
  std::vector<Message> TakeFor(size_t count);

  std::string sentinel_;
  platform::Socket socket_;
  LineDecoder decoder_;
  unsigned syncs_ = 0;
};

}  // namespace smsc

#endif  // SMSC_FAKE_SMSC_H_
