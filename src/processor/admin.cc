// ADMIN: a group administrator removes, blocks, unblocks and adds members,
// changes the group's properties, and keeps the administrator and
// authorised-poster lists.
#include <string>
#include <string_view>

#include "common/format.h"
#include "common/limits.h"
#include "common/text.h"
#include "processor/handlers.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"

namespace {

// Administration entries in the journal carry this handle.
constexpr char kAdminHandle[] = "Admin";
constexpr char kListAction[] = "LIST";
// Words 2 to 4 are kept up to a user name's length; list actions and list
// targets up to kMaxListWordChars.
constexpr size_t kMaxAdminWordChars = kMaxUserNameChars;

// The words of an ADMIN command, cut as the subcommands keep them.
struct AdminWords {
  std::string command;     // word 0 as typed
  std::string group;       // word 1
  std::string subcommand;  // word 2 as typed
};

// The two rights lists share their steps.
struct RightsList {
  const char* section;
  const char* value;
};

void WriteJournal(const Request& request, const std::string& group) {
  if (request.admin_mode) return;
  QueueTransaction(group, request.receive_number, request.sender, kAdminHandle,
                   request.command_line, /*approved=*/true);
}

void RemoveMember(Request* request, const AdminWords& words, bool block) {
  const std::string name = request->Word(3, kMaxAdminWordChars);
  std::string phone;
  if (name.empty() || !FindMemberByName(words.group, name, &phone)) {
    FailWith(request, ReplyKey::kAdminRemoveNotJoined, {name, words.group});
    return;
  }
  if (!DeleteMemberByPhone(words.group, phone)) {
    FailWith(request, ReplyKey::kAdminRemoveError, {name, words.group});
    return;
  }
  AppendReply(request, ReplyKey::kAdminRemoveOK, {name, words.group});
  if (block) {
    BlockUser(words.group, phone);
    AppendReplyText(request, "\r\n");
    AppendReply(request, ReplyKey::kAdminBlockOK, {name, phone, words.group});
  }
  WriteJournal(*request, words.group);
}

void Unblock(Request* request, const AdminWords& words) {
  const std::string phone = request->Word(3, kMaxAdminWordChars);
  if (MatchesCommand(phone, "ALL", /*prefix=*/false)) {
    DeleteGroupSection(words.group, kBlockedSection);
    AppendReply(request, ReplyKey::kAdminUnblockAll, {words.group});
  } else if (!phone.empty()) {
    if (!ReadGroupValue(words.group, kBlockedSection, phone, "").empty()) {
      DeleteGroupKey(words.group, kBlockedSection, phone);
      AppendReply(request, ReplyKey::kAdminUnblockOK, {phone, words.group});
    } else {
      AppendReply(request, ReplyKey::kAdminUnblockNotBlocked, {phone, words.group});
    }
  }
  WriteJournal(*request, words.group);
}

void AddGroupMember(Request* request, const AdminWords& words) {
  const std::string phone = request->Word(3, kMaxAdminWordChars);
  const std::string name = request->Word(4, kMaxAdminWordChars);
  if (name.empty() || !IsPhoneNumber(phone)) {
    AppendReply(request, ReplyKey::kAdminAddInvalidNumber, {phone, words.group});
    return;
  }
  std::string stored_name;
  if (FindMemberByPhone(words.group, phone, &stored_name) && EqualsNoCase(stored_name, name)) {
    AppendReply(request, ReplyKey::kAdminAddAlreadyExists, {phone, words.group});
  } else if (AddMember(words.group, phone, name)) {
    AppendReply(request, ReplyKey::kAdminAddOK, {phone, words.group});
  } else {
    AppendReply(request, ReplyKey::kAdminAddError, {phone, words.group});
  }
  WriteJournal(*request, words.group);
}

bool ReportConflict(Request* request, PropertyConflict conflict) {
  switch (conflict) {
    case PropertyConflict::kNone:
      return false;
    case PropertyConflict::kPublicPrivate:
      FailWith(request, ReplyKey::kAdminPropsPublicPrivate);
      return true;
    case PropertyConflict::kModUnmod:
      FailWith(request, ReplyKey::kAdminPropsModUnmod);
      return true;
    case PropertyConflict::kNotify:
      FailWith(request, ReplyKey::kAdminPropsNotify);
      return true;
  }
  return false;
}

void WriteProperties(const std::string& group, const PropertyChoices& choices) {
  if (choices.is_public) WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue);
  if (choices.is_private) WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPrivateValue);
  if (choices.moderated) WriteGroupValue(group, kGroupSection, kPostTypeKey, kModeratedValue);
  if (choices.unmoderated) WriteGroupValue(group, kGroupSection, kPostTypeKey, kUnmoderatedValue);
  if (choices.broadcast) WriteGroupValue(group, kGroupSection, kPostTypeKey, kBroadcastValue);
  if (choices.notify_on) WriteGroupValue(group, kGroupSection, kNotifyKey, kYesValue);
  if (choices.notify_off) DeleteGroupKey(group, kGroupSection, kNotifyKey);
}

void SetProperties(Request* request, const AdminWords& words) {
  PropertyChoices choices;
  for (size_t n = 3; n < request->WordCount(); ++n) {
    ClassifyPropertyWord(request->Word(n, kMaxAdminWordChars), &choices);
  }
  if (ReportConflict(request, FirstConflict(choices))) return;
  WriteProperties(words.group, choices);

  AppendReply(request, ReplyKey::kAdminPropsUpdated, {words.group});
  const std::string membership = ReadGroupValue(words.group, kGroupSection, kMembershipTypeKey, "");
  const std::string post_type = ReadGroupValue(words.group, kGroupSection, kPostTypeKey, "");
  AppendReplyText(request, FormatText("  %s", {ToUpperAscii(membership)}));
  AppendReplyText(request, FormatText("  %s", {ToUpperAscii(post_type)}));
  AppendReplyText(request, IsNotifyOn(words.group) ? "  NOTIFY" : "  NONOTIFY");
  WriteJournal(*request, words.group);
}

// The phone a list action names: the word itself when it is a phone number,
// else the phone of the member of that name. False when there is none.
bool ListTarget(const std::string& group, const std::string& word, std::string* phone) {
  if (IsPhoneNumber(word)) {
    *phone = word;
    return true;
  }
  return !word.empty() && FindMemberByName(group, word, phone);
}

void ShowList(Request* request, const AdminWords& words, const RightsList& list,
              const std::string& action) {
  AppendReplyText(request, FormatText("%s %s %s %s:\r\n",
                                      {words.command, words.group, words.subcommand, action}));
  const std::string block = ReadGroupSection(words.group, list.section);
  for (const std::string& entry : SplitSectionBlock(block)) {
    if (request->reply.size() >= kMaxReplyChars) break;
    const std::string phone(EntryKey(entry));
    std::string line = phone;
    std::string name;
    if (FindMemberByPhone(words.group, phone, &name)) line += " (" + name + ")";
    line += "\r\n";
    AppendReplyText(request, line);
  }
}

void EditList(Request* request, const AdminWords& words, const RightsList& list) {
  const std::string action = request->Word(3, kMaxListWordChars);
  if (EqualsNoCase(action, kListAction)) {
    ShowList(request, words, list, action);
    return;
  }
  const std::string target = request->Word(4, kMaxListWordChars);
  std::string phone;
  if (MatchesCommand(action, "ADD", /*prefix=*/false)) {
    if (ListTarget(words.group, target, &phone)) {
      WriteGroupValue(words.group, list.section, phone, list.value);
      AppendReply(request, ReplyKey::kAdminAuthAddOK, {target, words.subcommand, words.group});
    } else {
      AppendReply(request, ReplyKey::kAdminAuthAddInvalid, {target});
    }
  } else if (MatchesCommand(action, "REMOVE", /*prefix=*/false)) {
    if (ListTarget(words.group, target, &phone) &&
        !ReadGroupValue(words.group, list.section, phone, "").empty()) {
      DeleteGroupKey(words.group, list.section, phone);
      AppendReply(request, ReplyKey::kAdminAuthRemoveOK, {target, words.subcommand, words.group});
    } else {
      AppendReply(request, ReplyKey::kAdminAuthRemoveInvalid,
                  {target, words.subcommand, words.group});
    }
  } else {
    AppendReply(request, ReplyKey::kAdminAuthInvalid,
                {words.command, words.group, words.subcommand});
  }
}

}  // namespace

void HandleAdmin(Request* request) {
  AdminWords words;
  words.command = request->Word(0);
  words.group = request->Word(1, kMaxGroupChars);
  words.subcommand = request->Word(2, kMaxAdminWordChars);
  request->group = words.group;

  // Administrator mode grants nothing here: the sender needs the rights.
  if (words.group.empty() || !IsGroupAdmin(request->sender, words.group)) {
    FailWith(request, ReplyKey::kAdminNoRights, {words.group});
    return;
  }

  const std::string& sub = words.subcommand;
  const bool block = MatchesCommand(sub, "BLOCK", false);
  if (MatchesCommand(sub, "REMOVE", false) || MatchesCommand(sub, "LEAVE", false) || block) {
    RemoveMember(request, words, block);
  } else if (MatchesCommand(sub, "UNBLOCK", false)) {
    Unblock(request, words);
  } else if (MatchesCommand(sub, "ADD", false)) {
    AddGroupMember(request, words);
  } else if (MatchesCommand(sub, "PROP", /*prefix=*/true)) {
    SetProperties(request, words);
  } else if (MatchesCommand(sub, "AUTH", /*prefix=*/true)) {
    EditList(request, words, {kAuthUserSection, kAuthUserValue});
  } else if (MatchesCommand(sub, "ADMIN", false)) {
    EditList(request, words, {kAdminSection, kAdminValue});
  } else {
    FailWith(request, ReplyKey::kAdminUnknownCommand, {sub, words.group});
  }
}
