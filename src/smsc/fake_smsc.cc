#include "smsc/fake_smsc.h"

#include <algorithm>
#include <utility>

#include "common/text.h"
#include "platform/clock.h"

namespace smsc {
namespace {

constexpr char kDataType[] = "data";
constexpr char kUcs2SendType[] = "ucs2";  // bearerbox reads "ucs2" ...
constexpr char kUcs2Type[] = "ucs-2";     // ... and writes "ucs-2"
constexpr char kTextType[] = "text";
constexpr char kUdhType[] = "udh";
constexpr char kSyncWord[] = "sync";
constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr size_t kReceiveChunk = 65536;
constexpr uint32_t kReadSliceMs = 200;

// Information elements of a user data header that number the parts of a
// concatenated message: reference, count, number.
constexpr unsigned char kConcat8Bit = 0x00;   // 1-byte reference
constexpr unsigned char kConcat16Bit = 0x08;  // 2-byte reference
constexpr size_t kConcat8BitLength = 3;
constexpr size_t kConcat16BitLength = 4;

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kFirstSupplementary = 0x10000;

// --- URL encoding --------------------------------------------------------

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '~';
}

std::string UrlEncode(std::string_view bytes) {
  std::string encoded;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      encoded.push_back(c);
    } else {
      encoded += {'%', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
    }
  }
  return encoded;
}

// --- UTF-8 and UTF-16 ----------------------------------------------------

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < kFirstSupplementary) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// The code point starting at text[*at], advancing *at past it; U+FFFD for
// a byte that starts no valid sequence (and *at moves by that one byte).
char32_t NextUtf8OrReplacement(std::string_view text, size_t* at) {
  char32_t code_point = 0;
  if (NextUtf8(text, at, &code_point)) return code_point;
  ++*at;
  return kReplacement;
}

void AppendUtf16Unit(char32_t unit, std::string* out) {
  out->push_back(static_cast<char>(unit >> 8));
  out->push_back(static_cast<char>(unit & 0xFF));
}

std::string Utf8ToUtf16Be(std::string_view text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const char32_t code_point = NextUtf8OrReplacement(text, &at);
    if (code_point < kFirstSupplementary) {
      AppendUtf16Unit(code_point, &out);
    } else {
      const char32_t offset = code_point - kFirstSupplementary;
      AppendUtf16Unit(kHighSurrogateFirst + (offset >> 10), &out);
      AppendUtf16Unit(kLowSurrogateFirst + (offset & 0x3FF), &out);
    }
  }
  return out;
}

char32_t Utf16UnitAt(std::string_view bytes, size_t at) {
  return (char32_t{static_cast<unsigned char>(bytes[at])} << 8) |
         static_cast<unsigned char>(bytes[at + 1]);
}

bool IsHighSurrogate(char32_t unit) {
  return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst;
}
bool IsLowSurrogate(char32_t unit) { return unit >= kLowSurrogateFirst && unit < kSurrogateEnd; }

// A lone surrogate or an odd last byte becomes U+FFFD.
std::string Utf16BeToUtf8(std::string_view bytes) {
  std::string out;
  size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) {
    const char32_t unit = Utf16UnitAt(bytes, at);
    if (IsHighSurrogate(unit) && at + 3 < bytes.size() &&
        IsLowSurrogate(Utf16UnitAt(bytes, at + 2))) {
      const char32_t low = Utf16UnitAt(bytes, at + 2);
      AppendUtf8(
          kFirstSupplementary + ((unit - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst),
          &out);
      at += 2;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(kReplacement, &out);
    } else {
      AppendUtf8(unit, &out);
    }
  }
  if (at < bytes.size()) AppendUtf8(kReplacement, &out);
  return out;
}

// A concatenated message's payload says nothing of its coding; UTF-16BE of
// text holding any ASCII has a 0x00 high byte, which UTF-8 text never has.
bool LooksLikeUtf16(std::string_view payload) {
  if (payload.size() % 2 != 0) return false;
  for (size_t at = 0; at < payload.size(); at += 2) {
    if (payload[at] == '\0') return true;
  }
  return false;
}

// --- Lines ---------------------------------------------------------------

bool IsNumberField(std::string_view field) {
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  return !field.empty() &&
         std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Cuts the text up to the first blank off *rest; all of it without one.
std::string_view NextField(std::string_view* rest) {
  const size_t blank = rest->find(' ');
  const std::string_view field = rest->substr(0, blank);
  rest->remove_prefix(blank == std::string_view::npos ? rest->size() : blank + 1);
  return field;
}

bool IsPayloadType(std::string_view type) {
  return type == kTextType || type == kDataType || type == kUcs2Type;
}

// The text of a payload of the given type; false when it cannot be decoded.
bool DecodePayload(std::string_view type, std::string_view payload, std::string* text) {
  if (type == kTextType) {
    text->assign(payload);
    return true;
  }
  if (!UrlDecode(payload, text)) return false;
  if (type == kUcs2Type) *text = Utf16BeToUtf8(*text);
  return true;
}

struct PartNumber {
  unsigned reference = 0;
  unsigned count = 0;
  unsigned number = 0;
};

// Finds the concatenation element of a user data header; false when it has
// none or the header is cut short.
bool ReadPartNumber(std::string_view udh, PartNumber* part) {
  if (udh.empty()) return false;
  const auto at = [&udh](size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(udh[i]));
  };
  const size_t end = 1 + at(0);
  if (end > udh.size()) return false;
  for (size_t i = 1; i + 1 < end;) {
    const unsigned element = at(i);
    const size_t length = at(i + 1);
    const size_t data = i + 2;
    if (data + length > end) return false;
    if (element == kConcat8Bit && length == kConcat8BitLength) {
      *part = {at(data), at(data + 1), at(data + 2)};
      return true;
    }
    if (element == kConcat16Bit && length == kConcat16BitLength) {
      *part = {at(data) << 8 | at(data + 1), at(data + 2), at(data + 3)};
      return true;
    }
    i = data + length;
  }
  return false;
}

}  // namespace

std::string MoLine(const Message& message, Coding coding) {
  const bool ucs2 = coding == Coding::kUcs2;
  const std::string payload = ucs2 ? Utf8ToUtf16Be(message.text) : message.text;
  return message.from + " " + message.to + " " + (ucs2 ? kUcs2SendType : kDataType) + " " +
         UrlEncode(payload) + "\n";
}

// --- LineDecoder -----------------------------------------------------------

void LineDecoder::Feed(std::string_view bytes) {
  pending_.append(bytes);
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    DecodeLine(std::string_view(pending_).substr(start, end - start));
  }
  pending_.erase(0, start);
}

std::vector<Message> LineDecoder::Take(size_t count) {
  count = std::min(count, messages_.size());
  std::vector<Message> taken(std::make_move_iterator(messages_.begin()),
                             std::make_move_iterator(messages_.begin() + count));
  messages_.erase(messages_.begin(), messages_.begin() + count);
  if (messages_.empty()) text_open_ = false;
  return taken;
}

size_t LineDecoder::waiting_parts() const {
  size_t count = 0;
  for (const auto& [key, parts] : parts_) count += parts.size();
  return count;
}

void LineDecoder::DecodeLine(std::string_view line) {
  if (DecodeMessageLine(line)) return;
  if (text_open_) {
    messages_.back().text += "\n";
    messages_.back().text.append(line);
  } else if (!line.empty()) {
    ++malformed_;
  }
}

// False for a line that is no message line, or one whose payload is bad
// (counted as malformed here, so that it is not taken for a continuation).
bool LineDecoder::DecodeMessageLine(std::string_view line) {
  std::string_view rest = line;
  const std::string_view from = NextField(&rest);
  const std::string_view to = NextField(&rest);
  const std::string_view type = NextField(&rest);
  if (!IsNumberField(from) || !IsNumberField(to) || (!IsPayloadType(type) && type != kUdhType)) {
    return false;
  }
  text_open_ = false;
  if (type == kUdhType) {
    std::string udh;
    const std::string_view udh_field = NextField(&rest);
    const std::string_view part_type = NextField(&rest);
    std::string payload;
    if (!UrlDecode(udh_field, &udh) || !IsPayloadType(part_type) ||
        !DecodePayload(part_type == kUcs2Type ? kDataType : part_type, rest, &payload) ||
        !AddPart(std::string(from), std::string(to), udh, std::move(payload))) {
      ++malformed_;
    }
    return true;
  }
  std::string text;
  if (!DecodePayload(type, rest, &text)) {
    ++malformed_;
    return true;
  }
  messages_.push_back({std::string(from), std::string(to), std::move(text)});
  text_open_ = type == kTextType;
  return true;
}

bool LineDecoder::AddPart(const std::string& from, const std::string& to, std::string_view udh,
                          std::string payload) {
  PartNumber part;
  if (!ReadPartNumber(udh, &part) || part.number == 0 || part.number > part.count) return false;
  const PartsKey key{from, to, part.reference, part.count};
  std::map<unsigned, std::string>& parts = parts_[key];
  parts[part.number] = std::move(payload);
  if (parts.size() < part.count) return true;
  std::string whole;
  for (const auto& [number, bytes] : parts) whole += bytes;
  parts_.erase(key);
  messages_.push_back({from, to, LooksLikeUtf16(whole) ? Utf16BeToUtf8(whole) : whole});
  return true;
}

// --- Phones ----------------------------------------------------------------

bool Phones::Connect(uint16_t port, uint32_t timeout_ms) {
  platform::SocketsStartup();
  const uint32_t start = platform::TickCountMs();
  for (;;) {
    platform::Socket socket = platform::OpenStreamSocket();
    if (socket.valid() && platform::Connect(socket, platform::kLoopbackAddress, port)) {
      socket_ = std::move(socket);
      return true;
    }
    if (platform::TickCountMs() - start >= timeout_ms) return false;
    platform::SleepMs(kConnectRetryMs);
  }
}

bool Phones::Send(const Message& message, Coding coding) {
  const std::string line = MoLine(message, coding);
  return socket_.valid() && platform::SendAll(socket_, line.data(), line.size());
}

bool Phones::Sync(const std::string& gateway_number, uint32_t timeout_ms,
                  std::vector<Message>* received) {
  received->clear();
  const std::string token = kSyncWord + std::to_string(++syncs_);
  const Message echo{gateway_number, sentinel_,
                     std::string(kTestReplyStart) + token + std::string(kTestReplyEnd)};
  if (!Send({sentinel_, gateway_number, "TEST " + token})) return false;
  const uint32_t start = platform::TickCountMs();
  for (;;) {
    const std::vector<Message>& got = decoder_.messages();
    const auto found = std::find(got.begin(), got.end(), echo);
    if (found != got.end()) {
      *received = TakeFor(static_cast<size_t>(found - got.begin()));
      decoder_.Take(1);
      return true;
    }
    const uint32_t spent = platform::TickCountMs() - start;
    if (spent >= timeout_ms || !ReadFor(std::min(kReadSliceMs, timeout_ms - spent))) break;
  }
  *received = TakeFor(decoder_.messages().size());
  return false;
}

bool Phones::Receive(size_t count, uint32_t timeout_ms, std::vector<Message>* received) {
  const uint32_t start = platform::TickCountMs();
  while (decoder_.messages().size() < count) {
    const uint32_t spent = platform::TickCountMs() - start;
    if (spent >= timeout_ms || !ReadFor(std::min(kReadSliceMs, timeout_ms - spent))) {
      *received = decoder_.Take(decoder_.messages().size());
      return false;
    }
  }
  *received = decoder_.Take(count);
  return true;
}

bool Phones::ReadFor(uint32_t milliseconds) {
  const int ready = platform::WaitReadableMs(socket_, milliseconds);
  if (ready == 0) return true;
  if (ready < 0) return false;
  std::string chunk(kReceiveChunk, '\0');
  const long count = platform::Receive(socket_, chunk.data(), chunk.size());
  if (count <= 0) return false;
  decoder_.Feed(std::string_view(chunk).substr(0, static_cast<size_t>(count)));
  return true;
}

// The first `count` messages without the sentinel's.
std::vector<Message> Phones::TakeFor(size_t count) {
  std::vector<Message> taken = decoder_.Take(count);
  std::erase_if(taken, [this](const Message& message) { return message.to == sentinel_; });
  return taken;
}

}  // namespace smsc
