// Reading one HTTP response from a connected socket, and the scanning of its
// header block and chunked body.
//
// Texts handed to the scanners are the received bytes. Where a scanner reads
// "text" it stops at the first zero byte, as the reader keeps the data in a
// zero-filled block.
#ifndef GATEWAY_HTTP_RESPONSE_H_
#define GATEWAY_HTTP_RESPONSE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/gw_util.h"
#include "platform/socket.h"

// Usable size of the reader's first block; it grows by half again.
constexpr size_t kResponseStartCapacity = 4096;
// A longer response ends the read as a failure.
constexpr size_t kMaxResponseBytes = size_t{64} << 20;
// Header values the reader looks at ("Transfer-encoding:", "Content-Length:").
constexpr size_t kMaxHeaderValueChars = 499;
// Idle timeouts beyond this are taken as this (keeps the millisecond count
// within 32 bits).
constexpr unsigned kMaxIdleSeconds = 2000000;

// Reads one response from `socket` until it is complete: by its
// Content-Length, by the end of a chunked body (whose framing is then
// removed), by a 204 or 304 status, or by the peer closing the connection
// when no Content-Length was given. Interim 1xx answers are dropped. Gives up
// when nothing arrives for `idle_seconds`, when the connection fails or is
// reset, and when the response would pass `max_bytes`.
//
// Returns the response length and hands the block (response + zero byte) to
// *response; 0 and a null *response on failure.
unsigned HttpResponseWait(platform::Socket& socket, ResponseBlock* response,
                          unsigned idle_seconds,
                          size_t max_bytes = kMaxResponseBytes);

// Offset just past the first LF CR LF or LF LF, i.e. past the empty line that
// ends the header block; 0 when there is none.
size_t FindHeaderEnd(std::string_view text);

// The value of the header `name` (with its colon, "Content-Length:"), looked
// for at line starts within the header block only, name compared without
// regard to case: the text behind the name after leading spaces, up to the
// first control character, cut to max_chars. Empty when absent or when the
// header block is incomplete.
std::string GetHeaderValue(std::string_view text, std::string_view name,
                           size_t max_chars);

// The status of an "HTTP/x.y NNN" first line (any case of "HTTP/", leading
// spaces allowed); 0 when the text is no status line. The number wraps past
// 65535 as a 16-bit value.
uint16_t GetStatusCode(std::string_view text);

// Where the body begins: behind the first LF that is followed by spaces and
// CRs and then an LF. An LF followed by a CR and something other than LF
// also ends the header; that CR is made an LF in the text and the body
// begins behind it. Without either the whole text is header: its length.
size_t GetBodyOffset(char* text, size_t length);

// True when the chunked body behind the header block of text[0, length) is
// complete (last chunk and the empty line behind it), or malformed, which
// sets *error: a malformed body ends the read at once.
bool HttpChunkComplete(std::string_view text, bool* error);

// Removes the chunk framing behind the header block in place: size lines and
// the CR LF behind each chunk's data, up to and including the last chunk and
// its empty line, stopping at the first fault (which sets *error) or at a
// chunk not wholly received. *length shrinks; the bytes from the new end up
// to the old one are zeroed, so `text` needs room for *length + 1 bytes.
// True when the last chunk or a fault was reached.
bool HttpChunkStrip(char* text, size_t* length, bool* error);

// 0-15 for '0'-'9', 'a'-'f', 'A'-'F'; 0 for anything else.
int HexDigitValue(char c);

// Waits up to `seconds` for the socket to become readable: 1 readable,
// 0 nothing arrived, -1 error. Call it as ::WaitReadable: lookup by argument
// also finds platform::WaitReadable.
int WaitReadable(platform::Socket& socket, unsigned seconds);

#endif  // GATEWAY_HTTP_RESPONSE_H_
