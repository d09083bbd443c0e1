// Owners of an SQLite connection, a compiled statement and a write
// transaction, for the store's databases. Values always travel as bound
// parameters, texts with their length, so any byte is stored as it stands.
#ifndef STORE_SQLITE_HANDLE_H_
#define STORE_SQLITE_HANDLE_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

// A value bound to a statement parameter: a text or an integer.
using SqlValue = std::variant<std::string_view, int64_t>;

// An open connection. Move-only; closes on destruction.
class SqliteDatabase {
 public:
  SqliteDatabase() = default;
  SqliteDatabase(SqliteDatabase&& other) noexcept;
  SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;
  ~SqliteDatabase();

  // Opens an existing database file for reading and writing, with
  // DbBusyHandler installed. Never creates the file: the result is not open
  // when the file is missing or cannot be opened.
  static SqliteDatabase OpenExisting(const std::string& path);

  bool is_open() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }

  // Runs SQL that takes no values (schema, transaction control); true on
  // success.
  bool Exec(const char* sql);

  // The row id of this connection's last successful insert.
  int64_t LastInsertRowId() const;

  void Close();

 private:
  sqlite3* db_ = nullptr;
};

// A compiled statement. Move-only; finalizes on destruction.
class SqliteStatement {
 public:
  // Compiles `sql` (its whole length) on `db`; ready() tells whether that
  // worked.
  SqliteStatement(const SqliteDatabase& db, std::string_view sql);
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement();

  bool ready() const { return stmt_ != nullptr; }

  // Binds `values` to the parameters 1, 2, ... in order. False when the
  // statement is not ready or a bind fails.
  bool BindAll(std::initializer_list<SqlValue> values);

  // Takes one step; true when it gave a row of at least `min_columns`
  // columns.
  bool StepRow(int min_columns);

  // Takes one step; true when the statement ran to its end without error.
  bool StepDone();

  // The number of columns of the current row.
  int ColumnCount() const;

  // The text of `column` in the current row, every byte of it; empty for
  // NULL.
  std::string ColumnText(int column) const;

  void Finalize();

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// An immediate write transaction: taken at construction (waiting for other
// writers through the busy handler), rolled back on destruction unless
// committed.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteDatabase& db);
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  ~SqliteTransaction();

  bool active() const { return active_; }
  // True when the changes are committed.
  bool Commit();

 private:
  SqliteDatabase& db_;
  bool active_ = false;
};

// Opens the database at `path` for writing. Creates the file when it is
// missing (with an exclusive create, so a run never empties a file that
// another run has begun to fill) and, when the database has no table named
// `table`, runs `schema` in one transaction, so runs that make the first
// write at the same moment all find the table made exactly once. Not open on
// failure.
SqliteDatabase OpenForWriting(const std::string& path, std::string_view table,
                              std::initializer_list<const char*> schema);

// The local time as the databases store it: "YYYY-MM-DD hh:mm:ss".
std::string StoreDateNow();

#endif  // STORE_SQLITE_HANDLE_H_
