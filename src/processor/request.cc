#include "processor/request.h"

#include "common/limits.h"
#include "common/text.h"

namespace {

// The reply holds at most kMaxReplyChars characters.
constexpr size_t kReplyCapacity = kMaxReplyChars + 1;

}  // namespace

std::string Request::Word(size_t n, size_t max_chars) const {
  if (text_position >= args.size() || n >= args.size() - text_position) return std::string();
  return CutTo(args[text_position + n], max_chars);
}

size_t Request::WordCount() const {
  return text_position < args.size() ? args.size() - text_position : 0;
}

std::string Request::JoinedWords(size_t first, size_t max_chars) const {
  if (first >= WordCount()) return std::string();
  return JoinWords(args, text_position + first, max_chars);
}

void AppendReply(Request* request, ReplyKey key, std::initializer_list<FormatArg> args) {
  AppendBounded(&request->reply, FormatText(GetReplyText(key), args), kReplyCapacity);
}

void AppendReplyText(Request* request, std::string_view text) {
  AppendBounded(&request->reply, text, kReplyCapacity);
}

void FailWith(Request* request, ReplyKey key, std::initializer_list<FormatArg> args) {
  request->error = true;
  if (!request->quiet) AppendReply(request, key, args);
}
