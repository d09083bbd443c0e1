// Posts to a group (sent to the members, held for approval, or handed to the
// administrators) and YES, which releases a held post or join.
#include "processor/post.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "processor/handlers.h"
#include "processor/notices.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"

namespace {

constexpr size_t kPostTextCapacity = kMaxPostTextChars + 1;

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct FanOut {
  unsigned sent = 0;
  bool failed = false;
};

// Submits `text` to every member the post reaches, in phone-number order,
// stopping at the first failed submission. The owner's account and the
// gateway's address are read once for the whole fan-out.
FanOut SendToMembers(const Request& request, const PostAddress& address, std::string_view text) {
  FanOut result;
  std::optional<SubmissionTarget> target;
  ForEachMember(address.group, [&](const Member& member) {
    if (!request.admin_mode && EqualsNoCase(member.phone, request.sender)) return true;
    if (!address.target.empty() && !EqualsNoCase(member.user_name, address.target)) return true;
    if (!target) target = ReadSubmissionTarget(address.group);
    if (SubmitMessageTo(*target, request.receive_number, member.phone, text) == 0) {
      result.failed = true;
      return false;
    }
    ++result.sent;
    return true;
  });
  return result;
}

void SendPost(Request* request, PostAddress address, const std::string& sender_name) {
  // A private message to oneself goes to the whole group.
  if (EqualsNoCase(address.target, sender_name)) address.target.clear();
  const bool is_private = !address.target.empty();

  std::string prefix = "@" + address.group + ":" + sender_name;
  if (is_private) prefix += " " + GetReplyText(ReplyKey::kMessagePrivate);
  const FanOut fan_out = SendToMembers(*request, address, AppendTextWords(prefix, *request));

  if (fan_out.failed) {
    FailWith(request, ReplyKey::kMessageForwardError, {address.group});
  } else if (is_private && fan_out.sent == 0) {
    FailWith(request, ReplyKey::kMessageForwardUserError, {address.group, address.target});
  } else if (is_private) {
    AppendReply(request, ReplyKey::kMessageForwardUserOK, {address.group, address.target});
  } else if (fan_out.sent == 0) {
    AppendReply(request, ReplyKey::kMessageForwardOnlyMember, {address.group});
  } else if (!request->admin_mode) {
    AppendReply(request, ReplyKey::kMessageForwardOK,
                {static_cast<long long>(fan_out.sent), address.group});
  }

  if (!fan_out.failed && fan_out.sent > 0 && !request->admin_mode) {
    QueueTransaction(address.group, request->receive_number, request->sender, sender_name,
                     request->command_line, /*approved=*/true);
  }
}

// A plain member's post to a moderated group waits for an administrator.
void HoldPost(Request* request, const std::string& group, const std::string& sender_name) {
  const uint32_t id = QueueTransaction(group, request->receive_number, request->sender, sender_name,
                                       request->command_line,
                                       /*approved=*/false);
  if (id == 0) {
    FailWith(request, ReplyKey::kMessageAdminQError, {group});
    return;
  }
  RequestApproval(request->receive_number, group, id,
                  AppendTextWords(group + ":" + sender_name, *request));
  AppendReply(request, ReplyKey::kMessageAdminApproval, {group});
}

// The request id of YES: read like atol; a negative number or one past the
// ids' range names no request.
uint32_t ParseRequestId(std::string_view word) {
  const int64_t id = ParseLeadingLong(word);
  if (id < 0 || id > int64_t{std::numeric_limits<uint32_t>::max()}) return 0;
  return static_cast<uint32_t>(id);
}

}  // namespace

PostAddress ParsePostWord(std::string_view word) {
  PostAddress address;
  address.has_marker =
      !word.empty() &&
      (word[0] == '@' || (!IsAsciiAlnum(word[0]) && word.size() > 1 && IsAsciiAlnum(word[1])));
  const std::string name = CutTo(address.has_marker ? word.substr(1) : word, kMaxGroupChars);
  const size_t colon = name.find(':');
  if (colon == std::string::npos) {
    address.group = name;
  } else {
    address.group = name.substr(0, colon);
    address.target = CutTo(std::string_view(name).substr(colon + 1), kMaxUserNameChars);
  }
  return address;
}

std::string AppendTextWords(std::string_view prefix, const Request& request) {
  std::string text;
  AppendBounded(&text, prefix, kPostTextCapacity);
  for (size_t n = 1; n < request.WordCount() && text.size() < kMaxPostTextChars; ++n) {
    AppendBounded(&text, " ", kPostTextCapacity);
    AppendBounded(&text, request.Word(n), kPostTextCapacity);
  }
  return text;
}

void HandlePost(Request* request) {
  const PostAddress address = ParsePostWord(request->Word(0));
  request->group = address.group;

  std::string sender_name;
  if (!GroupExists(address.group) ||
      !FindMemberByPhone(address.group, request->sender, &sender_name)) {
    if (address.has_marker) {
      FailWith(request, ReplyKey::kUserNotJoined, {address.group});
    } else {
      FailWith(request, ReplyKey::kInvalidRequest);
    }
    return;
  }

  if (request->admin_mode || IsGroupAdmin(request->sender, address.group) ||
      IsUnmoderatedGroup(address.group) || IsAuthUser(address.group, request->sender)) {
    SendPost(request, address, sender_name);
  } else if (IsModeratedGroup(address.group)) {
    HoldPost(request, address.group, sender_name);
  } else if (IsBroadcastGroup(address.group)) {
    ForwardToAdmins(request->receive_number, address.group, sender_name,
                    request->JoinedWords(1, kMaxWorkChars));
  }
  // Any other posting policy drops the post without a word.
}

void HandleYes(Request* request) {
  const std::string group = request->Word(1, kMaxGroupChars);
  request->group = group;
  if (group.empty() || !IsGroupAdmin(request->sender, group)) {
    FailWith(request, ReplyKey::kAdminNoRights, {group});
    return;
  }
  // What the poster hears comes from the re-run; YES answers nothing itself.
  RunApprovedTransaction(group, ParseRequestId(request->Word(2)));
}
