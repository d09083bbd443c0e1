// The entry point for gateways whose exec service hands a received message
// over as three URL-encoded arguments: the sender, the receiving number and
// the message's words ("+" for a blank, %XX for any byte). They are decoded
// into the processor's own command line, so a run, its stored argument line
// and the approved re-run are the same as for a message from the original
// gateway.
#ifndef KANNEL_KANNEL_REQUEST_H_
#define KANNEL_KANNEL_REQUEST_H_

#include <string>
#include <string_view>
#include <vector>

// sender, receiving number, text
constexpr size_t kExecArgumentCount = 3;

constexpr char kExecUsage[] =
    "usage: morvane-kannel SENDER RECEIVER TEXT\n"
    "  the three values URL-encoded, as the gateway's escapes \"%p\" \"%P\" \"%a\" give them";

// The words of a message: the runs of characters between blanks and tabs,
// as the original gateway puts them on the processor's command line.
std::vector<std::string> SplitWords(std::string_view text);

// Turns `argv` (program, sender, receiving number, text) into the
// processor's argument vector: program, "/s", sender, "/r", receiving
// number, "/t", the words. False with a one-line reason in *error for a
// wrong number of arguments, a bad %-escape, a NUL byte or an empty sender. A message
// without words gives a vector without words after "/t"; the caller has
// nothing to run then.
bool ProcessorArguments(const std::vector<std::string>& argv,
                        std::vector<std::string>* processor_argv, std::string* error);

// The whole run: decodes the arguments and runs the processor, with the
// processor beside this program as the re-run program of approved
// requests. The exit status; on bad input, 2 with the reason in *error and
// nothing run or written. A message without words is not run and exits 0.
int RunFromExecArguments(const std::vector<std::string>& argv, std::string* error);

#endif  // KANNEL_KANNEL_REQUEST_H_
