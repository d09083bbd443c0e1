// morvanectl: the operator's command-line tool on the gateway host. It
// creates groups for a named owner, edits a group's members, blocks,
// properties and rights lists directly in the group store (rooted in the
// gateway's private data directory), and posts a text to a group by starting
// the processor in administrator mode.
#ifndef TOOL_TOOL_H_
#define TOOL_TOOL_H_

#include <cstddef>
#include <string>
#include <vector>

#include "common/limits.h"

// What the tool keeps of its arguments: the group name and the owner's
// number; member names, numbers and the words of ADD, REMOVE, BLOCK and
// UNBLOCK; list actions and list targets (kMaxListWordChars).
constexpr size_t kMaxToolOwnerChars = kMaxToolGroupChars;
constexpr size_t kMaxToolMemberWordChars = 149;

// The exit status of the endings that stop the tool on a usage or group
// error; every other ending exits with 0.
constexpr int kToolFailureStatus = -1;

// Runs the tool on argv (argv[0] is the program name as invoked) and
// appends everything it reports, "\r\n"-ended lines, to *output. Returns
// the exit status.
int RunTool(const std::vector<std::string>& argv, std::string* output);

// The same, writing the report to standard output.
int RunTool(const std::vector<std::string>& argv);

#endif  // TOOL_TOOL_H_
