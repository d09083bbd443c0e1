// Which handler a message's first word selects.
#ifndef PROCESSOR_DISPATCH_H_
#define PROCESSOR_DISPATCH_H_

#include <string_view>

#include "processor/request.h"

enum class Command { kJoin, kLeave, kInvite, kCreate, kAdmin, kYes, kTest, kHelp, kIdTag, kPost };

// The command the word selects. The rows are tried in order: JOIN/START,
// LEAVE/STOP, INVITE, CREATE, ADMIN, YES, TEST, HELP, then "id:"; a row
// matches when the word begins with one of its English keywords (without
// regard to case) or equals one of their translations. "id:" is never
// translated. Any other word is a post.
Command SelectCommand(std::string_view word);

// Runs the handler of the request's command word. INVITE and "id:" are
// accepted and ignored: no reply, no store change, no error.
void Dispatch(Request* request);

#endif  // PROCESSOR_DISPATCH_H_
