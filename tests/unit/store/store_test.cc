// The store: its folders and GROUP.INI files, GROUP.DB (members and the member
// walk), TRANS.DB (held requests and their approval), the SQLite wrapper under
// both, the error counter, and the user directory (USERS.INI).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "common/limits.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "store/error_counter.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/sqlite_handle.h"
#include "store/trans_db.h"
#include "store/user_directory.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
using Texts = std::initializer_list<std::string>;
const char kSep = platform::PathSeparator();
constexpr char kGroup[] = "Friends";

// Waits (a minute at least: long enough for fifty children to start on a
// busy machine) until the file exists.
bool WaitForFile(const std::string& path) {
  for (int ms = 0; ms < 60000 && !fs::exists(path); ++ms) platform::SleepMs(1);
  return fs::exists(path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Rows QueryRows(const std::string& path, const std::string& sql) {
  Rows rows;
  const SqliteDatabase db = SqliteDatabase::OpenExisting(path);
  SqliteStatement query(db, sql);
  while (query.StepRow(1)) {
    rows.emplace_back();
    for (int i = 0; i < query.ColumnCount(); ++i) rows.back().push_back(query.ColumnText(i));
  }
  return rows;
}

// The local time from the C library's clock, as the databases store it.
std::string ClockText() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return text;
}

// Writes the rows in one transaction, as AddMember would one by one (far
// faster for the groups of a few hundred a walk needs); names are "n" and
// the phone.
void AddMembersAtOnce(const std::string& group, const std::vector<std::string>& phones) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath(group, &folder));
  SqliteDatabase db = OpenForWriting(folder + kGroupDbName, "TESSARY",
                                     {kMemberTableStatement, kMemberIndexStatement});
  SqliteTransaction transaction(db);
  for (const std::string& phone : phones) {
    SqliteStatement insert(db, "INSERT into TESSARY VALUES (?,?,'2024-01-01 00:00:00');");
    ASSERT_TRUE(insert.BindAll({phone, "n" + phone}) && insert.StepDone()) << phone;
  }
  ASSERT_TRUE(transaction.Commit());
}

// A data directory (KAVREL_HOME) of its own with the store root made in it;
// TessaryAdmin unset.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A re-run splits the stored line at spaces: a path with one would break.
    ASSERT_TRUE(!home().empty() && home().find(' ') == std::string::npos) << home();
    SetStoreBase(StoreBase::kProgramData);
    ASSERT_TRUE(GroupFolderPath("", &root_));
    ASSERT_EQ(root_, home() + kStoreFolderName + kSep);
  }
  const std::string& home() const { return dir_.path(); }
  std::string GroupFile(const std::string& group, const char* name) const {
    return root_ + group + kSep + name;
  }
  Rows Request(uint32_t id) const {
    return QueryRows(GroupFile(kGroup, kTransDbName),
                     "SELECT * FROM TRANSACTIONS WHERE id=" + std::to_string(id));
  }
  // A request line whose re-run is a probe (see the end) writing to probe_.
  std::string ProbeLine(const std::string& words) const {
    return "--probe " + probe_ + " " + words;
  }

  TempDir dir_;
  ScopedEnv home_{kDataHomeVariable, dir_.path()};
  ScopedEnv admin_{kAdminModeVariable, std::nullopt};
  std::string root_;  // with a trailing separator
  std::string probe_ = dir_.path() + "probe.out";
};

TEST_F(StoreTest, MembersAreKeyedByPhoneInAnyCaseAndStoredByteForByte) {
  std::string phone, name;
  std::vector<Member> page = {{"stale", "stale"}};
  unsigned visits = 0;
  ForEachMember(kGroup, [&visits](const Member&) { return ++visits > 0; });
  // Without GROUP.DB nobody is found and no file is made.
  EXPECT_FALSE(FindMemberByPhone(kGroup, "a0", &name) || FindMemberByName(kGroup, "a0", &phone) ||
               GetMemberAt(kGroup, 0, &phone, &name) || DeleteMemberByPhone(kGroup, "a0") ||
               GetFirstMembers(kGroup, 9, &page) || GetMembersAfter(kGroup, "", 9, &page));
  EXPECT_TRUE(IsUserNameFree(kGroup, "a0", "Ann") && page.empty() && visits == 0);
  EXPECT_TRUE(fs::is_empty(root_ + kGroup));
  // A first add that died after making the file left it empty: the next one
  // makes the table instead of failing for ever.
  WriteFile(GroupFile(kGroup, kGroupDbName), "");
  EXPECT_FALSE(FindMemberByPhone(kGroup, "a0", &name));
  for (const char* p : {"b2", "A1", "c3", "a0", "B1", "ABC"}) ASSERT_TRUE(AddMember(kGroup, p, p));
  ASSERT_TRUE(AddMember(kGroup, "abc", ""));       // replaces ABC's row; the name is the phone
  ASSERT_TRUE(DeleteMemberByPhone(kGroup, "zz"));  // nobody's: true, and nothing goes
  std::string listed;
  for (unsigned n = 0; GetMemberAt(kGroup, n, &phone, &name); ++n) listed += phone + name + " ";
  EXPECT_EQ(listed, "a0a0 A1A1 abcabc B1B1 b2b2 c3c3 ");
  EXPECT_FALSE(GetMemberAt(kGroup, 6, &phone, &name) ||
               GetMemberAt(kGroup, static_cast<unsigned>(INT_MAX) + 1u, &phone, &name));
  ASSERT_TRUE(FindMemberByName(kGroup, "ABC", &phone));
  EXPECT_EQ(phone, "abc");
  // A name is free for its own member (in any case) and when nobody has it.
  EXPECT_TRUE(IsUserNameFree(kGroup, "A0", "A0") && IsUserNameFree(kGroup, "A1", "Nobody"));
  EXPECT_FALSE(IsUserNameFree(kGroup, "A1", "a0"));
  ASSERT_TRUE(DeleteMemberByPhone(kGroup, "b1"));
  EXPECT_FALSE(FindMemberByPhone(kGroup, "B1", &name) || GetMemberAt(kGroup, 5, &phone, &name));
  // Values are bound, never spliced into the SQL text.
  for (const std::string& value : Texts{"O'Brien", "\"5\"", "%s%n", "x'); DROP TABLE TESSARY;--",
                                        "' OR '1'='1", "NULL", "C:\\d\\", "\x01\x7f\xff\t\r\n",
                                        "\xc3\xa9t\xc3\xa9", std::string(kMaxUserNameChars, 'n')}) {
    EXPECT_FALSE(FindMemberByPhone(kGroup, value, &name) ||
                 FindMemberByName(kGroup, value, &phone));
    ASSERT_TRUE(AddMember(kGroup, value, "~" + value) && FindMemberByPhone(kGroup, value, &name) &&
                FindMemberByName(kGroup, "~" + value, &phone) &&
                DeleteMemberByPhone(kGroup, value));
    EXPECT_EQ(name + phone, "~" + value + value);
    EXPECT_FALSE(FindMemberByPhone(kGroup, value, &name) || GetMemberAt(kGroup, 5, &phone, &name));
  }
}

// Sizes around the page size; the numbers alternate in letter case and are
// added from the last, so the walk's order is neither byte nor row order. In
// the last walk members join before its position and after it and leave
// behind it: a walk by position would skip or repeat some, this one visits
// every member present throughout once. So it holds no lock while it visits.
TEST_F(StoreTest, WalkVisitsEveryMemberOnceInPhoneOrderWhileOthersJoinAndLeave) {
  std::vector<std::string> expected, walked;
  for (unsigned count : {0u, 1u, kMemberPageSize - 1, kMemberPageSize, kMemberPageSize + 1,
                         2 * kMemberPageSize + 1}) {
    const std::string group = "Walk" + std::to_string(count);
    expected.clear();
    for (unsigned n = 0; n < count; ++n)
      expected.push_back((n % 2 ? "X" : "x") + std::to_string(1000 + n));
    ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(group, {expected.rbegin(), expected.rend()}));
    for (unsigned stop : {1u, kMemberPageSize, kMemberPageSize + 1, UINT_MAX}) {
      walked.clear();
      ForEachMember(group, [&](const Member& member) {
        walked.push_back(member.phone +
                         (member.user_name == "n" + member.phone ? "" : " misnamed"));
        return walked.size() < stop;
      });
      EXPECT_EQ(walked, std::vector(expected.begin(), expected.begin() + std::min(stop, count)))
          << count << " members, stop at " << stop;
    }
  }
  walked.clear();
  ForEachMember("Walk201", [&walked](const Member& member) {
    if (member.phone[0] != 'y') walked.push_back(member.phone);
    if (member.phone[0] == 'y' || walked.size() % 10) return true;
    const std::string step = std::to_string(1000 + walked.size());
    EXPECT_TRUE(AddMember("Walk201", "w" + step, "") && AddMember("Walk201", "y" + step, "") &&
                (walked.size() % 20 || DeleteMemberByPhone("Walk201", walked[walked.size() - 2])));
    return true;
  });
  EXPECT_EQ(walked, expected);
}

// A deferred constraint makes COMMIT itself fail: that is no success, and
// the changes are rolled back.
TEST_F(StoreTest, FailedCommitIsReportedAndRolledBack) {
  const std::string path = root_ + "keys.db";
  SqliteDatabase db = OpenForWriting(path, "p",
                                     {"CREATE TABLE p (id INTEGER PRIMARY KEY);",
                                      "CREATE TABLE c (p REFERENCES p(id) DEFERRABLE "
                                      "INITIALLY DEFERRED);"});
  ASSERT_TRUE(db.Exec("PRAGMA foreign_keys=ON;"));
  {
    SqliteTransaction transaction(db);
    ASSERT_TRUE(transaction.active() && db.Exec("INSERT INTO c VALUES (7);"));
    EXPECT_FALSE(transaction.Commit());
  }
  EXPECT_EQ(QueryRows(path, "SELECT count(*) FROM c;"), (Rows{{"0"}}));
}

// Each column holds its own value past its limit (the line also quotes,
// backslashes, '%' and an empty word): an approval writes each back to its
// own column, cut to the limit, and re-runs the cut line once.
TEST_F(StoreTest, RequestsAreStoredExactlyAndApprovedOnceColumnByColumn) {
  const std::string line =
      ProbeLine("a \"b c\\d 'e' %s  @Friends:Bob;-- " + std::string(kMaxCommandLineChars, 'x'));
  const std::string field(kMaxStoredFieldChars, 'f'), cut = field.substr(1), before = ClockText();
  const uint32_t journal = QueueTransaction(kGroup, std::string_view(), "", "", "", true);
  const uint32_t id = QueueTransaction(kGroup, "r" + field, "p" + field, "u" + field, line, false);
  const uint32_t blanks = QueueTransaction(kGroup, "4000", "+1", "Ann", ProbeLine("a  b "), false);
  ASSERT_TRUE(AddMember(kGroup, "+1", "Ann"));
  const std::string after = ClockText();
  ASSERT_TRUE(journal != 0 && id > journal && blanks > id);
  Rows row = Request(id);
  const Rows joined = QueryRows(GroupFile(kGroup, kGroupDbName), "SELECT joinDate FROM TESSARY;");
  ASSERT_TRUE(row.size() == 1 && row[0].size() == 7 && joined.size() == 1);
  EXPECT_EQ(row, (Rows{{row[0][0], "r" + field, "p" + field, "u" + field, line, row[0][5], "No"}}));
  // Both files' dates: the local time, read between the clock's readings.
  for (const std::string& date : {row[0][5], joined[0][0]}) {
    EXPECT_TRUE(date.size() == before.size() && before <= date && date <= after)
        << date << " is not between " << before << " and " << after;
  }
  // Empty values are stored as empty texts, not as NULL.
  EXPECT_EQ(QueryRows(GroupFile(kGroup, kTransDbName),
                      "SELECT id FROM TRANSACTIONS WHERE receiveNumber='' AND phoneNumber='' AND "
                      "groupHandle='' AND command='' AND approvalStatus='Yes';"),
            (Rows{{std::to_string(journal)}}));

  for (uint32_t other : {journal, 0u, blanks + 1, UINT32_MAX}) {
    EXPECT_FALSE(RunApprovedTransaction(kGroup, other)) << other;
  }
  EXPECT_FALSE(RunApprovedTransaction("NoQueue", id) ||
               fs::exists(GroupFile("NoQueue", kTransDbName)) || fs::exists(probe_));
  ASSERT_TRUE(RunApprovedTransaction(kGroup, id) && RunApprovedTransaction(kGroup, blanks));
  EXPECT_FALSE(RunApprovedTransaction(kGroup, id));
  row[0] = {row[0][0], "r" + cut, "p" + cut, "u" + cut, line.substr(0, kMaxStoredCommandChars),
            row[0][5], "Yes"};
  EXPECT_EQ(Request(id), row);
  EXPECT_EQ(ReadFile(probe_), "10 Yes " + row[0][4] + "\n6 Yes " + ProbeLine("a  b ") + "\n");
  std::string admin;
  EXPECT_FALSE(platform::GetEnv(kAdminModeVariable, &admin));
}

TEST_F(StoreTest, ReRunOutlivingTheWaitIsLeftRunning) {
  const std::string line = "--hold " + probe_ + " " + home() + "go held";
  const uint32_t id = QueueTransaction(kGroup, "4000", "+1", "Ann", line, false);
  // The child cannot finish before the file "go" exists: returning here
  // proves the wait gave up and left it running.
  ASSERT_TRUE(id != 0 && RunApprovedTransaction(kGroup, id, 200));
  std::string admin;
  EXPECT_FALSE(fs::exists(probe_) || platform::GetEnv(kAdminModeVariable, &admin));
  WriteFile(home() + "go", "");
  for (int ms = 0; ms < 60000 && ReadFile(probe_).find('\n') == std::string::npos; ++ms) {
    platform::SleepMs(1);
  }
  EXPECT_EQ(ReadFile(probe_), "4 Yes " + line + "\n");
}

// Fifty processes at once into a group without files: each adds a member and
// queues a request (both databases made once, no row lost, distinct ids),
// and each approves the same held request of another group, which runs once.
TEST_F(StoreTest, FiftyProcessesAddingToANewGroupLeaveFiftyRows) {
  const uint32_t held = QueueTransaction("Held", "4000", "+1", "Ann", ProbeLine("once"), false);
  ASSERT_NE(held, 0u);
  std::vector<platform::Child> children;
  Rows expected;
  for (int i = 0; i < 50; ++i) {
    children.push_back(platform::Child::Start({platform::ProgramPath(), "--storm", home() + "gate",
                                               std::to_string(i), std::to_string(held)}));
    ASSERT_TRUE(children.back().started()) << i;
    expected.push_back({"+1555000" + std::to_string(1000 + i), "User" + std::to_string(i)});
  }
  WriteFile(home() + "gate", "");  // all start their writes at once
  int approvals = 0;
  for (platform::Child& child : children) {
    ASSERT_TRUE(child.Wait(kChildWaitMs));
    EXPECT_TRUE(child.exit_code() == 0 || child.exit_code() == 10) << child.exit_code();
    approvals += child.exit_code() == 10 ? 1 : 0;
  }
  EXPECT_EQ(approvals, 1);
  EXPECT_EQ(ReadFile(probe_), "3 Yes " + ProbeLine("once") + "\n");
  const std::string members = GroupFile("Crowd", kGroupDbName);
  const std::string queue = GroupFile("Crowd", kTransDbName);
  EXPECT_EQ(QueryRows(members, "SELECT phoneNumber, userName FROM TESSARY ORDER BY 1;"), expected);
  EXPECT_EQ(QueryRows(queue,
                      "SELECT count(DISTINCT id), count(DISTINCT phoneNumber) FROM "
                      "TRANSACTIONS;"),
            (Rows{{"50", "50"}}));
  // The schemas other tools rely on, made once; SQLite keeps each text
  // without its ';' and with the first two words in capitals.
  const char kSchemas[] = "SELECT sql || ';' FROM sqlite_master WHERE sql NOT NULL;";
  EXPECT_EQ(QueryRows(queue, kSchemas), (Rows{{kTransTableStatement}}));
  EXPECT_EQ(
      QueryRows(members, kSchemas),
      (Rows{{kMemberTableStatement}, {"CREATE INDEX" + std::string(kMemberIndexStatement + 12)}}));
}

// GROUP.INI files just outside the store root and in it, each blocking "123"
// and naming it owner, so that a name escaping the root would find one.
TEST_F(StoreTest, UnsafeGroupNamesNeverLeaveTheStoreRoot) {
  const std::string ini = "[Group]\r\nOwner=123\r\n[Blocked]\r\n123=Blocked\r\n";
  WriteFile(home() + kGroupIniName, ini);
  WriteFile(root_ + kGroupIniName, ini);
  const auto entries = [this] {
    return std::distance(fs::recursive_directory_iterator(home()), {});
  };
  const auto before = entries();
  for (const std::string& name :
       Texts{".", "..", "../x", "a/b", "/tmp", "a\\b", "GROUP.INI", "errorctr.ini",
             std::string("a\0b", 3), std::string(kMaxPathComponentBytes + 1, 'g')}) {
    std::string path = "stale", other = "stale";
    EXPECT_FALSE(IsSafeGroupName(name) || GroupIniPath(name, &path) || GroupExists(name) ||
                 GroupFolderPath(name, &other) || IsBlocked(name, "123") ||
                 IsGroupAdmin("123", name) || BlockUser(name, "456") ||
                 WriteGroupValue(name, kGroupSection, kOwnerKey, "4") ||
                 DeleteGroupKey(name, kGroupSection, kOwnerKey) ||
                 DeleteGroupSection(name, kBlockedSection) || AddMember(name, "1", "Ann") ||
                 QueueTransaction(name, "4000", "1", "Ann", "x", false) != 0)
        << name;
    EXPECT_EQ(path + other + ReadGroupValue(name, kGroupSection, kOwnerKey, "none") +
                  ReadGroupSection(name, kBlockedSection),
              std::string("none\0\0", 6))
        << name;
  }
  EXPECT_EQ(entries(), before);
  EXPECT_EQ(ReadFile(home() + kGroupIniName) + ReadFile(root_ + kGroupIniName), ini + ini);
  // A default is cut to the read's buffer, as a read from a file cuts it.
  EXPECT_EQ(ReadGroupValue("..", kGroupSection, kOwnerKey, std::string(kProfileValueBuffer, 'd')),
            std::string(kProfileValueBuffer - 1, 'd'));
}

TEST_F(StoreTest, PathsOfTheStoreRootAndOfGroupsInAnyCaseAndTheirLimit) {
  fs::remove(root_);
  const std::string friends = root_ + "Friends" + kSep;
  std::string path, folder;
  ASSERT_TRUE(GroupIniPath("", &path) && GroupIniPath("Friends", &folder));
  EXPECT_EQ(path + " " + folder, root_ + "GROUP.INI " + friends + "GROUP.INI");
  ASSERT_TRUE(GroupFolderPath("Friends", &path));  // makes only the last folder, silently
  EXPECT_FALSE(fs::exists(root_));                 // and the INI paths make nothing
  ASSERT_TRUE(GroupFolderPath("", &path) && GroupFolderPath("Friends", &folder));
  EXPECT_EQ(path + " " + folder, root_ + " " + friends);
  WriteFile(root_ + kGroupIniName, "[Group]\r\n");
  // Neither a folder alone nor the store-wide file is a group.
  EXPECT_FALSE(GroupExists("Friends") || GroupExists("") || IsSafeGroupName(""));
  ASSERT_TRUE(WriteGroupValue("friends", kGroupSection, kOwnerKey, "123"));
  for (const char* spelling : {"FRIENDS", "friends", "fRiEnDs"}) {
    ASSERT_TRUE(GroupFolderPath(spelling, &path));
    // The Windows file system ignores case, and the path keeps the name as given.
    EXPECT_TRUE(OnWindows() ? EqualsNoCase(path, friends) : path == friends) << path;
    EXPECT_TRUE(GroupExists(spelling) && IsGroupAdmin("123", spelling)) << spelling;
  }
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(root_), {}), 3);
  // Under a data directory (that need not exist) of 3960 bytes: the longest
  // name that leaves room for the store's file names, and one more.
  std::string base = "/nonexistent";
  while (base.size() < 3750) base += "/" + std::string(200, 'd');
  ScopedEnv env(kDataHomeVariable, base += "/" + std::string(3958 - base.size(), 'e') + "/");
  const size_t longest = kMaxStorePathBytes - kStoreFileRoom - 1 - base.size() - 7;
  ASSERT_TRUE(GroupIniPath(std::string(longest, 'n'), &path));
  EXPECT_EQ(path.size() - (sizeof(kGroupIniName) - 1) + kStoreFileRoom, kMaxStorePathBytes);
  EXPECT_FALSE(GroupIniPath(std::string(longest + 1, 'n'), &path) ||
               GroupFolderPath(std::string(longest + 1, 'n'), &path) || !path.empty());
}

TEST_F(StoreTest, ExactSpellingWinsAndTheLongestFolderNameFits) {
  if (OnWindows()) {
    GTEST_SKIP() << "the Windows file system ignores case (beta and BETA are one folder), and "
                    "its paths hold at most 259 characters";
  }
  fs::create_directory(root_ + "beta");
  fs::create_directory(root_ + "BETA");
  WriteFile(root_ + "gamma", "a file, not a group folder");
  std::string beta, other_case, gamma, longest;
  ASSERT_TRUE(GroupFolderPath("beta", &beta) && GroupFolderPath("Beta", &other_case) &&
              GroupFolderPath("GAMMA", &gamma));
  // Of several folders of the name the byte-wise smallest wins.
  EXPECT_EQ(beta + other_case + gamma, root_ + "beta/" + root_ + "BETA/" + root_ + "GAMMA/");
  EXPECT_TRUE(GroupFolderPath(std::string(kMaxPathComponentBytes, 'c'), &longest) &&
              fs::is_directory(longest));
}

TEST_F(StoreTest, PropertiesRightsAndLists) {
  std::string folder, owner;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  // An entry of [Group] and what the group is then: public, private,
  // moderated, broadcast, unmoderated, notify.
  for (const std::string row :
       {":000010", "PostType=:000000", "PostType=moderated:001000", "PostType=BROADCAST:000100",
        "MembershipType=public:100010", "MembershipType=PRIVATE:010010", "Notify=1:000011"}) {
    WriteFile(folder + kGroupIniName, "[Group]\r\n" + row.substr(0, row.find(':')) + "\r\n");
    std::string flags;
    for (bool flag : {IsPublicGroup("club"), IsPrivateGroup("club"), IsModeratedGroup("club"),
                      IsBroadcastGroup("club"), IsUnmoderatedGroup("club"), IsNotifyOn("club")}) {
      flags += flag ? '1' : '0';
    }
    EXPECT_EQ(flags, row.substr(row.find(':') + 1)) << row;
  }
  WriteFile(folder + kGroupIniName,
            "[Group]\r\nOwner=Own3r\r\n[Admin]\r\nEmpty=\r\nBoss=Admin\r\n"
            "[AuthUser]\r\nPoster=AuthUser\r\nSilent=\r\n[Blocked]\r\nPest=Blocked\r\nOk=\r\n");
  EXPECT_TRUE(IsGroupAdmin("own3r", "Club") && IsGroupAdmin("BOSS", "Club") &&
              IsAuthUser("Club", "poster") && IsBlocked("Club", "PEST"));
  EXPECT_FALSE(IsGroupAdmin("Empty", "Club") || IsGroupAdmin("Poster", "Club") ||
               IsAuthUser("Club", "Silent") || IsAuthUser("Club", "Boss") ||
               IsBlocked("Club", "Ok"));
  // A key that would read back as another key, or as a section header, would
  // let a number put in one list grant a right in another.
  for (const char* phone : {"[Admin]", " [Admin]", ";123", "123=Admin", "", "  "}) {
    EXPECT_FALSE(IsSafeProfileKey(phone) || BlockUser("Club", phone)) << phone;
  }
  fs::remove(folder + kGroupIniName);
  EXPECT_FALSE(IsGroupAdmin("", "Club"));  // an empty phone is not the missing owner
  // The store-wide block list is a list of its own.
  WriteFile(root_ + kGroupIniName, "[Blocked]\r\n999=Blocked\r\n");
  ASSERT_TRUE(IsSafeProfileKey("+4712345678") && BlockUser("Club", "123"));
  EXPECT_TRUE(IsBlocked("", "999") && IsBlocked("Club", "123"));
  EXPECT_FALSE(IsBlocked("Club", "999") || IsBlocked("", "123") || IsGroupAdmin("123", "Club"));
  EXPECT_FALSE(BlockUser("Nowhere", "123") || fs::exists(root_ + "Nowhere"));
  // Writes and deletes hit their keys and sections; the owner is cut to its buffer.
  ASSERT_TRUE(WriteGroupValue("Club", kAdminSection, "111", kAdminValue) &&
              WriteGroupValue("Club", kGroupSection, kOwnerKey, std::string(kOwnerBuffer, '7')) &&
              DeleteGroupKey("CLUB", kBlockedSection, "123") &&
              DeleteGroupSection("club", kAdminSection));
  EXPECT_EQ(ReadGroupSection("Club", kBlockedSection) + ReadGroupSection("Club", kAdminSection),
            std::string(4, '\0'));
  EXPECT_EQ(GetGroupOwner("Club", &owner), kOwnerBuffer - 1);
  EXPECT_EQ(owner, std::string(kOwnerBuffer - 1, '7'));
  EXPECT_TRUE(GetGroupOwner("Missing", &owner) == 0 && owner.empty());
}

TEST_F(StoreTest, ErrorCountsGrowUntilAResetAndReadAsDecimalNumbers) {
  const std::string sender = "+4712345678", counter = root_ + kErrorCounterName;
  fs::remove(root_);
  for (unsigned run = 1; run <= kQuietAfterFailures + 1; ++run) {  // the first makes the root
    ASSERT_TRUE(IncrementErrorCount(sender));
    ASSERT_EQ(GetErrorCount(sender), run);
  }
  EXPECT_EQ(GetErrorCount("+4799999999"), 0u);
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n+4712345678=11\r\n");
  EXPECT_TRUE(ResetErrorCount(sender));
  EXPECT_FALSE(ResetErrorCount(sender));  // at 0 it writes nothing
  EXPECT_EQ(GetErrorCount(sender), 0u);
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n");
  // A stored value and the count it reads as; an increment at the top stays
  // there instead of wrapping.
  for (const std::string row : {"7x:7", "abc:0", "  12:12", "-3:0", "4294967295:4294967295",
                                "99999999999999999999:4294967295"}) {
    const auto count = static_cast<unsigned>(ParseLeadingLong(row.substr(row.find(':') + 1)));
    WriteFile(counter, "[Errors]\r\n" + sender + "=" + row.substr(0, row.find(':')) + "\r\n");
    EXPECT_EQ(GetErrorCount(sender), count) << row;
    ASSERT_TRUE(IncrementErrorCount(sender));
    EXPECT_EQ(GetErrorCount(sender), count == UINT_MAX ? count : count + 1) << row;
  }
  // A sender that is no key is never counted, even where a lookup would find a line.
  WriteFile(counter, "[Errors]\r\n=5\r\n");
  for (const char* no_key : {"", " ", "+47=1", "[Errors]"}) {
    EXPECT_FALSE(GetErrorCount(no_key) || IncrementErrorCount(no_key) || ResetErrorCount(no_key))
        << no_key;
  }
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n=5\r\n");
}

TEST(DataDirectoryTest, KavrelHomeWithOneSeparatorOrNoDirectoryWithoutAnyVariable) {
  const std::string separated = std::string("/srv/kavrel") + kSep;
  for (const std::string home : {"/srv/kavrel", "/srv/kavrel/", separated.c_str()}) {
    ScopedEnv env(kDataHomeVariable, home);
    std::string program, tool;
    ASSERT_TRUE(GetProgramDataDirectory(&program) && GetPrivateDataDirectory(&tool));
    EXPECT_EQ(program + tool, (home == "/srv/kavrel" ? separated : home) + program);
  }
  ScopedEnv kavrel(kDataHomeVariable, std::nullopt), xdg(kXdgDataHomeVariable, std::nullopt);
  ScopedEnv home(kHomeVariable, std::nullopt), program_data(kProgramDataVariable, std::nullopt);
  std::string directory = "stale";
  PendrelHandle handle = 1;
  EXPECT_FALSE(GetProgramDataDirectory(&directory) || GroupFolderPath("", &directory) ||
               PendrelOpenUserFile(&handle, kPendrelReadAccess) || UserExists("alice"));
  EXPECT_TRUE(directory.empty() && StoreBaseDirectory().empty());
}

// Without KAVREL_HOME (unset or empty): $XDG_DATA_HOME/kavrel/ when that is
// an absolute path, else $HOME/.local/share/kavrel/, made with its parents.
TEST(DataDirectoryTest, PosixFallbackIsMadeWithItsParents) {
  if (OnWindows()) GTEST_SKIP() << "Windows keeps the data in %ProgramData%, not in XDG folders";
  for (const std::string xdg : {"/xdg/deep/", "", "relative/xdg"}) {
    TempDir temp;
    ScopedEnv kavrel(kDataHomeVariable, xdg.empty() ? std::nullopt : std::optional(""));
    ScopedEnv xdg_home(kXdgDataHomeVariable, xdg[0] == '/' ? temp.path() + xdg.substr(1) : xdg);
    ScopedEnv user_home(kHomeVariable, temp.path() + "user");
    std::string directory;
    EXPECT_TRUE(GetProgramDataDirectory(&directory) && fs::is_directory(directory)) << xdg;
    EXPECT_EQ(directory,
              temp.path() + (xdg[0] == '/' ? "xdg/deep/" : "user/.local/share/") + "kavrel/");
  }
}

// Without KAVREL_HOME: %ProgramData%\Kavrel\, made with its parents.
TEST(DataDirectoryTest, WindowsFallbackIsTheProgramDataFolder) {
  if (!OnWindows()) GTEST_SKIP() << "POSIX keeps the data in the XDG folders";
  TempDir temp;
  ScopedEnv kavrel(kDataHomeVariable, std::nullopt);
  ScopedEnv program_data(kProgramDataVariable, temp.path() + "data");
  std::string directory;
  EXPECT_TRUE(GetProgramDataDirectory(&directory) && fs::is_directory(directory));
  EXPECT_EQ(directory, temp.path() + "data\\Kavrel\\");
}

TEST_F(StoreTest, AccountsAreFoundWithoutRegardToCaseWithTheirPasswords) {
  EXPECT_FALSE(UserExists("alice"));  // no USERS.INI: an empty list
  WriteFile(home() + kUsersFileName,
            "[Other]\r\nghost=boo\r\n[Users]\r\nAlice=secret\r\n+4712345678=\r\n"
            "Quoted=\"two words\"\r\nbare\r\n=nameless\r\n");
  // An account and its password; "!" for no account.
  for (const std::string row :
       {"Alice:secret", "ALICE:secret", "alice:secret", "Alic:!", "Alice2:!",
        "+4712345678:", "Quoted:two words", "ghost:!", "bare:!", ":!"}) {
    const std::string account = row.substr(0, row.find(':'));
    std::string read = "stale";
    GetUserPassword(account, &read);
    EXPECT_EQ(UserExists(account) ? read : "!" + read, row.substr(row.find(':') + 1)) << account;
  }
  // The longest password a record holds: from its offset up to a closing NUL.
  const size_t longest = kUserRecordBytes - kUserRecordPasswordOffset - 1;
  PendrelHandle handle = 0;
  UserRecord record;
  for (const size_t length : {longest, longest + 1}) {
    WriteFile(home() + kUsersFileName, "[Users]\r\nowner=" + std::string(length, 'p') + "\r\n");
    std::string read;
    GetUserPassword("owner", &read);
    EXPECT_EQ(read, std::string(longest, 'p'));
    record.fill('x');
    ASSERT_NE(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
    EXPECT_TRUE(PendrelFindUserRecord(handle, "OWNER", &record) && record.back() == '\0');
    PendrelCloseUserFile(handle);
  }
  // At most kMaxOpenUserFiles lists open at once, for reading only; a closed
  // handle finds nothing.
  EXPECT_EQ(PendrelOpenUserFile(&handle, kPendrelReadAccess | 0x40000000u), 0);
  std::vector<PendrelHandle> handles(kMaxOpenUserFiles);
  for (PendrelHandle& open : handles) ASSERT_NE(PendrelOpenUserFile(&open, kPendrelReadAccess), 0);
  EXPECT_FALSE(PendrelOpenUserFile(&handle, kPendrelReadAccess) || UserExists("owner"));
  PendrelCloseUserFile(handles.front());
  EXPECT_TRUE(!PendrelFindUserRecord(handles.front(), "owner", &record) && UserExists("owner"));
  for (const PendrelHandle open : handles) PendrelCloseUserFile(open);
}

}  // namespace

// The child modes (see main.cc), named by the first argument:
//   --probe OUT ...    appends to OUT a line: its argument count, TessaryAdmin
//                      and its arguments, joined by spaces
//   --hold OUT GO ...  waits for GO to exist, then does what --probe does
//   --storm GATE N ID  waits for GATE to exist, adds member N to Crowd and
//                      queues a request there, then approves request ID of
//                      Held: exit 10 when that ran, 0 when not, 1 on a failure
std::optional<int> RunChildMode(const std::vector<std::string>& args) {
  const std::string mode = args.empty() ? "" : args[0];
  if (mode == "--storm" && args.size() == 4) {
    if (!WaitForFile(args[1])) return 2;
    const std::string phone = "+1555000" + std::to_string(1000 + ParseLeadingLong(args[2]));
    if (!AddMember("Crowd", phone, "User" + args[2]) ||
        QueueTransaction("Crowd", "4000", phone, "Ann", "x", false) == 0) {
      return 1;
    }
    return RunApprovedTransaction("Held", static_cast<uint32_t>(ParseLeadingLong(args[3]))) ? 10
                                                                                            : 0;
  }
  if ((mode != "--probe" || args.size() < 2) && (mode != "--hold" || args.size() < 3)) {
    return std::nullopt;
  }
  if (mode == "--hold" && !WaitForFile(args[2])) return 2;
  std::string admin = "-", line;
  platform::GetEnv(kAdminModeVariable, &admin);
  for (const std::string& arg : args) line += " " + arg;
  std::ofstream(args[1], std::ios::binary | std::ios::app)
      << args.size() << " " << admin << line << '\n';
  return 0;
}
