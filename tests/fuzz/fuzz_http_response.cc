// Response scanning on arbitrary bytes: header block, header values, status,
// body offset, and the chunked body check and strip. Half of the inputs get
// a chunked header put in front, so the fuzzer spends its time on bodies.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text.h"
#include "fuzz/require.h"
#include "gateway/gw_util.h"
#include "gateway/http_response.h"

namespace {

constexpr std::string_view kChunkedHeader = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

void CheckHeaderValue(std::string_view text, std::string_view name) {
  const std::string value = GetHeaderValue(text, name, kMaxHeaderValueChars);
  Require(value.size() <= kMaxHeaderValueChars);
  for (const char c : value) Require(static_cast<unsigned char>(c) >= 32);
  if (!value.empty()) Require(FindHeaderEnd(text) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text;
  if (data[0] & 1) text = kChunkedHeader;
  text.append(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view view = text;

  const size_t header_end = FindHeaderEnd(view);
  Require(header_end <= view.size());
  if (header_end != 0) {
    Require(view[header_end - 1] == '\n');
    Require(EqualsNoCase(view.substr(header_end - 2, 2), "\n\n") ||
            EqualsNoCase(view.substr(header_end - 3, 3), "\n\r\n"));
  }
  CheckHeaderValue(view, "Content-Length:");
  CheckHeaderValue(view, "Transfer-encoding:");
  CheckHeaderValue(view, "Location:");
  GetStatusCode(view);

  const size_t location = FindText(view, "location:");
  if (location != std::string_view::npos) {
    Require(EqualsNoCase(view.substr(location, 9), "Location:"));
  }

  std::string body_copy = text + '\0';
  Require(GetBodyOffset(body_copy.data(), text.size()) <= text.size());
  Require(body_copy.size() == text.size() + 1 && body_copy.back() == '\0');

  bool error = false;
  const bool complete = HttpChunkComplete(view, &error);
  if (error) Require(complete);

  std::string strip_copy = text + '\0';
  size_t length = text.size();
  bool strip_error = false;
  HttpChunkStrip(strip_copy.data(), &length, &strip_error);
  Require(length <= text.size());
  Require(strip_copy[length] == '\0');
  Require(strip_copy.compare(0, header_end, text, 0, header_end) == 0);
  if (complete && !error) {
    // A complete body loses all its framing, at least the last chunk "0"
    // with an LF and the CR LF of the empty line.
    Require(length + 4 <= text.size());
  }
  Require(strip_error == error);  // both walk the chunks alike
  return 0;
}
