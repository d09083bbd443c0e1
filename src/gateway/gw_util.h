// Small helpers of the gateway client: the trace hook, the heap blocks with
// their process-wide count, base64 for HTTP Basic credentials, the
// case-insensitive search that also finds "@@TOKEN@@" placeholders, and a
// whole-text write to an open file.
#ifndef GATEWAY_GW_UTIL_H_
#define GATEWAY_GW_UTIL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"

// Bytes every block has beyond the size asked for; zero-filled, so text kept
// in a block of the asked size always has zero bytes behind it.
constexpr size_t kBlockSpareBytes = 64;

// The trace hook of the gateway client. `context` names the operation
// ("RetrieveURL", "HttpResponseWait", ...) or a label ("Old Host"). It does
// nothing; no caller depends on it.
void DebugLog(std::string_view context, std::string_view text);

// A zero-filled block of size + kBlockSpareBytes bytes; null when it cannot
// be had. Counts one more live block on success.
void* GWmalloc(size_t size);

// Resizes a block from GWmalloc to size + kBlockSpareBytes bytes, keeping its
// contents and zero-filling any new part. Null on failure, and the old block
// then stays allocated. The block count is not touched.
void* GWrealloc(void* block, size_t size);

// Releases a block from GWmalloc/GWrealloc; false for a null block. Counts
// one block less on success, never going below 0.
bool GWfree(void* block);

// Blocks handed out and not yet released (diagnostics only).
unsigned GWBlockCount();

struct GWFreeDeleter {
  void operator()(char* block) const { GWfree(block); }
};

// The owner of a block from GWmalloc that holds text: the raw HTTP response
// is handed around in one of these, so no path can leak it.
using ResponseBlock = std::unique_ptr<char, GWFreeDeleter>;

// The text up to its first zero byte (all of it when it holds none).
std::string_view UntilZero(std::string_view text);

// Standard base64 (alphabet A-Z a-z 0-9 + /, '=' padding) of the bytes.
std::string Base64Encode(std::string_view text);

// Case-insensitive (ASCII) search of `pattern` in `text`; the offset of the
// first match or std::string_view::npos.
//
// A pattern that begins with "@@" is searched as a placeholder token: only
// at a "@@" of the text, a run of '@' matching at its last two, and a token
// that does not match is skipped whole, its closing "@@" included. So
// "@@RECIP@@" is not found inside "@@@SENDER@@" but is found behind it.
size_t FindText(std::string_view text, std::string_view pattern);

// Writes the text to the open file in one call; the bytes written, or 0 when
// the write fails.
size_t WriteString(platform::File& file, std::string_view text);

#endif  // GATEWAY_GW_UTIL_H_
