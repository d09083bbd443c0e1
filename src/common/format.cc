#include "common/format.h"

#include <vector>

#include "common/limits.h"

namespace {

struct Directive {
  bool left = false;
  bool zero = false;
  size_t width = 0;
  char conversion = 0;
  size_t length = 0;  // characters of the format the directive takes, '%' included
};

// Parses the conversion directive that starts at format[start] == '%'.
std::optional<Directive> ParseDirective(std::string_view format, size_t start) {
  Directive directive;
  size_t i = start + 1;
  for (; i < format.size() && (format[i] == '-' || format[i] == '0'); ++i) {
    if (format[i] == '-') directive.left = true;
    if (format[i] == '0') directive.zero = true;
  }
  for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i) {
    directive.width = std::min<size_t>(directive.width * 10 + (format[i] - '0'),
                                  kMaxFormattedPieceChars);
  }
  if (i < format.size() && format[i] == 'l') ++i;  // %lu, %ld
  if (i >= format.size()) return std::nullopt;
  directive.conversion = format[i];
  directive.length = i + 1 - start;
  return directive;
}

char KindOf(char conversion) {
  switch (conversion) {
    case 's':
      return 's';
    case 'u': case 'd': case 'i': case 'x': case 'X': case 'c':
      return 'n';
    default:
      return 0;
  }
}

std::string FormatNumber(const Directive& directive, long long value) {
  static constexpr char kLower[] = "0123456789abcdef";
  static constexpr char kUpper[] = "0123456789ABCDEF";
  if (directive.conversion == 'c') return std::string(1, static_cast<char>(value));
  const bool hex = directive.conversion == 'x' || directive.conversion == 'X';
  unsigned long long magnitude;
  bool negative = false;
  if (directive.conversion == 'd' || directive.conversion == 'i') {
    negative = value < 0;
    magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                         : static_cast<unsigned long long>(value);
  } else {
    magnitude = static_cast<uint32_t>(value);  // %u and %x take 32 bits
  }
  const unsigned base = hex ? 16 : 10;
  const char* digits = directive.conversion == 'X' ? kUpper : kLower;
  std::string text;
  do {
    text.insert(text.begin(), digits[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  if (directive.zero && !directive.left) {
    const size_t want = directive.width > (negative ? 1 : 0) ? directive.width - (negative ? 1 : 0) : 0;
    if (text.size() < want) text.insert(0, want - text.size(), '0');
  }
  if (negative) text.insert(text.begin(), '-');
  return text;
}

std::string Pad(const Directive& directive, std::string piece) {
  if (piece.size() < directive.width) {
    if (directive.left) {
      piece.append(directive.width - piece.size(), ' ');
    } else {
      piece.insert(0, directive.width - piece.size(), ' ');
    }
  }
  if (piece.size() > kMaxFormattedPieceChars) piece.resize(kMaxFormattedPieceChars);
  return piece;
}

}  // namespace

std::string FormatText(std::string_view format,
                       std::initializer_list<FormatArg> args) {
  std::string out;
  const FormatArg* next = args.begin();
  size_t i = 0;
  while (i < format.size()) {
    const size_t percent = format.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(format.substr(i));
      break;
    }
    out.append(format.substr(i, percent - i));
    const std::optional<Directive> directive = ParseDirective(format, percent);
    if (!directive) {
      out.append(format.substr(percent));
      break;
    }
    const std::string_view written = format.substr(percent, directive->length);
    i = percent + directive->length;
    if (directive->conversion == '%') {
      out.push_back('%');
      continue;
    }
    const char kind = KindOf(directive->conversion);
    if (kind == 0 || next == args.end()) {
      out.append(written);
      continue;
    }
    const FormatArg& arg = *next++;
    if (kind == 's' && std::holds_alternative<std::string_view>(arg)) {
      out.append(Pad(*directive, std::string(std::get<std::string_view>(arg))));
    } else if (kind == 'n' && std::holds_alternative<long long>(arg)) {
      out.append(Pad(*directive, FormatNumber(*directive, std::get<long long>(arg))));
    } else {
      out.append(written);
    }
  }
  return out;
}

std::optional<std::string> FormatSignature(std::string_view format) {
  std::string kinds;
  size_t i = 0;
  while ((i = format.find('%', i)) != std::string_view::npos) {
    const std::optional<Directive> directive = ParseDirective(format, i);
    if (!directive) return std::nullopt;
    i += directive->length;
    if (directive->conversion == '%') continue;
    const char kind = KindOf(directive->conversion);
    if (kind == 0) return std::nullopt;
    kinds.push_back(kind);
  }
  return kinds;
}
