// A group's members, in the SQLite database GROUP.DB in the group's folder:
// one row per member, keyed by phone number. Every operation opens and closes
// the database itself; lookups never create the database file.
#ifndef STORE_MEMBER_DB_H_
#define STORE_MEMBER_DB_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
// case ignored. Its cost grows with the position: a walk over all members
// uses ForEachMember.
bool GetMemberAt(std::string_view group, unsigned position, std::string* phone,
                 std::string* user_name);

// A member row: phone number and user name.
struct Member {
  std::string phone;
  std::string user_name;
};

// How many members a walk reads per database open.
constexpr unsigned kMemberPageSize = 100;

// Up to `limit` members in phone-number order (ASCII case ignored): the
// first ones, or those whose phone number comes after `after_phone` in that
// order. *members is replaced. True when the read ran, also when it found
// nobody; false (and no members) when GROUP.DB is missing or the query
// fails. One database open and one statement, so a page is a consistent
// view of the table.
bool GetFirstMembers(std::string_view group, unsigned limit, std::vector<Member>* members);
bool GetMembersAfter(std::string_view group, std::string_view after_phone, unsigned limit,
                     std::vector<Member>* members);

// Visits the group's members in phone-number order (ASCII case ignored)
// until `visit` answers false; a missing GROUP.DB has no members. Members
// are read kMemberPageSize at a time, each page after the last phone number
// visited, and the database is closed before the page's members are
// visited: no lock is held while `visit` runs, and what other runs change
// shows from the next page on. A member present for the whole walk is
// visited exactly once; one added or removed during it may or may not be.
// The cost grows linearly with the group.
void ForEachMember(std::string_view group, const std::function<bool(const Member&)>& visit);

// True and the phone of the (first) member with that user name.
bool FindMemberByName(std::string_view group, std::string_view user_name,
                      std::string* phone);

// True when the delete ran without error, also when no row matched; false
// when GROUP.DB does not exist.
bool DeleteMemberByPhone(std::string_view group, std::string_view phone);

// SQLite busy callback: waits 1 ms and asks SQLite to retry, without limit.
int DbBusyHandler(void* context, int attempts);

#endif  // STORE_MEMBER_DB_H_
