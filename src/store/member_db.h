// A group's members, in the SQLite database GROUP.DB in the group's folder:
// one row per member, keyed by phone number. Every operation opens and closes
// the database itself; lookups never create the database file.
#ifndef STORE_MEMBER_DB_H_
#define STORE_MEMBER_DB_H_

#include <string>
#include <string_view>

// The schema other tools rely on, exactly as created.
constexpr char kMemberTableStatement[] =
    "CREATE TABLE TESSARY (phoneNumber text PRIMARY KEY COLLATE NOCASE, "
    "userName text COLLATE NOCASE, joinDate text);";
constexpr char kMemberIndexStatement[] =
    "create index UserName on TESSARY (userName COLLATE NOCASE);";

// Inserts the member, or replaces the row of that phone. An empty user name
// stores the phone number as the name. True when the row was written.
bool AddMember(std::string_view group, std::string_view phone,
               std::string_view user_name);

// True and the member's user name when the phone is a member.
bool FindMemberByPhone(std::string_view group, std::string_view phone,
                       std::string* user_name);

// True when no member uses the name (without regard to case), or the member
// using it has this phone; true for any name when GROUP.DB does not exist.
bool IsUserNameFree(std::string_view group, std::string_view phone,
                    std::string_view user_name);

// True and the member at `position` (from 0) in phone-number order, ASCII
// case ignored.
bool GetMemberAt(std::string_view group, unsigned position, std::string* phone,
                 std::string* user_name);

// True and the phone of the (first) member with that user name.
bool FindMemberByName(std::string_view group, std::string_view user_name,
                      std::string* phone);

// True when the delete ran without error, also when no row matched; false
// when GROUP.DB does not exist.
bool DeleteMemberByPhone(std::string_view group, std::string_view phone);

// SQLite busy callback: waits 1 ms and asks SQLite to retry, without limit.
int DbBusyHandler(void* context, int attempts);

#endif  // STORE_MEMBER_DB_H_
