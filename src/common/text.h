// Text helpers shared by both programs. Text is handled as 8-bit bytes;
// "without regard to case" means ASCII letters only.
#ifndef COMMON_TEXT_H_
#define COMMON_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Appends `text` to `buffer` when the buffer holds fewer than `capacity`
// characters, cutting so that the result has at most capacity - 1
// characters. Nothing happens when the buffer already holds capacity
// characters or more.
void AppendBounded(std::string* buffer, std::string_view text, size_t capacity);

// The first `max_chars` characters of `text`. Every cut of a text to a field
// limit goes through here.
std::string CutTo(std::string_view text, size_t max_chars);

// Joins words with single spaces, at most max_chars characters in all.
std::string JoinWords(const std::vector<std::string>& words, size_t first, size_t max_chars);

bool EqualsNoCase(std::string_view a, std::string_view b);
// True when `text` begins with `prefix`, compared without regard to case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string ToUpperAscii(std::string_view text);
char ToLowerAscii(char c);

// Reads a decimal number as the C library's atol does: leading blanks, an
// optional sign, digits up to the first non-digit; 0 when there are none.
// Saturates instead of overflowing. 64 bits on every platform, so that both
// builds read the same numbers alike (a Windows long has 32).
int64_t ParseLeadingLong(std::string_view text);

// True for a yes-value: first character 'Y', 'y' or '1', or the whole text
// "TRUE" or "On" in any case. An empty text is false.
bool IsYesValue(std::string_view text);

// Decodes a URL-encoded value: '+' is a blank and %XX (two hexadecimal
// digits, any case) a byte. False, with *decoded unspecified, for a '%' not
// followed by two hexadecimal digits.
bool UrlDecode(std::string_view text, std::string* decoded);

// Reads the UTF-8 character at text[*pos] and moves *pos behind it. False,
// with *pos unchanged, for a byte that starts no well-formed sequence: a
// stray continuation byte, a cut or overlong sequence, a surrogate, a code
// point past U+10FFFF.
bool NextUtf8(std::string_view text, size_t* pos, char32_t* code_point);

// Splits a profile section block ("k=v\0k2=v2\0\0") into its entries.
std::vector<std::string> SplitSectionBlock(std::string_view block);

// The key of a section entry: the text before its first '=' (the whole entry
// when it has none).
std::string_view EntryKey(std::string_view entry);

#endif  // COMMON_TEXT_H_
