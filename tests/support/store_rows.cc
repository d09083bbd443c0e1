#include "support/store_rows.h"

#include "common/text.h"
#include "platform/files.h"
#include "store/group_store.h"
#include "store/sqlite_handle.h"

namespace {

// Every row of `query` on the database at `path`, each as its first
// `columns` texts; empty when the file is missing or unreadable.
std::vector<std::vector<std::string>> Rows(const std::string& path, std::string_view query,
                                           int columns) {
  std::vector<std::vector<std::string>> rows;
  if (!platform::PathExists(path)) return rows;  // opening never creates it
  const SqliteDatabase db = SqliteDatabase::OpenExisting(path);
  SqliteStatement statement(db, query);
  while (statement.ready() && statement.StepRow(columns)) {
    rows.emplace_back();
    for (int i = 0; i < columns; ++i) rows.back().push_back(statement.ColumnText(i));
  }
  return rows;
}

std::string DatabasePath(const MorvaneHome& home, std::string_view group, std::string_view file) {
  return home.GroupsPath() + std::string(group) + "/" + std::string(file);
}

}  // namespace

std::vector<MemberRow> ReadMembers(const MorvaneHome& home, std::string_view group) {
  std::vector<MemberRow> members;
  for (auto& row :
       Rows(DatabasePath(home, group, kGroupDbName),
            "SELECT phoneNumber, userName, joinDate FROM TESSARY ORDER BY phoneNumber;", 3)) {
    members.push_back({row[0], row[1], row[2]});
  }
  return members;
}

std::vector<TransactionRow> ReadTransactions(const MorvaneHome& home, std::string_view group) {
  std::vector<TransactionRow> transactions;
  for (auto& row : Rows(DatabasePath(home, group, kTransDbName),
                        "SELECT id, receiveNumber, phoneNumber, groupHandle, command, commandDate, "
                        "approvalStatus FROM TRANSACTIONS ORDER BY id;",
                        7)) {
    transactions.push_back(
        {ParseLeadingLong(row[0]), row[1], row[2], row[3], row[4], row[5], row[6]});
  }
  return transactions;
}

std::string IntegrityCheck(const std::string& path) {
  std::string result;
  for (const auto& row : Rows(path, "PRAGMA integrity_check;", 1)) {
    result += (result.empty() ? "" : "; ") + row[0];
  }
  return result.empty() ? "cannot read " + path : result;
}
