#include "tool/tool.h"

#include <cstdio>
#include <string_view>

#include "common/files.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/files.h"
#include "processor/new_group.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/user_directory.h"
#include "tool/post.h"

namespace {

// Arguments after the program name that every command needs: the command,
// the group and one more.
constexpr size_t kMinToolArguments = 3;

// Positions in argv (argv[0] is the program name).
constexpr size_t kCommandArg = 1;
constexpr size_t kGroupArg = 2;
constexpr size_t kOwnerArg = 3;       // CREATE
constexpr size_t kSubcommandArg = 3;  // ADMIN
constexpr size_t kFirstWordArg = 4;   // property words, subcommand words

// Commands, matched as prefixes without regard to case.
constexpr char kCreateCommand[] = "CREATE";
constexpr char kAdminCommand[] = "ADMIN";

// Names that cannot become groups: the processor's command words (the tool
// reads no translations).
constexpr std::string_view kCommandWords[] = {
    "JOIN", "START", "LEAVE", "STOP", "INVITE", "CREATE", "DELETE", "HELP", "YES", "TEST", "ADMIN"};

// The owner's member row at creation.
constexpr char kOwnerUserName[] = "Admin";

// List actions (whole words) and UNBLOCK's word for every block.
constexpr char kListAction[] = "LIST";
constexpr char kAddAction[] = "ADD";
constexpr char kRemoveAction[] = "REMOVE";
constexpr char kAllWord[] = "ALL";

// Usage.
constexpr char kUsageHeading[] = "Usage:\r\n";
constexpr char kAdminUsageLine[] =
    "  %s ADMIN GroupName [ ADMIN / AUTH / PROP / ADD / REMOVE / LIST / BLOCK "
    "/ UNBLOCK / POST ]\r\n";
constexpr char kCreateUsageLine[] =
    "  %s CREATE GroupName OwnerPhoneNumber [ PUBLIC / PRIVATE ] [ MOD / UNMOD "
    "/ BROADCAST ] [ NOTIFY / NONOTIFY ]\r\n";

// CREATE.
constexpr char kGroupExistsLine[] = "ERROR:  Group %s already exists\r\n";
constexpr char kOwnerInvalidLine[] = "ERROR:  Owner phone number %s is invalid\r\n";
constexpr char kOwnerNotUserLine[] =
    "ERROR:  Owner phone number %s must be defined in the Kavrel \"SMS Users\" "
    "list\r\n";
constexpr char kPublicPrivateLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "PUBLIC PRIVATE\r\n";
constexpr char kModUnmodLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "MOD UNMOD BROADCAST\r\n";
constexpr char kNotifyConflictLine[] =
    "ERROR:  Only one of the following attributes can be applied to a group:  "
    "NOTIFY NONOTIFY\r\n";
constexpr char kInvalidGroupNameLine[] = "ERROR:  Invalid group name %s\r\n";
constexpr char kCreatedLine[] = "OK -- Group %s created.\r\n";
constexpr char kAttributesHeading[] = "Group Attributes:  ";
constexpr char kAttributesLine[] = "%s  %s  %s\r\n";
constexpr char kNotifyName[] = "Notify";
constexpr char kNoNotifyName[] = "NoNotify";

// ADMIN.
constexpr char kGroupNotExistLine[] = "ERROR:  Group %s does not exist\r\n";
constexpr char kOkLine[] = "OK\r\n";
constexpr char kInvalidTargetLine[] = "ERROR:  Invalid phone number %s\r\n";
constexpr char kListEntryName[] = " - %s";
constexpr char kLineEnd[] = "\r\n";
constexpr char kPropertiesLine[] = "OK -- Current properties for group %s -- %s\r\n";
constexpr char kPropertySeparator[] = "  ";
constexpr char kNotifyWord[] = "NOTIFY";
constexpr char kNoNotifyWord[] = "NONOTIFY";
constexpr char kInvalidNumberLine[] = "ERROR:  Invalid number %s, not added to group %s\r\n";
constexpr char kUserExistsLine[] = "ERROR:  User %s already exists in group %s\r\n";
constexpr char kUnableToAddLine[] = "ERROR:  Unable to add user %s to group %s\r\n";
constexpr char kUserNotExistLine[] = "ERROR:  User %s does not exist in group %s\r\n";
constexpr char kUnableToRemoveLine[] = "ERROR:  Unable to remove user %s from group %s\r\n";
constexpr char kNotBlockedLine[] = "ERROR:  User %s was not blocked in group %s\r\n";
constexpr char kMemberLine[] = "%s\r\n";

// One of the two rights lists of GROUP.INI.
struct RightsList {
  std::string_view section;
  std::string_view value;
  const char* not_listed_line;
  const char* help_line;
  const char* usage_line;
};

constexpr RightsList kAdminList = {
    kAdminSection, kAdminValue, "ERROR:  %s is not currently an ADMIN for this group\r\n",
    "List, add or remove users with ADMIN rights in this group.\r\n\r\n",
    "  %s ADMIN GroupName ADMIN [ LIST / ADD number / REMOVE number ]\r\n"};

constexpr RightsList kAuthUserList = {
    kAuthUserSection, kAuthUserValue, "ERROR:  %s is not currently an AuthUser for this group\r\n",
    "List, add or remove users with AuthUser rights in this group (rights to "
    "distributed to moderated or broadcast groups).\r\n\r\n",
    "  %s ADMIN GroupName AUTH [ LIST / ADD number / REMOVE number ]\r\n"};

enum class Subcommand {
  kAdminList,
  kAuthList,
  kProp,
  kAdd,
  kRemove,
  kBlock,
  kUnblock,
  kList,
  kPost,
  kUnknown
};

// Subcommands, matched as prefixes without regard to case, in this order.
struct SubcommandPrefix {
  std::string_view prefix;
  Subcommand subcommand;
};

constexpr SubcommandPrefix kSubcommands[] = {
    {"ADMIN", Subcommand::kAdminList}, {"AUTH", Subcommand::kAuthList},
    {"PROP", Subcommand::kProp},       {"ADD", Subcommand::kAdd},
    {"REMOVE", Subcommand::kRemove},   {"BLOCK", Subcommand::kBlock},
    {"UNBLOCK", Subcommand::kUnblock}, {"LIST", Subcommand::kList},
    {"POST", Subcommand::kPost}};

// One run's arguments and report.
struct Run {
  const std::vector<std::string>& argv;
  std::string* output;
  std::string group;  // cut to kMaxToolGroupChars

  // Argument n cut to max_chars; empty when missing.
  std::string Arg(size_t n, size_t max_chars) const {
    return n < argv.size() ? CutTo(argv[n], max_chars) : std::string();
  }
  std::string_view program() const {
    return argv.empty() ? std::string_view() : std::string_view(argv[0]);
  }
  void Print(std::string_view text) const { output->append(text); }
  void Print(std::string_view format, std::initializer_list<FormatArg> args) const {
    output->append(FormatText(format, args));
  }
  // The arguments from kFirstWordArg on.
  std::vector<std::string> Words() const {
    if (argv.size() <= kFirstWordArg) return {};
    return std::vector<std::string>(argv.begin() + kFirstWordArg, argv.end());
  }
};

bool IsReservedGroupName(std::string_view group) {
  for (std::string_view word : kCommandWords) {
    if (EqualsNoCase(group, word)) return true;
  }
  return false;
}

PropertyChoices ClassifyWords(const Run& run) {
  PropertyChoices choices;
  for (const std::string& word : run.Words()) {
    ClassifyPropertyWord(word, &choices);
  }
  return choices;
}

// Prints the first conflict among the property words; false when there is
// none.
bool ReportConflict(const Run& run, const PropertyChoices& choices) {
  switch (FirstConflict(choices)) {
    case PropertyConflict::kNone:
      return false;
    case PropertyConflict::kPublicPrivate:
      run.Print(kPublicPrivateLine);
      return true;
    case PropertyConflict::kModUnmod:
      run.Print(kModUnmodLine);
      return true;
    case PropertyConflict::kNotify:
      run.Print(kNotifyConflictLine);
      return true;
  }
  return false;
}

int CreateGroup(const Run& run) {
  const std::string owner = run.Arg(kOwnerArg, kMaxToolOwnerChars);
  if (GroupExists(run.group)) {
    run.Print(kGroupExistsLine, {run.group});
    return kToolFailureStatus;
  }
  if (!IsPhoneNumber(owner)) {
    run.Print(kOwnerInvalidLine, {owner});
    return kToolFailureStatus;
  }
  if (!UserExists(owner)) {
    run.Print(kOwnerNotUserLine, {owner});
    return kToolFailureStatus;
  }
  const PropertyChoices choices = ClassifyWords(run);
  if (ReportConflict(run, choices)) return kToolFailureStatus;

  // Refused names are turned away before anything is created for them.
  std::string folder;
  if (!IsSafeGroupName(run.group) || IsReservedGroupName(run.group) ||
      !GroupFolderPath(run.group, &folder)) {
    run.Print(kInvalidGroupNameLine, {run.group});
    return kToolFailureStatus;
  }
  // Created only when missing: of two creations of one group at the same
  // moment exactly one writes the file.
  platform::File file = platform::CreateFile(
      folder + kGroupIniName, platform::CreateDisposition::kCreateNew, SharedSecurityAttributes());
  if (!file.is_open()) {
    run.Print(GroupExists(run.group) ? kGroupExistsLine : kInvalidGroupNameLine, {run.group});
    return kToolFailureStatus;
  }
  WriteNewGroupIni(&file, choices, owner);
  file.Close();

  run.Print(kCreatedLine, {run.group});
  run.Print(kAttributesHeading);
  run.Print(kAttributesLine, {MembershipTypeOf(choices), PostTypeOf(choices),
                              choices.notify_on ? kNotifyName : kNoNotifyName});
  AddMember(run.group, owner, kOwnerUserName);
  return 0;
}

// The phone number a list target names: the target itself when it is a
// phone number, else the number of the member of that user name.
bool ResolveTarget(const Run& run, const std::string& target, std::string* phone) {
  if (IsPhoneNumber(target)) {
    *phone = target;
    return true;
  }
  return !target.empty() && FindMemberByName(run.group, target, phone);
}

void PrintList(const Run& run, const RightsList& list) {
  const std::string block = ReadGroupSection(run.group, list.section);
  for (const std::string& entry : SplitSectionBlock(block)) {
    const std::string_view phone = EntryKey(entry);
    run.Print(phone);
    std::string user_name;
    if (FindMemberByPhone(run.group, phone, &user_name)) {
      run.Print(kListEntryName, {user_name});
    }
    run.Print(kLineEnd);
  }
}

int EditRightsList(const Run& run, const RightsList& list) {
  const std::string action = run.Arg(kFirstWordArg, kMaxListWordChars);
  const std::string target = run.Arg(kFirstWordArg + 1, kMaxListWordChars);
  std::string phone;
  if (EqualsNoCase(action, kListAction)) {
    PrintList(run, list);
  } else if (EqualsNoCase(action, kAddAction)) {
    if (ResolveTarget(run, target, &phone)) {
      WriteGroupValue(run.group, list.section, phone, list.value);
      run.Print(kOkLine);
    } else {
      run.Print(kInvalidTargetLine, {target});
    }
  } else if (EqualsNoCase(action, kRemoveAction)) {
    if (!ResolveTarget(run, target, &phone)) {
      run.Print(kInvalidTargetLine, {target});
    } else if (!ReadGroupValue(run.group, list.section, phone, "").empty()) {
      DeleteGroupKey(run.group, list.section, phone);
      run.Print(kOkLine);
    } else {
      run.Print(list.not_listed_line, {phone});
    }
  } else {
    run.Print(list.help_line);
    run.Print(kUsageHeading);
    run.Print(list.usage_line, {run.program()});
    return kToolFailureStatus;
  }
  return 0;
}

void SetProperties(const Run& run) {
  const PropertyChoices choices = ClassifyWords(run);
  if (ReportConflict(run, choices)) return;
  if (choices.is_public || choices.is_private) {
    WriteGroupValue(run.group, kGroupSection, kMembershipTypeKey, MembershipTypeOf(choices));
  }
  if (choices.moderated || choices.unmoderated || choices.broadcast) {
    WriteGroupValue(run.group, kGroupSection, kPostTypeKey, PostTypeOf(choices));
  }
  if (choices.notify_on) {
    WriteGroupValue(run.group, kGroupSection, kNotifyKey, kYesValue);
  } else if (choices.notify_off) {
    DeleteGroupKey(run.group, kGroupSection, kNotifyKey);
  }
  std::string current =
      ToUpperAscii(ReadGroupValue(run.group, kGroupSection, kMembershipTypeKey, ""));
  current += kPropertySeparator;
  current += ToUpperAscii(ReadGroupValue(run.group, kGroupSection, kPostTypeKey, ""));
  current += kPropertySeparator;
  current += IsNotifyOn(run.group) ? kNotifyWord : kNoNotifyWord;
  run.Print(kPropertiesLine, {run.group, current});
}

void AddGroupMember(const Run& run) {
  const std::string phone = run.Arg(kFirstWordArg, kMaxToolMemberWordChars);
  const std::string user_name = run.Arg(kFirstWordArg + 1, kMaxToolMemberWordChars);
  if (user_name.empty() || !IsPhoneNumber(phone)) {
    run.Print(kInvalidNumberLine, {phone, run.group});
    return;
  }
  std::string existing;
  if (FindMemberByPhone(run.group, phone, &existing) && EqualsNoCase(existing, user_name)) {
    run.Print(kUserExistsLine, {phone, run.group});
  } else if (AddMember(run.group, phone, user_name)) {
    run.Print(kOkLine);
  } else {
    run.Print(kUnableToAddLine, {phone, run.group});
  }
}

// REMOVE, and BLOCK when `block` is set: the word is a member's user name,
// or else taken as the phone number.
void RemoveGroupMember(const Run& run, bool block) {
  const std::string word = run.Arg(kFirstWordArg, kMaxToolMemberWordChars);
  std::string phone;
  if (word.empty() || !FindMemberByName(run.group, word, &phone)) phone = word;
  std::string user_name;
  if (word.empty() || !FindMemberByPhone(run.group, phone, &user_name)) {
    run.Print(kUserNotExistLine, {phone, run.group});
    return;
  }
  if (!DeleteMemberByPhone(run.group, phone)) {
    run.Print(kUnableToRemoveLine, {word, run.group});
    return;
  }
  run.Print(kOkLine);
  if (block) BlockUser(run.group, phone);
}

void UnblockNumber(const Run& run) {
  const std::string word = run.Arg(kFirstWordArg, kMaxToolMemberWordChars);
  if (EqualsNoCase(word, kAllWord)) {
    DeleteGroupSection(run.group, kBlockedSection);
    run.Print(kOkLine);
  } else if (word.empty()) {
    return;
  } else if (!ReadGroupValue(run.group, kBlockedSection, word, "").empty()) {
    DeleteGroupKey(run.group, kBlockedSection, word);
    run.Print(kOkLine);
  } else {
    run.Print(kNotBlockedLine, {word, run.group});
  }
}

// Every member's phone number in phone order.
void ListMembers(const Run& run) {
  ForEachMember(run.group, [&run](const Member& member) {
    run.Print(kMemberLine, {member.phone});
    return true;
  });
}

Subcommand MatchSubcommand(std::string_view word) {
  for (const SubcommandPrefix& entry : kSubcommands) {
    if (StartsWithNoCase(word, entry.prefix)) return entry.subcommand;
  }
  return Subcommand::kUnknown;
}

void PrintAdminUsage(const Run& run) {
  run.Print(kUsageHeading);
  run.Print(kAdminUsageLine, {run.program()});
}

int AdministerGroup(const Run& run) {
  if (!GroupExists(run.group)) {
    run.Print(kGroupNotExistLine, {run.group});
    return kToolFailureStatus;
  }
  const std::string_view subcommand = run.argv.size() > kSubcommandArg
                                          ? std::string_view(run.argv[kSubcommandArg])
                                          : std::string_view();
  switch (MatchSubcommand(subcommand)) {
    case Subcommand::kAdminList:
      return EditRightsList(run, kAdminList);
    case Subcommand::kAuthList:
      return EditRightsList(run, kAuthUserList);
    case Subcommand::kProp:
      SetProperties(run);
      return 0;
    case Subcommand::kAdd:
      AddGroupMember(run);
      return 0;
    case Subcommand::kRemove:
      RemoveGroupMember(run, false);
      return 0;
    case Subcommand::kBlock:
      RemoveGroupMember(run, true);
      return 0;
    case Subcommand::kUnblock:
      UnblockNumber(run);
      return 0;
    case Subcommand::kList:
      ListMembers(run);
      return 0;
    case Subcommand::kPost:
      PostToGroup(run.group, run.Words(), run.output);
      return 0;
    case Subcommand::kUnknown:
      break;
  }
  PrintAdminUsage(run);
  return kToolFailureStatus;
}

}  // namespace

int RunTool(const std::vector<std::string>& argv, std::string* output) {
  Run run{argv, output, {}};
  if (argv.size() < kMinToolArguments + 1) {
    PrintAdminUsage(run);
    run.Print(kCreateUsageLine, {run.program()});
    return kToolFailureStatus;
  }
  SetStoreBase(StoreBase::kPrivateData);
  std::string root;
  GroupFolderPath("", &root);

  run.group = run.Arg(kGroupArg, kMaxToolGroupChars);
  const std::string_view command = argv[kCommandArg];
  if (StartsWithNoCase(command, kCreateCommand)) return CreateGroup(run);
  if (StartsWithNoCase(command, kAdminCommand)) return AdministerGroup(run);
  PrintAdminUsage(run);
  return kToolFailureStatus;
}

int RunTool(const std::vector<std::string>& argv) {
  std::string output;
  const int status = RunTool(argv, &output);
  std::fwrite(output.data(), 1, output.size(), stdout);
  std::fflush(stdout);
  return status;
}
