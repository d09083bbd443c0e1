// The store: folders, GROUP.INI, GROUP.DB, TRANS.DB, SQLite, error counts, user directory.
#include <gtest/gtest.h>

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
using Str = const std::string&;
const char kSep = platform::PathSeparator();
constexpr char kGroup[] = "Friends";

// Waits a minute at least (fifty children starting on a busy machine).
bool WaitForFile(Str path) {
  for (int ms = 0; ms < 60000 && !fs::exists(path); ++ms) platform::SleepMs(1);
  return fs::exists(path);
}

std::string ReadFile(Str path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}
void WriteFile(Str path, Str text) { std::ofstream(path, std::ios::binary) << text; }

Rows QueryRows(Str path, Str sql) {
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
  return {text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now))};
}

std::string Folder(Str group) {
  std::string path;
  return GroupFolderPath(group, &path) ? path : "!";
}

// Rows as AddMember writes them (names "n" + phone), in one fast transaction.
void AddMembersAtOnce(Str group, const std::vector<std::string>& phones) {
  SqliteDatabase db = OpenForWriting(Folder(group) + kGroupDbName, "TESSARY",
                                     {kMemberTableStatement, kMemberIndexStatement});
  SqliteTransaction transaction(db);
  for (Str phone : phones) {
    SqliteStatement insert(db, "INSERT into TESSARY VALUES (?,?,'2024-01-01 00:00:00');");
    ASSERT_TRUE(insert.BindAll({phone, "n" + phone}) && insert.StepDone()) << phone;
  }
  ASSERT_TRUE(transaction.Commit());
}

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A re-run splits the stored line at spaces: a path with one would break.
    ASSERT_TRUE(!home().empty() && home().find(' ') == std::string::npos) << home();
    SetStoreBase(StoreBase::kProgramData);
    ASSERT_EQ(root_ = Folder(""), home() + kStoreFolderName + kSep);
  }
  const std::string& home() const { return dir_.path(); }
  std::string File(Str g, const char* name) const { return root_ + g + kSep + name; }
  // A request line whose re-run is a probe (see the end) writing to probe_.
  std::string Probe(Str words) const { return "--probe " + probe_ + " " + words; }

  TempDir dir_;
  ScopedEnv home_{kDataHomeVariable, dir_.path()}, admin_{kAdminModeVariable, std::nullopt};
  std::string root_;  // with a trailing separator
  std::string probe_ = dir_.path() + "probe.out";
};

TEST_F(StoreTest, MembersAreKeyedByPhoneInAnyCaseAndStoredByteForByte) {
  std::string phone, name = "none";
  std::vector<Member> page = {{"stale", "stale"}};
  ForEachMember(kGroup, [&name](const Member& member) { return (name = member.phone).empty(); });
  // Without GROUP.DB nobody is found or visited, and no file is made.
  EXPECT_FALSE(FindMemberByPhone(kGroup, "a0", &name) || FindMemberByName(kGroup, "a0", &phone) ||
               GetMemberAt(kGroup, 0, &phone, &name) || DeleteMemberByPhone(kGroup, "a0") ||
               GetFirstMembers(kGroup, 9, &page) || GetMembersAfter(kGroup, "", 9, &page));
  EXPECT_TRUE(IsUserNameFree(kGroup, "a0", "Ann") && page.empty() && name == "none");
  EXPECT_TRUE(fs::is_empty(root_ + kGroup));
  // An add that died after making the file left it empty: the next one makes the table.
  WriteFile(File(kGroup, kGroupDbName), "");
  for (const char* p : {"b2", "A1", "c3", "a0", "B1", "ABC"}) ASSERT_TRUE(AddMember(kGroup, p, p));
  ASSERT_TRUE(AddMember(kGroup, "abc", ""));       // replaces ABC's row; the name is the phone
  ASSERT_TRUE(DeleteMemberByPhone(kGroup, "zz"));  // nobody's: true, and nothing goes
  std::string listed;
  for (unsigned n = 0; GetMemberAt(kGroup, n, &phone, &name); ++n) listed += phone + name + " ";
  EXPECT_EQ(listed, "a0a0 A1A1 abcabc B1B1 b2b2 c3c3 ");
  // A name is free for its own member (in any case) and when nobody has it.
  EXPECT_TRUE(IsUserNameFree(kGroup, "A0", "A0") && IsUserNameFree(kGroup, "A1", "Nobody") &&
              FindMemberByName(kGroup, "ABC", &phone) && phone == "abc");
  ASSERT_TRUE(!IsUserNameFree(kGroup, "A1", "a0") && DeleteMemberByPhone(kGroup, "b1"));
  // Values are bound, never spliced into the SQL text.
  for (Str value : Texts{"O'Brien", "\"5\"", "%s%n", "x'); DROP TABLE TESSARY;--", "' OR '1'='1",
                         "NULL", "C:\\d\\", "\x01\x7f\xff\t\r\n", "\xc3\xa9t\xc3\xa9",
                         std::string(kMaxUserNameChars, 'n')}) {
    ASSERT_TRUE(AddMember(kGroup, value, "~" + value) && FindMemberByPhone(kGroup, value, &name) &&
                FindMemberByName(kGroup, "~" + value, &phone) &&
                DeleteMemberByPhone(kGroup, value));
    EXPECT_EQ(name + phone, "~" + value + value);
    EXPECT_FALSE(FindMemberByPhone(kGroup, value, &name) || GetMemberAt(kGroup, 5, &phone, &name));
  }
}

// Sizes around the page size, added from the last in alternating case; then members join
// before and after the walk's position and leave behind it, which no walk may skip or repeat.
TEST_F(StoreTest, WalkVisitsEveryMemberOnceInPhoneOrderWhileOthersJoinAndLeave) {
  std::vector<std::string> expected;
  for (unsigned count : {0u, 1u, kMemberPageSize - 1, kMemberPageSize, kMemberPageSize + 1,
                         2 * kMemberPageSize + 1}) {
    const std::string group = "W" + std::to_string(count);
    std::vector<std::string> walked;
    expected.clear();
    for (unsigned n = 0; n < count; ++n) expected.push_back("xX"[n % 2] + std::to_string(n + 1000));
    ASSERT_NO_FATAL_FAILURE(AddMembersAtOnce(group, {expected.rbegin(), expected.rend()}));
    ForEachMember(group, [&walked](const Member& member) {
      walked.push_back(member.phone + (member.user_name == "n" + member.phone ? "" : " misnamed"));
      return true;
    });
    EXPECT_EQ(walked, expected) << count;
  }
  std::vector<std::string> walked;
  ForEachMember("W201", [&walked](const Member& member) {
    if (member.phone[0] != 'y') walked.push_back(member.phone);
    if (member.phone[0] == 'y' || walked.size() % 10) return true;
    const std::string step = std::to_string(1000 + walked.size());
    EXPECT_TRUE(AddMember("W201", "w" + step, "") && AddMember("W201", "y" + step, "") &&
                (walked.size() % 20 || DeleteMemberByPhone("W201", walked[walked.size() - 2])));
    return true;
  });
  EXPECT_EQ(walked, expected);
}

// A deferred constraint makes COMMIT itself fail: no success, and rolled back.
TEST_F(StoreTest, FailedCommitIsReportedAndRolledBack) {
  SqliteDatabase db =
      OpenForWriting(root_ + "k.db", "p",
                     {"CREATE TABLE p (id PRIMARY KEY);",
                      "CREATE TABLE c (p REFERENCES p DEFERRABLE INITIALLY DEFERRED);"});
  ASSERT_TRUE(db.Exec("PRAGMA foreign_keys=ON;"));
  {
    SqliteTransaction transaction(db);
    ASSERT_TRUE(transaction.active() && db.Exec("INSERT INTO c VALUES (7);"));
    EXPECT_FALSE(transaction.Commit());
  }
  EXPECT_EQ(QueryRows(root_ + "k.db", "SELECT count(*) FROM c;"), (Rows{{"0"}}));
}

// Each column its own value past its limit (the line with quotes, backslashes, '%', an empty
// word): approval writes each back to its column, cut, and re-runs the line once as admin.
TEST_F(StoreTest, RequestsAreStoredExactlyAndApprovedOnceColumnByColumn) {
  const std::string trans = File(kGroup, kTransDbName), field(kMaxStoredFieldChars, 'f');
  const std::string line =
      Probe("a \"b c\\d 'e' %s  @Friends:Bob;-- " + std::string(kMaxStoredCommandChars, 'x'));
  const std::string before = ClockText(), cut = field.substr(1);
  const uint32_t journal = QueueTransaction(kGroup, std::string_view(), "", "", "", true);
  const uint32_t id = QueueTransaction(kGroup, "r" + field, "p" + field, "u" + field, line, false);
  const uint32_t blanks = QueueTransaction(kGroup, "4000", "+1", "Ann", Probe("a  b "), false);
  ASSERT_TRUE(AddMember(kGroup, "+1", "Ann"));
  const std::string after = ClockText(), select = "SELECT * FROM TRANSACTIONS WHERE id=";
  ASSERT_TRUE(journal != 0 && id > journal && blanks > id);
  Rows row = QueryRows(trans, select + std::to_string(id));
  const Rows joined = QueryRows(File(kGroup, kGroupDbName), "SELECT joinDate FROM TESSARY;");
  ASSERT_TRUE(row.size() == 1 && row[0].size() == 7 && joined.size() == 1);
  EXPECT_EQ(row, (Rows{{row[0][0], "r" + field, "p" + field, "u" + field, line, row[0][5], "No"}}));
  // Both files' dates: the local time, read between the clock's readings.
  for (Str date : {row[0][5], joined[0][0]})
    EXPECT_TRUE(date.size() == before.size() && before <= date && date <= after)
        << date << " is not between " << before << " and " << after;
  // Empty values are stored as empty texts, not as NULL.
  EXPECT_EQ(QueryRows(trans,
                      "SELECT id FROM TRANSACTIONS WHERE receiveNumber || phoneNumber || "
                      "groupHandle || command = '' AND approvalStatus = 'Yes';"),
            (Rows{{std::to_string(journal)}}));
  for (uint32_t other : {journal, 0u, blanks + 1, UINT32_MAX})  // none runs: see the probe
    EXPECT_FALSE(RunApprovedTransaction(kGroup, other)) << other;
  EXPECT_FALSE(RunApprovedTransaction("NoQueue", id) || fs::exists(File("NoQueue", kTransDbName)));
  ASSERT_TRUE(RunApprovedTransaction(kGroup, id) && RunApprovedTransaction(kGroup, blanks) &&
              !RunApprovedTransaction(kGroup, id));  // once only
  row[0] = {row[0][0], "r" + cut, "p" + cut, "u" + cut, line.substr(0, kMaxStoredCommandChars),
            row[0][5], "Yes"};
  EXPECT_EQ(QueryRows(trans, select + std::to_string(id)), row);
  std::string runs = "10 Yes " + row[0][4] + "\n6 Yes " + Probe("a  b ") + "\n", admin;
  EXPECT_EQ(ReadFile(probe_), runs);
  // A re-run still running when the wait ends (this one waits for "go") is left running.
  const std::string hold = "--hold " + probe_ + " " + home() + "go held";
  ASSERT_TRUE(RunApprovedTransaction(kGroup, QueueTransaction(kGroup, "", "", "", hold, 0), 200));
  EXPECT_EQ(ReadFile(probe_), runs);
  WriteFile(home() + "go", "");
  runs += "4 Yes " + hold + "\n";
  for (int ms = 0; ms < 60000 && ReadFile(probe_) != runs; ++ms) platform::SleepMs(1);
  EXPECT_EQ(ReadFile(probe_), runs);
  EXPECT_FALSE(platform::GetEnv(kAdminModeVariable, &admin));
}

// Fifty processes each add a member to and queue a request in a new group, and approve the
// same held request of another group.
TEST_F(StoreTest, FiftyProcessesAddingToANewGroupLeaveFiftyRows) {
  const uint32_t held = QueueTransaction("Held", "4000", "+1", "Ann", Probe("once"), false);
  std::vector<platform::Child> children;
  Rows expected;
  for (int i = 0; i < 50; ++i) {
    children.push_back(platform::Child::Start({platform::ProgramPath(), "--storm", home() + "gate",
                                               std::to_string(i), std::to_string(held)}));
    ASSERT_TRUE(held != 0 && children.back().started()) << i;
    expected.push_back({"+1555000" + std::to_string(1000 + i), "User" + std::to_string(i)});
  }
  WriteFile(home() + "gate", "");  // all start their writes at once
  int approvals = 0;               // a child still running counts a hundred
  for (platform::Child& child : children)
    approvals += child.Wait(kChildWaitMs) ? child.exit_code() == 10 : 100;
  EXPECT_EQ(ReadFile(probe_) + std::to_string(approvals), "3 Yes " + Probe("once") + "\n1");
  const std::string members = File("Crowd", kGroupDbName), queue = File("Crowd", kTransDbName);
  EXPECT_EQ(QueryRows(members, "SELECT phoneNumber, userName FROM TESSARY ORDER BY 1;"), expected);
  EXPECT_EQ(
      QueryRows(queue, "SELECT count(DISTINCT id), count(DISTINCT phoneNumber) FROM TRANSACTIONS"),
      (Rows{{"50", "50"}}));
  // The schemas other tools rely on, made once (kept without ';', two first words in capitals).
  const char kSchemas[] = "SELECT sql || ';' FROM sqlite_master WHERE sql NOT NULL;";
  EXPECT_EQ(QueryRows(queue, kSchemas), (Rows{{kTransTableStatement}}));
  EXPECT_EQ(
      QueryRows(members, kSchemas),
      (Rows{{kMemberTableStatement}, {"CREATE INDEX" + std::string(kMemberIndexStatement + 12)}}));
}

// GROUP.INI files just outside the store root and in it, each blocking "123" and naming it owner.
TEST_F(StoreTest, UnsafeGroupNamesNeverLeaveTheStoreRoot) {
  const std::string ini = "[Group]\r\nOwner=123\r\n[Blocked]\r\n123=Blocked\r\n";
  for (Str folder : {home(), root_}) WriteFile(folder + kGroupIniName, ini);
  const auto before = std::distance(fs::recursive_directory_iterator(home()), {});
  for (Str name : Texts{".", "..", "../x", "a/b", "/tmp", "a\\b", "GROUP.INI", "errorctr.ini",
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
              std::string("none\0\0", 6));
  }
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(home()), {}), before);
  EXPECT_EQ(ReadFile(home() + kGroupIniName) + ReadFile(root_ + kGroupIniName), ini + ini);
  // A default is cut to the read's buffer, as a read from a file cuts it.
  EXPECT_EQ(ReadGroupValue("..", kGroupSection, kOwnerKey, std::string(kProfileValueBuffer, 'd')),
            std::string(kProfileValueBuffer - 1, 'd'));
}

TEST_F(StoreTest, PathsOfTheStoreRootAndOfGroupsFoundInAnyCase) {
  fs::remove(root_);
  const std::string friends = root_ + "Friends" + kSep;
  std::string path, ini;
  ASSERT_TRUE(GroupIniPath("", &path) && GroupIniPath("Friends", &ini));
  EXPECT_EQ(path + " " + ini, root_ + "GROUP.INI " + friends + "GROUP.INI");
  EXPECT_EQ(Folder("Friends"), friends);  // makes only the last folder, silently
  EXPECT_FALSE(fs::exists(root_));        // and the INI paths make nothing
  EXPECT_EQ(Folder(""), root_);           // the root first, then the group's folder in it
  EXPECT_EQ(Folder("Friends"), friends);
  WriteFile(root_ + kGroupIniName, "[Group]\r\n");
  // Neither a folder alone nor the store-wide file is a group.
  EXPECT_FALSE(GroupExists("Friends") || GroupExists("") || IsSafeGroupName(""));
  ASSERT_TRUE(WriteGroupValue("friends", kGroupSection, kOwnerKey, "123"));
  // The Windows file system ignores case, and the path keeps the name as given.
  path = Folder("fRiEnDs");
  EXPECT_TRUE(OnWindows() ? EqualsNoCase(path, friends) : path == friends) << path;
  EXPECT_TRUE(GroupExists("FRIENDS") && IsGroupAdmin("123", "fRiEnDs"));
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(root_), {}), 3);
  if (OnWindows()) return;  // a file system that ignores case, paths of at most 259 characters
  // Of several folders of the name the byte-wise smallest wins; the longest name fits.
  for (const char* beta : {"beta", "BETA"}) fs::create_directory(root_ + beta);
  WriteFile(root_ + "gamma", "a file, not a group folder");
  EXPECT_TRUE(fs::is_directory(Folder(std::string(kMaxPathComponentBytes, 'c'))));
  EXPECT_EQ(Folder("beta") + Folder("Beta") + Folder("GAMMA"),
            root_ + "beta/" + root_ + "BETA/" + root_ + "GAMMA/");
}

TEST_F(StoreTest, RightsAndListsOfAGroupAndOfTheStore) {
  const std::string folder = Folder("Club");
  std::string owner;
  WriteFile(folder + kGroupIniName,
            "[Group]\r\nOwner=Own3r\r\n[Admin]\r\nEmpty=\r\nBoss=Admin\r\n"
            "[AuthUser]\r\nPoster=AuthUser\r\nSilent=\r\n[Blocked]\r\nPest=Blocked\r\nOk=\r\n");
  EXPECT_TRUE(IsGroupAdmin("own3r", "Club") && IsGroupAdmin("BOSS", "Club") &&
              IsAuthUser("Club", "poster") && IsBlocked("Club", "PEST"));
  EXPECT_FALSE(IsGroupAdmin("Empty", "Club") || IsGroupAdmin("Poster", "Club") ||
               IsAuthUser("Club", "Silent") || IsAuthUser("Club", "Boss") ||
               IsBlocked("Club", "Ok"));
  // A key that would read back as another key or a section would grant a right in another list.
  EXPECT_FALSE(BlockUser("Club", "[Admin]") || BlockUser("Club", ";1") ||
               BlockUser("Club", "1=Admin"));
  fs::remove(folder + kGroupIniName);
  EXPECT_FALSE(IsGroupAdmin("", "Club"));  // an empty phone is not the missing owner
  // The store-wide block list is a list of its own.
  WriteFile(root_ + kGroupIniName, "[Blocked]\r\n999=Blocked\r\n");
  ASSERT_TRUE(IsSafeProfileKey("+4712345678") && BlockUser("Club", "123"));
  EXPECT_TRUE(IsBlocked("", "999") && IsBlocked("Club", "123"));
  EXPECT_FALSE(IsBlocked("Club", "999") || IsBlocked("", "123") || IsGroupAdmin("123", "Club") ||
               BlockUser("Nowhere", "123") || fs::exists(root_ + "Nowhere"));
  // Writes and deletes hit their keys and sections; the owner is cut to its buffer.
  ASSERT_TRUE(WriteGroupValue("Club", kAdminSection, "111", kAdminValue) &&
              WriteGroupValue("Club", kGroupSection, kOwnerKey, std::string(kOwnerBuffer, '7')) &&
              DeleteGroupKey("CLUB", kBlockedSection, "123") &&
              DeleteGroupSection("club", kAdminSection));
  EXPECT_EQ(ReadGroupSection("Club", kBlockedSection) + ReadGroupSection("Club", kAdminSection),
            std::string(4, '\0'));
  EXPECT_TRUE(GetGroupOwner("Club", &owner) == kOwnerBuffer - 1 &&
              owner.find_first_not_of('7') == std::string::npos);
  EXPECT_TRUE(GetGroupOwner("Missing", &owner) == 0 && owner.empty());
}

TEST_F(StoreTest, ErrorCountsGrowUntilAResetAndReadAsDecimalNumbers) {
  const std::string sender = "+4712345678", counter = root_ + kErrorCounterName;
  fs::remove(root_);
  for (unsigned run = 1; run <= kQuietAfterFailures + 1; ++run)  // the first makes the root
    ASSERT_TRUE(IncrementErrorCount(sender) && GetErrorCount(sender) == run);
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n+4712345678=11\r\n");
  EXPECT_TRUE(GetErrorCount("+4799999999") == 0 && ResetErrorCount(sender));
  EXPECT_FALSE(ResetErrorCount(sender) || GetErrorCount(sender));  // at 0 it writes nothing
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n");
  // A stored value and the count it reads as; an increment at the top does not wrap.
  for (const std::string row :
       {"7x:7", "-3:0", "4294967295:4294967295", "99999999999999999999:4294967295"}) {
    const auto count = static_cast<unsigned>(ParseLeadingLong(row.substr(row.find(':') + 1)));
    WriteFile(counter, "[Errors]\r\n" + sender + "=" + row.substr(0, row.find(':')) + "\r\n");
    EXPECT_TRUE(GetErrorCount(sender) == count && IncrementErrorCount(sender)) << row;
    EXPECT_EQ(GetErrorCount(sender), count == UINT32_MAX ? count : count + 1) << row;
  }
  // A sender that is no key is never counted, even where a lookup would find a line.
  WriteFile(counter, "[Errors]\r\n=5\r\n");
  for (const char* no_key : {"", " ", "+47=1", "[Errors]"})
    EXPECT_FALSE(GetErrorCount(no_key) || IncrementErrorCount(no_key) || ResetErrorCount(no_key));
  EXPECT_EQ(ReadFile(counter), "[Errors]\r\n=5\r\n");
}

// KAVREL_HOME with one separator at its end; else, made with its parents, an absolute
// $XDG_DATA_HOME/kavrel/ or $HOME/.local/share/kavrel/ (%ProgramData%\Kavrel\); else none.
TEST(DataDirectoryTest, KavrelHomeOrThePlatformsFolderOrNone) {
  const std::string separated = std::string("/srv/kavrel") + kSep;
  for (const std::string home : {"/srv/kavrel", "/srv/kavrel/", separated.c_str()}) {
    ScopedEnv env(kDataHomeVariable, home);
    std::string program, tool;
    ASSERT_TRUE(GetProgramDataDirectory(&program) && GetPrivateDataDirectory(&tool));
    EXPECT_TRUE(program == (home == "/srv/kavrel" ? separated : home) && tool == program) << tool;
  }
  for (const std::string xdg : {"/xdg/deep/", "", "relative/xdg"}) {
    TempDir temp;
    ScopedEnv kavrel(kDataHomeVariable, xdg.empty() ? std::nullopt : std::optional(""));
    ScopedEnv xdg_home(kXdgDataHomeVariable, xdg[0] == '/' ? temp.path() + xdg.substr(1) : xdg);
    ScopedEnv user_home(kHomeVariable, temp.path() + "user");
    ScopedEnv program_data(kProgramDataVariable, temp.path() + "data");
    std::string directory;
    EXPECT_TRUE(GetProgramDataDirectory(&directory) && fs::is_directory(directory)) << xdg;
    EXPECT_EQ(directory, temp.path() + (OnWindows()     ? "data\\Kavrel\\"
                                        : xdg[0] == '/' ? "xdg/deep/kavrel/"
                                                        : "user/.local/share/kavrel/"));
  }
  ScopedEnv kavrel(kDataHomeVariable, std::nullopt), xdg(kXdgDataHomeVariable, std::nullopt);
  ScopedEnv home(kHomeVariable, std::nullopt), program_data(kProgramDataVariable, std::nullopt);
  std::string directory = "stale";
  PendrelHandle handle = 1;
  EXPECT_FALSE(GetProgramDataDirectory(&directory) || GroupFolderPath("", &directory) ||
               PendrelOpenUserFile(&handle, kPendrelReadAccess) || UserExists("alice"));
  EXPECT_TRUE(directory.empty() && StoreBaseDirectory().empty());
}

TEST_F(StoreTest, AccountsAreFoundWithoutRegardToCaseWithTheirPasswords) {
  EXPECT_FALSE(UserExists("alice"));  // no USERS.INI: an empty list
  // The longest password a record holds: from its offset up to a closing NUL.
  const size_t longest = kUserRecordBytes - kUserRecordPasswordOffset - 1;
  WriteFile(home() + kUsersFileName,
            "[Other]\r\nghost=boo\r\n[Users]\r\nAlice=secret\r\n+4712345678=\r\n"
            "Quoted=\"two words\"\r\nbare\r\n=nameless\r\nowner=" +
                std::string(longest + 1, 'p') + "\r\n");
  // An account and its password; "!" for no account.
  for (Str row : Texts{"Alice:secret", "ALICE:secret", "alice:secret", "Alic:!", "Alice2:!",
                       "+4712345678:", "Quoted:two words", "ghost:!", "bare:!", ":!",
                       "owner:" + std::string(longest, 'p')}) {
    const std::string account = row.substr(0, row.find(':'));
    std::string read = "stale";
    GetUserPassword(account, &read);
    EXPECT_EQ(UserExists(account) ? read : "!" + read, row.substr(row.find(':') + 1)) << account;
  }
  PendrelHandle handle = 0;
  UserRecord record;
  record.fill('x');
  ASSERT_NE(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
  EXPECT_TRUE(PendrelFindUserRecord(handle, "OWNER", &record) && record.back() == '\0');
  PendrelCloseUserFile(handle);
  EXPECT_EQ(PendrelOpenUserFile(&handle, kPendrelReadAccess | 0x40000000u), 0);  // reading only
}

}  // namespace

// The child modes (see tests/unit/main.cc), named by the first argument:
//   --probe OUT ...   appends to OUT: argument count, TessaryAdmin, arguments
//   --hold OUT GO ... waits for GO to exist, then does what --probe does
//   --storm GATE N ID waits for GATE, adds member N to Crowd and queues a request there,
//                     approves request ID of Held: 10 when that ran
std::optional<int> RunStoreChild(const std::vector<std::string>& args) {
  const std::string mode = args.empty() ? "" : args[0];
  if (mode == "--storm" && args.size() == 4) {
    if (!WaitForFile(args[1])) return 2;
    const std::string phone = "+1555000" + std::to_string(1000 + ParseLeadingLong(args[2]));
    if (!AddMember("Crowd", phone, "User" + args[2]) ||
        QueueTransaction("Crowd", "4000", phone, "Ann", "x", false) == 0)
      return 1;
    return 10 * RunApprovedTransaction("Held", static_cast<uint32_t>(ParseLeadingLong(args[3])));
  }
  // Run the tests, but never from a re-run of some other line.
  if ((mode != "--probe" || args.size() < 2) && (mode != "--hold" || args.size() < 3))
    return mode.empty() || mode.starts_with("--gtest") ? std::nullopt : std::optional(2);
  if (mode == "--hold" && !WaitForFile(args[2])) return 2;
  std::string admin = "-", line;
  platform::GetEnv(kAdminModeVariable, &admin);
  for (Str arg : args) line += " " + arg;
  std::ofstream(args[1], std::ios::binary | std::ios::app)
      << args.size() << " " << admin << line << '\n';
  return 0;
}
