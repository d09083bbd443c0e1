// The rows of a group's databases, read straight from the files with SQLite,
// so that tests see what the programs stored and not what the store's own
// lookups make of it.
#ifndef SUPPORT_STORE_ROWS_H_
#define SUPPORT_STORE_ROWS_H_

#include <string>
#include <string_view>
#include <vector>

#include "support/morvane_harness.h"

// A row of GROUP.DB (table TESSARY).
struct MemberRow {
  std::string phone;
  std::string user_name;
  std::string join_date;
};

// A row of TRANS.DB (table TRANSACTIONS).
struct TransactionRow {
  long long id = 0;
  std::string receive_number;
  std::string phone;
  std::string user_name;
  std::string command;
  std::string date;
  std::string approval;
};

// The members of the group in the home's store, by phone number; empty when
// GROUP.DB is missing or unreadable. Never creates the file.
std::vector<MemberRow> ReadMembers(const MorvaneHome& home, std::string_view group);

// The transactions of the group, by id; empty when TRANS.DB is missing or
// unreadable. Never creates the file.
std::vector<TransactionRow> ReadTransactions(const MorvaneHome& home, std::string_view group);

// PRAGMA integrity_check of a database file: "ok" for a sound one, else
// what is wrong (also that it cannot be opened).
std::string IntegrityCheck(const std::string& path);

#endif  // SUPPORT_STORE_ROWS_H_
