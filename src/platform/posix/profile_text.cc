#include "platform/posix/profile_text.h"

#include <utility>

namespace platform::ini {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Name arguments lose spaces only: "\tsec" is not "sec".
std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// Removes one outer pair of the same quote character; quotes are the only way
// a stored value keeps leading or trailing blanks.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

void Classify(std::string_view content, Line* line) {
  content = TrimBlanks(content);
  if (content.empty()) return;
  if (content.front() == ';') {
    line->kind = LineKind::kComment;
    return;
  }
  if (content.front() == '[') {
    // The name ends at the first ']' (or the end of the line); whatever
    // follows the ']' is ignored.
    content.remove_prefix(1);
    line->kind = LineKind::kSection;
    line->name = TrimBlanks(content.substr(0, content.find(']')));
    return;
  }
  line->kind = LineKind::kEntry;
  const size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    line->name = content;
    return;
  }
  line->has_equals = true;
  line->name = TrimBlanks(content.substr(0, equals));
  line->value = TrimBlanks(content.substr(equals + 1));
}

// A section's lines: its header and the lines up to the next header.
struct Span {
  size_t header = kNone;  // index into the lines; kNone when not found
  size_t end = 0;         // one past the last line of the section
};

// Only the first section of a name counts; later ones of the same name are
// never searched. Lines before the first header belong to no section.
Span FindSection(const std::vector<Line>& lines, std::string_view section) {
  section = TrimSpaces(section);
  Span span;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::kSection) continue;
    if (span.header != kNone) {
      span.end = i;
      return span;
    }
    if (SameName(lines[i].name, section)) span.header = i;
  }
  span.end = lines.size();
  return span;
}

// The first line of the section with that key. A line without '=' has no key
// a lookup can find.
size_t FindKey(const std::vector<Line>& lines, const Span& span,
               std::string_view key) {
  if (span.header == kNone) return kNone;
  key = TrimSpaces(key);
  for (size_t i = span.header + 1; i < span.end; ++i) {
    const Line& line = lines[i];
    if (line.kind == LineKind::kEntry && line.has_equals &&
        SameName(line.name, key)) {
      return i;
    }
  }
  return kNone;
}

std::string EntryLine(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 1 + kLineBreak.size());
  line.append(key).append("=").append(value).append(kLineBreak);
  return line;
}

// The text that starts a new line right after `line`: nothing when it ends in
// a line break, a line break when it ends the file without one.
std::string_view BreakAfter(const Line& line) {
  return line.end == line.next ? kLineBreak : std::string_view();
}

}  // namespace

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    const size_t stop = text.find_first_of("\r\n", pos);
    if (stop == std::string_view::npos) {
      line.end = line.next = text.size();
    } else {
      line.end = stop;
      line.next = stop + 1;
      if (text[stop] == '\r' && line.next < text.size() &&
          text[line.next] == '\n') {
        ++line.next;
      }
    }
    Classify(text.substr(line.begin, line.end - line.begin), &line);
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

std::string ReadString(std::string_view text, std::string_view section,
                       std::string_view key, std::string_view default_value,
                       size_t buffer_size) {
  if (buffer_size == 0) return {};
  const std::vector<Line> lines = SplitLines(text);
  const size_t found = FindKey(lines, FindSection(lines, section), key);
  std::string_view result;
  if (found != kNone) {
    result = Unquote(lines[found].value);
  } else {
    result = default_value;
    while (!result.empty() && result.back() == ' ') result.remove_suffix(1);
  }
  return std::string(result.substr(0, buffer_size - 1));
}

std::string ReadSection(std::string_view text, std::string_view section,
                        size_t buffer_size) {
  const std::vector<Line> lines = SplitLines(text);
  const Span span = FindSection(lines, section);
  std::string block;
  if (span.header != kNone) {
    for (size_t i = span.header + 1; i < span.end; ++i) {
      const Line& line = lines[i];
      if (line.kind != LineKind::kEntry) continue;
      block.append(line.name);
      if (line.has_equals) block.append("=").append(line.value);
      block.push_back('\0');
    }
  }
  // No entries still makes a block of two NULs, so a reader of the first
  // string always finds the terminating empty one.
  if (block.empty()) block.push_back('\0');
  block.push_back('\0');
  if (block.size() <= buffer_size) return block;
  if (buffer_size < 2) return std::string(buffer_size, '\0');
  // Cut like the Windows call: entries up to the space left, the last one
  // cut, then two NULs, filling the buffer exactly.
  block.resize(buffer_size - 2);
  block.append(2, '\0');
  return block;
}

bool IsWritable(std::string_view name_or_value) {
  return name_or_value.find_first_of(std::string_view("\r\n\0", 3)) ==
         std::string_view::npos;
}

bool SetValue(std::string* text, std::string_view section, std::string_view key,
              std::string_view value) {
  section = TrimSpaces(section);
  key = TrimSpaces(key);
  const std::vector<Line> lines = SplitLines(*text);
  const Span span = FindSection(lines, section);
  if (span.header == kNone) {
    std::string added;
    if (!text->empty() && text->back() != '\n' && text->back() != '\r') {
      added.append(kLineBreak);
    }
    added.append("[").append(section).append("]").append(kLineBreak);
    added.append(EntryLine(key, value));
    text->append(added);
    return true;
  }
  const size_t found = FindKey(lines, span, key);
  if (found != kNone) {
    // The line keeps the key as the file spells it; indentation and blanks
    // around '=' go, and the line ends in CR LF even if it ended the file.
    const Line& line = lines[found];
    const std::string replacement = EntryLine(line.name, value);
    const size_t length = line.next - line.begin;
    if (text->compare(line.begin, length, replacement) == 0) return false;
    text->replace(line.begin, length, replacement);
    return true;
  }
  // A new key goes after the section's last entry, so comments and blank
  // lines that close the section stay behind it.
  size_t anchor = span.header;
  for (size_t i = span.header + 1; i < span.end; ++i) {
    if (lines[i].kind == LineKind::kEntry) anchor = i;
  }
  std::string inserted(BreakAfter(lines[anchor]));
  inserted.append(EntryLine(key, value));
  text->insert(lines[anchor].next, inserted);
  return true;
}

bool RemoveKey(std::string* text, std::string_view section,
               std::string_view key) {
  const std::vector<Line> lines = SplitLines(*text);
  const size_t found = FindKey(lines, FindSection(lines, section), key);
  if (found == kNone) return false;
  text->erase(lines[found].begin, lines[found].next - lines[found].begin);
  return true;
}

bool RemoveSection(std::string* text, std::string_view section) {
  const std::vector<Line> lines = SplitLines(*text);
  const Span span = FindSection(lines, section);
  if (span.header == kNone) return false;
  // The header and the entries go; comment and blank lines stay where they
  // are, as they would around any other removed line.
  std::string kept = text->substr(0, lines[span.header].begin);
  for (size_t i = span.header + 1; i < span.end; ++i) {
    const Line& line = lines[i];
    if (line.kind == LineKind::kEntry) continue;
    kept.append(*text, line.begin, line.next - line.begin);
  }
  if (span.end < lines.size()) kept.append(*text, lines[span.end].begin);
  *text = std::move(kept);
  return true;
}

}  // namespace platform::ini
