// printf-style formatting without the C library's varargs: the arguments
// travel with their types, so a format written by an operator (a translated
// reply) can be checked before use and can never read past its arguments.
#ifndef COMMON_FORMAT_H_
#define COMMON_FORMAT_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

using FormatArg = std::variant<std::string_view, long long>;

// Formats `format` with `args`. Supported conversions: %s, %u, %d, %i, %x,
// %X, %c and %%, with the flags '-' and '0' and a width. Each formatted piece
// is cut at kMaxFormattedPieceChars. A conversion without a matching argument,
// or of another kind than its argument, is written as it stands.
std::string FormatText(std::string_view format,
                       std::initializer_list<FormatArg> args);

// The kinds of the conversions in `format`, in order: 's' for a text, 'n'
// for a number. nullopt when the format holds a conversion that FormatText
// does not support (such as %n or %p).
std::optional<std::string> FormatSignature(std::string_view format);

#endif  // COMMON_FORMAT_H_
