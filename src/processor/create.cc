// CREATE: a subscriber with a gateway account founds a group, becomes its
// owner and first administrator, and its first member under the name Admin.
#include <string>

#include "common/files.h"
#include "common/format.h"
#include "common/limits.h"
#include "gateway/gw_util.h"
#include "platform/files.h"
#include "processor/handlers.h"
#include "processor/request.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"
#include "store/user_directory.h"

namespace {

// The lines of a new GROUP.INI, in file order; the Notify line only when
// notification was asked for.
constexpr char kGroupHeaderLine[] = "[Group]\r\n";
constexpr char kMembershipTypeLine[] = "MembershipType=%s\r\n";
constexpr char kPostTypeLine[] = "PostType=%s\r\n";
constexpr char kNotifyOnLine[] = "Notify=Yes\r\n";
constexpr char kOwnerLine[] = "Owner=%s\r\n";
constexpr char kAdminHeaderLine[] = "[Admin]\r\n";
constexpr char kOwnerAdminLine[] = "%s=Admin\r\n";

// The user name of the owner's member row and journal entry.
constexpr char kOwnerUserName[] = "Admin";

// The properties a new group gets: absent choices mean Public, Unmoderated
// and notification off.
struct NewGroup {
  std::string_view membership_type;
  std::string_view post_type;
  bool notify = false;
};

NewGroup FromChoices(const PropertyChoices& choices) {
  NewGroup group;
  group.membership_type = choices.is_private ? kPrivateValue : kPublicValue;
  group.post_type = choices.moderated   ? kModeratedValue
                    : choices.broadcast ? kBroadcastValue
                                        : kUnmoderatedValue;
  group.notify = choices.notify_on;
  return group;
}

// The first conflict among the property words, as its reply key; false when
// there is none.
bool ConflictReply(const PropertyChoices& choices, ReplyKey* key) {
  switch (FirstConflict(choices)) {
    case PropertyConflict::kNone:
      return false;
    case PropertyConflict::kPublicPrivate:
      *key = ReplyKey::kAdminPropsPublicPrivate;
      return true;
    case PropertyConflict::kModUnmod:
      *key = ReplyKey::kAdminPropsModUnmod;
      return true;
    case PropertyConflict::kNotify:
      *key = ReplyKey::kAdminPropsNotify;
      return true;
  }
  return false;
}

// Writes the lines of the new group's GROUP.INI into the open file. Write
// errors are not looked at: the group exists once the file does.
void WriteGroupIni(platform::File* file, const NewGroup& group, std::string_view owner) {
  WriteString(*file, kGroupHeaderLine);
  WriteString(*file, FormatText(kMembershipTypeLine, {group.membership_type}));
  WriteString(*file, FormatText(kPostTypeLine, {group.post_type}));
  if (group.notify) WriteString(*file, kNotifyOnLine);
  WriteString(*file, FormatText(kOwnerLine, {owner}));
  WriteString(*file, kAdminHeaderLine);
  WriteString(*file, FormatText(kOwnerAdminLine, {owner}));
}

// Answers a name that cannot be a group. The group name is cleared so that
// the reply goes to standard output.
void FailInvalidName(Request* request) {
  FailWith(request, ReplyKey::kCreateInvalidName, {request->group});
  request->group.clear();
}

// Answers a name that is taken, on standard output.
void FailGroupExists(Request* request) {
  const std::string_view group = request->group;
  FailWith(request, ReplyKey::kCreateGroupExists, {group, group, group});
  request->group.clear();
}

}  // namespace

void HandleCreate(Request* request) {
  // The right to create is checked in administrator mode too.
  if (!UserExists(request->sender)) {
    FailWith(request, ReplyKey::kCreateNoRights);
    return;
  }
  request->group = request->Word(1, kMaxGroupChars);
  if (request->group.empty()) {
    FailWith(request, ReplyKey::kCreateNeedGroup, {request->Word(0)});
    return;
  }
  if (GroupExists(request->group)) {
    FailGroupExists(request);
    return;
  }
  PropertyChoices choices;
  for (size_t i = 2; i < request->WordCount(); ++i) {
    ClassifyPropertyWord(request->Word(i), &choices);
  }
  ReplyKey conflict = ReplyKey::kCount;
  if (ConflictReply(choices, &conflict)) {
    FailWith(request, conflict);
    return;
  }
  // Refused names are turned away before anything is created for them.
  std::string folder;
  if (!IsSafeGroupName(request->group) || IsCommandWord(request->group) ||
      !GroupFolderPath(request->group, &folder)) {
    FailInvalidName(request);
    return;
  }
  // Created only when missing: of two runs creating one group at the same
  // moment exactly one writes it, and the other is told the group exists.
  platform::File file = platform::CreateFile(
      folder + kGroupIniName, platform::CreateDisposition::kCreateNew, SharedSecurityAttributes());
  if (!file.is_open()) {
    if (GroupExists(request->group)) {
      FailGroupExists(request);
    } else {
      FailInvalidName(request);
    }
    return;
  }
  const NewGroup group = FromChoices(choices);
  WriteGroupIni(&file, group, request->sender);
  file.Close();

  AppendReply(request, ReplyKey::kCreateOK,
              {request->group, group.membership_type, group.post_type, request->group});
  // Neither the owner's row nor the journal entry changes the reply.
  AddMember(request->group, request->sender, kOwnerUserName);
  if (!request->admin_mode) {
    QueueTransaction(request->group, request->receive_number, request->sender, kOwnerUserName,
                     request->command_line, true);
  }
}
