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

std::string JoinWords(const std::vector<std::string>& words, size_t first,
                      size_t max_chars) {
  std::string joined;
  for (size_t i = first; i < words.size(); ++i) {
    if (i > first) AppendBounded(&joined, " ", max_chars + 1);
    AppendBounded(&joined, words[i], max_chars + 1);
  }
  return joined;
}

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsNoCase(text.substr(0, prefix.size()), prefix);
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

std::string_view EntryKey(std::string_view entry) {
  return entry.substr(0, entry.find('='));
}
