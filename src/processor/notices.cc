#include "processor/notices.h"

#include <string>

#include "common/format.h"
#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "processor/vocabulary.h"
#include "store/group_store.h"

namespace {

constexpr char kNotifyFormat[] = "ADMIN %s NOTIFY %s %s %s";
constexpr char kApprovalLineBreak[] = "\r\n";
constexpr char kForwardFormat[] = "@%s:%s ";

// One submission to every key of the group's Admin section, in file order,
// from the receiving number. A failed submission does not stop the others.
// The value of an entry is not looked at: an entry whose value is empty
// still receives notices.
void SendToAdmins(std::string_view receive_number, std::string_view group,
                  std::string_view message) {
  const std::string block = ReadGroupSection(group, kAdminSection);
  for (const std::string& entry : SplitSectionBlock(block)) {
    SubmitMessage(group, receive_number, EntryKey(entry), message);
  }
}

}  // namespace

std::string NotifyText(std::string_view group, std::string_view action, std::string_view phone,
                       std::string_view user_name) {
  return CutTo(FormatText(kNotifyFormat, {group, action, user_name, phone}), kMaxNotifyChars);
}

std::string ApprovalText(std::string_view group, uint32_t id, std::string_view text) {
  std::string message;
  AppendBounded(&message,
                FormatText(GetReplyText(ReplyKey::kAdminApproveReplyYes),
                           {group, static_cast<long long>(id)}),
                kMaxApprovalChars + 1);
  AppendBounded(&message, kApprovalLineBreak, kMaxApprovalChars + 1);
  AppendBounded(&message, text, kMaxApprovalChars + 1);
  return message;
}

std::string ForwardText(std::string_view group, std::string_view sender_name,
                        std::string_view text) {
  std::string message;
  AppendBounded(&message, FormatText(kForwardFormat, {group, sender_name}), kMaxForwardChars + 1);
  AppendBounded(&message, text, kMaxForwardChars + 1);
  return message;
}

void NotifyAdmins(std::string_view receive_number, std::string_view group, std::string_view action,
                  std::string_view phone, std::string_view user_name) {
  if (!IsNotifyOn(group)) return;
  SendToAdmins(receive_number, group, NotifyText(group, action, phone, user_name));
}

void RequestApproval(std::string_view receive_number, std::string_view group, uint32_t id,
                     std::string_view text) {
  SendToAdmins(receive_number, group, ApprovalText(group, id, text));
}

void ForwardToAdmins(std::string_view receive_number, std::string_view group,
                     std::string_view sender_name, std::string_view text) {
  SendToAdmins(receive_number, group, ForwardText(group, sender_name, text));
}
