#include "processor/new_group.h"

#include "common/format.h"
#include "gateway/gw_util.h"
#include "store/group_store.h"

namespace {

constexpr char kGroupHeaderLine[] = "[Group]\r\n";
constexpr char kMembershipTypeLine[] = "MembershipType=%s\r\n";
constexpr char kPostTypeLine[] = "PostType=%s\r\n";
constexpr char kNotifyOnLine[] = "Notify=Yes\r\n";
constexpr char kOwnerLine[] = "Owner=%s\r\n";
constexpr char kAdminHeaderLine[] = "[Admin]\r\n";
constexpr char kOwnerAdminLine[] = "%s=Admin\r\n";

}  // namespace

std::string_view MembershipTypeOf(const PropertyChoices& choices) {
  return choices.is_private ? kPrivateValue : kPublicValue;
}

std::string_view PostTypeOf(const PropertyChoices& choices) {
  return choices.moderated   ? kModeratedValue
         : choices.broadcast ? kBroadcastValue
                             : kUnmoderatedValue;
}

void WriteNewGroupIni(platform::File* file, const PropertyChoices& choices,
                      std::string_view owner) {
  WriteString(*file, kGroupHeaderLine);
  WriteString(*file, FormatText(kMembershipTypeLine, {MembershipTypeOf(choices)}));
  WriteString(*file, FormatText(kPostTypeLine, {PostTypeOf(choices)}));
  if (choices.notify_on) WriteString(*file, kNotifyOnLine);
  WriteString(*file, FormatText(kOwnerLine, {owner}));
  WriteString(*file, kAdminHeaderLine);
  WriteString(*file, FormatText(kOwnerAdminLine, {owner}));
}
