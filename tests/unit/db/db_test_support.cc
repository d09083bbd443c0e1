#include "unit/db/db_test_support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/text.h"
#include "platform/process.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/sqlite_handle.h"
#include "store/trans_db.h"

namespace {

// Long enough for fifty children to start on a busy machine; a wait that
// runs out makes the test fail, it never makes it pass.
constexpr auto kFileWaitLimit = std::chrono::seconds(60);
constexpr auto kFilePollInterval = std::chrono::milliseconds(1);

// A probe record: "R<count>:" then each field as "<length>:<bytes>". The
// first field is "-" when TessaryAdmin was unset, else "=" and its value.
std::string EncodeField(const std::string& field) {
  return std::to_string(field.size()) + ":" + field;
}

int WriteProbeRun(const std::string& out, const std::vector<std::string>& args) {
  std::string admin;
  std::vector<std::string> fields{platform::GetEnv(kAdminModeVariable, &admin) ? "=" + admin : "-"};
  fields.insert(fields.end(), args.begin(), args.end());
  std::string record = "R" + std::to_string(fields.size()) + ":";
  for (const std::string& field : fields) record += EncodeField(field);
  std::ofstream file(out, std::ios::binary | std::ios::app);
  file << record;
  file.close();
  return file ? 0 : 1;
}

// Reads "<number>:" at `*pos`; false when the text has none there.
bool ReadLength(const std::string& text, size_t* pos, size_t* length) {
  const size_t colon = text.find(':', *pos);
  if (colon == std::string::npos || colon == *pos) return false;
  *length = static_cast<size_t>(ParseLeadingLong(text.substr(*pos, colon - *pos)));
  *pos = colon + 1;
  return true;
}

}  // namespace

std::optional<int> RunChildMode(const std::vector<std::string>& args) {
  if (args.empty()) return std::nullopt;
  const std::string& mode = args[0];
  if (mode == kAddMemberMode && args.size() == 5) {
    if (!WaitForFile(args[1])) return 2;
    return AddMember(args[2], args[3], args[4]) ? 0 : 1;
  }
  if (mode == kQueueMode && args.size() == 4) {
    if (!WaitForFile(args[1])) return 2;
    const std::string line = "/s " + args[3] + " /t @" + args[2] + " hello";
    return QueueTransaction(args[2], "4000", args[3], "Ann", line, false) != 0 ? 0 : 1;
  }
  if (mode == kApproveMode && args.size() == 4) {
    if (!WaitForFile(args[1])) return 2;
    const auto id = static_cast<uint32_t>(ParseLeadingLong(args[3]));
    return RunApprovedTransaction(args[2], id) ? 0 : 1;
  }
  if (mode == kRerunProbeMode && args.size() >= 2) {
    return WriteProbeRun(args[1], args);
  }
  if (mode == kRerunHoldMode && args.size() >= 3) {
    if (!WaitForFile(args[2])) return 2;
    return WriteProbeRun(args[1], args);
  }
  return std::nullopt;
}

std::vector<ProbeRun> ReadProbeRuns(const std::string& path) {
  std::vector<ProbeRun> runs;
  std::ifstream file(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  size_t pos = 0;
  while (pos < text.size() && text[pos] == 'R') {
    ++pos;
    size_t count = 0;
    if (!ReadLength(text, &pos, &count)) break;
    std::vector<std::string> fields;
    for (size_t i = 0; i < count; ++i) {
      size_t length = 0;
      if (!ReadLength(text, &pos, &length) || pos + length > text.size()) {
        return runs;
      }
      fields.push_back(text.substr(pos, length));
      pos += length;
    }
    if (fields.empty()) break;
    ProbeRun run;
    if (fields[0] != "-") run.admin = fields[0].substr(1);
    run.args.assign(fields.begin() + 1, fields.end());
    runs.push_back(std::move(run));
  }
  return runs;
}

std::vector<ProbeRun> WaitForProbeRuns(const std::string& path, size_t count) {
  const auto give_up = std::chrono::steady_clock::now() + kFileWaitLimit;
  std::vector<ProbeRun> runs = ReadProbeRuns(path);
  while (runs.size() < count && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(kFilePollInterval);
    runs = ReadProbeRuns(path);
  }
  return runs;
}

bool WaitForFile(const std::string& path) {
  const auto give_up = std::chrono::steady_clock::now() + kFileWaitLimit;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(kFilePollInterval);
  }
  return true;
}

void TouchFile(const std::string& path) { std::ofstream file(path); }

std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  const SqliteDatabase db = SqliteDatabase::OpenExisting(path);
  SqliteStatement query(db, sql);
  while (query.StepRow(1)) {
    std::vector<std::string> row;
    for (int column = 0; column < query.ColumnCount(); ++column) {
      row.push_back(query.ColumnText(column));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string StoredSchemaText(const std::string& statement) {
  std::string text = statement;
  if (!text.empty() && text.back() == ';') text.pop_back();
  const size_t second_word_end = text.find(' ', text.find(' ') + 1);
  return ToUpperAscii(text.substr(0, second_word_end)) + text.substr(second_word_end);
}

void StoreTest::SetUp() {
  ASSERT_FALSE(dir_.path().empty());
  // The children split the stored line at spaces; a path with one would
  // come back as two words.
  ASSERT_EQ(dir_.path().find(' '), std::string::npos);
  ASSERT_TRUE(GroupFolderPath("", &root_));
  ASSERT_TRUE(std::filesystem::is_directory(root_));
}

std::string StoreTest::GroupFile(const std::string& group, const std::string& name) const {
  return root_ + group + "/" + name;
}
