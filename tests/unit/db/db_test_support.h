// Shared pieces of the database tests: a store rooted in a temporary folder,
// direct reads of a database, and the child modes of this test binary.
#ifndef UNIT_DB_DB_TEST_SUPPORT_H_
#define UNIT_DB_DB_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// Child modes: the test binary started again with one of these as its first
// argument does that job instead of running tests.
//
//   --add-member GATE GROUP PHONE NAME   waits for GATE to exist, AddMember;
//                                        exit 0 when it answered true
//   --queue GATE GROUP PHONE             waits for GATE, QueueTransaction of
//                                        a held request; exit 0 for an id
//   --approve GATE GROUP ID              waits for GATE,
//                                        RunApprovedTransaction; exit 0 when
//                                        it answered true
//   --rerun-probe OUT ...                appends what it received to OUT
//   --rerun-hold OUT RELEASE ...         waits for RELEASE to exist, then
//                                        does what --rerun-probe does
constexpr char kAddMemberMode[] = "--add-member";
constexpr char kQueueMode[] = "--queue";
constexpr char kApproveMode[] = "--approve";
constexpr char kRerunProbeMode[] = "--rerun-probe";
constexpr char kRerunHoldMode[] = "--rerun-hold";

// Runs the child mode named by args[0]; nullopt when args names none.
std::optional<int> RunChildMode(const std::vector<std::string>& args);

// What one probe run received: the value of TessaryAdmin (nullopt when it
// was not set) and its arguments after the program name.
struct ProbeRun {
  std::optional<std::string> admin;
  std::vector<std::string> args;
};

// The runs recorded in a probe file, oldest first; empty when it is missing.
std::vector<ProbeRun> ReadProbeRuns(const std::string& path);

// Waits (bounded) until the probe file holds `count` complete runs, and
// reads it.
std::vector<ProbeRun> WaitForProbeRuns(const std::string& path, size_t count);

// Waits (bounded) until `path` exists; true when it does.
bool WaitForFile(const std::string& path);

// Creates an empty file (a gate or release file for the children).
void TouchFile(const std::string& path);

// All rows of a query on the database at `path`, every column as text.
std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql);

// The text SQLite keeps in sqlite_master for a CREATE statement: its first
// two words in capitals and without the closing ';'.
std::string StoredSchemaText(const std::string& statement);

// A store rooted in a fresh temporary folder (KAVREL_HOME), with the store
// root made and TessaryAdmin unset.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // The path of a file in the group's folder, without creating anything.
  std::string GroupFile(const std::string& group, const std::string& name) const;

  TempDir dir_;
  ScopedEnv home_{"KAVREL_HOME", dir_.path()};
  ScopedEnv admin_{"TessaryAdmin", std::nullopt};
  std::string root_;  // the store root, with a trailing '/'
};

#endif  // UNIT_DB_DB_TEST_SUPPORT_H_
