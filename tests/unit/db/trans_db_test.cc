#include "store/trans_db.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/limits.h"
#include "platform/process.h"
#include "store/group_store.h"
#include "unit/db/db_test_support.h"

namespace {

constexpr char kGroup[] = "Friends";
constexpr char kSelectRow[] =
    "SELECT id, receiveNumber, phoneNumber, groupHandle, command, commandDate, "
    "approvalStatus FROM TRANSACTIONS WHERE id=";
// Enough for a probe child to start and write its file on a busy machine.
constexpr uint32_t kProbeWaitMs = 60000;

class TransDbTest : public StoreTest {
 protected:
  std::string TransDb() const { return GroupFile(kGroup, kTransDbName); }
  std::vector<std::string> Row(uint32_t id) const {
    const auto rows = QueryRows(TransDb(), kSelectRow + std::to_string(id) + ";");
    return rows.empty() ? std::vector<std::string>() : rows[0];
  }
  // A held request whose re-run is the probe child writing to probe_.
  uint32_t QueueProbe(const std::string& words, bool approved = false) {
    return QueueTransaction(kGroup, "4000", "+15550001111", "Ann", ProbeLine(words), approved);
  }
  std::string ProbeLine(const std::string& words) const {
    return std::string(kRerunProbeMode) + " " + probe_ + " " + words;
  }
  bool AdminModeSet() const {
    std::string value;
    return platform::GetEnv(kAdminModeVariable, &value);
  }

  std::string probe_ = dir_.path() + "probe.out";
};

TEST_F(TransDbTest, SchemaTextEqualsTheStatement) {
  ASSERT_NE(QueueTransaction(kGroup, "4000", "+15550001111", "Admin", "x", true), 0u);
  const std::vector<std::vector<std::string>> expected = {
      {"table", "TRANSACTIONS", StoredSchemaText(kTransTableStatement)}};
  EXPECT_EQ(QueryRows(TransDb(), "SELECT type, name, sql FROM sqlite_master ORDER BY rowid;"),
            expected);
}

TEST_F(TransDbTest, StoresEveryValueExactlyWithGrowingIds) {
  std::string line =
      "/s '1' /t @Friends it's 100% \"done\"; DROP TABLE "
      "TRANSACTIONS;-- \\n \xff ";
  line.resize(kMaxCommandLineChars, 'w');
  const uint32_t held = QueueTransaction(kGroup, "'4000'", "+1555'0001", "O'Brien %s", line, false);
  const uint32_t journal = QueueTransaction(kGroup, std::string_view(), "", "", "", true);
  ASSERT_NE(held, 0u);
  EXPECT_GT(journal, held);

  const std::vector<std::string> row = Row(held);
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[1], "'4000'");
  EXPECT_EQ(row[2], "+1555'0001");
  EXPECT_EQ(row[3], "O'Brien %s");
  EXPECT_EQ(row[4], line);
  EXPECT_TRUE(std::regex_match(row[5], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << row[5];
  EXPECT_EQ(row[6], "No");
  // Empty values are stored as empty texts, not as NULL.
  EXPECT_EQ(QueryRows(TransDb(),
                      "SELECT receiveNumber='', phoneNumber='', groupHandle='', "
                      "command='', approvalStatus FROM TRANSACTIONS WHERE id=" +
                          std::to_string(journal) + ";"),
            (std::vector<std::vector<std::string>>{{"1", "1", "1", "1", "Yes"}}));
}

TEST_F(TransDbTest, UnsafeGroupNamesStoreAndRunNothing) {
  for (const std::string& group : {std::string(".."), std::string("a/b")}) {
    EXPECT_EQ(QueueTransaction(group, "4000", "+1", "Ann", "x", false), 0u);
    EXPECT_FALSE(RunApprovedTransaction(group, 1, kProbeWaitMs));
  }
  EXPECT_TRUE(std::filesystem::is_empty(root_));
}

TEST_F(TransDbTest, TwentyProcessesQueueingLeaveTwentyDistinctIds) {
  constexpr int kWriters = 20;
  const std::string gate = dir_.path() + "gate";
  std::vector<platform::Child> children;
  for (int i = 0; i < kWriters; ++i) {
    children.push_back(platform::Child::Start(
        {platform::ProgramPath(), kQueueMode, gate, kGroup, "+1555000" + std::to_string(1000 + i)},
        {{"KAVREL_HOME", dir_.path()}}));
    ASSERT_TRUE(children.back().started()) << i;
  }
  TouchFile(gate);
  for (platform::Child& child : children) {
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    EXPECT_EQ(child.exit_code(), 0);
  }
  const auto rows = QueryRows(TransDb(), "SELECT id, phoneNumber FROM TRANSACTIONS;");
  ASSERT_EQ(rows.size(), static_cast<size_t>(kWriters));
  std::set<std::string> ids, phones;
  for (const auto& row : rows) {
    ids.insert(row[0]);
    phones.insert(row[1]);
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(kWriters));
  EXPECT_EQ(phones.size(), static_cast<size_t>(kWriters));
}

TEST_F(TransDbTest, ApprovalRunsTheStoredLineOnceInAdminMode) {
  const uint32_t id = QueueProbe("a \"b c\\d 'e' %s \\\" @Friends:Bob");
  ASSERT_NE(id, 0u);

  ASSERT_TRUE(RunApprovedTransaction(kGroup, id, kProbeWaitMs));
  EXPECT_FALSE(AdminModeSet());
  EXPECT_EQ(Row(id)[6], "Yes");
  EXPECT_FALSE(RunApprovedTransaction(kGroup, id, kProbeWaitMs));

  const std::vector<ProbeRun> runs = ReadProbeRuns(probe_);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].admin, "Yes");
  EXPECT_EQ(runs[0].args, (std::vector<std::string>{kRerunProbeMode, probe_, "a", "\"b", "c\\d",
                                                    "'e'", "%s", "\\\"", "@Friends:Bob"}));
}

TEST_F(TransDbTest, ApproversAtTheSameMomentRunTheRequestOnce) {
  constexpr int kApprovers = 20;
  const uint32_t id = QueueProbe("once");
  ASSERT_NE(id, 0u);
  const std::string gate = dir_.path() + "gate";
  std::vector<platform::Child> children;
  for (int i = 0; i < kApprovers; ++i) {
    children.push_back(platform::Child::Start(
        {platform::ProgramPath(), kApproveMode, gate, kGroup, std::to_string(id)},
        {{"KAVREL_HOME", dir_.path()}}));
    ASSERT_TRUE(children.back().started()) << i;
  }
  TouchFile(gate);
  int approved = 0;
  for (platform::Child& child : children) {
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    if (child.exit_code() == 0) ++approved;
  }
  EXPECT_EQ(approved, 1);
  EXPECT_EQ(ReadProbeRuns(probe_).size(), 1u);
}

TEST_F(TransDbTest, EmptyPiecesOfTheLineComeBackAsEmptyArguments) {
  const uint32_t id = QueueProbe("a  b ");
  ASSERT_TRUE(RunApprovedTransaction(kGroup, id, kProbeWaitMs));
  const std::vector<ProbeRun> runs = ReadProbeRuns(probe_);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].args, (std::vector<std::string>{kRerunProbeMode, probe_, "a", "", "b", ""}));
}

TEST_F(TransDbTest, NothingRunsForIdsThatAreNotWaiting) {
  const uint32_t journal = QueueProbe("journal", true);
  const uint32_t waiting = QueueProbe("waiting");
  ASSERT_NE(journal, 0u);
  ASSERT_NE(waiting, 0u);
  for (uint32_t id : {journal, 0u, waiting + 1, 4294967295u}) {
    EXPECT_FALSE(RunApprovedTransaction(kGroup, id, kProbeWaitMs)) << id;
  }
  EXPECT_FALSE(RunApprovedTransaction("NoQueue", waiting, kProbeWaitMs));
  EXPECT_FALSE(std::filesystem::exists(GroupFile("NoQueue", kTransDbName)));
  EXPECT_FALSE(std::filesystem::exists(probe_));
  EXPECT_EQ(Row(waiting)[6], "No");
  EXPECT_FALSE(AdminModeSet());
}

struct CutCase {
  size_t line_chars;
  size_t field_chars;
};

class RerunCutTest : public TransDbTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(RerunCutTest, ReRunsAndKeepsTheCutValues) {
  const CutCase& c = GetParam();
  const std::string head = ProbeLine("");
  ASSERT_LT(head.size(), c.line_chars);
  const std::string line = head + std::string(c.line_chars - head.size(), 'x');
  const std::string field(c.field_chars, 'f');
  const uint32_t id = QueueTransaction(kGroup, field, field, field, line, false);
  ASSERT_NE(id, 0u);

  ASSERT_TRUE(RunApprovedTransaction(kGroup, id, kProbeWaitMs));
  const std::string cut_line = line.substr(0, kMaxStoredCommandChars);
  const std::string cut_field = field.substr(0, kMaxStoredFieldChars);
  const std::vector<std::string> row = Row(id);
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[1], cut_field);
  EXPECT_EQ(row[2], cut_field);
  EXPECT_EQ(row[3], cut_field);
  EXPECT_EQ(row[4], cut_line);
  EXPECT_EQ(row[6], "Yes");

  const std::vector<ProbeRun> runs = ReadProbeRuns(probe_);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].args.size(), 3u);
  EXPECT_EQ(runs[0].args[2], cut_line.substr(head.size()));
}

INSTANTIATE_TEST_SUITE_P(
    AroundTheLimits, RerunCutTest,
    ::testing::Values(CutCase{kMaxStoredCommandChars - 1, kMaxStoredFieldChars - 1},
                      CutCase{kMaxStoredCommandChars, kMaxStoredFieldChars},
                      CutCase{kMaxStoredCommandChars + 1, kMaxStoredFieldChars + 1},
                      CutCase{kMaxCommandLineChars, kMaxStoredFieldChars + 100}));

TEST_F(TransDbTest, ChildOutlivingTheWaitIsLeftRunning) {
  const std::string release = dir_.path() + "release";
  const std::string line = std::string(kRerunHoldMode) + " " + probe_ + " " + release + " held";
  const uint32_t id = QueueTransaction(kGroup, "4000", "+15550001111", "Ann", line, false);
  ASSERT_NE(id, 0u);

  // The child cannot finish before the release file exists, so returning
  // here proves the wait gave up and left it running.
  ASSERT_TRUE(RunApprovedTransaction(kGroup, id, 200));
  EXPECT_FALSE(std::filesystem::exists(probe_));
  EXPECT_FALSE(AdminModeSet());

  TouchFile(release);
  const std::vector<ProbeRun> runs = WaitForProbeRuns(probe_, 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].admin, "Yes");
  EXPECT_EQ(runs[0].args, (std::vector<std::string>{kRerunHoldMode, probe_, release, "held"}));
}

}  // namespace
