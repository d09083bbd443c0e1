// Hostile input, end to end through morvane and morvanectl: arguments of
// 100,000 characters and 10,000 arguments; every byte 0x01-0xFF in group
// names, user names, phone numbers and texts; printf conversions in names,
// texts and translation texts; quotes, semicolons and SQL in every field;
// group names that look like paths; a GROUP.INI full of garbage; databases
// that are no databases; store parts that are files where folders belong and
// folders where files belong (the tests run as root, whom permission bits do
// not stop, so that is how a store that cannot be written is made).
//
// Every run must end by itself (no signal, no hang) with a clean reply or
// error, must leave every file outside the store as it was, and must not
// change a bystander group byte for byte. The data directory lies three
// folders deep in a sandbox, and the whole sandbox is compared, so a path
// that escaped the store would show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "store/trans_db.h"
#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/platform_checks.h"
#include "support/store_rows.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::Pair;

constexpr char kAdminVariable[] = "TessaryAdmin";
constexpr char kOwner[] = "+15550000001";    // account; owns Club and Bystander
constexpr char kAnn[] = "+15550000002";      // member of Club
constexpr char kCreator[] = "+15550000003";  // account; creates groups
constexpr char kStranger[] = "+15550000004";
constexpr char kBee[] = "+15550000005";  // member of Bystander only
constexpr char kReceive[] = "4000";
// -1 as the operating system reports the tool's failure status.
constexpr int kToolFailureExit = 255;

constexpr size_t kHugeChars = 100000;
constexpr size_t kManyArguments = 10000;

constexpr char kHelpReply[] = "Help is not yet available.";
constexpr char kInvalidRequest[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

std::string JoinOk(const std::string& group) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'.  To send to the group, reply and start text with @" + group;
}
std::string CreateOk(const std::string& group) {
  return "Group " + group + " created.  Membership availability is Public.  Message posting is " +
         "Unmoderated.  Use 'ADMIN " + group + "' command to administer.";
}
std::string CreateInvalid(const std::string& group) {
  return "Error creating group " + group + ".  Name may contain invalid characters.";
}
std::string CreateExists(const std::string& group) {
  return "Group " + group + " already exists.  To join group, use 'JOIN " + group +
         " YourName'.  To admin group, use 'ADMIN " + group + "'.";
}
std::string NotExist(const std::string& group) {
  return "Cannot join group " + group + ", it does not exist.";
}
std::string NotJoined(const std::string& group) {
  return "You are not joined to group " + group + ".";
}
std::string NoRights(const std::string& group) {
  return "You do not have administrative rights to group " + group + ".  Syntax ADMIN GroupName";
}
std::string ToolCreated(const std::string& group) {
  return "OK -- Group " + group +
         " created.\r\nGroup Attributes:  Public  Unmoderated  NoNotify\r\n";
}

// True for a byte no group name can hold: a path separator, and on Windows
// also what no file name there holds (control characters, " * : < > ? |)
// and a byte above 0x7F, which is no UTF-8 text on its own.
bool RefusedInGroupName(char c) {
  if (c == '/' || c == '\\') return true;
  const auto byte = static_cast<unsigned char>(c);
  return OnWindows() && (byte < 0x20 || byte > 0x7F ||
                         std::string_view("\"*:<>?|").find(c) != std::string_view::npos);
}

// Bytes 0x01-0xFF in order.
std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

// `pattern` repeated to `size` bytes.
std::string Repeated(const std::string& pattern, size_t size) {
  std::string text;
  while (text.size() < size) text += pattern;
  text.resize(size);
  return text;
}

// Random bytes, the same on every run.
std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Arguments for a failure message: each cut, unprintable bytes as \xNN.
std::string Describe(const std::vector<std::string>& args) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = std::to_string(args.size()) + " args:";
  for (size_t i = 0; i < args.size() && i < 8; ++i) {
    text += " [";
    for (const char c : CutTo(args[i], 40)) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x7F) {
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
      } else {
        text += c;
      }
    }
    if (args[i].size() > 40) text += "...(" + std::to_string(args[i].size()) + ")";
    text += "]";
  }
  return text;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  return static_cast<bool>(file);
}

// A file tree: relative path -> contents and modification time; "<folder>"
// for a folder.
using Tree = std::map<std::string, std::string>;

void AddEntry(const fs::path& root, const fs::directory_entry& entry, Tree* tree) {
  const std::string relative = fs::relative(entry.path(), root).generic_string();
  std::error_code error;
  if (entry.is_directory(error)) {
    (*tree)[relative] = "<folder>";
    return;
  }
  std::ifstream file(entry.path(), std::ios::binary);
  std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto time = fs::last_write_time(entry.path(), error).time_since_epoch().count();
  (*tree)[relative] = contents + "|mtime " + std::to_string(time);
}

// Everything under `root` but the subtree `skip` (relative, may be empty).
Tree ReadTree(const std::string& root, const std::string& skip) {
  Tree tree;
  std::error_code error;
  fs::recursive_directory_iterator it(root, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (!skip.empty() && relative == skip) {
      it.disable_recursion_pending();
      continue;
    }
    AddEntry(root, *it, &tree);
  }
  return tree;
}

// The paths where two trees differ.
std::string Differences(const Tree& before, const Tree& after) {
  std::string text;
  for (const auto& [path, contents] : before) {
    const auto found = after.find(path);
    if (found == after.end()) {
      text += " removed " + path + ";";
    } else if (found->second != contents) {
      text += " changed " + path + ";";
    }
  }
  for (const auto& entry : after) {
    if (before.count(entry.first) == 0) text += " added " + Describe({entry.first}) + ";";
  }
  return text;
}

// Runs SQL on a database file, making it when missing.
bool ExecSql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  const bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                  sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sandbox_.path().empty());
    std::error_code error;
    fs::create_directories(home_, error);
    ASSERT_FALSE(error);
    ASSERT_TRUE(WriteBytes(sandbox_.path() + "outer/inner/decoy.txt", "decoy"));
    ASSERT_TRUE(gateway_.WriteHollinIni(home_));
    ASSERT_TRUE(Account(home_, kOwner));
    ASSERT_TRUE(Account(home_, kCreator));
    SetStoreBase(StoreBase::kProgramData);
    MakeGroup("Club", {{kOwner, "Admin"}, {kAnn, "Ann"}});
    MakeGroup("Bystander", {{kOwner, "Admin"}, {kBee, "Bee"}});
    ASSERT_NE(
        QueueTransaction("Bystander", kReceive, kBee, "Bee", "/s x /t JOIN Bystander Bee", true),
        0u);
    ASSERT_TRUE(fs::exists(GroupsPath() + "Bystander/TRANS.DB"));
  }

  void TearDown() override { RecordProperty("runs", static_cast<int>(runs_)); }

  static bool Account(const std::string& home, const char* name) {
    return platform::ProfileWriteString(home + kUsersFileName, kUsersSection, name, "pw");
  }

  // A public, unmoderated group owned by kOwner with these members.
  void MakeGroup(const std::string& group,
                 const std::vector<std::pair<std::string, std::string>>& members) {
    std::string folder;
    ASSERT_TRUE(GroupFolderPath("", &folder));
    ASSERT_TRUE(GroupFolderPath(group, &folder));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kPostTypeKey, kUnmoderatedValue));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(WriteGroupValue(group, kAdminSection, kOwner, kAdminValue));
    for (const auto& [phone, name] : members) ASSERT_TRUE(AddMember(group, phone, name));
  }

  std::string GroupsPath() const { return home_ + "Groups/"; }

  // Runs `program` against the data directory (TessaryAdmin removed, `env`
  // on top) and checks what every hostile run must keep to.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const platform::EnvChanges& env = {}) {
    const Tree outside = ReadTree(sandbox_.path(), "outer/inner/home/Groups");
    const Tree bystander = ReadTree(GroupsPath() + "Bystander", "");
    platform::EnvChanges changes = {{kDataHomeVariable, home_}, {kAdminVariable, std::nullopt}};
    for (const auto& change : env) {
      std::erase_if(changes, [&](const auto& entry) { return entry.first == change.first; });
      changes.push_back(change);
    }
    const RunResult run = RunProgram(program, args, changes);
    ++runs_;
    const std::string what = Describe(args);
    EXPECT_TRUE(run.finished) << "killed or hung: " << what;
    const bool tool = program == MorvanectlProgram();
    EXPECT_TRUE(run.exit_code == 0 || (tool && run.exit_code == kToolFailureExit))
        << "exit " << run.exit_code << ": " << what;
    const Tree outside_after = ReadTree(sandbox_.path(), "outer/inner/home/Groups");
    EXPECT_TRUE(outside_after == outside)
        << "touched outside the store:" << Differences(outside, outside_after) << " by " << what;
    const Tree bystander_after = ReadTree(GroupsPath() + "Bystander", "");
    EXPECT_TRUE(bystander_after == bystander)
        << "changed the bystander:" << Differences(bystander, bystander_after) << " by " << what;
    return run;
  }

  // morvane with a message `words` from `sender`; its standard output. The
  // sender's error count is cleared first, so that a run of failures never
  // puts a sender into quiet mode and withholds the replies the tests read.
  std::string Send(const std::string& sender, const std::vector<std::string>& words,
                   const platform::EnvChanges& env = {}) {
    return SendWith(MorvaneProgram(), sender, words, env);
  }
  std::string SendWith(const std::string& program, const std::string& sender,
                       const std::vector<std::string>& words,
                       const platform::EnvChanges& env = {}) {
    if (IsSafeProfileKey(sender)) {
      platform::ProfileDeleteKey(GroupsPath() + "ERRORCTR.INI", "Errors", sender);
    }
    std::vector<std::string> args = {"/s", sender, "/r", kReceive, "/t"};
    args.insert(args.end(), words.begin(), words.end());
    return Run(program, args, env).output;
  }

  RunResult Tool(const std::vector<std::string>& args, const platform::EnvChanges& env = {}) {
    return Run(MorvanectlProgram(), args, env);
  }

  // True when the gateway was asked to send `text` to `recipient` since the
  // last Clear.
  bool Told(const std::string& recipient, const std::string& text) const {
    for (const Submission& submission : gateway_.Submissions()) {
      if (submission.phone_number == recipient && submission.text == text) return true;
    }
    return false;
  }

  std::vector<std::pair<std::string, std::string>> Members(const std::string& group) const {
    std::vector<std::pair<std::string, std::string>> members;
    ForEachMember(group, [&](const Member& member) {
      members.emplace_back(member.phone, member.user_name);
      return true;
    });
    return members;
  }

  TempDir sandbox_;
  const std::string home_ = sandbox_.path() + "outer/inner/home/";
  ScopedEnv data_home_{kDataHomeVariable, home_};
  FakeGateway gateway_;
  size_t runs_ = 0;
};

TEST_F(HostileTest, ArgumentsOfAHundredThousandCharacters) {
  if (OnWindows()) GTEST_SKIP() << "a Windows command line holds at most 32767 characters";
  const std::string letters(kHugeChars, 'A');
  const std::string bytes = Repeated(EveryByte(), kHugeChars);
  const std::string digits(kHugeChars, '9');
  int n = 10;
  for (const std::string& huge : {letters, bytes}) {
    const std::string name = huge.substr(0, 149);
    const std::string joiner = "+155500000" + std::to_string(n++);
    gateway_.Clear();

    EXPECT_EQ(Send(huge, {"HELP"}), kHelpReply);
    EXPECT_EQ(Run(MorvaneProgram(), {"/s", kAnn, "/r", huge, "/t", "@Club", "hi"}).output, "");
    EXPECT_EQ(gateway_.Submissions().at(0).sender, huge.substr(0, 49));
    EXPECT_EQ(Send(kStranger, {huge}), kInvalidRequest);
    // A post's group word ends at its first ':'.
    EXPECT_EQ(Send(kStranger, {"@" + huge}), NotJoined(name.substr(0, name.find(':'))));
    EXPECT_EQ(Send(kStranger, {"JOIN", huge, "Ann"}), NotExist(name));
    EXPECT_EQ(Send(joiner, {"JOIN", "Club", huge}), "");
    EXPECT_THAT(Members("Club"), Contains(Pair(joiner, name)));
    EXPECT_TRUE(Told(joiner, JoinOk("Club")));
    EXPECT_EQ(Send(kCreator, {"CREATE", huge}), huge == letters ? "" : CreateInvalid(name));

    gateway_.Clear();
    EXPECT_EQ(Send(kAnn, {"@Club", huge}), "");
    const std::string post = "@Club:Ann " + huge;
    const Submission delivery = gateway_.Submissions().at(0);
    EXPECT_EQ(delivery.phone_number, kOwner);
    EXPECT_LE(delivery.text.size(), 8191u);
    EXPECT_EQ(post.compare(0, delivery.text.size(), delivery.text), 0) << "not a cut of the post";
    EXPECT_GT(delivery.text.size(), 1000u);  // the fetched URL holds 4095 characters
    EXPECT_EQ(Tool({"ADMIN", huge, "LIST"}).exit_code, kToolFailureExit);

    EXPECT_EQ(Send(kStranger, {"TEST", huge}), CutTo("Why are you trying to test " + huge, 1023));
    Send(kOwner, {"ADMIN", "Club", "ADD", huge, huge});
    Send(kOwner, {"ADMIN", "Club", "AUTH", "ADD", huge});
    gateway_.Clear();
    Send(kOwner, {"ADMIN", "Club", "REMOVE", huge});  // the joiner of that name
    EXPECT_TRUE(Told(kOwner, "User " + name + " is removed from group Club."));
    Send(kOwner, {"ADMIN", "Club", "UNBLOCK", huge});
    Send(kOwner, {"ADMIN", "Club", "PROP", huge});
    Send(kOwner, {"ADMIN", huge, "PROP"});
    Send(kOwner, {"YES", "Club", huge});
    // The group of 149 letters exists now, so that answer travels through the
    // gateway.
    gateway_.Clear();
    const std::string left = Send(kStranger, {"LEAVE", huge});
    const std::string not_joined = "You have not joined the group " + name;
    if (huge == letters) {
      EXPECT_EQ(left, "");
      EXPECT_TRUE(Told(kStranger, not_joined));
    } else {
      EXPECT_EQ(left, not_joined);
    }

    const RunResult created = Tool({"CREATE", huge, kOwner});
    if (huge == letters) {
      EXPECT_EQ(created.output, ToolCreated(huge.substr(0, 249)));
    } else {
      EXPECT_EQ(created.output, "ERROR:  Invalid group name " + huge.substr(0, 249) + "\r\n");
    }
    EXPECT_EQ(Tool({"CREATE", "Fresh", huge}).output,
              "ERROR:  Owner phone number " + huge.substr(0, 249) + " is invalid\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", huge, huge}).output,
              "ERROR:  Invalid number " + name + ", not added to group Club\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", huge}).output,
              "ERROR:  User " + name + " does not exist in group Club\r\n");
    Tool({"ADMIN", "Club", "UNBLOCK", huge});
    EXPECT_EQ(Tool({"ADMIN", "Club", "AUTH", "ADD", huge}).output,
              "ERROR:  Invalid phone number " + huge.substr(0, 49) + "\r\n");
    Tool({"ADMIN", "Club", "PROP", huge});
    EXPECT_EQ(Tool({"ADMIN", "Club", "POST", huge}).output, "ERROR:  Text too long to post\r\n");
    EXPECT_EQ(Tool({huge, "Club", "LIST"}).exit_code, kToolFailureExit);
  }
  EXPECT_EQ(Send(kOwner, {"YES", "Club", digits}), "");
  EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", digits, "Nine"}).output,
            "ERROR:  Invalid number " + digits.substr(0, 149) + ", not added to group Club\r\n");
}

TEST_F(HostileTest, TenThousandArguments) {
  const std::vector<std::string> words(kManyArguments, "w");
  auto with = [&words](std::vector<std::string> first) {
    first.insert(first.end(), words.begin(), words.end());
    return first;
  };

  // The fetched URL holds 4095 characters and every space is sent as %20,
  // so what arrives is the start of the post.
  std::string post = "@Club:Ann";
  for (size_t i = 0; i < kManyArguments && post.size() < 8191; ++i) post += " w";
  post.resize(8191);
  EXPECT_EQ(Send(kAnn, with({"@Club"})), "");
  const std::string delivered = gateway_.Submissions().at(0).text;
  EXPECT_GT(delivered.size(), 1000u);
  EXPECT_EQ(post.compare(0, delivered.size(), delivered), 0)
      << delivered.substr(delivered.size() - 9);

  const std::string echo = Send(kStranger, with({"TEST"}));
  EXPECT_EQ(echo.size(), 1023u);
  EXPECT_EQ(echo.substr(0, 30), "Why are you trying to test w w");

  // Only switches, and no switch at all: the positional form.
  EXPECT_EQ(Run(MorvaneProgram(), std::vector<std::string>(kManyArguments, "/s")).output,
            NotJoined("s"));
  EXPECT_EQ(Run(MorvaneProgram(), std::vector<std::string>(kManyArguments, "x")).output,
            kInvalidRequest);

  EXPECT_EQ(Send(kStranger, with({"JOIN", "Club", "Zed"})), "");
  EXPECT_THAT(Members("Club"), Contains(Pair(kStranger, "Zed")));
  Send(kOwner, with({"ADMIN", "Club", "PROP", "PUB"}));
  Send(kCreator, with({"CREATE", "Many"}));

  EXPECT_EQ(Tool(with({"ADMIN", "Club", "PROP"})).exit_code, 0);
  EXPECT_EQ(Tool(with({"ADMIN", "Club", "POST"})).output, "ERROR:  Text too long to post\r\n");
  EXPECT_EQ(Tool(with({"CREATE", "Lots", kOwner})).output, ToolCreated("Lots"));

  // Half as many words fit the processor's command line: the post goes out.
  gateway_.Clear();
  const std::vector<std::string> half(kManyArguments / 2, "w");
  std::vector<std::string> tool_post = {"ADMIN", "Club", "POST"};
  tool_post.insert(tool_post.end(), half.begin(), half.end());
  EXPECT_EQ(Tool(tool_post).output, "");
  std::string owners_post = "@Club:Admin";
  for (size_t i = 0; i < half.size() && owners_post.size() < 8191; ++i) owners_post += " w";
  bool ann_got_it = false;
  for (const Submission& submission : gateway_.Submissions()) {
    if (submission.phone_number == kAnn) {
      ann_got_it = true;
      EXPECT_GT(submission.text.size(), 1000u);
      EXPECT_EQ(owners_post.compare(0, submission.text.size(), submission.text), 0);
    }
  }
  EXPECT_TRUE(ann_got_it);
}

TEST_F(HostileTest, EveryByteInTheProcessorsGroupNames) {
  for (int b = 1; b <= 255; ++b) {
    const char c = static_cast<char>(b);
    const std::string group = std::string("G") + c + "x";
    SCOPED_TRACE(Describe({group}));
    gateway_.Clear();
    const std::string created = Send(kCreator, {"CREATE", group});
    if (RefusedInGroupName(c)) {
      EXPECT_EQ(created, CreateInvalid(group));
    } else if (c >= 'a' && c <= 'z') {
      EXPECT_EQ(created, CreateExists(group));  // the capital letter's group
    } else {
      EXPECT_EQ(created, "");
      EXPECT_TRUE(Told(kCreator, CreateOk(group)));
      EXPECT_TRUE(fs::exists(GroupsPath() + group + "/GROUP.INI"));
    }

    gateway_.Clear();
    const std::string posted = Send(kCreator, {"@" + group, "hi"});
    if (c == ':') {
      EXPECT_EQ(posted, NotJoined("G"));  // a private message in group G
    } else if (RefusedInGroupName(c)) {
      EXPECT_EQ(posted, NotJoined(group));
    } else {
      EXPECT_EQ(posted, "");
      EXPECT_TRUE(Told(kCreator, "You are the only member of group " + group));
    }

    const RunResult listed = Tool({"ADMIN", group, "LIST"});
    if (RefusedInGroupName(c)) {
      EXPECT_EQ(listed.output, "ERROR:  Group " + group + " does not exist\r\n");
    } else {
      EXPECT_EQ(listed.output, std::string(kCreator) + "\r\n");
    }
  }
}

TEST_F(HostileTest, EveryByteInTheToolsGroupNames) {
  for (int b = 1; b <= 255; ++b) {
    const char c = static_cast<char>(b);
    const std::string group = std::string("T") + c + "y";
    SCOPED_TRACE(Describe({group}));
    const RunResult created = Tool({"CREATE", group, kOwner});
    if (RefusedInGroupName(c)) {
      EXPECT_EQ(created.output, "ERROR:  Invalid group name " + group + "\r\n");
    } else if (c >= 'a' && c <= 'z') {
      EXPECT_EQ(created.output, "ERROR:  Group " + group + " already exists\r\n");
    } else {
      EXPECT_EQ(created.output, ToolCreated(group));
      EXPECT_THAT(Members(group), Contains(Pair(kOwner, "Admin")));
    }
  }
}

TEST_F(HostileTest, EveryByteInUserNamesAndTexts) {
  const std::string bytes = EveryByte();
  const std::string first = bytes.substr(0, 149);  // a user name holds 149
  const std::string rest = bytes.substr(149);      // no ':' in it
  constexpr char kFirst[] = "+15550000021";
  constexpr char kRest[] = "+15550000022";

  EXPECT_EQ(Send(kFirst, {"JOIN", "Club", first}), "");
  EXPECT_EQ(Send(kRest, {"JOIN", "Club", rest}), "");
  EXPECT_TRUE(Told(kFirst, JoinOk("Club")));
  EXPECT_TRUE(Told(kRest, JoinOk("Club")));
  EXPECT_THAT(Members("Club"), Contains(Pair(kFirst, first)));
  EXPECT_THAT(Members("Club"), Contains(Pair(kRest, rest)));

  gateway_.Clear();
  Send(kFirst, {"@Club", "hi"});
  EXPECT_TRUE(Told(kAnn, "@Club:" + first + " hi"));
  gateway_.Clear();
  Send(kAnn, {"@Club", bytes});
  EXPECT_TRUE(Told(kFirst, "@Club:Ann " + bytes));
  gateway_.Clear();
  Send(kAnn, {"@Club:" + rest, "psst"});
  EXPECT_TRUE(Told(kRest, "@Club:Ann (private) psst"));
  EXPECT_TRUE(Told(kAnn, "Message forwarded to @Club:" + rest));

  EXPECT_EQ(Send(kStranger, {"TEST", bytes}), "Why are you trying to test " + bytes + "?");
  gateway_.Clear();
  Send(kOwner, {"ADMIN", "Club", "REMOVE", rest});
  EXPECT_TRUE(Told(kOwner, "User " + rest + " is removed from group Club."));

  EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000023", bytes}).output, "OK\r\n");
  EXPECT_THAT(Members("Club"), Contains(Pair("+15550000023", first)));
  EXPECT_EQ(Tool({"ADMIN", "Club", "AUTH", "ADD", bytes}).output,
            "ERROR:  Invalid phone number " + bytes.substr(0, 49) + "\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", first}).output, "OK\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Club", "BLOCK", first}).output, "OK\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Club", "LIST"}).output, std::string(kOwner) + "\r\n" + kAnn + "\r\n");
}

TEST_F(HostileTest, EveryByteInPhoneNumbers) {
  const std::string counter = GroupsPath() + "ERRORCTR.INI";
  ASSERT_TRUE(platform::ProfileWriteString(counter, "Errors", "+15559999999", "5"));
  for (int b = 1; b <= 255; ++b) {
    const std::string sender = std::string("+1555") + static_cast<char>(b) + "0001";
    EXPECT_EQ(Send(sender, {"HELP"}), kHelpReply) << b;
    // A number that cannot be a key of the file keeps no count.
    const std::string count =
        platform::ProfileReadString(counter, "Errors", sender, "none", kProfileValueBuffer);
    EXPECT_EQ(count, IsSafeProfileKey(sender) ? "1" : "none") << b;
  }
  EXPECT_EQ(platform::ProfileReadString(counter, "Errors", "+15559999999", "", 10), "5");

  // No number at all: the run answers, counts nothing, and makes no member
  // that every post would have to reach first.
  gateway_.Clear();
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", "", "/r", "", "/t", "HELP"}).output, kHelpReply);
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", "", "/r", "", "/t", "JOIN", "Club", "Nobody"}).output, "");
  EXPECT_TRUE(Told("", "Error joining group Club"));
  EXPECT_EQ(Members("Club").size(), 2u);
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", "", "/t", "@Club", "hi"}).output, "");
  EXPECT_TRUE(Told("", NotJoined("Club")));

  // Numbers of every byte, 49 at a time (a number holds 49).
  const std::string bytes = EveryByte();
  std::vector<std::string> numbers;
  for (size_t at = 0; at < bytes.size(); at += 49) numbers.push_back(bytes.substr(at, 49));
  for (size_t i = 0; i < numbers.size(); ++i) {
    gateway_.Clear();
    EXPECT_EQ(Send(numbers[i], {"JOIN", "Club", "N" + std::to_string(i)}), "");
    EXPECT_TRUE(Told(numbers[i], JoinOk("Club"))) << i;
    EXPECT_THAT(Members("Club"), Contains(Pair(numbers[i], "N" + std::to_string(i))));
  }
  gateway_.Clear();
  Send(kAnn, {"@Club", "hi"});
  for (const std::string& number : numbers) EXPECT_TRUE(Told(number, "@Club:Ann hi"));
  for (const std::string& number : numbers) {
    gateway_.Clear();
    EXPECT_EQ(Run(MorvaneProgram(), {"/s", kAnn, "/r", number, "/t", "@Club", "x"}).output, "");
    EXPECT_EQ(gateway_.Submissions().at(0).sender, number);
  }
  for (size_t i = 0; i < numbers.size(); ++i) {
    gateway_.Clear();
    Send(numbers[i], {"LEAVE", "Club"});
    EXPECT_TRUE(Told(numbers[i], "Goodbye.  You have left the group Club")) << i;
  }
  EXPECT_EQ(Members("Club").size(), 2u);

  for (int b = 1; b <= 255; ++b) {
    const std::string number = std::string("+1555") + static_cast<char>(b) + "0001";
    const std::string output = Tool({"ADMIN", "Club", "ADD", number, "Nn"}).output;
    if (b >= '0' && b <= '9') {
      EXPECT_EQ(output, "OK\r\n");
    } else {
      EXPECT_EQ(output, "ERROR:  Invalid number " + number + ", not added to group Club\r\n");
    }
  }
  EXPECT_EQ(Tool({"ADMIN", "Club", "UNBLOCK", bytes}).exit_code, 0);
}

TEST_F(HostileTest, PrintfConversionsAreText) {
  const std::string conversions = "%s%n%x%%";
  const std::string wide = "%99999999999s%n%p%ls%hhn%";
  constexpr char kJoiner[] = "+15550000031";

  EXPECT_EQ(Send(kJoiner, {"JOIN", "Club", conversions}), "");
  EXPECT_THAT(Members("Club"), Contains(Pair(kJoiner, conversions)));
  gateway_.Clear();
  Send(kJoiner, {"@Club", conversions, wide});
  EXPECT_TRUE(Told(kAnn, "@Club:" + conversions + " " + conversions + " " + wide));
  gateway_.Clear();
  EXPECT_EQ(Send(kCreator, {"CREATE", conversions}), "");
  EXPECT_TRUE(Told(kCreator, CreateOk(conversions)));
  EXPECT_EQ(Send(conversions, {"HELP"}), kHelpReply);
  EXPECT_EQ(platform::ProfileReadString(GroupsPath() + "ERRORCTR.INI", "Errors", conversions, "",
                                        kProfileValueBuffer),
            "1");
  EXPECT_EQ(Send(kStranger, {"TEST", wide}), "Why are you trying to test " + wide + "?");
  EXPECT_EQ(Send(kStranger, {"JOIN", wide, "x"}), NotExist(wide));
  EXPECT_EQ(Tool({"CREATE", wide, kOwner}).output, ToolCreated(wide));
  EXPECT_EQ(Tool({"ADMIN", "Club", "UNBLOCK", conversions}).output,
            "ERROR:  User " + conversions + " was not blocked in group Club\r\n");

  // Translation texts: a text whose conversions differ from the default's
  // gives way to the default; one that matches is used, its widths capped.
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetText("JoinGroupNotExist", conversions));
  ASSERT_TRUE(copy.SetText("LeaveNotJoined", "%s %s %s %s"));
  ASSERT_TRUE(copy.SetText("UserNotJoined", "Not in %s at 100%%"));
  ASSERT_TRUE(copy.SetText("InvalidRequest", wide));
  ASSERT_TRUE(copy.SetText("JoinNeedUserName", "%-99999999s|%s"));
  ASSERT_TRUE(copy.SetCommand("JOIN", conversions));
  ASSERT_TRUE(copy.SetCommand("HELP", "%n"));
  const std::string program = copy.program();
  EXPECT_EQ(SendWith(program, kStranger, {"JOIN", "Nosuch", "x"}), NotExist("Nosuch"));
  EXPECT_EQ(SendWith(program, kStranger, {conversions, "Nosuch", "x"}), NotExist("Nosuch"));
  EXPECT_EQ(SendWith(program, kStranger, {"LEAVE", "Nosuch"}),
            "You have not joined the group Nosuch");
  EXPECT_EQ(SendWith(program, kStranger, {"@Nosuch", "hi"}), "Not in Nosuch at 100%");
  EXPECT_EQ(SendWith(program, kStranger, {"hello"}), kInvalidRequest);
  EXPECT_EQ(SendWith(program, kStranger, {"%n"}), kHelpReply);
  const std::string padded = SendWith(program, kStranger, {"JOIN", "Nosuch"});
  EXPECT_EQ(padded, CutTo("JOIN" + std::string(1020, ' ') + "|Nosuch", 1023));
}

TEST_F(HostileTest, QuotesSemicolonsAndSqlInEveryField) {
  const std::vector<std::string> values = {"'",
                                           "''",
                                           "\"",
                                           "'; DROP TABLE TESSARY; --",
                                           "\"); DELETE FROM TRANSACTIONS; --",
                                           "x' OR '1'='1",
                                           "Robert'); DROP TABLE TRANSACTIONS;--",
                                           "; ; ;",
                                           "SELECT * FROM TESSARY",
                                           "NULL",
                                           "%'--"};
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& value = values[i];
    SCOPED_TRACE(value);
    const std::string sender = "+155500001" + std::to_string(10 + i);
    gateway_.Clear();
    EXPECT_EQ(Send(sender, {"JOIN", "Club", value}), "");
    EXPECT_TRUE(Told(sender, JoinOk("Club")));
    EXPECT_THAT(Members("Club"), Contains(Pair(sender, value)));

    EXPECT_EQ(Send(value, {"HELP"}), kHelpReply);
    gateway_.Clear();
    Send(kAnn, {"@Club", value});
    EXPECT_TRUE(Told(sender, "@Club:Ann " + value));
    gateway_.Clear();
    Run(MorvaneProgram(), {"/s", kAnn, "/r", value, "/t", "@Club", "x"});
    EXPECT_EQ(gateway_.Submissions().at(0).sender, value);

    // No Windows file name holds '"' or '*': there such a value is no group.
    if (std::none_of(value.begin(), value.end(), RefusedInGroupName)) {
      gateway_.Clear();
      EXPECT_EQ(Send(kCreator, {"CREATE", value}), "");
      EXPECT_TRUE(Told(kCreator, CreateOk(value)));
      EXPECT_EQ(Send(sender, {"JOIN", value, "Q"}), "");
      EXPECT_THAT(Members(value), Contains(Pair(sender, "Q")));
    }

    gateway_.Clear();
    Send(kOwner, {"ADMIN", "Club", "AUTH", "ADD", value});
    EXPECT_TRUE(Told(kOwner, value + " added to the AUTH list for group Club"));
    Send(kOwner, {"ADMIN", "Club", "REMOVE", value});
    EXPECT_TRUE(Told(kOwner, "User " + value + " is removed from group Club."));
    Send(kOwner, {"YES", "Club", value});

    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000200", value}).output, "OK\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", value}).output, "OK\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "UNBLOCK", value}).output,
              "ERROR:  User " + value + " was not blocked in group Club\r\n");
  }
  EXPECT_THAT(Members("Club"), ::testing::ElementsAre(Pair(kOwner, "Admin"), Pair(kAnn, "Ann")));
  EXPECT_EQ(IntegrityCheck(GroupsPath() + "Club/GROUP.DB"), "ok");
  EXPECT_EQ(IntegrityCheck(GroupsPath() + "Club/TRANS.DB"), "ok");
  EXPECT_FALSE(ReadGroupSection("Club", kAuthUserSection).empty());
}

TEST_F(HostileTest, GroupNamesThatLookLikePaths) {
  const std::vector<std::string> names = {".",          "..",
                                          "../x",       "../../x",
                                          "../../../x", "a/b",
                                          "a\\b",       "/abs",
                                          "x/..",       "./x",
                                          "/",          "\\",
                                          "..\\x",      "Club/../Bystander",
                                          "Club/",      "\\\\server\\share"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Send(kCreator, {"CREATE", name}), CreateInvalid(name));
    EXPECT_EQ(Send(kStranger, {"JOIN", name, "Ann"}), NotExist(name));
    EXPECT_EQ(Send(kStranger, {"@" + name, "hi"}), NotJoined(name));
    EXPECT_EQ(Send(kStranger, {"LEAVE", name}), "You have not joined the group " + name);
    EXPECT_EQ(Send(kOwner, {"ADMIN", name, "PROP", "PRIVATE"}), NoRights(name));
    EXPECT_EQ(Send(kOwner, {"YES", name, "1"}), NoRights(name));

    EXPECT_EQ(Tool({"CREATE", name, kOwner}).output, "ERROR:  Invalid group name " + name + "\r\n");
    for (const char* subcommand : {"LIST", "PROP", "POST"}) {
      const RunResult run = Tool({"ADMIN", name, subcommand, "hi"});
      EXPECT_EQ(run.output, "ERROR:  Group " + name + " does not exist\r\n");
      EXPECT_EQ(run.exit_code, kToolFailureExit);
    }
  }
  // Long names are cut to what each program keeps, and are groups then.
  // (A Windows path is too short for the tool's 249 characters, and a name
  // of dots is no file name there.)
  if (OnWindows()) return;
  for (const char c : {'n', '.'}) {
    const std::string name(300, c);
    gateway_.Clear();
    EXPECT_EQ(Send(kCreator, {"CREATE", name}), "");
    EXPECT_TRUE(Told(kCreator, CreateOk(name.substr(0, 149))));
    EXPECT_EQ(Tool({"CREATE", name, kOwner}).output, ToolCreated(name.substr(0, 249)));
  }
}

TEST_F(HostileTest, GroupIniFullOfGarbage) {
  const std::string ini = GroupsPath() + "Club/GROUP.INI";
  const std::vector<std::string> garbage = {
      RandomBytes(65536, 1),
      std::string("[Group\r\n]]]\r\n==\r\nOwner\r\n[Admin]]\r\n=Admin\r\n[\r\n;x=1\r\n") +
          "Owner=" + std::string(kHugeChars, '9') + "\r\n[Group]\r\nMembershipType=Public\r\n" +
          std::string("PostType=\0Unmoderated\r\n", 23) + "[" + std::string(5000, '[') + "\r\n",
      std::string(2 << 20, 'x'),
      std::string(4096, '\0'),
      Repeated("\r\n[Admin]\r\n" + std::string(kOwner) + "=\r\n\n\r\r", 1 << 20),
      "",
  };
  for (const std::string& contents : garbage) {
    ASSERT_TRUE(WriteBytes(ini, contents));
    Send(kStranger, {"JOIN", "Club", "Zed"});
    Send(kAnn, {"@Club", "hi"});
    Send(kOwner, {"ADMIN", "Club", "PROP", "MOD"});
    Send(kOwner, {"ADMIN", "Club", "AUTH", "LIST"});
    Send(kOwner, {"YES", "Club", "1"});
    Send(kAnn, {"LEAVE", "Club"});
    Tool({"ADMIN", "Club", "LIST"});
    Tool({"ADMIN", "Club", "ADMIN", "LIST"});
    Tool({"ADMIN", "Club", "AUTH", "ADD", "+15550000050"});
    Tool({"ADMIN", "Club", "PROP", "PUB", "NOTIFY"});
    Tool({"ADMIN", "Club", "BLOCK", "Zed"});
    Tool({"ADMIN", "Club", "UNBLOCK", "ALL"});
    ASSERT_TRUE(AddMember("Club", kAnn, "Ann"));
  }
}

TEST_F(HostileTest, DatabasesThatAreNoDatabases) {
  const std::string members = GroupsPath() + "Club/GROUP.DB";
  const std::string journal = GroupsPath() + "Club/TRANS.DB";
  const std::string other = GroupsPath() + "Other/";
  // A database of another shape, made aside and copied in.
  ASSERT_TRUE(fs::create_directories(other));
  ASSERT_TRUE(ExecSql(other + "GROUP.DB", "CREATE TABLE TESSARY (x);"));
  ASSERT_TRUE(ExecSql(other + "TRANS.DB", "CREATE TABLE TRANSACTIONS (id integer PRIMARY KEY);"));
  std::string wrong_members;
  std::string wrong_journal;
  ASSERT_TRUE(platform::ReadWholeFile(other + "GROUP.DB", &wrong_members));
  ASSERT_TRUE(platform::ReadWholeFile(other + "TRANS.DB", &wrong_journal));

  const std::vector<std::string> not_members = {
      "this is not a database\n", RandomBytes(8192, 2),
      "SQLite format 3" + std::string(1, '\0') + RandomBytes(4080, 3), wrong_members};
  for (const std::string& contents : not_members) {
    ASSERT_TRUE(WriteBytes(members, contents));
    gateway_.Clear();
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, "Error joining group Club"));
    Send(kAnn, {"@Club", "hi"});
    EXPECT_TRUE(Told(kAnn, NotJoined("Club")));
    Send(kAnn, {"LEAVE", "Club"});
    EXPECT_TRUE(Told(kAnn, "You have not joined the group Club"));
    Send(kOwner, {"ADMIN", "Club", "REMOVE", "Ann"});
    EXPECT_TRUE(Told(kOwner, "User Ann is not joined to group Club."));
    EXPECT_EQ(Tool({"ADMIN", "Club", "LIST"}).output, "");
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000060", "Sam"}).output,
              "ERROR:  Unable to add user +15550000060 to group Club\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", "Ann"}).output,
              "ERROR:  User Ann does not exist in group Club\r\n");
    std::string after;
    ASSERT_TRUE(platform::ReadWholeFile(members, &after));
    EXPECT_TRUE(after == contents) << "the file that is no database was written";
  }

  ASSERT_TRUE(fs::remove(members));
  MakeGroup("Club", {{kOwner, "Admin"}, {kAnn, "Ann"}});
  const std::vector<std::string> not_journals = {"journal? no\n", RandomBytes(8192, 4),
                                                 wrong_journal};
  for (const std::string& contents : not_journals) {
    ASSERT_TRUE(WriteBytes(journal, contents));
    ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPublicValue));
    gateway_.Clear();
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, JoinOk("Club")));  // the journal entry is lost, not the join
    Send(kStranger, {"LEAVE", "Club"});
    Send(kOwner, {"YES", "Club", "1"});
    ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, "Error joining group Club (Admin Request Queue Error)"));
    std::string after;
    ASSERT_TRUE(platform::ReadWholeFile(journal, &after));
    EXPECT_TRUE(after == contents) << "the file that is no database was written";
  }
}

TEST_F(HostileTest, StoreWhereFilesAndFoldersAreSwapped) {
  // A store root that is a file: nothing can be stored at all.
  const std::string blocked_home = sandbox_.path() + "outer/inner/home2/";
  ASSERT_TRUE(fs::create_directories(blocked_home));
  ASSERT_TRUE(Account(blocked_home, kCreator));
  ASSERT_TRUE(WriteBytes(blocked_home + "Groups", "a file, not a folder"));
  // A data directory that is a file.
  const std::string file_home = sandbox_.path() + "outer/inner/home3";
  ASSERT_TRUE(WriteBytes(file_home, "also a file"));
  for (const std::string& home : {blocked_home, file_home}) {
    SCOPED_TRACE(home);
    const platform::EnvChanges env = {{kDataHomeVariable, home}};
    EXPECT_EQ(Send(kCreator, {"HELP"}, env), kHelpReply);
    EXPECT_EQ(Send(kCreator, {"JOIN", "Club", "Ann"}, env), NotExist("Club"));
    EXPECT_EQ(Send(kCreator, {"STOP"}, env), "You have not joined any groups.");
    EXPECT_EQ(Send(kCreator, {"@Club", "hi"}, env), NotJoined("Club"));
    const std::string created = Send(kCreator, {"CREATE", "New"}, env);
    EXPECT_EQ(created, home == blocked_home
                           ? CreateInvalid("New")
                           : "You do not have the necessary rights to create a group");
    EXPECT_EQ(Tool({"ADMIN", "New", "LIST"}, env).exit_code, kToolFailureExit);
    EXPECT_EQ(Tool({"CREATE", "New", kCreator}, env).exit_code, kToolFailureExit);
  }

  // Folders where the store keeps files, and a file where a group's folder
  // belongs.
  const std::string club = GroupsPath() + "Club/";
  ASSERT_TRUE(fs::remove(club + "GROUP.DB"));
  ASSERT_TRUE(fs::create_directory(club + "GROUP.DB"));
  gateway_.Clear();
  Send(kStranger, {"JOIN", "Club", "Zed"});
  EXPECT_TRUE(Told(kStranger, "Error joining group Club"));
  Send(kAnn, {"@Club", "hi"});
  EXPECT_TRUE(Told(kAnn, NotJoined("Club")));
  EXPECT_EQ(Tool({"ADMIN", "Club", "LIST"}).output, "");
  EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000060", "Sam"}).output,
            "ERROR:  Unable to add user +15550000060 to group Club\r\n");
  EXPECT_TRUE(fs::is_directory(club + "GROUP.DB"));
  ASSERT_TRUE(fs::remove(club + "GROUP.DB"));
  MakeGroup("Club", {{kOwner, "Admin"}, {kAnn, "Ann"}});

  ASSERT_TRUE(fs::create_directory(club + "TRANS.DB"));
  gateway_.Clear();
  Send(kStranger, {"JOIN", "Club", "Zed"});
  EXPECT_TRUE(Told(kStranger, JoinOk("Club")));
  ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
  Send(kBee, {"JOIN", "Club", "Bee"});
  EXPECT_TRUE(Told(kBee, "Error joining group Club (Admin Request Queue Error)"));
  Send(kOwner, {"YES", "Club", "1"});

  fs::remove(GroupsPath() + "ERRORCTR.INI");
  ASSERT_TRUE(fs::create_directory(GroupsPath() + "ERRORCTR.INI"));
  EXPECT_EQ(Send(kStranger, {"HELP"}), kHelpReply);
  EXPECT_EQ(Send(kStranger, {"TEST"}), "Why are you trying to test?");
  ASSERT_TRUE(fs::create_directory(GroupsPath() + "GROUP.INI"));  // the store-wide block list
  Send(kStranger, {"LEAVE", "Club"});
  Send(kStranger, {"STOP"});

  const std::string ini = club + "GROUP.INI";
  ASSERT_TRUE(fs::remove(ini));
  ASSERT_TRUE(fs::create_directory(ini));
  Send(kStranger, {"JOIN", "Club", "Zed"});
  Send(kAnn, {"@Club", "hi"});
  Send(kOwner, {"ADMIN", "Club", "PROP", "PUB"});
  EXPECT_EQ(Send(kCreator, {"CREATE", "Club"}), CreateExists("Club"));
  Tool({"ADMIN", "Club", "PROP", "PUB"});
  Tool({"ADMIN", "Club", "AUTH", "ADD", "+15550000070"});
  EXPECT_TRUE(fs::is_directory(ini));

  ASSERT_TRUE(WriteBytes(GroupsPath() + "Lonely", "a file where a group's folder belongs"));
  EXPECT_EQ(Send(kCreator, {"CREATE", "Lonely"}), CreateInvalid("Lonely"));
  EXPECT_EQ(Send(kStranger, {"JOIN", "Lonely", "x"}), NotExist("Lonely"));
  EXPECT_EQ(Send(kStranger, {"LEAVE", "Lonely"}), "You have not joined the group Lonely");
  EXPECT_EQ(Tool({"CREATE", "Lonely", kOwner}).output, "ERROR:  Invalid group name Lonely\r\n");
  std::string lonely;
  ASSERT_TRUE(platform::ReadWholeFile(GroupsPath() + "Lonely", &lonely));
  EXPECT_EQ(lonely, "a file where a group's folder belongs");
}

TEST_F(HostileTest, HostileEnvironmentAndConfiguration) {
  // TessaryAdmin of every byte, or of 100,000 characters: administrator mode
  // (which sends the poster a copy) when the value begins like a yes-value.
  for (const std::string& value : {EveryByte(), "1" + EveryByte(), std::string(kHugeChars, 'Y'),
                                   std::string(kHugeChars, 'n')}) {
    gateway_.Clear();
    EXPECT_EQ(Send(kAnn, {"@Club", "hi"}, {{kAdminVariable, value}}), "");
    EXPECT_EQ(Told(kAnn, "@Club:Ann hi"), value[0] == '1' || value[0] == 'Y') << value.size();
  }

  // A translation file of random bytes translates nothing.
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  const std::string translation =
      fs::path(copy.program()).parent_path().string() + "/TessaryTranslate.INI";
  for (const std::string& contents : {RandomBytes(65536, 5), Repeated("[Text]\r\n=", 1 << 20)}) {
    ASSERT_TRUE(WriteBytes(translation, contents));
    EXPECT_EQ(SendWith(copy.program(), kStranger, {"HELP"}), kHelpReply);
    EXPECT_EQ(SendWith(copy.program(), kStranger, {"JOIN", "Nosuch", "x"}), NotExist("Nosuch"));
    EXPECT_EQ(SendWith(copy.program(), kStranger, {"hello"}), kInvalidRequest);
  }

  // Gateway ports that are no ports: each post ends, delivered or not. Only
  // 127.0.0.1 is named, so no name is ever looked up.
  const std::string hollin = home_ + "HOLLIN.INI";
  for (const char* port :
       {"-1", "4294967296", "65536", "99999", "junk", "0x1F90", "+1", "18446744073709551617"}) {
    ASSERT_TRUE(platform::ProfileWriteString(hollin, "HOLLIN", "WebPort", port));
    Send(kAnn, {"@Club", "hi"});
  }
  ASSERT_TRUE(WriteBytes(hollin, RandomBytes(4096, 6)));
  Send(kAnn, {"@Club", "hi"});
}

TEST_F(HostileTest, NamesOfTheStoresOwnFilesAreNoGroups) {
  // The store root keeps the error counts and the block list of every group
  // beside the group folders; a group of either name would take their place.
  ASSERT_FALSE(fs::exists(GroupsPath() + "ERRORCTR.INI"));
  ASSERT_FALSE(fs::exists(GroupsPath() + "GROUP.INI"));
  for (const std::string name : {"ERRORCTR.INI", "GROUP.INI", "errorctr.ini", "Group.Ini"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Send(kCreator, {"CREATE", name}), CreateInvalid(name));
    EXPECT_EQ(Tool({"CREATE", name, kOwner}).output, "ERROR:  Invalid group name " + name + "\r\n");
    EXPECT_EQ(Send(kStranger, {"JOIN", name, "Ann"}), NotExist(name));
    EXPECT_EQ(Send(kStranger, {"LEAVE", name}), "You have not joined the group " + name);
    EXPECT_FALSE(fs::is_directory(GroupsPath() + name));
  }
  // Both still work: a failure is counted, and a number on the store-wide
  // block list may join no group.
  EXPECT_EQ(Send(kStranger, {"HELP"}), kHelpReply);
  EXPECT_EQ(platform::ProfileReadString(GroupsPath() + "ERRORCTR.INI", "Errors", kStranger, "",
                                        kProfileValueBuffer),
            "1");
  ASSERT_TRUE(
      platform::ProfileWriteString(GroupsPath() + "GROUP.INI", "Blocked", kStranger, "Blocked"));
  gateway_.Clear();
  Send(kStranger, {"JOIN", "Club", "Zed"});
  EXPECT_TRUE(Told(kStranger, "Cannot join group Club, admin has blocked access."));
}

}  // namespace
