// One run of the processor: one received message from the command line to
// the reply and the sender's error count.
#ifndef PROCESSOR_RUN_H_
#define PROCESSOR_RUN_H_

#include <string>
#include <vector>

#include "processor/request.h"
#include "store/trans_db.h"  // kAdminModeVariable

// The processor's program file, without the platform's executable suffix.
constexpr char kProcessorProgramName[] = "morvane";

// The processor's program beside the running program (the tool and other
// entry points start it from their own folder).
std::string ProcessorProgramBesideThis();

// The switches of the processor's command line, as the programs that start
// it write them.
constexpr char kSenderSwitch[] = "/s";
constexpr char kReceiveSwitch[] = "/r";
constexpr char kTextSwitch[] = "/t";

// A run needs at least this many arguments after the program name.
constexpr size_t kMinArguments = 2;

// Sets sender, receiving number and text position from request->args (the
// arguments after the program name). "/s", "/r" and "/t" ("-s", "-r", "-t")
// are whole arguments in any case; "/s" and "/r" take the next argument
// (cut to kMaxPhoneChars) and "/t" ends the scan, the text beginning after
// it, or at "/t" itself when it is the last argument. Without "/t" the first
// argument is the sender and the text begins at the second.
void ScanArguments(Request* request);

// True when kAdminModeVariable holds a yes-value (its first 8191 characters
// are read); false when it is unset.
bool ReadAdminMode();

// Handles the message on the command line (argv[0] is the program name):
// dispatches it, delivers the reply through the gateway when it concerns an
// existing group or on standard output otherwise, and updates the sender's
// error count. Returns the exit status, always 0.
int RunProcessor(const std::vector<std::string>& argv);

#endif  // PROCESSOR_RUN_H_
