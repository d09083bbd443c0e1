#include "store/sqlite_handle.h"

#include <sqlite3.h>

#include <utility>

#include "common/files.h"
#include "common/format.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "store/member_db.h"

namespace {

constexpr char kBeginImmediate[] = "BEGIN IMMEDIATE;";
constexpr char kCommit[] = "COMMIT;";
constexpr char kRollback[] = "ROLLBACK;";
constexpr char kFindTable[] = "SELECT name from sqlite_master WHERE type='table' AND name=?;";
constexpr char kDateFormat[] = "%04d-%02d-%02d %02d:%02d:%02d";

// sqlite3_bind_text64 binds NULL for a null pointer; an empty text must stay
// an empty text.
const char* TextData(std::string_view text) { return text.data() != nullptr ? text.data() : ""; }

bool HasTable(const SqliteDatabase& db, std::string_view table) {
  SqliteStatement find(db, kFindTable);
  return find.BindAll({table}) && find.StepRow(1);
}

}  // namespace

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

SqliteDatabase::~SqliteDatabase() { Close(); }

SqliteDatabase SqliteDatabase::OpenExisting(const std::string& path) {
  SqliteDatabase database;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);  // a failed open may still have made a handle
    return database;
  }
  database.db_ = db;
  sqlite3_busy_handler(db, DbBusyHandler, nullptr);
  return database;
}

bool SqliteDatabase::Exec(const char* sql) {
  return db_ != nullptr && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int64_t SqliteDatabase::LastInsertRowId() const {
  return db_ != nullptr ? sqlite3_last_insert_rowid(db_) : 0;
}

void SqliteDatabase::Close() {
  if (db_ != nullptr) sqlite3_close(db_);
  db_ = nullptr;
}

SqliteStatement::SqliteStatement(const SqliteDatabase& db, std::string_view sql) {
  if (!db.is_open()) return;
  if (sqlite3_prepare_v2(db.get(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK) {
    Finalize();
  }
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    Finalize();
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

SqliteStatement::~SqliteStatement() { Finalize(); }

bool SqliteStatement::BindAll(std::initializer_list<SqlValue> values) {
  if (stmt_ == nullptr) return false;
  int index = 0;
  for (const SqlValue& value : values) {
    ++index;
    int rc = SQLITE_OK;
    if (const auto* text = std::get_if<std::string_view>(&value)) {
      rc = sqlite3_bind_text64(stmt_, index, TextData(*text), text->size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_int64(stmt_, index, std::get<int64_t>(value));
    }
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

bool SqliteStatement::StepRow(int min_columns) {
  return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_ROW &&
         sqlite3_column_count(stmt_) >= min_columns;
}

bool SqliteStatement::StepDone() { return stmt_ != nullptr && sqlite3_step(stmt_) == SQLITE_DONE; }

int SqliteStatement::ColumnCount() const {
  return stmt_ != nullptr ? sqlite3_column_count(stmt_) : 0;
}

std::string SqliteStatement::ColumnText(int column) const {
  if (stmt_ == nullptr) return std::string();
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (text == nullptr) return std::string();
  const int length = sqlite3_column_bytes(stmt_, column);
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

void SqliteStatement::Finalize() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db) {
  active_ = db_.Exec(kBeginImmediate);
}

SqliteTransaction::~SqliteTransaction() {
  if (active_) db_.Exec(kRollback);
}

bool SqliteTransaction::Commit() {
  if (!active_) return false;
  if (!db_.Exec(kCommit)) return false;  // the destructor rolls back
  active_ = false;
  return true;
}

SqliteDatabase OpenForWriting(const std::string& path, std::string_view table,
                              std::initializer_list<const char*> schema) {
  // Only a missing file is created; the handle is closed at once.
  platform::CreateFile(path, platform::CreateDisposition::kCreateNew, SharedSecurityAttributes());
  SqliteDatabase db = SqliteDatabase::OpenExisting(path);
  if (!db.is_open() || HasTable(db, table)) return db;
  // The file is new, or its creator has not made the table yet (or failed
  // to): whoever takes the write lock first makes it, the others find it
  // made.
  SqliteTransaction transaction(db);
  if (!transaction.active()) return SqliteDatabase();
  if (!HasTable(db, table)) {
    for (const char* statement : schema) {
      if (!db.Exec(statement)) return SqliteDatabase();
    }
  }
  if (!transaction.Commit()) return SqliteDatabase();
  return db;
}

std::string StoreDateNow() {
  const platform::LocalDateTime now = platform::LocalNow();
  return FormatText(kDateFormat, {now.year, now.month, now.day, now.hour, now.minute, now.second});
}
