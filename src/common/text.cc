#include "common/text.h"

#include <climits>

void AppendBounded(std::string* buffer, std::string_view text, size_t capacity) {
  if (capacity == 0 || buffer->size() >= capacity) return;
  const size_t room = capacity - 1 - buffer->size();
  buffer->append(text.substr(0, room));
}

std::string CutTo(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, max_chars));
}

std::string JoinWords(const std::vector<std::string>& words, size_t first, size_t max_chars) {
  std::string joined;
  for (size_t i = first; i < words.size(); ++i) {
    if (i > first) AppendBounded(&joined, " ", max_chars + 1);
    AppendBounded(&joined, words[i], max_chars + 1);
  }
  return joined;
}

char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string ToUpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

int64_t ParseLeadingLong(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) {
      value = INT64_MAX;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

bool IsYesValue(std::string_view text) {
  if (text.empty()) return false;
  if (text[0] == 'Y' || text[0] == 'y') return true;
  if (EqualsNoCase(text, "TRUE")) return true;
  if (text[0] == '1') return true;
  return EqualsNoCase(text, "On");
}

std::vector<std::string> SplitSectionBlock(std::string_view block) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < block.size()) {
    const size_t end = block.find('\0', start);
    const size_t stop = end == std::string_view::npos ? block.size() : end;
    if (stop == start) break;  // the empty text that ends the block
    entries.emplace_back(block.substr(start, stop - start));
    start = stop + 1;
  }
  return entries;
}

std::string_view EntryKey(std::string_view entry) { return entry.substr(0, entry.find('=')); }

namespace {

// 0-15 for a hexadecimal digit of either case; -1 for any other character.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the UTF-8 sequence that `lead` starts; 0 for a byte that
// starts none.
size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF5) return 4;
  return 0;
}

}  // namespace

bool UrlDecode(std::string_view text, std::string* decoded) {
  decoded->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      *decoded += ' ';
    } else if (text[i] != '%') {
      *decoded += text[i];
    } else {
      if (i + 2 >= text.size()) return false;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      *decoded += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

bool NextUtf8(std::string_view text, size_t* pos, char32_t* code_point) {
  // The smallest code point each length may carry: anything below is
  // overlong.
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  const auto lead = static_cast<unsigned char>(text[*pos]);
  const size_t length = Utf8Length(lead);
  if (length == 0 || *pos + length > text.size()) return false;
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[*pos + i]);
    if ((byte & 0xC0) != 0x80) return false;
    c = (c << 6) | (byte & 0x3F);
  }
  const bool surrogate = c >= 0xD800 && c < 0xE000;
  if (c < kSmallest[length] || surrogate || c > 0x10FFFF) return false;
  *pos += length;
  *code_point = c;
  return true;
}
