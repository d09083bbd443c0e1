#include "processor/run.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "processor/dispatch.h"
#include "store/error_counter.h"
#include "store/group_store.h"

namespace {

// 's', 'r' or 't' for the switches "/s", "-s", ... in any case; 0 otherwise.
char SwitchLetter(std::string_view arg) {
  if (arg.size() != 2 || (arg[0] != '/' && arg[0] != '-')) return 0;
  const char letter = ToLowerAscii(arg[1]);
  return (letter == 's' || letter == 'r' || letter == 't') ? letter : 0;
}

// The reply goes out once, as it stands: no line end, nothing around it.
void WriteStandardOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// A reply about an existing group travels through the gateway, from the
// receiving number to the sender; any other goes to standard output. A
// failed submission is not reported.
void DeliverReply(const Request& request) {
  if (request.reply.empty()) return;
  if (!request.group.empty() && GroupExists(request.group)) {
    SubmitMessage(request.group, request.receive_number, request.sender, request.reply);
  } else {
    WriteStandardOutput(request.reply);
  }
}

// A submission the gateway did not take is told on standard error, which
// the gateway keeps in its log; standard output carries only the reply.
void ReportToStandardError(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

std::string ProcessorProgramBesideThis() {
  return platform::ProgramFolder() + kProcessorProgramName +
         std::string(platform::ExecutableSuffix());
}

bool ReadAdminMode() {
  std::string value;
  if (!platform::GetEnv(kAdminModeVariable, &value)) return false;
  return IsYesValue(CutTo(value, kMaxEnvValueChars));
}

void ScanArguments(Request* request) {
  const std::vector<std::string>& args = request->args;
  for (size_t i = 0; i < args.size(); ++i) {
    const char letter = SwitchLetter(args[i]);
    if (letter == 't') {
      request->text_position = i + 1 < args.size() ? i + 1 : i;
      return;
    }
    if (letter == 0 || i + 1 >= args.size()) continue;
    std::string value = CutTo(args[++i], kMaxPhoneChars);
    if (letter == 's') {
      request->sender = std::move(value);
    } else {
      request->receive_number = std::move(value);
    }
  }
  // The positional form: sender, then the text.
  request->sender = args.empty() ? std::string() : CutTo(args[0], kMaxPhoneChars);
  request->text_position = 1;
}

int RunProcessor(const std::vector<std::string>& argv) {
  if (argv.size() < kMinArguments + 1) return 0;
  platform::SocketsStartup();
  SetSubmissionFailureSink(ReportToStandardError);
  SetStoreBase(StoreBase::kProgramData);
  std::string store_root;
  GroupFolderPath("", &store_root);  // creates the store root when missing

  Request request;
  request.admin_mode = ReadAdminMode();
  request.args.assign(argv.begin() + 1, argv.end());
  request.command_line = JoinWords(request.args, 0, kMaxCommandLineChars);
  ScanArguments(&request);
  request.quiet = GetErrorCount(request.sender) > kQuietAfterFailures;

  Dispatch(&request);
  DeliverReply(request);
  if (request.error) {
    IncrementErrorCount(request.sender);
  } else {
    ResetErrorCount(request.sender);
  }
  return 0;
}
