#include "processor/vocabulary.h"

#include <iterator>
#include <optional>

#include "common/format.h"
#include "common/limits.h"
#include "common/text.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace {

struct ReplyEntry {
  std::string_view name;
  std::string_view default_text;
};

// In the order of ReplyKey.
constexpr ReplyEntry kReplyTable[] = {
    {"AdminApproveReplyYes", "Reply 'YES %s %u' to approve:"},
    {"JoinNeedGroupName",
     "You must specify a group name to join.  Example:  %s GroupName YourName"},
    {"JoinNeedUserName",
     "You must specify your name when joining a group.  Example:  %s %s YourName"},
    {"JoinGroupNotExist", "Cannot join group %s, it does not exist."},
    {"JoinUserBlocked", "Cannot join group %s, admin has blocked access."},
    {"JoinAlreadyJoined", "You have already joined the group %s"},
    {"JoinNameTaken",
     "Name %s is already in use for group %s.  Please join with a different name.  Example:  %s %s "
     "YourName"},
    {"JoinOK", "You have joined the group %s.  To leave the group, reply with 'LEAVE %s'."},
    {"JoinOKCanSend", "To send to the group, reply and start text with @%s"},
    {"JoinError", "Error joining group %s"},
    {"JoinErrorAdminQ", "Error joining group %s (Admin Request Queue Error)"},
    {"LeaveOK", "Goodbye.  You have left the group %s"},
    {"LeaveError", "Error leaving group %s"},
    {"LeaveNotJoined", "You have not joined the group %s"},
    {"LeaveNoGroups", "You have not joined any groups."},
    {"CreateNoRights", "You do not have the necessary rights to create a group"},
    {"CreateNeedGroup",
     "You must specify a group name to create.  Example:  CREATE GroupName [PUBLIC / PRIVATE] [MOD "
     "/ UNMOD / BROADCAST] [NOTIFY / NONOTIFY]"},
    {"CreateGroupExists",
     "Group %s already exists.  To join group, use 'JOIN %s YourName'.  To admin group, use 'ADMIN "
     "%s'."},
    {"AdminPropsPublicPrivate",
     "Only one of the following attributes can be applied to a group:  PUBLIC PRIVATE"},
    {"AdminPropsModUnmod",
     "Only one of the following attributes can be applied to a group:  MOD UNMOD BROADCAST"},
    {"AdminPropsNotify",
     "Only one of the following attributes can be applied to a group:  NOTIFY NONOTIFY"},
    {"CreateInvalidName", "Error creating group %s.  Name may contain invalid characters."},
    {"CreateOK",
     "Group %s created.  Membership availability is %s.  Message posting is %s.  Use 'ADMIN %s' "
     "command to administer."},
    {"AdminNoRights", "You do not have administrative rights to group %s.  Syntax ADMIN GroupName"},
    {"AdminRemoveNotJoined", "User %s is not joined to group %s."},
    {"AdminRemoveError", "Error removing user %s from group %s."},
    {"AdminRemoveOK", "User %s is removed from group %s."},
    {"AdminBlockOK", "User %s (%s) blocked from group %s."},
    {"AdminUnblockAll", "Unblocked all previously blocked users for group %s."},
    {"AdminUnblockOK", "Unblocked user %s from group %s."},
    {"AdminUnblockNotBlocked", "User %s is not blocked from group %s."},
    {"AdminPropsUpdated", "Group %s Properties Updated:"},
    {"AdminUnknownCommand",
     "Unsupported ADMIN subcommand %s.  Valid subcommands - ADMIN %s [REMOVE username/number] / "
     "[BLOCK username/number] / [PROP properties] / [AUTH username/number] / [ADMIN "
     "username/number] / [NEWOWNER username/number]"},
    {"InvalidRequest",
     "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
     "reply STOP. For further assistance, reply HELP."},
    {"UserNotJoined", "You are not joined to group %s."},
    {"MessageAdminApproval", "Message forwarded to group %s administrator for approval"},
    {"MessageAdminQError", "Error forwarding message to administrator for group %s"},
    {"MessagePrivate", "(private)"},
    {"MessageForwardError", "Error forwarding message to group %s"},
    {"MessageForwardUserError", "User @%s:%s not found."},
    {"MessageForwardUserOK", "Message forwarded to @%s:%s"},
    {"MessageForwardOnlyMember", "You are the only member of group %s"},
    {"MessageForwardOK", "Message forwarded to %u member(s) of group %s"},
    {"AdminAuthAddInvalid", "%s is not a valid phone number or username to add"},
    {"AdminAuthAddOK", "%s added to the %s list for group %s"},
    {"AdminAuthRemoveInvalid", "%s is not in the %s list for group %s"},
    {"AdminAuthRemoveOK", "%s removed from the %s list for group %s"},
    {"AdminAuthInvalid",
     "Inalid syntax.  Usage: %s %s %s [ LIST / ADD username/number / REMOVE username/number ]"},
    {"AdminAddAlreadyExists", "User %s already exists in group %s"},
    {"AdminAddOK", "User %s added to group %s"},
    {"AdminAddError", "Error adding user %s to group %s"},
    {"AdminAddInvalidNumber", "Invalid phone number %s, not added to group %s"},
};
static_assert(std::size(kReplyTable) == static_cast<size_t>(ReplyKey::kCount));

// The words that can never name a group, in the order they are tried.
constexpr std::string_view kCommandWords[] = {
    "JOIN", "START", "LEAVE", "STOP", "INVITE", "CREATE", "DELETE", "HELP", "YES", "TEST", "ADMIN"};

// Property keys, tried in this order; the first whose three letters begin the
// word decides which choice it makes.
struct PropertyKey {
  std::string_view letters;
  bool PropertyChoices::*choice;
};
constexpr PropertyKey kPropertyKeys[] = {
    {"PUB", &PropertyChoices::is_public}, {"PRI", &PropertyChoices::is_private},
    {"MOD", &PropertyChoices::moderated}, {"UNM", &PropertyChoices::unmoderated},
    {"BCA", &PropertyChoices::broadcast}, {"BRO", &PropertyChoices::broadcast},
    {"NOT", &PropertyChoices::notify_on}, {"NON", &PropertyChoices::notify_off}};

constexpr size_t kMinPhoneChars = 7;
constexpr size_t kMaxPhoneNumberChars = 15;

std::string& TranslationFileOverride() {
  static std::string path;
  return path;
}

// The translation's value of section/key, cut to max_chars; empty when the
// file, section or key is missing or the value is empty.
std::string ReadTranslation(std::string_view section, std::string_view key, size_t max_chars) {
  return platform::ProfileReadString(TranslationFilePath(), section, key, "", max_chars + 1);
}

const ReplyEntry& EntryOf(ReplyKey key) { return kReplyTable[static_cast<size_t>(key)]; }

}  // namespace

std::string TranslationFilePath() {
  const std::string& override_path = TranslationFileOverride();
  if (!override_path.empty()) return override_path;
  return platform::ProgramFolder() + kTranslationFileName;
}

void SetTranslationFileForTesting(std::string path) { TranslationFileOverride() = std::move(path); }

std::string_view ReplyKeyName(ReplyKey key) { return EntryOf(key).name; }

std::string_view DefaultReplyText(ReplyKey key) { return EntryOf(key).default_text; }

std::string GetReplyText(ReplyKey key) {
  const ReplyEntry& entry = EntryOf(key);
  std::string text = ReadTranslation(kTextSection, entry.name, kMaxReplyTextChars);
  // A translated text is an operator's format: it is used only when its
  // conversions are those of the default, in number, kind and order, so that
  // it always fits the arguments the handlers pass.
  if (text.empty()) return std::string(entry.default_text);
  const std::optional<std::string> signature = FormatSignature(text);
  if (!signature || signature != FormatSignature(entry.default_text)) {
    return std::string(entry.default_text);
  }
  return text;
}

std::string TranslateCommand(std::string_view word) {
  std::string translated = ReadTranslation(kCommandsSection, word, kMaxTranslatedCommandChars);
  if (translated.empty()) return std::string(word);
  return translated;
}

bool MatchesCommand(std::string_view word, std::string_view keyword, bool prefix) {
  const bool english = prefix ? StartsWithNoCase(word, keyword) : EqualsNoCase(word, keyword);
  return english || EqualsNoCase(word, TranslateCommand(keyword));
}

bool IsCommandWord(std::string_view name) {
  for (std::string_view word : kCommandWords) {
    if (EqualsNoCase(name, word) || EqualsNoCase(name, TranslateCommand(word))) {
      return true;
    }
  }
  return false;
}

bool IsPhoneNumber(std::string_view text) {
  if (text.size() < kMinPhoneChars || text.size() > kMaxPhoneNumberChars) {
    return false;
  }
  if (text.front() == '+') text.remove_prefix(1);
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

void ClassifyPropertyWord(std::string_view word, PropertyChoices* choices) {
  for (const PropertyKey& key : kPropertyKeys) {
    if (StartsWithNoCase(word, key.letters)) {
      choices->*key.choice = true;
      return;
    }
  }
}

PropertyConflict FirstConflict(const PropertyChoices& choices) {
  if (choices.is_public && choices.is_private) {
    return PropertyConflict::kPublicPrivate;
  }
  const int post_types = int{choices.moderated} + int{choices.unmoderated} + int{choices.broadcast};
  if (post_types > 1) return PropertyConflict::kModUnmod;
  if (choices.notify_on && choices.notify_off) return PropertyConflict::kNotify;
  return PropertyConflict::kNone;
}
