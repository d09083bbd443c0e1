#include "support/store_rows.h"

#include <sqlite3.h>

#include <memory>
#include <utility>

#include "store/group_store.h"

namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

constexpr char kMembersQuery[] =
    "SELECT phoneNumber, userName, joinDate FROM TESSARY ORDER BY phoneNumber;";
constexpr char kTransactionsQuery[] =
    "SELECT id, receiveNumber, phoneNumber, groupHandle, command, commandDate, "
    "approvalStatus FROM TRANSACTIONS ORDER BY id;";

std::string DatabasePath(const MorvaneHome& home, std::string_view group, std::string_view file) {
  return home.GroupsPath() + std::string(group) + "/" + std::string(file);
}

// Opens read-only, so a missing file stays missing.
Database Open(const std::string& path) {
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  Database db(raw);
  if (result != SQLITE_OK) db.reset();
  return db;
}

Statement Prepare(sqlite3* db, const char* query) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, query, -1, &raw, nullptr) != SQLITE_OK) return nullptr;
  return Statement(raw);
}

std::string Column(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  if (text == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

std::vector<MemberRow> ReadMembers(const MorvaneHome& home, std::string_view group) {
  std::vector<MemberRow> rows;
  const Database db = Open(DatabasePath(home, group, kGroupDbName));
  if (!db) return rows;
  const Statement statement = Prepare(db.get(), kMembersQuery);
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
    rows.push_back(
        {Column(statement.get(), 0), Column(statement.get(), 1), Column(statement.get(), 2)});
  }
  return rows;
}

std::vector<TransactionRow> ReadTransactions(const MorvaneHome& home, std::string_view group) {
  std::vector<TransactionRow> rows;
  const Database db = Open(DatabasePath(home, group, kTransDbName));
  if (!db) return rows;
  const Statement statement = Prepare(db.get(), kTransactionsQuery);
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
    TransactionRow row;
    row.id = sqlite3_column_int64(statement.get(), 0);
    row.receive_number = Column(statement.get(), 1);
    row.phone = Column(statement.get(), 2);
    row.user_name = Column(statement.get(), 3);
    row.command = Column(statement.get(), 4);
    row.date = Column(statement.get(), 5);
    row.approval = Column(statement.get(), 6);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string IntegrityCheck(const std::string& path) {
  const Database db = Open(path);
  if (!db) return "cannot open " + path;
  const Statement statement = Prepare(db.get(), "PRAGMA integrity_check;");
  if (!statement) return sqlite3_errmsg(db.get());
  std::string result;
  while (sqlite3_step(statement.get()) == SQLITE_ROW) {
    if (!result.empty()) result += "; ";
    result += Column(statement.get(), 0);
  }
  return result;
}
