// HELP and TEST: fixed replies that need no group and touch no store. Their
// texts are not in the reply table, so they are never translated.
#include <string>

#include "common/format.h"
#include "processor/handlers.h"

namespace {

constexpr char kHelpText[] = "Help is not yet available.";
constexpr char kTestStart[] = "Why are you trying to test";
constexpr char kTestWord[] = " %s";
constexpr char kTestEnd[] = "?";

}  // namespace

void HandleHelp(Request* request) {
  request->error = true;
  if (!request->quiet) AppendReplyText(request, kHelpText);
}

// Not a failure: answered in quiet mode too. A long echo is cut with the
// reply, so its "?" may be lost.
void HandleTest(Request* request) {
  AppendReplyText(request, kTestStart);
  for (size_t n = 1; n < request->WordCount(); ++n) {
    const std::string word = request->Word(n);
    AppendReplyText(request, FormatText(kTestWord, {word}));
  }
  AppendReplyText(request, kTestEnd);
}
