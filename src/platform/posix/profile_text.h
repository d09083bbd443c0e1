// The text side of profile files: parsing a file's bytes into lines, the
// lookups, and the edits a write makes. No file access here, so every rule
// can be tested on strings. The file side is profile_posix.cc.
//
// Blanks are space, tab and vertical tab. Names (sections and keys) compare
// without regard to ASCII case. Name arguments lose their leading and
// trailing spaces (spaces only) before they are matched or written.
#ifndef PLATFORM_POSIX_PROFILE_TEXT_H_
#define PLATFORM_POSIX_PROFILE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {

// The line break every write produces.
inline constexpr std::string_view kLineBreak = "\r\n";

enum class LineKind {
  kBlank,    // empty or blanks only
  kComment,  // first non-blank character is ';'
  kSection,  // first non-blank character is '['
  kEntry,    // anything else
};

// One line of a profile file. Offsets index the text the line came from and
// stay valid only as long as that text does.
struct Line {
  size_t begin = 0;  // first byte of the line
  size_t end = 0;    // one past the last byte before the line break
  size_t next = 0;   // first byte of the next line (end of text for the last)
  LineKind kind = LineKind::kBlank;
  // kSection: the name inside the brackets, trimmed of blanks.
  // kEntry: the key (text before the first '='), or the whole line when it
  // has no '='; trimmed of blanks.
  std::string_view name;
  std::string_view value;  // kEntry with '=': text after it, trimmed
  bool has_equals = false;
};

// Splits `text` at CR LF, LF and lone CR and classifies each line. A final
// line break does not start another line.
std::vector<Line> SplitLines(std::string_view text);

// The value of section/key as a read returns it: trimmed, one outer pair of
// matching quotes removed, cut to buffer_size - 1 bytes. The default (with
// its trailing spaces removed and cut the same way) when the key is missing.
std::string ReadString(std::string_view text, std::string_view section,
                       std::string_view key, std::string_view default_value,
                       size_t buffer_size);

// The section's entries as a NUL-separated block ending in two NULs; see
// ProfileReadSection in platform/profile.h for the layout and the cut.
std::string ReadSection(std::string_view text, std::string_view section,
                        size_t buffer_size);

// False when `name_or_value` holds a CR, LF or NUL: written raw it would
// split its line, so writes refuse it.
bool IsWritable(std::string_view name_or_value);

// The edits of a write. Each changes *text in place and returns true when it
// changed anything.
bool SetValue(std::string* text, std::string_view section, std::string_view key,
              std::string_view value);
bool RemoveKey(std::string* text, std::string_view section,
               std::string_view key);
bool RemoveSection(std::string* text, std::string_view section);

}  // namespace platform::ini

#endif  // PLATFORM_POSIX_PROFILE_TEXT_H_
