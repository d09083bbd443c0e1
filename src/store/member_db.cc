#include "store/member_db.h"

#include <cstdint>
#include <initializer_list>

#include "common/text.h"
#include "platform/clock.h"
#include "store/group_store.h"
#include "store/sqlite_handle.h"

namespace {

constexpr char kMemberTable[] = "TESSARY";
constexpr char kInsertMember[] = "INSERT or REPLACE into TESSARY VALUES (?,?,?);";
constexpr char kSelectByPhone[] = "SELECT * from TESSARY WHERE phoneNumber=?;";
constexpr char kSelectByName[] = "SELECT * from TESSARY WHERE userName=?;";
constexpr char kSelectAt[] =
    "SELECT * from TESSARY ORDER BY phoneNumber COLLATE NOCASE LIMIT 1 OFFSET ?;";
// Pages of a walk, in the order of the primary key's NOCASE index (which
// serves both without a sort): the first `limit` rows, and the `limit` rows
// after a phone number.
constexpr char kSelectFirstPage[] =
    "SELECT * from TESSARY ORDER BY phoneNumber COLLATE NOCASE LIMIT ?;";
constexpr char kSelectPageAfter[] =
    "SELECT * from TESSARY WHERE phoneNumber > ? COLLATE NOCASE "
    "ORDER BY phoneNumber COLLATE NOCASE LIMIT ?;";
constexpr char kDeleteByPhone[] = "DELETE from TESSARY WHERE phoneNumber=?;";

// Column positions of a TESSARY row.
constexpr int kPhoneColumn = 0;
constexpr int kUserNameColumn = 1;
constexpr int kMinMemberColumns = 2;

bool MemberDbPath(std::string_view group, std::string* path) {
  if (!GroupFolderPath(group, path)) return false;
  *path += kGroupDbName;
  return true;
}

SqliteDatabase OpenMemberDb(std::string_view group) {
  std::string path;
  if (!MemberDbPath(group, &path)) return SqliteDatabase();
  return SqliteDatabase::OpenExisting(path);
}

// Runs a member query with `value` bound and reads its first row; false when
// the database is missing, the query fails or no row comes back.
bool FirstMember(std::string_view group, const char* sql, SqlValue value, Member* row) {
  const SqliteDatabase db = OpenMemberDb(group);
  SqliteStatement query(db, sql);
  if (!query.BindAll({value}) || !query.StepRow(kMinMemberColumns)) return false;
  row->phone = query.ColumnText(kPhoneColumn);
  row->user_name = query.ColumnText(kUserNameColumn);
  return true;
}

// Runs a page query with `values` bound and collects its rows; a failed
// step ends the page like its last row.
bool GetPage(std::string_view group, const char* sql, std::initializer_list<SqlValue> values,
             std::vector<Member>* members) {
  members->clear();
  const SqliteDatabase db = OpenMemberDb(group);
  SqliteStatement query(db, sql);
  if (!query.BindAll(values)) return false;
  while (query.StepRow(kMinMemberColumns)) {
    members->push_back({query.ColumnText(kPhoneColumn), query.ColumnText(kUserNameColumn)});
  }
  return true;
}

}  // namespace

bool AddMember(std::string_view group, std::string_view phone, std::string_view user_name) {
  const std::string join_date = StoreDateNow();
  std::string path;
  if (!MemberDbPath(group, &path)) return false;
  const SqliteDatabase db =
      OpenForWriting(path, kMemberTable, {kMemberTableStatement, kMemberIndexStatement});
  const std::string_view name = user_name.empty() ? phone : user_name;
  SqliteStatement insert(db, kInsertMember);
  return insert.BindAll({phone, name, join_date}) && insert.StepDone();
}

bool FindMemberByPhone(std::string_view group, std::string_view phone, std::string* user_name) {
  Member row;
  if (!FirstMember(group, kSelectByPhone, phone, &row)) return false;
  *user_name = row.user_name;
  return true;
}

bool IsUserNameFree(std::string_view group, std::string_view phone, std::string_view user_name) {
  Member row;
  if (!FirstMember(group, kSelectByName, user_name, &row)) return true;
  return EqualsNoCase(row.phone, phone);
}

bool GetMemberAt(std::string_view group, unsigned position, std::string* phone,
                 std::string* user_name) {
  Member row;
  if (!FirstMember(group, kSelectAt, static_cast<int64_t>(position), &row)) {
    return false;
  }
  *phone = row.phone;
  *user_name = row.user_name;
  return true;
}

bool GetFirstMembers(std::string_view group, unsigned limit, std::vector<Member>* members) {
  return GetPage(group, kSelectFirstPage, {static_cast<int64_t>(limit)}, members);
}

bool GetMembersAfter(std::string_view group, std::string_view after_phone, unsigned limit,
                     std::vector<Member>* members) {
  return GetPage(group, kSelectPageAfter, {after_phone, static_cast<int64_t>(limit)}, members);
}

void ForEachMember(std::string_view group, const std::function<bool(const Member&)>& visit) {
  std::vector<Member> page;
  if (!GetFirstMembers(group, kMemberPageSize, &page)) return;
  for (;;) {
    for (const Member& member : page) {
      if (!visit(member)) return;
    }
    // A short page was the end of the table when it was read.
    if (page.size() < kMemberPageSize) return;
    const std::string last = page.back().phone;
    if (!GetMembersAfter(group, last, kMemberPageSize, &page)) return;
  }
}

bool FindMemberByName(std::string_view group, std::string_view user_name, std::string* phone) {
  Member row;
  if (!FirstMember(group, kSelectByName, user_name, &row)) return false;
  *phone = row.phone;
  return true;
}

bool DeleteMemberByPhone(std::string_view group, std::string_view phone) {
  const SqliteDatabase db = OpenMemberDb(group);
  SqliteStatement remove(db, kDeleteByPhone);
  return remove.BindAll({phone}) && remove.StepDone();
}

int DbBusyHandler(void* /*context*/, int /*attempts*/) {
  platform::SleepMs(1);
  return 1;
}
