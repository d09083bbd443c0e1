// Messages to a group's administrators: every key of the group's Admin
// section, in file order, gets one submission. None reports back.
#ifndef PROCESSOR_NOTICES_H_
#define PROCESSOR_NOTICES_H_

#include <cstdint>
#include <string>
#include <string_view>

// When the group's notification is on: "ADMIN <group> NOTIFY <action>
// <user name> <phone>", cut at 251 characters.
void NotifyAdmins(std::string_view receive_number, std::string_view group, std::string_view action,
                  std::string_view phone, std::string_view user_name);

// The approval request for a held join or post: the AdminApproveReplyYes
// text with group and id, CR LF, then `text`; cut at 2047 characters.
void RequestApproval(std::string_view receive_number, std::string_view group, uint32_t id,
                     std::string_view text);

// A plain member's post to a broadcast group: "@<group>:<name> " then the
// text; cut at 8095 characters.
void ForwardToAdmins(std::string_view receive_number, std::string_view group,
                     std::string_view sender_name, std::string_view text);

// The texts the three notices send, already cut; exposed for tests.
std::string NotifyText(std::string_view group, std::string_view action, std::string_view phone,
                       std::string_view user_name);
std::string ApprovalText(std::string_view group, uint32_t id, std::string_view text);
std::string ForwardText(std::string_view group, std::string_view sender_name,
                        std::string_view text);

#endif  // PROCESSOR_NOTICES_H_
