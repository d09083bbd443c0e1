// The tool's POST: a text goes to every member of a group through the
// processor, started as a child in administrator mode under the group
// owner's number.
#ifndef TOOL_POST_H_
#define TOOL_POST_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// HOLLIN.INI keys that describe the gateway's receiving commands, numbered
// from 1; the receiving number is the fourth TAB-separated field of a value.
constexpr char kReceiveCommandKeyFormat[] = "ReceiveSMSCommand%u";
constexpr char kReceiveCommandFieldSeparator = '\t';
constexpr size_t kReceiveNumberField = 3;

// The post marker put before the group name on the processor's command
// line, so that the group is read as a group whatever its name begins with
// (a name such as "Helpers" or "Stopwatch" would otherwise select a command).
constexpr char kPostMarker[] = "@";

// The receiving number configured in the gateway configuration file at
// `config_path`: of the ReceiveSMSCommand entries up to the first missing or
// empty one, the last whose fourth field is a phone number. Empty when none
// is (or the file is missing).
std::string ConfiguredReceivingNumber(const std::string& config_path);

// The processor's argument vector for a post: the program, "/s" and the
// owner, "/r" and the receiving number when there is one, "/t", the marked
// group name, then the words of the text as a command line gives them back:
// split at runs of spaces and tabs, so empty words and the spacing inside a
// word are not kept (the processor joins its words with single spaces).
// Quotes and backslashes reach the processor as typed.
std::vector<std::string> PostArguments(const std::string& program, std::string_view owner,
                                       std::string_view receive_number, std::string_view group,
                                       const std::vector<std::string>& words);

// The length of the command line the processor makes of `argv`: every
// argument after the program name joined by single spaces.
size_t JoinedCommandLineChars(const std::vector<std::string>& argv);

// True when the processor can name the group in a post: it keeps at most
// kMaxGroupChars of a group name and reads a ':' as the start of a member's
// name.
bool IsPostableGroupName(std::string_view group);

// Posts `words` to the (existing) group: starts the processor with
// TessaryAdmin=Yes in this process's environment while it runs, waiting at
// most kChildWaitMs for it (a child still running then is left running).
// Appends an error line to *output for an empty text, a group the processor
// cannot name, or a text that does not fit the processor's command line;
// nothing otherwise.
void PostToGroup(std::string_view group, const std::vector<std::string>& words,
                 std::string* output);

#endif  // TOOL_POST_H_
