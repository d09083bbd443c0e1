#include "gateway/http_response.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "common/format.h"
#include "common/text.h"
#include "platform/clock.h"

namespace {

constexpr char kWaitContext[] = "HttpResponseWait";
constexpr char kCompleteContext[] = "HttpChunkComplete";
constexpr char kStripContext[] = "HttpChunkStrip";
constexpr char kTransferEncodingHeader[] = "Transfer-encoding:";
constexpr char kContentLengthHeader[] = "Content-Length:";
// Chunk sizes stop growing here; any such size lies beyond every response.
constexpr uint64_t kChunkSizeCeiling = uint64_t{1} << 60;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 32; }

// Reads the size line at *pos (it starts with a hex digit) and moves *pos
// behind its LF; extensions after the digits are ignored.
uint64_t ReadChunkSize(std::string_view text, size_t* pos) {
  uint64_t size = 0;
  size_t i = *pos;
  for (; i < text.size() && IsHexDigit(text[i]); ++i) {
    size = std::min<uint64_t>(size * 16 + HexDigitValue(text[i]), kChunkSizeCeiling);
  }
  while (i < text.size() && text[i] != '\n') ++i;
  if (i < text.size()) ++i;
  *pos = i;
  return size;
}

void TraceBadSizeCharacter(std::string_view context, std::string_view text, size_t pos) {
  auto byte_at = [&](size_t i) -> long long {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
  };
  DebugLog(context, FormatText("Invalid character in chunked length field:  %02X %02X %02X",
                               {byte_at(pos), byte_at(pos + 1), byte_at(pos + 2)}));
}

// What the reader knows of the response so far.
struct Reader {
  ResponseBlock buffer;
  size_t capacity = 0;
  size_t length = 0;
  size_t header_end = 0;
  bool chunked = false;
  std::optional<int32_t> content_length;
  uint16_t status = 0;
  uint32_t last_activity = 0;

  std::string_view text() const { return {buffer.get(), length}; }
};

enum class Progress { kComplete, kFailed, kAgain, kWait };

void LearnHeader(Reader& reader) {
  reader.header_end = FindHeaderEnd(reader.text());
  if (reader.header_end == 0) return;
  const std::string encoding =
      GetHeaderValue(reader.text(), kTransferEncodingHeader, kMaxHeaderValueChars);
  reader.chunked = FindText(encoding, "chunked") != std::string_view::npos;
  if (!reader.chunked) {
    const std::string length =
        GetHeaderValue(reader.text(), kContentLengthHeader, kMaxHeaderValueChars);
    if (!length.empty()) {
      reader.content_length = static_cast<int32_t>(
          std::clamp<int64_t>(ParseLeadingLong(length), INT32_MIN, INT32_MAX));
    }
  }
  reader.status = GetStatusCode(reader.text());
}

// Moves what follows an interim 1xx answer to the front and forgets it.
void DropInterimAnswer(Reader& reader) {
  char* data = reader.buffer.get();
  const size_t rest = reader.length - reader.header_end;
  std::memmove(data, data + reader.header_end, rest);
  std::memset(data + rest, 0, reader.header_end);
  reader.length = rest;
  reader.header_end = 0;
  reader.chunked = false;
  reader.content_length.reset();
  reader.status = 0;
}

// Decides from what has arrived whether the response is complete.
Progress Examine(Reader& reader, size_t max_bytes) {
  if (reader.header_end == 0) LearnHeader(reader);
  if (reader.header_end == 0) return Progress::kWait;
  if (reader.chunked) {
    bool error = false;
    if (HttpChunkComplete(reader.text(), &error)) {
      DebugLog(kWaitContext, "Chunked response Ok");
      HttpChunkStrip(reader.buffer.get(), &reader.length, &error);
      return Progress::kComplete;
    }
  }
  if (reader.content_length) {
    const int64_t expected = static_cast<int64_t>(reader.header_end) + *reader.content_length;
    if (expected > static_cast<int64_t>(max_bytes)) {
      DebugLog(kWaitContext, "Response too large");
      return Progress::kFailed;
    }
    if (expected <= static_cast<int64_t>(reader.length)) {
      DebugLog(kWaitContext, "Ok");
      return Progress::kComplete;
    }
  }
  if (reader.status == 204 || reader.status == 304) {
    DebugLog(kWaitContext, "204 or 304 Response Ok");
    return Progress::kComplete;
  }
  if (reader.status >= 100 && reader.status <= 199) {
    DebugLog(kWaitContext, "100 Continue");
    DropInterimAnswer(reader);
    return Progress::kAgain;
  }
  return Progress::kWait;
}

bool Grow(Reader& reader, size_t needed) {
  if (needed <= reader.capacity) return true;
  size_t capacity = reader.capacity / 2 * 3;
  if (capacity < needed) capacity = needed - 1 + kResponseStartCapacity;
  void* grown = GWrealloc(reader.buffer.get(), capacity);
  if (grown == nullptr) return false;
  (void)reader.buffer.release();
  reader.buffer.reset(static_cast<char*>(grown));
  reader.capacity = capacity;
  return true;
}

// The peer has closed (or reset) the connection: a response whose length
// only the close could tell is complete then.
Progress PeerClosed(Reader& reader, platform::Socket& socket) {
  // A reset reads as an error, a graceful close as end of stream; a byte
  // that slipped in meanwhile is kept.
  if (!Grow(reader, reader.length + 2)) return Progress::kFailed;
  const long n = platform::Receive(socket, reader.buffer.get() + reader.length, 1);
  if (n > 0) {
    reader.length += static_cast<size_t>(n);
    reader.last_activity = platform::TickCountMs();
    return Progress::kAgain;
  }
  if (n < 0) {
    DebugLog(kWaitContext, "connection reset");
    return Progress::kFailed;
  }
  DebugLog(kWaitContext, "ioctlsocket indicates end of request");
  const bool length_from_close =
      !reader.content_length.has_value() || *reader.content_length == 0;
  return reader.header_end != 0 && length_from_close ? Progress::kComplete
                                                     : Progress::kFailed;
}

// Waits for more bytes and receives them.
Progress ReceiveMore(Reader& reader, platform::Socket& socket, uint32_t idle_limit,
                     size_t max_bytes) {
  const uint32_t elapsed = platform::TickCountMs() - reader.last_activity;
  const unsigned seconds = elapsed >= idle_limit ? 1 : std::max(1u, (idle_limit - elapsed) / 1000);
  const int ready = ::WaitReadable(socket, seconds);
  if (ready == 0) return Progress::kAgain;
  if (ready < 0) {
    DebugLog(kWaitContext, "error from select");
    return Progress::kFailed;
  }
  size_t waiting = 0;
  if (!platform::BytesWaiting(socket, &waiting)) {
    DebugLog(kWaitContext, "error from ioctlsocket");
    return Progress::kFailed;
  }
  if (waiting == 0) return PeerClosed(reader, socket);
  if (waiting > max_bytes || reader.length > max_bytes - waiting) {
    DebugLog(kWaitContext, "Response too large");
    return Progress::kFailed;
  }
  if (!Grow(reader, reader.length + waiting + 1)) return Progress::kFailed;
  const long n = platform::Receive(socket, reader.buffer.get() + reader.length, waiting);
  if (n < 0) return Progress::kFailed;
  if (n > 0) reader.last_activity = platform::TickCountMs();
  reader.length += static_cast<size_t>(n);
  return Progress::kAgain;
}

}  // namespace

unsigned HttpResponseWait(platform::Socket& socket, ResponseBlock* response,
                          unsigned idle_seconds, size_t max_bytes) {
  response->reset();
  Reader reader;
  reader.buffer.reset(static_cast<char*>(GWmalloc(kResponseStartCapacity)));
  if (!reader.buffer) return 0;
  reader.capacity = kResponseStartCapacity;
  reader.last_activity = platform::TickCountMs();
  const uint32_t idle_limit = std::min(idle_seconds, kMaxIdleSeconds) * 1000u;

  Progress progress = Progress::kAgain;
  while (platform::TickCountMs() - reader.last_activity <= idle_limit) {
    progress = Examine(reader, max_bytes);
    if (progress == Progress::kWait) progress = ReceiveMore(reader, socket, idle_limit, max_bytes);
    if (progress == Progress::kComplete || progress == Progress::kFailed) break;
  }
  if (progress == Progress::kComplete) {
    *response = std::move(reader.buffer);
    return static_cast<unsigned>(reader.length);
  }
  const long long expected =
      static_cast<long long>(reader.header_end) + reader.content_length.value_or(0);
  DebugLog(kWaitContext, FormatText("Expected %u bytes, got %u bytes",
                                    {expected, static_cast<long long>(reader.length)}));
  DebugLog(kWaitContext, reader.text());
  return 0;
}

size_t FindHeaderEnd(std::string_view text) {
  const std::string_view t = UntilZero(text);
  for (size_t i = t.find('\n'); i != std::string_view::npos; i = t.find('\n', i + 1)) {
    if (i + 1 < t.size() && t[i + 1] == '\n') return i + 2;
    if (i + 2 < t.size() && t[i + 1] == '\r' && t[i + 2] == '\n') return i + 3;
  }
  return 0;
}

std::string GetHeaderValue(std::string_view text, std::string_view name,
                           size_t max_chars) {
  const std::string_view t = UntilZero(text);
  const std::string_view block = t.substr(0, FindHeaderEnd(t));
  for (size_t line = 0; line < block.size();) {
    if (EqualsNoCase(block.substr(line, name.size()), name)) {
      size_t start = line + name.size();
      while (start < block.size() && block[start] == ' ') ++start;
      size_t stop = start;
      while (stop < block.size() && !IsControl(block[stop])) ++stop;
      return CutTo(block.substr(start, stop - start), max_chars);
    }
    const size_t lf = block.find('\n', line);
    if (lf == std::string_view::npos) break;
    line = lf + 1;
  }
  return std::string();
}

uint16_t GetStatusCode(std::string_view text) {
  const std::string_view t = UntilZero(text);
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (!StartsWithNoCase(t.substr(i), "HTTP/")) return 0;
  while (i < t.size() && static_cast<unsigned char>(t[i]) > 32) ++i;
  while (i < t.size() && t[i] == ' ') ++i;
  uint16_t status = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
    status = static_cast<uint16_t>(status * 10 + (t[i] - '0'));
  }
  return status;
}

size_t GetBodyOffset(char* text, size_t length) {
  const size_t size = UntilZero(std::string_view(text, length)).size();
  for (size_t i = 0; i < size; ++i) {
    if (text[i] != '\n') continue;
    size_t j = i + 1;
    while (j < size && (text[j] == ' ' || text[j] == '\r')) ++j;
    if (j < size && text[j] == '\n') return j + 1;
    if (i + 2 < size && text[i + 1] == '\r' && text[i + 2] != '\n') {
      text[i + 1] = '\n';
      return i + 2;
    }
  }
  return size;
}

bool HttpChunkComplete(std::string_view text, bool* error) {
  *error = false;
  size_t pos = FindHeaderEnd(text);
  const size_t end = text.size();
  bool last_chunk = false;
  while (pos < end) {
    if (!IsHexDigit(text[pos])) {
      TraceBadSizeCharacter(kCompleteContext, text, pos);
      *error = true;
      break;
    }
    const uint64_t size = ReadChunkSize(text, &pos);
    if (size == 0) {
      last_chunk = true;
      break;
    }
    // The data, or the CR LF behind it, may still be on its way.
    if (size > end - pos || end - pos - size < 2) break;
    pos += size;
    if (text[pos] != '\r' || text[pos + 1] != '\n') {
      *error = true;
      break;
    }
    pos += 2;
  }
  if (*error) {
    if (pos < end) DebugLog(kCompleteContext, "Invalid length in chunked HTTP response");
    return true;
  }
  return last_chunk && end - pos >= 2 && text[pos] == '\r' && text[pos + 1] == '\n';
}

bool HttpChunkStrip(char* text, size_t* length, bool* error) {
  *error = false;
  const size_t end = *length;
  const std::string_view view(text, end);
  size_t read = FindHeaderEnd(view);
  size_t write = read;
  bool finished = false;
  while (read < end) {
    if (!IsHexDigit(text[read])) {
      TraceBadSizeCharacter(kStripContext, view, read);
      *error = true;
      finished = true;
      break;
    }
    size_t data = read;
    const uint64_t size = ReadChunkSize(view, &data);
    if (size == 0) {
      read = data;
      if (end - read >= 2 && text[read] == '\r' && text[read + 1] == '\n') read += 2;
      finished = true;
      break;
    }
    if (size > end - data || end - data - size < 2) break;
    const size_t after = data + size;
    if (text[after] != '\r' || text[after + 1] != '\n') {
      *error = true;
      finished = true;
      break;
    }
    std::memmove(text + write, text + data, size);
    write += size;
    read = after + 2;
  }
  // What was not taken apart stays as it came.
  std::memmove(text + write, text + read, end - read);
  const size_t stripped = write + (end - read);
  std::memset(text + stripped, 0, end - stripped + 1);
  *length = stripped;
  return finished;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

int WaitReadable(platform::Socket& socket, unsigned seconds) {
  return platform::WaitReadable(socket, seconds);
}
