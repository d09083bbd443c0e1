// CREATE: a subscriber with a gateway account founds a group, becomes its
// owner and first administrator, and its first member under the name Admin.
#include <string>

#include "common/files.h"
#include "common/limits.h"
#include "platform/files.h"
#include "processor/handlers.h"
#include "processor/new_group.h"
#include "processor/request.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"
#include "store/user_directory.h"

namespace {

// The user name of the owner's member row and journal entry.
constexpr char kOwnerUserName[] = "Admin";

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
  WriteNewGroupIni(&file, choices, request->sender);
  file.Close();

  AppendReply(request, ReplyKey::kCreateOK,
              {request->group, MembershipTypeOf(choices), PostTypeOf(choices), request->group});
  // Neither the owner's row nor the journal entry changes the reply.
  AddMember(request->group, request->sender, kOwnerUserName);
  if (!request->admin_mode) {
    QueueTransaction(request->group, request->receive_number, request->sender, kOwnerUserName,
                     request->command_line, true);
  }
}
