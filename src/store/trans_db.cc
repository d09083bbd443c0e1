#include "store/trans_db.h"

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/process.h"
#include "store/group_store.h"
#include "store/sqlite_handle.h"

namespace {

// Set by SetRerunProgram; empty for the running program.
std::string g_rerun_program;

constexpr char kTransTable[] = "TRANSACTIONS";
constexpr char kInsertTransaction[] = "INSERT into TRANSACTIONS VALUES (NULL, ?,?,?,?,?,?);";
constexpr char kSelectTransaction[] = "SELECT * from TRANSACTIONS WHERE id=?;";
constexpr char kApproveTransaction[] =
    "INSERT or REPLACE into TRANSACTIONS VALUES (?, ?,?,?,?,?,?);";
constexpr char kApprovedStatus[] = "Yes";
constexpr char kWaitingStatus[] = "No";
constexpr char kAdminModeOn[] = "Yes";

// Column positions of a TRANSACTIONS row.
constexpr int kReceiveNumberColumn = 1;
constexpr int kPhoneColumn = 2;
constexpr int kGroupHandleColumn = 3;
constexpr int kCommandColumn = 4;
constexpr int kCommandDateColumn = 5;
constexpr int kApprovalStatusColumn = 6;
constexpr int kTransColumns = 7;

bool TransDbPath(std::string_view group, std::string* path) {
  if (!GroupFolderPath(group, path)) return false;
  *path += kTransDbName;
  return true;
}

// What an approval copies out of a waiting request, each value cut to its
// limit.
struct HeldRequest {
  std::string receive_number;
  std::string phone;
  std::string group_handle;
  std::string command;
  std::string command_date;
};

// Reads request `id` and, when it is still waiting, stores it back approved
// with the copied values. Both happen in one write transaction, so two
// approvals of one request at the same moment cannot both run it. True when
// the request was waiting and is now marked approved.
bool TakeWaitingRequest(SqliteDatabase& db, uint32_t id, HeldRequest* request) {
  SqliteTransaction transaction(db);
  if (!transaction.active()) return false;
  {
    SqliteStatement select(db, kSelectTransaction);
    if (!select.BindAll({static_cast<int64_t>(id)}) || !select.StepRow(kTransColumns) ||
        IsYesValue(select.ColumnText(kApprovalStatusColumn))) {
      return false;
    }
    request->receive_number = CutTo(select.ColumnText(kReceiveNumberColumn), kMaxStoredFieldChars);
    request->phone = CutTo(select.ColumnText(kPhoneColumn), kMaxStoredFieldChars);
    request->group_handle = CutTo(select.ColumnText(kGroupHandleColumn), kMaxStoredFieldChars);
    request->command = CutTo(select.ColumnText(kCommandColumn), kMaxStoredCommandChars);
    request->command_date = CutTo(select.ColumnText(kCommandDateColumn), kMaxStoredDateChars);
  }
  SqliteStatement approve(db, kApproveTransaction);
  if (!approve.BindAll({static_cast<int64_t>(id), request->receive_number, request->phone,
                        request->group_handle, request->command, request->command_date,
                        kApprovedStatus}) ||
      !approve.StepDone()) {
    return false;
  }
  approve.Finalize();
  return transaction.Commit();
}

// The argument vector of the re-run: the program, then the stored line split
// at every single space. The line was made by joining the arguments with
// single spaces, so keeping the empty pieces gives back empty arguments, and
// every other byte (quotes, backslashes) reaches the child as stored.
std::vector<std::string> RerunArguments(const std::string& program, std::string_view command) {
  std::vector<std::string> argv{program};
  if (command.empty()) return argv;
  size_t start = 0;
  for (;;) {
    const size_t space = command.find(' ', start);
    argv.emplace_back(command.substr(start, space - start));
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
  return argv;
}

// Starts the re-run in administrator mode and waits for it at most `wait_ms`;
// a child still running then is left running. True when it started.
bool RunInAdminMode(const std::vector<std::string>& argv, uint32_t wait_ms) {
  platform::SetEnv(kAdminModeVariable, kAdminModeOn);
  platform::Child child = platform::Child::Start(argv);
  const bool started = child.started();
  if (started && !child.Wait(wait_ms)) child.Detach();
  platform::UnsetEnv(kAdminModeVariable);
  return started;
}

}  // namespace

void SetRerunProgram(std::string program) { g_rerun_program = std::move(program); }

uint32_t QueueTransaction(std::string_view group, std::string_view receive_number,
                          std::string_view phone, std::string_view user_name,
                          std::string_view command_line, bool approved) {
  const std::string command_date = StoreDateNow();
  std::string path;
  if (!TransDbPath(group, &path)) return 0;
  const SqliteDatabase db = OpenForWriting(path, kTransTable, {kTransTableStatement});
  SqliteStatement insert(db, kInsertTransaction);
  if (!insert.BindAll({receive_number, phone, user_name, command_line, command_date,
                       approved ? kApprovedStatus : kWaitingStatus}) ||
      !insert.StepDone()) {
    return 0;
  }
  const int64_t id = db.LastInsertRowId();
  if (id <= 0 || id > std::numeric_limits<uint32_t>::max()) return 0;
  return static_cast<uint32_t>(id);
}

bool RunApprovedTransaction(std::string_view group, uint32_t id, uint32_t wait_ms) {
  HeldRequest request;
  {
    std::string path;
    if (!TransDbPath(group, &path)) return false;
    SqliteDatabase db = SqliteDatabase::OpenExisting(path);
    if (!db.is_open() || !TakeWaitingRequest(db, id, &request)) return false;
  }  // closed: the child may use the same files at once
  const std::string program = g_rerun_program.empty() ? platform::ProgramPath() : g_rerun_program;
  return RunInAdminMode(RerunArguments(program, request.command), wait_ms);
}
