#include "tool/post.h"

#include "common/format.h"
#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "processor/run.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/trans_db.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kNoTextLine[] = "ERROR:  No text to post\r\n";
constexpr char kTextTooLongLine[] = "ERROR:  Text too long to post\r\n";
constexpr char kInvalidGroupNameLine[] = "ERROR:  Invalid group name %s\r\n";

// The processor reads a ':' in the group word as the start of a member name.
constexpr char kTargetSeparator = ':';
// Where a command line separates its words.
constexpr char kCommandLineBlanks[] = " \t";

// Field `index` (from 0) of a TAB-separated value; empty when it has fewer.
std::string_view Field(std::string_view value, size_t index) {
  for (size_t i = 0; i < index; ++i) {
    const size_t tab = value.find(kReceiveCommandFieldSeparator);
    if (tab == std::string_view::npos) return {};
    value.remove_prefix(tab + 1);
  }
  return value.substr(0, value.find(kReceiveCommandFieldSeparator));
}

// Starts the processor with administrator mode set in this process's
// environment for the length of the run. A child that cannot be started is
// not reported; one still running after the wait keeps running.
void RunProcessorAsAdmin(const std::vector<std::string>& argv) {
  platform::SetEnv(kAdminModeVariable, kYesValue);
  platform::Child child = platform::Child::Start(argv);
  if (child.started() && !child.Wait(kChildWaitMs)) child.Detach();
  platform::UnsetEnv(kAdminModeVariable);
}

}  // namespace

std::string ConfiguredReceivingNumber(const std::string& config_path) {
  std::string number;
  for (unsigned n = 1;; ++n) {
    const std::string key = FormatText(kReceiveCommandKeyFormat, {static_cast<long long>(n)});
    const std::string value =
        platform::ProfileReadString(config_path, kGatewaySection, key, "", kMaxWorkChars + 1);
    if (value.empty()) break;
    const std::string_view field = Field(value, kReceiveNumberField);
    if (IsPhoneNumber(field)) number = std::string(field);
  }
  return number;
}

std::vector<std::string> PostArguments(const std::string& program, std::string_view owner,
                                       std::string_view receive_number, std::string_view group,
                                       const std::vector<std::string>& words) {
  std::vector<std::string> argv = {program, kSenderSwitch, std::string(owner)};
  if (!receive_number.empty()) {
    argv.emplace_back(kReceiveSwitch);
    argv.emplace_back(receive_number);
  }
  argv.emplace_back(kTextSwitch);
  argv.push_back(kPostMarker + std::string(group));
  for (const std::string& word : words) {
    std::string_view rest = word;
    while (!rest.empty()) {
      const size_t start = rest.find_first_not_of(kCommandLineBlanks);
      if (start == std::string_view::npos) break;
      rest.remove_prefix(start);
      const size_t end = rest.find_first_of(kCommandLineBlanks);
      argv.emplace_back(rest.substr(0, end));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
  }
  return argv;
}

size_t JoinedCommandLineChars(const std::vector<std::string>& argv) {
  if (argv.size() < 2) return 0;
  size_t chars = argv.size() - 2;  // one space between two arguments
  for (size_t i = 1; i < argv.size(); ++i) chars += argv[i].size();
  return chars;
}

bool IsPostableGroupName(std::string_view group) {
  return group.size() <= kMaxGroupChars && group.find(kTargetSeparator) == std::string_view::npos;
}

void PostToGroup(std::string_view group, const std::vector<std::string>& words,
                 std::string* output) {
  if (JoinWords(words, 0, kMaxCommandLineChars).empty()) {
    output->append(kNoTextLine);
    return;
  }
  if (!IsPostableGroupName(group)) {
    output->append(FormatText(kInvalidGroupNameLine, {group}));
    return;
  }
  std::string directory;
  std::string receive_number;
  if (GetPrivateDataDirectory(&directory)) {
    receive_number = ConfiguredReceivingNumber(directory + kGatewayConfigName);
  }
  std::string owner;
  GetGroupOwner(group, &owner);
  const std::vector<std::string> argv = PostArguments(
      ProcessorProgramBesideThis(), owner, receive_number, group, words);
  // The processor would cut a longer line; the text is refused instead.
  if (JoinedCommandLineChars(argv) > kMaxCommandLineChars) {
    output->append(kTextTooLongLine);
    return;
  }
  RunProcessorAsAdmin(argv);
}
