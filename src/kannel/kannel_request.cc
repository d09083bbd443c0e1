#include "kannel/kannel_request.h"

#include <utility>

#include "common/text.h"
#include "processor/run.h"
#include "store/trans_db.h"

namespace {

constexpr int kBadInputStatus = 2;
constexpr std::string_view kWordSeparators = " \t";
// program, "/s", sender, "/r", receiving number, "/t"
constexpr size_t kArgumentsBeforeWords = 6;

// Decodes one argument; the reason names it when it is malformed. A NUL
// byte is refused: no gateway can pass one on a command line, and the
// platform's calls would cut a name at it (a group "a%00b" would be "a").
bool DecodeArgument(std::string_view name, std::string_view value, std::string* decoded,
                    std::string* error) {
  if (!UrlDecode(value, decoded)) {
    *error =
        "the " + std::string(name) + " holds a '%' that is not followed by two hexadecimal digits";
    return false;
  }
  if (decoded->find('\0') != std::string::npos) {
    *error = "the " + std::string(name) + " holds a NUL byte (%00)";
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t start = text.find_first_not_of(kWordSeparators);
  while (start != std::string_view::npos) {
    const size_t end = text.find_first_of(kWordSeparators, start);
    words.emplace_back(text.substr(start, end - start));
    start = text.find_first_not_of(kWordSeparators, end);
  }
  return words;
}

bool ProcessorArguments(const std::vector<std::string>& argv,
                        std::vector<std::string>* processor_argv, std::string* error) {
  if (argv.size() != kExecArgumentCount + 1) {
    *error = "expected 3 arguments, got " + std::to_string(argv.empty() ? 0 : argv.size() - 1);
    return false;
  }
  std::string sender, receive_number, text;
  if (!DecodeArgument("sender", argv[1], &sender, error) ||
      !DecodeArgument("receiving number", argv[2], &receive_number, error) ||
      !DecodeArgument("text", argv[3], &text, error)) {
    return false;
  }
  if (sender.empty()) {
    *error = "the sender is empty";
    return false;
  }
  *processor_argv = {argv[0], kSenderSwitch, sender, kReceiveSwitch, receive_number, kTextSwitch};
  for (std::string& word : SplitWords(text)) processor_argv->push_back(std::move(word));
  return true;
}

int RunFromExecArguments(const std::vector<std::string>& argv, std::string* error) {
  std::vector<std::string> processor_argv;
  if (!ProcessorArguments(argv, &processor_argv, error)) return kBadInputStatus;
  // An empty message asks for nothing, and "/t" alone would read as a word.
  if (processor_argv.size() == kArgumentsBeforeWords) return 0;
  SetRerunProgram(ProcessorProgramBesideThis());
  return RunProcessor(processor_argv);
}
