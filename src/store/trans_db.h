// A group's approval queue and journal, in the SQLite database TRANS.DB in
// the group's folder. A held request (approval status "No") is a run's whole
// argument line, kept until an administrator approves it; a journal entry is
// the same row already approved ("Yes").
#ifndef STORE_TRANS_DB_H_
#define STORE_TRANS_DB_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/limits.h"

// The schema other tools rely on, exactly as created.
constexpr char kTransTableStatement[] =
    "CREATE TABLE TRANSACTIONS (id integer PRIMARY KEY, receiveNumber text, "
    "phoneNumber text, groupHandle text, command text, commandDate text, "
    "approvalStatus text);";

// The environment variable that puts a run into administrator mode.
constexpr char kAdminModeVariable[] = "TessaryAdmin";

// Adds a row: a journal entry when `approved`, else a held request. Returns
// the new row's id, 0 when nothing was stored.
uint32_t QueueTransaction(std::string_view group, std::string_view receive_number,
                          std::string_view phone, std::string_view user_name,
                          std::string_view command_line, bool approved);

// The program that re-runs approved requests: one that reads the stored
// argument line (the processor's own command line). Empty, the default,
// means the running program; an entry point that takes its message in
// another form names the processor beside it.
void SetRerunProgram(std::string program);

// When the row `id` exists and is not approved yet: marks it approved and
// runs the re-run program with the stored argument line and
// TessaryAdmin=Yes, waiting at most `wait_ms` for it (a child still running
// then is left running). True when a waiting request was found and run.
bool RunApprovedTransaction(std::string_view group, uint32_t id,
                            uint32_t wait_ms = kChildWaitMs);

#endif  // STORE_TRANS_DB_H_
