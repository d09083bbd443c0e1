// The request context of one run of the processor: one received message.
#ifndef PROCESSOR_REQUEST_H_
#define PROCESSOR_REQUEST_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/format.h"
#include "processor/vocabulary.h"

struct Request {
  std::vector<std::string> args;  // every argument after the program name
  std::string sender;             // at most kMaxPhoneChars
  std::string receive_number;     // at most kMaxPhoneChars
  size_t text_position = 0;       // index in args of the command word
  std::string command_line;       // args joined by spaces, kMaxCommandLineChars
  bool admin_mode = false;        // TessaryAdmin held a yes-value
  bool quiet = false;             // the sender failed more than 10 times in a row
  bool error = false;             // the command failed
  std::string group;              // the group the command named, kMaxGroupChars
  std::string reply;              // what the sender is told, kMaxReplyChars

  // Word n of the message text, counted from the command word (word 0), cut
  // to max_chars; empty when the message has fewer words.
  std::string Word(size_t n, size_t max_chars = std::string::npos) const;
  // The number of words of the message text.
  size_t WordCount() const;
  // Words first..last of the text joined by single spaces, cut to max_chars.
  std::string JoinedWords(size_t first, size_t max_chars) const;
};

// Appends the reply text of `key`, formatted with `args`, to the reply (cut
// at kMaxReplyChars).
void AppendReply(Request* request, ReplyKey key,
                 std::initializer_list<FormatArg> args = {});

// Appends a fixed text to the reply (cut at kMaxReplyChars).
void AppendReplyText(Request* request, std::string_view text);

// A failure: sets the error flag, and composes the reply only when quiet
// mode is off.
void FailWith(Request* request, ReplyKey key,
              std::initializer_list<FormatArg> args = {});

#endif  // PROCESSOR_REQUEST_H_
