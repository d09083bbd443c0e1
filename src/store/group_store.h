// The group store on disk: its root folder `Groups` under the data directory,
// one folder per group, and each group's property file GROUP.INI.
//
// A group name is used as one path component. A name that is empty where a
// group is needed, ".", "..", one that holds '/', '\\' or a NUL byte, one
// too long for a path component, or the name of one of the store root's own
// files (GROUP.INI, ERRORCTR.INI, in any case) is never a group: no
// operation builds a path for it, creates anything for it, or reads or
// writes outside the store root.
// Group names compare without regard to ASCII case: the folder keeps the
// spelling of its creation, and a name in another case finds it.
#ifndef STORE_GROUP_STORE_H_
#define STORE_GROUP_STORE_H_

#include <cstddef>
#include <string>
#include <string_view>

// File, section and key names of the store.
constexpr char kStoreFolderName[] = "Groups";
constexpr char kGroupIniName[] = "GROUP.INI";
constexpr char kGroupDbName[] = "GROUP.DB";
constexpr char kTransDbName[] = "TRANS.DB";
constexpr char kErrorCounterName[] = "ERRORCTR.INI";
constexpr char kGroupSection[] = "Group";
constexpr char kAdminSection[] = "Admin";
constexpr char kAuthUserSection[] = "AuthUser";
constexpr char kBlockedSection[] = "Blocked";
constexpr char kMembershipTypeKey[] = "MembershipType";
constexpr char kPostTypeKey[] = "PostType";
constexpr char kNotifyKey[] = "Notify";
constexpr char kOwnerKey[] = "Owner";
// Values written into the lists and properties.
constexpr char kAdminValue[] = "Admin";
constexpr char kAuthUserValue[] = "AuthUser";
constexpr char kBlockedValue[] = "Blocked";
constexpr char kPublicValue[] = "Public";
constexpr char kPrivateValue[] = "Private";
constexpr char kModeratedValue[] = "Moderated";
constexpr char kUnmoderatedValue[] = "Unmoderated";
constexpr char kBroadcastValue[] = "Broadcast";
constexpr char kYesValue[] = "Yes";

// Path limits of the file system: a whole path and one component of it, in
// bytes. Every path the store builds fits, with kStoreFileRoom bytes to spare
// after a folder path for the longest name put there: ERRORCTR.INI with the
// suffix of a profile write's temporary file, or a database's journal.
constexpr size_t kMaxStorePathBytes = 4095;
constexpr size_t kMaxPathComponentBytes = 255;
constexpr size_t kStoreFileRoom = 20;
static_assert(sizeof(kErrorCounterName) - 1 + 7 < kStoreFileRoom);

// Which data directory roots the store: the processor uses the program data
// directory, the operator tool the private one. Set once at start.
enum class StoreBase { kProgramData, kPrivateData };
void SetStoreBase(StoreBase base);

// The data directory the store is rooted in, with a trailing separator;
// empty when the user directory names none (every path then fails).
std::string StoreBaseDirectory();

// True when the name can name a group: not empty, not "." or "..", no '/',
// '\\' or NUL byte, at most kMaxPathComponentBytes bytes, not GROUP.INI or
// ERRORCTR.INI (any case).
bool IsSafeGroupName(std::string_view group);

// True when the text can be a profile key that reads back as itself: not
// empty (blanks aside), no '=', CR, LF or NUL, not starting with '[' or ';'.
// Phone numbers used as keys are checked with it before every write.
bool IsSafeProfileKey(std::string_view key);

// The path of the group's GROUP.INI; for an empty group, of the store-wide
// Groups/GROUP.INI. Creates nothing. False (and an empty path) for a name
// that is no group or a path that would pass the platform's limit.
bool GroupIniPath(std::string_view group, std::string* path);

// The path of the group's folder with a trailing separator; for an empty
// group, of the store root. Creates the last folder of the path when it is
// missing (a failed creation is not reported). An existing folder whose name equals the group's without regard
// to case is used with its own spelling. False (and an empty path) for a
// name that is no group or a path that would pass the platform's limit.
bool GroupFolderPath(std::string_view group, std::string* path);

// The path of the group's folder as GroupFolderPath gives it, without
// creating anything; false when the name is no group.
bool ExistingGroupFolderPath(std::string_view group, std::string* path);

// True when the group's GROUP.INI exists. False for an empty or unsafe name.
bool GroupExists(std::string_view group);

// Group/Owner cut to 99 characters, empty when missing; returns its length.
size_t GetGroupOwner(std::string_view group, std::string* owner);

// The rights checks answer false for a phone that is no safe profile key.
bool IsGroupAdmin(std::string_view phone, std::string_view group);
bool IsAuthUser(std::string_view group, std::string_view phone);
bool IsNotifyOn(std::string_view group);
bool IsPublicGroup(std::string_view group);
bool IsPrivateGroup(std::string_view group);
bool IsModeratedGroup(std::string_view group);
bool IsBroadcastGroup(std::string_view group);
bool IsUnmoderatedGroup(std::string_view group);

// Writes Blocked/phone = "Blocked"; true when the write succeeded (false for
// a phone that is no safe profile key).
bool BlockUser(std::string_view group, std::string_view phone);

// True when the phone has a non-empty entry in Blocked; an empty group reads
// the store-wide list.
bool IsBlocked(std::string_view group, std::string_view phone);

// Direct profile operations on the group's GROUP.INI (path from
// GroupIniPath). Reads of a missing file give the default / an empty block;
// every operation on a name that is no group fails or reads as missing.
// WriteGroupValue refuses a key that is no safe profile key.
std::string ReadGroupValue(std::string_view group, std::string_view section,
                           std::string_view key, std::string_view default_value);
std::string ReadGroupSection(std::string_view group, std::string_view section);
bool WriteGroupValue(std::string_view group, std::string_view section,
                     std::string_view key, std::string_view value);
bool DeleteGroupKey(std::string_view group, std::string_view section,
                    std::string_view key);
bool DeleteGroupSection(std::string_view group, std::string_view section);

#endif  // STORE_GROUP_STORE_H_
