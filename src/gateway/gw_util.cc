#include "gateway/gw_util.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/text.h"

namespace {

// Each block starts with a header that keeps its usable size, so a resize
// knows which part is new and must be zero-filled.
constexpr size_t kBlockHeaderBytes = alignof(std::max_align_t);
static_assert(kBlockHeaderBytes >= sizeof(size_t));

std::atomic<unsigned> g_live_blocks{0};

char* RawOf(void* block) { return static_cast<char*>(block) - kBlockHeaderBytes; }

size_t UsableSizeOf(void* block) {
  size_t size = 0;
  std::memcpy(&size, RawOf(block), sizeof size);
  return size;
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::string_view kTokenMark = "@@";

size_t FindToken(std::string_view text, std::string_view pattern) {
  size_t start = 0;
  for (;;) {
    size_t candidate = text.find(kTokenMark, start);
    if (candidate == std::string_view::npos) return candidate;
    while (candidate + 2 < text.size() && text[candidate + 2] == '@') ++candidate;
    if (EqualsNoCase(text.substr(candidate, pattern.size()), pattern)) {
      return candidate;
    }
    const size_t closing = text.find(kTokenMark, candidate + 2);
    if (closing == std::string_view::npos) return closing;
    start = closing + 2;
  }
}

size_t FindNoCase(std::string_view text, std::string_view pattern) {
  if (pattern.size() > text.size()) return std::string_view::npos;
  for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, pattern.size()), pattern)) return i;
  }
  return std::string_view::npos;
}

}  // namespace

void DebugLog(std::string_view /*context*/, std::string_view /*text*/) {}

void* GWmalloc(size_t size) {
  if (size > SIZE_MAX - kBlockSpareBytes - kBlockHeaderBytes) return nullptr;
  const size_t usable = size + kBlockSpareBytes;
  char* raw = static_cast<char*>(std::calloc(1, kBlockHeaderBytes + usable));
  if (raw == nullptr) return nullptr;
  std::memcpy(raw, &usable, sizeof usable);
  ++g_live_blocks;
  return raw + kBlockHeaderBytes;
}

void* GWrealloc(void* block, size_t size) {
  if (block == nullptr) return nullptr;
  if (size > SIZE_MAX - kBlockSpareBytes - kBlockHeaderBytes) return nullptr;
  const size_t old_usable = UsableSizeOf(block);
  const size_t usable = size + kBlockSpareBytes;
  char* raw = static_cast<char*>(std::realloc(RawOf(block), kBlockHeaderBytes + usable));
  if (raw == nullptr) return nullptr;
  std::memcpy(raw, &usable, sizeof usable);
  if (usable > old_usable) {
    std::memset(raw + kBlockHeaderBytes + old_usable, 0, usable - old_usable);
  }
  return raw + kBlockHeaderBytes;
}

bool GWfree(void* block) {
  if (block == nullptr) {
    DebugLog("GWfree", "Error");
    return false;
  }
  std::free(RawOf(block));
  unsigned live = g_live_blocks.load();
  while (live > 0 && !g_live_blocks.compare_exchange_weak(live, live - 1)) {
  }
  return true;
}

unsigned GWBlockCount() { return g_live_blocks.load(); }

std::string_view UntilZero(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

std::string Base64Encode(std::string_view text) {
  std::string encoded;
  encoded.reserve((text.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= text.size(); i += 3) {
    const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(text[i + 1])) << 8 |
                           static_cast<unsigned char>(text[i + 2]);
    encoded += kBase64Alphabet[(group >> 18) & 63];
    encoded += kBase64Alphabet[(group >> 12) & 63];
    encoded += kBase64Alphabet[(group >> 6) & 63];
    encoded += kBase64Alphabet[group & 63];
  }
  const size_t rest = text.size() - i;
  if (rest == 0) return encoded;
  uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << 16;
  if (rest == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(text[i + 1])) << 8;
  encoded += kBase64Alphabet[(group >> 18) & 63];
  encoded += kBase64Alphabet[(group >> 12) & 63];
  encoded += rest == 2 ? kBase64Alphabet[(group >> 6) & 63] : '=';
  encoded += '=';
  return encoded;
}

size_t FindText(std::string_view text, std::string_view pattern) {
  if (pattern.substr(0, kTokenMark.size()) == kTokenMark) {
    return FindToken(text, pattern);
  }
  return FindNoCase(text, pattern);
}

size_t WriteString(platform::File& file, std::string_view text) {
  return file.Write(text);
}
