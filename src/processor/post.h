// Posts to a group: reading the first word of a post and composing the texts
// that go out. The handlers themselves (HandlePost, HandleYes) are declared
// in handlers.h.
#ifndef PROCESSOR_POST_H_
#define PROCESSOR_POST_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "processor/request.h"

// An outgoing post, an approval text: at most this many characters.
constexpr size_t kMaxPostTextChars = 8191;

// What the first word of a post names.
struct PostAddress {
  std::string group;        // up to the first ':', at most kMaxGroupChars
  std::string target;       // after the first ':'; empty for a group post
  bool has_marker = false;  // the word began with a post marker
};

// The first character is a post marker when it is '@', or when it is no
// ASCII letter or digit and the second character is one. The group is the
// rest of the word (the whole word without a marker), cut to kMaxGroupChars
// and then split at its first ':'.
PostAddress ParsePostWord(std::string_view word);

// `prefix`, then every text word of the request (the words after the first)
// each preceded by one space; cut at kMaxPostTextChars.
std::string AppendTextWords(std::string_view prefix, const Request& request);

#endif  // PROCESSOR_POST_H_
