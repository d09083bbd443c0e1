// JOIN (START) and LEAVE (STOP): membership of one group, or leaving every
// group at once.
#include <algorithm>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/limits.h"
#include "common/text.h"
#include "platform/files.h"
#include "processor/handlers.h"
#include "processor/notices.h"
#include "processor/request.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"

namespace {

// The actions named in administrator notices, whatever word the sender typed.
constexpr char kJoinAction[] = "JOIN";
constexpr char kLeaveAction[] = "LEAVE";
// Between the lines of a reply that leaves several groups.
constexpr char kReplyLineBreak[] = "\r\n";
// Between JoinOK and JoinOKCanSend.
constexpr char kSentenceGap[] = "  ";

// The words of a JOIN besides the group: the command word as typed and the
// requested user name.
struct JoinRequest {
  std::string command;
  std::string user_name;
};

// Tells the administrators and, outside administrator mode, writes the
// journal entry. Neither outcome changes the reply.
void RecordMembershipChange(const Request& request, std::string_view group, std::string_view action,
                            std::string_view user_name) {
  NotifyAdmins(request.receive_number, group, action, request.sender, user_name);
  if (!request.admin_mode) {
    QueueTransaction(group, request.receive_number, request.sender, user_name, request.command_line,
                     true);
  }
}

void FailNameTaken(Request* request, const JoinRequest& words) {
  const std::string_view group = request->group;
  FailWith(request, ReplyKey::kJoinNameTaken, {words.user_name, group, words.command, group});
}

// Makes the sender a member under the requested name, or renames a member.
void Admit(Request* request, const JoinRequest& words) {
  const std::string& group = request->group;
  if (!IsUserNameFree(group, request->sender, words.user_name)) {
    FailNameTaken(request, words);
    return;
  }
  if (!AddMember(group, request->sender, words.user_name)) {
    FailWith(request, ReplyKey::kJoinError, {group});
    return;
  }
  AppendReply(request, ReplyKey::kJoinOK, {group, group});
  if (!IsBroadcastGroup(group)) {
    AppendReplyText(request, kSentenceGap);
    AppendReply(request, ReplyKey::kJoinOKCanSend, {group});
  }
  RecordMembershipChange(*request, group, kJoinAction, words.user_name);
}

// A join of a Private group: held for the administrators' approval. No reply
// is composed; the approved re-run admits the sender in administrator mode.
void HoldJoin(Request* request, const JoinRequest& words) {
  const std::string& group = request->group;
  if (!IsUserNameFree(group, request->sender, words.user_name)) {
    FailNameTaken(request, words);
    return;
  }
  const uint32_t id = QueueTransaction(group, request->receive_number, request->sender,
                                       words.user_name, request->command_line, false);
  if (id == 0) {
    FailWith(request, ReplyKey::kJoinErrorAdminQ, {group});
    return;
  }
  RequestApproval(request->receive_number, group, id, request->JoinedWords(0, kMaxWorkChars));
}

// True when the sender is blocked from every group or from this one.
bool IsSenderBlocked(const Request& request) {
  return IsBlocked("", request.sender) || IsBlocked(request.group, request.sender);
}

// Removes the sender from the group; true and the name the member had when
// the sender was a member and the removal worked.
bool RemoveSender(const Request& request, std::string_view group, std::string* user_name) {
  return FindMemberByPhone(group, request.sender, user_name) &&
         DeleteMemberByPhone(group, request.sender);
}

// The folder entries in the order of their names without regard to case
// (ties byte-wise), so the lines of the reply come in the same order on
// every file system.
void SortByName(std::vector<platform::FolderEntry>* entries) {
  std::sort(entries->begin(), entries->end(),
            [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
              const std::string upper_a = ToUpperAscii(a.name);
              const std::string upper_b = ToUpperAscii(b.name);
              return upper_a != upper_b ? upper_a < upper_b : a.name < b.name;
            });
}

// True when the group's folder exists; looks without creating it.
bool GroupFolderExists(std::string_view group) {
  std::string folder;
  if (!ExistingGroupFolderPath(group, &folder)) return false;
  folder.pop_back();  // a find-first of a path that ends in a separator fails
  return FileExists(folder);
}

// LEAVE with no group: every group folder in the store root, in name order.
// Groups the sender is not in are passed over.
void LeaveEveryGroup(Request* request) {
  std::string root;
  std::vector<platform::FolderEntry> entries;
  if (GroupFolderPath("", &root)) platform::ListFolder(root, &entries);
  SortByName(&entries);
  bool left_any = false;
  for (const platform::FolderEntry& entry : entries) {
    if (!entry.is_folder || !IsSafeGroupName(entry.name)) continue;
    std::string user_name;
    if (!RemoveSender(*request, entry.name, &user_name)) continue;
    if (left_any) AppendReplyText(request, kReplyLineBreak);
    AppendReply(request, ReplyKey::kLeaveOK, {entry.name});
    left_any = true;
    RecordMembershipChange(*request, entry.name, kLeaveAction, user_name);
  }
  if (!left_any) FailWith(request, ReplyKey::kLeaveNoGroups);
}

}  // namespace

void HandleJoin(Request* request) {
  JoinRequest words;
  words.command = request->Word(0);
  request->group = request->Word(1, kMaxGroupChars);
  words.user_name = request->Word(2, kMaxUserNameChars);
  const std::string& group = request->group;
  if (group.empty()) {
    FailWith(request, ReplyKey::kJoinNeedGroupName, {words.command});
    return;
  }
  if (words.user_name.empty()) {
    FailWith(request, ReplyKey::kJoinNeedUserName, {words.command, group});
    return;
  }
  if (!GroupExists(group)) {
    FailWith(request, ReplyKey::kJoinGroupNotExist, {group});
    return;
  }
  // Blocks hold in administrator mode too, and for members.
  if (IsSenderBlocked(*request)) {
    FailWith(request, ReplyKey::kJoinUserBlocked, {group});
    return;
  }
  // A message without the sender's number makes no member: nothing could be
  // sent to one, and as the first in phone order it would end every post's
  // fan-out with a failed submission.
  if (request->sender.empty()) {
    FailWith(request, ReplyKey::kJoinError, {group});
    return;
  }
  std::string current_name;
  if (FindMemberByPhone(group, request->sender, &current_name)) {
    if (EqualsNoCase(current_name, words.user_name)) {
      FailWith(request, ReplyKey::kJoinAlreadyJoined, {group});
    } else {
      Admit(request, words);  // a new name, whatever the membership type
    }
    return;
  }
  if (request->admin_mode || IsPublicGroup(group)) {
    Admit(request, words);
  } else if (IsPrivateGroup(group)) {
    HoldJoin(request, words);
  } else {
    FailWith(request, ReplyKey::kJoinError, {group});
  }
}

void HandleLeave(Request* request) {
  request->group = request->Word(1, kMaxGroupChars);
  if (request->group.empty()) {
    LeaveEveryGroup(request);
    return;
  }
  const std::string& group = request->group;
  std::string user_name;
  // A group without a folder has no members either. It is not looked up at
  // all: a lookup would leave an empty folder of that name in the store.
  if (!GroupFolderExists(group) || !FindMemberByPhone(group, request->sender, &user_name)) {
    FailWith(request, ReplyKey::kLeaveNotJoined, {group});
    return;
  }
  if (!DeleteMemberByPhone(group, request->sender)) {
    FailWith(request, ReplyKey::kLeaveError, {group});
    return;
  }
  AppendReply(request, ReplyKey::kLeaveOK, {group});
  RecordMembershipChange(*request, group, kLeaveAction, user_name);
}
