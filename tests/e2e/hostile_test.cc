// Hostile input, end to end through morvane and morvanectl: huge and many
// arguments; every byte 0x01-0xFF in group names, user names, phone numbers
// and texts (many bytes to a run: one run per class of byte that the checks
// of names and numbers tell apart); printf conversions, quotes and SQL in
// every field; names that look like paths or like the store's own files; a
// GROUP.INI of garbage, databases that are none, files and folders swapped
// (the tests run as root, whom permission bits do not stop); a hostile
// environment. Every run must end by itself with status 0 (the tool's also
// -1), leave every file outside the store as it was and the bystander group
// byte for byte. The data directory lies three folders deep in a sandbox,
// and the whole sandbox is compared, so a path that escaped would show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "processor/vocabulary.h"
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

constexpr char kOwner[] = "+15550000001";    // account; owns Club and Bystander
constexpr char kAnn[] = "+15550000002";      // member of Club
constexpr char kCreator[] = "+15550000003";  // account; creates groups
constexpr char kStranger[] = "+15550000004";
constexpr char kBee[] = "+15550000005";  // member of Bystander only
constexpr int kToolFail = 255;           // -1 as the operating system reports it
constexpr size_t kHuge = 100000;
constexpr char kHelp[] = "Help is not yet available.";
constexpr char kInvalidRequest[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

std::string JoinOk(const std::string& g) {
  return "You have joined the group " + g + ".  To leave the group, reply with 'LEAVE " + g +
         "'.  To send to the group, reply and start text with @" + g;
}
std::string CreateOk(const std::string& g) {
  return "Group " + g + " created.  Membership availability is Public.  Message posting is " +
         "Unmoderated.  Use 'ADMIN " + g + "' command to administer.";
}
std::string CreateBad(const std::string& g) {
  return "Error creating group " + g + ".  Name may contain invalid characters.";
}
std::string NotExist(const std::string& g) { return "Cannot join group " + g + ", it does not exist."; }
std::string NotJoined(const std::string& g) { return "You are not joined to group " + g + "."; }
std::string Left(const std::string& g) { return "You have not joined the group " + g; }
std::string ToolOk(const std::string& g) {
  return "OK -- Group " + g + " created.\r\nGroup Attributes:  Public  Unmoderated  NoNotify\r\n";
}
std::string ToolBad(const std::string& g) { return "ERROR:  Invalid group name " + g + "\r\n"; }
std::string ToolNone(const std::string& g) { return "ERROR:  Group " + g + " does not exist\r\n"; }

// A byte no group name can hold: a path separator, and on Windows also what
// no file name there holds (control characters, " * : < > ? |) and a byte
// above 0x7F, which is no UTF-8 text on its own.
bool Refused(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return c == '/' || c == '\\' ||
         (OnWindows() && (byte < 0x20 || byte > 0x7F || std::string("\"*:<>?|").find(c) != std::string::npos));
}

std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

// Random bytes, the same on every run.
std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Arguments for a failure message: cut, unprintable bytes as \xNN.
std::string Describe(const std::vector<std::string>& args) {
  std::string text = std::to_string(args.size()) + " args:";
  for (size_t i = 0; i < args.size() && i < 8; ++i) {
    text += " [";
    for (const char c : CutTo(args[i], 40)) {
      const auto byte = static_cast<unsigned char>(c);
      text += byte < 0x20 || byte >= 0x7F ? "\\x" + std::to_string(byte) : std::string(1, c);
    }
    text += args[i].size() > 40 ? "...]" : "]";
  }
  return text;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  return static_cast<bool>(file);
}

// Every path under `root` but the subtree `skip`, with its contents and
// modification time ("<folder>" for a folder).
std::map<std::string, std::string> Tree(const std::string& root, const std::string& skip = "") {
  std::map<std::string, std::string> tree;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const std::string relative = fs::relative(it->path(), root).generic_string();
    if (relative == skip) {
      it.disable_recursion_pending();
    } else if (it->is_directory(error)) {
      tree[relative] = "<folder>";
    } else {
      std::ifstream file(it->path(), std::ios::binary);
      tree[relative] = std::string(std::istreambuf_iterator<char>(file), {}) + "|" +
                       std::to_string(fs::last_write_time(it->path(), error).time_since_epoch().count());
    }
  }
  return tree;
}

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
    fs::create_directories(home_);
    ASSERT_TRUE(WriteBytes(sandbox_.path() + "outer/inner/decoy.txt", "decoy"));
    ASSERT_TRUE(gateway_.WriteHollinIni(home_));
    ASSERT_TRUE(Account(home_, kOwner) && Account(home_, kCreator));
    SetStoreBase(StoreBase::kProgramData);
    MakeGroup("Club", kAnn, "Ann");
    MakeGroup("Bystander", kBee, "Bee");
    ASSERT_NE(QueueTransaction("Bystander", "4000", kBee, "Bee", "/s x /t JOIN Bystander Bee", true), 0u);
  }

  static bool Account(const std::string& home, const char* name) {
    return platform::ProfileWriteString(home + kUsersFileName, kUsersSection, name, "pw");
  }

  // A public, unmoderated group owned by kOwner with one more member.
  void MakeGroup(const std::string& group, const std::string& phone, const std::string& name) {
    std::string folder;
    ASSERT_TRUE(GroupFolderPath("", &folder) && GroupFolderPath(group, &folder));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kPostTypeKey, kUnmoderatedValue));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(WriteGroupValue(group, kAdminSection, kOwner, kAdminValue));
    ASSERT_TRUE(AddMember(group, kOwner, "Admin") && AddMember(group, phone, name));
  }

  std::string Groups() const { return home_ + "Groups/"; }

  // Runs `program` against the data directory (TessaryAdmin removed, `env`
  // on top) and checks what every hostile run must keep to.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const platform::EnvChanges& env = {}) {
    const auto outside = Tree(sandbox_.path(), "outer/inner/home/Groups");
    const auto bystander = Tree(Groups() + "Bystander");
    platform::EnvChanges changes = {{kDataHomeVariable, home_}, {"TessaryAdmin", std::nullopt}};
    for (const auto& change : env) {
      std::erase_if(changes, [&](const auto& entry) { return entry.first == change.first; });
      changes.push_back(change);
    }
    const RunResult run = RunProgram(program, args, changes);
    const std::string what = Describe(args);
    EXPECT_TRUE(run.finished) << "killed or hung: " << what;
    EXPECT_TRUE(run.exit_code == 0 || (program == MorvanectlProgram() && run.exit_code == kToolFail))
        << "exit " << run.exit_code << ": " << what;
    EXPECT_TRUE(Tree(sandbox_.path(), "outer/inner/home/Groups") == outside) << "touched outside: " << what;
    EXPECT_TRUE(Tree(Groups() + "Bystander") == bystander) << "changed the bystander: " << what;
    return run;
  }

  // morvane with a message from `sender`; its standard output. The sender's
  // error count is cleared first, so that no run of failures puts it into
  // quiet mode and withholds the replies the tests read.
  std::string Send(const std::string& sender, const std::vector<std::string>& words,
                   const platform::EnvChanges& env = {}, const std::string& program = "") {
    if (IsSafeProfileKey(sender)) platform::ProfileDeleteKey(Groups() + "ERRORCTR.INI", "Errors", sender);
    std::vector<std::string> args = {"/s", sender, "/r", "4000", "/t"};
    args.insert(args.end(), words.begin(), words.end());
    return Run(program.empty() ? MorvaneProgram() : program, args, env).output;
  }
  std::string Tool(const std::vector<std::string>& args, const platform::EnvChanges& env = {}) {
    return Run(MorvanectlProgram(), args, env).output;
  }

  // True when the gateway was asked to send `text` to `recipient`; then
  // forgets what it was asked unless told not to.
  bool Told(const std::string& recipient, const std::string& text, bool clear = true) {
    bool told = false;
    for (const Submission& s : gateway_.Submissions()) told |= s.phone_number == recipient && s.text == text;
    if (clear) gateway_.Clear();
    return told;
  }

  std::vector<std::pair<std::string, std::string>> Members(const std::string& group) const {
    std::vector<std::pair<std::string, std::string>> members;
    ForEachMember(group, [&](const Member& m) { members.emplace_back(m.phone, m.user_name); return true; });
    return members;
  }

  TempDir sandbox_;
  const std::string home_ = sandbox_.path() + "outer/inner/home/";
  ScopedEnv data_home_{kDataHomeVariable, home_};
  FakeGateway gateway_;
};

TEST_F(HostileTest, HugeArgumentsAndTenThousandOfThem) {
  const std::vector<std::string> many(10000, "w");
  auto with = [&many](std::vector<std::string> first) {
    first.insert(first.end(), many.begin(), many.end());
    return first;
  };
  // The fetched URL holds 4095 characters and every space is sent as %20, so
  // what arrives is the start of the post.
  EXPECT_EQ(Send(kAnn, with({"@Club"})), "");
  std::string post = "@Club:Ann";
  while (post.size() < 8191) post += " w";
  const std::string delivered = gateway_.Submissions().at(0).text;
  EXPECT_GT(delivered.size(), 1000u);
  EXPECT_EQ(post.compare(0, delivered.size(), delivered), 0) << delivered.substr(delivered.size() - 9);
  EXPECT_EQ(Send(kStranger, with({"TEST"})).substr(0, 30), "Why are you trying to test w w");
  EXPECT_EQ(Run(MorvaneProgram(), std::vector<std::string>(10000, "/s")).output, NotJoined("s"));
  EXPECT_EQ(Run(MorvaneProgram(), many).output, kInvalidRequest);
  EXPECT_EQ(Send(kStranger, with({"JOIN", "Club", "Zed"})), "");
  EXPECT_THAT(Members("Club"), Contains(Pair(kStranger, "Zed")));
  EXPECT_EQ(Tool(with({"ADMIN", "Club", "POST"})), "ERROR:  Text too long to post\r\n");
  EXPECT_EQ(Tool(with({"CREATE", "Lots", kOwner})), ToolOk("Lots"));

  if (OnWindows()) GTEST_SKIP() << "a Windows command line holds at most 32767 characters";
  std::string bytes;
  while (bytes.size() < kHuge) bytes += EveryByte();
  bytes.resize(kHuge);
  int n = 10;
  for (const std::string& huge : {std::string(kHuge, 'A'), bytes}) {
    const std::string name = huge.substr(0, 149), joiner = "+155500000" + std::to_string(n++);
    const bool letters = huge[0] == 'A';
    gateway_.Clear();
    EXPECT_EQ(Send(huge, {"HELP"}), kHelp);
    EXPECT_EQ(Run(MorvaneProgram(), {"/s", kAnn, "/r", huge, "/t", "@Club", "hi"}).output, "");
    EXPECT_EQ(gateway_.Submissions().at(0).sender, huge.substr(0, 49));
    EXPECT_EQ(Send(kStranger, {huge}), kInvalidRequest);
    // A post's group word ends at its first ':'.
    EXPECT_EQ(Send(kStranger, {"@" + huge}), NotJoined(name.substr(0, name.find(':'))));
    EXPECT_EQ(Send(kStranger, {"JOIN", huge, "Ann"}), NotExist(name));
    EXPECT_EQ(Send(joiner, {"JOIN", "Club", huge}), "");
    EXPECT_THAT(Members("Club"), Contains(Pair(joiner, name)));
    EXPECT_EQ(Send(kCreator, {"CREATE", huge}), letters ? "" : CreateBad(name));
    EXPECT_EQ(Send(kStranger, {"TEST", huge}), CutTo("Why are you trying to test " + huge, 1023));
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"ADD", huge, huge}, {"AUTH", "ADD", huge}, {"UNBLOCK", huge}, {"PROP", huge}}) {
      std::vector<std::string> admin = {"ADMIN", "Club"};
      admin.insert(admin.end(), words.begin(), words.end());
      Send(kOwner, admin);
    }
    gateway_.Clear();
    Send(kOwner, {"ADMIN", "Club", "REMOVE", huge});  // the joiner of that name
    EXPECT_TRUE(Told(kOwner, "User " + name + " is removed from group Club."));
    Send(kAnn, {"@Club", huge});
    const Submission delivery = gateway_.Submissions().at(0);
    EXPECT_EQ(delivery.phone_number, kOwner);
    EXPECT_GT(delivery.text.size(), 1000u);
    EXPECT_LE(delivery.text.size(), 8191u);
    EXPECT_EQ(("@Club:Ann " + huge).compare(0, delivery.text.size(), delivery.text), 0);
    // The group of 149 letters exists now, so that answer goes through the gateway.
    gateway_.Clear();
    EXPECT_EQ(Send(kStranger, {"LEAVE", huge}), letters ? "" : Left(name));
    EXPECT_EQ(Told(kStranger, Left(name)), letters);
    EXPECT_EQ(Tool({"ADMIN", huge, "LIST"}), ToolNone(huge.substr(0, 249)));
    EXPECT_EQ(Tool({"CREATE", huge, kOwner}), letters ? ToolOk(huge.substr(0, 249)) : ToolBad(huge.substr(0, 249)));
    EXPECT_EQ(Tool({"CREATE", "Fresh", huge}), "ERROR:  Owner phone number " + huge.substr(0, 249) + " is invalid\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", huge, huge}), "ERROR:  Invalid number " + name + ", not added to group Club\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", huge}), "ERROR:  User " + name + " does not exist in group Club\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "AUTH", "ADD", huge}), "ERROR:  Invalid phone number " + huge.substr(0, 49) + "\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "POST", huge}), "ERROR:  Text too long to post\r\n");
    Tool({"ADMIN", "Club", "UNBLOCK", huge});
    Tool({"ADMIN", "Club", "PROP", huge});
    Tool({huge, "Club", "LIST"});
  }
}

TEST_F(HostileTest, EveryByteInGroupNames) {
  // Bytes fall into classes: refused (checked one by one in process, a few
  // end to end), ':' (which ends a post's group word), lower-case letters
  // (whose group is the capital's), and all others, which go end to end in
  // names of many bytes each.
  std::string others;
  for (int b = 1; b <= 255; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(IsSafeGroupName(std::string("G") + c + "x"), c != '/' && c != '\\') << b;
    if (!Refused(c) && c != ':') others += c;
  }
  std::vector<std::string> names = {"GAx"};
  for (size_t at = 0; at < others.size(); at += 60) names.push_back("G" + others.substr(at, 60) + "x");
  if (!Refused(':')) names.push_back("G:x");
  for (const std::string& group : names) {
    SCOPED_TRACE(Describe({group}));
    EXPECT_EQ(Send(kCreator, {"CREATE", group}), "");
    EXPECT_TRUE(Told(kCreator, CreateOk(group)));
    EXPECT_TRUE(fs::exists(Groups() + group + "/GROUP.INI"));
    const bool colon = group == "G:x";
    EXPECT_EQ(Send(kCreator, {"@" + group, "hi"}), colon ? NotJoined("G") : "");  // a private message in G
    EXPECT_EQ(Told(kCreator, "You are the only member of group " + group), !colon);
    EXPECT_EQ(Tool({"ADMIN", group, "LIST"}), std::string(kCreator) + "\r\n");
    const std::string tool_group = "T" + group.substr(1);
    EXPECT_EQ(Tool({"CREATE", tool_group, kOwner}), ToolOk(tool_group));
    EXPECT_THAT(Members(tool_group), Contains(Pair(kOwner, "Admin")));
  }
  EXPECT_EQ(Send(kCreator, {"CREATE", "Gax"}), "Group Gax already exists.  To join group, use 'JOIN Gax YourName'.  To admin group, use 'ADMIN Gax'.");
  EXPECT_EQ(Tool({"CREATE", "Tax", kOwner}), "ERROR:  Group Tax already exists\r\n");
  for (const char c : std::string("/\\\x01\x1F\"*:<>?|\x80\xFF")) {
    const std::string group = std::string("G") + c + "x";
    if (!Refused(c)) continue;
    SCOPED_TRACE(Describe({group}));
    EXPECT_EQ(Send(kCreator, {"CREATE", group}), CreateBad(group));
    EXPECT_EQ(Send(kCreator, {"@" + group, "hi"}), NotJoined(group));
    EXPECT_EQ(Tool({"ADMIN", group, "LIST"}), ToolNone(group));
    EXPECT_EQ(Tool({"CREATE", group, kOwner}), ToolBad(group));
  }
}

TEST_F(HostileTest, EveryByteInPhoneNumbersUserNamesAndTexts) {
  // A sender keeps an error count unless it cannot be a key of the file
  // ('=', CR or LF in it): the other bytes go many to a run.
  const std::string counter = Groups() + "ERRORCTR.INI";
  ASSERT_TRUE(platform::ProfileWriteString(counter, "Errors", "+15559999999", "5"));
  const std::string bytes = EveryByte();
  std::string keyable;
  for (const char c : bytes) keyable += std::string("=\r\n").find(c) == std::string::npos ? std::string(1, c) : "";
  std::vector<std::string> senders = {"+1555=0001", "+1555\r0001", "+1555\n0001"};
  for (size_t at = 0; at < keyable.size(); at += 44) senders.push_back("+1555" + keyable.substr(at, 44));
  for (const std::string& sender : senders) {
    EXPECT_EQ(Send(sender, {"HELP"}), kHelp) << Describe({sender});
    EXPECT_EQ(platform::ProfileReadString(counter, "Errors", sender, "none", kProfileValueBuffer),
              IsSafeProfileKey(sender) ? "1" : "none") << Describe({sender});
  }
  EXPECT_EQ(senders.size(), 9u);
  EXPECT_EQ(platform::ProfileReadString(counter, "Errors", "+15559999999", "", 10), "5");

  // No number at all: the run answers, counts nothing, and makes no member
  // that every post would have to reach first.
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", "", "/r", "", "/t", "JOIN", "Club", "Nobody"}).output, "");
  EXPECT_TRUE(Told("", "Error joining group Club"));
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", "", "/t", "@Club", "hi"}).output, "");
  EXPECT_TRUE(Told("", NotJoined("Club")));

  // Numbers of every byte, 49 at a time (a number holds 49).
  std::vector<std::string> numbers;
  for (size_t at = 0; at < bytes.size(); at += 49) numbers.push_back(bytes.substr(at, 49));
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(Send(numbers[i], {"JOIN", "Club", "N" + std::to_string(i)}), "");
    EXPECT_TRUE(Told(numbers[i], JoinOk("Club"))) << i;
    EXPECT_THAT(Members("Club"), Contains(Pair(numbers[i], "N" + std::to_string(i))));
  }
  Send(kAnn, {"@Club", bytes});
  for (const std::string& n : numbers) EXPECT_TRUE(Told(n, "@Club:Ann " + bytes, false)) << Describe({n});
  gateway_.Clear();
  EXPECT_EQ(Run(MorvaneProgram(), {"/s", kAnn, "/r", bytes.substr(0, 49), "/t", "@Club", "x"}).output, "");
  EXPECT_EQ(gateway_.Submissions().at(0).sender, bytes.substr(0, 49));
  for (const std::string& number : numbers) {
    Send(number, {"LEAVE", "Club"});
    EXPECT_TRUE(Told(number, "Goodbye.  You have left the group Club")) << Describe({number});
  }
  EXPECT_EQ(Members("Club").size(), 2u);

  // The tool takes digits after an optional '+'; every byte is checked in
  // process, its neighbours and a few others end to end.
  for (const char c : bytes) EXPECT_EQ(IsPhoneNumber(std::string("+1555") + c + "0001"), c >= '0' && c <= '9');
  for (const char c : std::string("09/:+a\x01\xFF")) {
    const std::string number = std::string("+1555") + c + "0001";
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", number, "Nn"}),
              c >= '0' && c <= '9' ? "OK\r\n" : "ERROR:  Invalid number " + number + ", not added to group Club\r\n");
  }

  // User names and texts of every byte; a user name holds 149, and the rest
  // holds no ':'.
  const std::string first = bytes.substr(0, 149), rest = bytes.substr(149);
  const std::string p1 = "+15550000021", p2 = "+15550000022";
  EXPECT_EQ(Send(p1, {"JOIN", "Club", first}) + Send(p2, {"JOIN", "Club", rest}), "");
  EXPECT_THAT(Members("Club"), ::testing::IsSupersetOf({Pair(p1, first), Pair(p2, rest)}));
  Send(p1, {"@Club", "hi"});
  EXPECT_TRUE(Told(kAnn, "@Club:" + first + " hi"));
  Send(kAnn, {"@Club:" + rest, "psst"});
  EXPECT_TRUE(Told(p2, "@Club:Ann (private) psst", false));
  EXPECT_TRUE(Told(kAnn, "Message forwarded to @Club:" + rest));
  EXPECT_EQ(Send(kStranger, {"TEST", bytes}), "Why are you trying to test " + bytes + "?");
  Send(kOwner, {"ADMIN", "Club", "REMOVE", rest});
  EXPECT_TRUE(Told(kOwner, "User " + rest + " is removed from group Club."));
  EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000023", bytes}), "OK\r\n");
  EXPECT_THAT(Members("Club"), Contains(Pair("+15550000023", first)));
  EXPECT_EQ(Tool({"ADMIN", "Club", "AUTH", "ADD", bytes}), "ERROR:  Invalid phone number " + bytes.substr(0, 49) + "\r\n");
  EXPECT_EQ(Tool({"ADMIN", "Club", "BLOCK", first}), "OK\r\n");
  Tool({"ADMIN", "Club", "UNBLOCK", bytes});
}

TEST_F(HostileTest, PrintfConversionsQuotesAndSqlInEveryField) {
  const std::vector<std::string> values = {"%s%n%x%%", "%99999999999s%n%p%ls%hhn%", "'", "\"",
                                           "'; DROP TABLE TESSARY; --",
                                           "\"); DELETE FROM TRANSACTIONS; --", "x' OR '1'='1"};
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& value = values[i];
    SCOPED_TRACE(value);
    const std::string sender = "+155500001" + std::to_string(10 + i);
    EXPECT_EQ(Send(sender, {"JOIN", "Club", value}), "");
    EXPECT_TRUE(Told(sender, JoinOk("Club")));
    EXPECT_THAT(Members("Club"), Contains(Pair(sender, value)));
    EXPECT_EQ(Send(value, {"HELP"}), kHelp);
    EXPECT_EQ(platform::ProfileReadString(Groups() + "ERRORCTR.INI", "Errors", value, "", 10),
              IsSafeProfileKey(value) ? "1" : "");
    Send(kAnn, {"@Club", value, value});
    EXPECT_TRUE(Told(sender, "@Club:Ann " + value + " " + value));
    Run(MorvaneProgram(), {"/s", kAnn, "/r", value, "/t", "@Club", "x"});
    EXPECT_EQ(gateway_.Submissions().at(0).sender, value);
    EXPECT_EQ(Send(kStranger, {"TEST", value}), "Why are you trying to test " + value + "?");
    EXPECT_EQ(Send(kStranger, {"JOIN", "No" + value, "x"}), NotExist("No" + value));
    // No Windows file name holds '"' or '*': there such a value is no group.
    if (std::none_of(value.begin(), value.end(), Refused)) {
      EXPECT_EQ(Send(kCreator, {"CREATE", value}), "");
      EXPECT_TRUE(Told(kCreator, CreateOk(value)));
      EXPECT_EQ(Send(sender, {"JOIN", value, "Q"}), "");
      EXPECT_THAT(Members(value), Contains(Pair(sender, "Q")));
      EXPECT_EQ(Tool({"CREATE", "T" + value, kOwner}), ToolOk("T" + value));
    }
    Send(kOwner, {"ADMIN", "Club", "AUTH", "ADD", value});
    EXPECT_TRUE(Told(kOwner, value + " added to the AUTH list for group Club"));
    Send(kOwner, {"ADMIN", "Club", "REMOVE", value});
    EXPECT_TRUE(Told(kOwner, "User " + value + " is removed from group Club."));
    Send(kOwner, {"YES", "Club", value});
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000200", value}), "OK\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", value}), "OK\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "UNBLOCK", value}),
              "ERROR:  User " + value + " was not blocked in group Club\r\n");
  }
  EXPECT_THAT(Members("Club"), ::testing::ElementsAre(Pair(kOwner, "Admin"), Pair(kAnn, "Ann")));
  EXPECT_EQ(IntegrityCheck(Groups() + "Club/GROUP.DB"), "ok");
  EXPECT_EQ(IntegrityCheck(Groups() + "Club/TRANS.DB"), "ok");
  EXPECT_FALSE(ReadGroupSection("Club", kAuthUserSection).empty());

  // Translation texts: a text whose conversions differ from the default's
  // gives way to the default; one that matches is used, its widths capped.
  MorvaneCopy copy;
  ASSERT_FALSE(copy.program().empty());
  ASSERT_TRUE(copy.SetText("JoinGroupNotExist", values[0]) && copy.SetText("LeaveNotJoined", "%s %s %s"));
  ASSERT_TRUE(copy.SetText("UserNotJoined", "Not in %s at 100%%") && copy.SetText("InvalidRequest", values[1]));
  ASSERT_TRUE(copy.SetText("JoinNeedUserName", "%-99999999s|%s"));
  ASSERT_TRUE(copy.SetCommand("JOIN", values[0]) && copy.SetCommand("HELP", "%n"));
  const std::string program = copy.program();
  EXPECT_EQ(Send(kStranger, {values[0], "Nosuch", "x"}, {}, program), NotExist("Nosuch"));
  EXPECT_EQ(Send(kStranger, {"LEAVE", "Nosuch"}, {}, program), Left("Nosuch"));
  EXPECT_EQ(Send(kStranger, {"@Nosuch", "hi"}, {}, program), "Not in Nosuch at 100%");
  EXPECT_EQ(Send(kStranger, {"hello"}, {}, program), kInvalidRequest);
  EXPECT_EQ(Send(kStranger, {"%n"}, {}, program), kHelp);
  EXPECT_EQ(Send(kStranger, {"JOIN", "Nosuch"}, {}, program),
            CutTo("JOIN" + std::string(1020, ' ') + "|Nosuch", 1023));
  // A translation file of random bytes translates nothing.
  ASSERT_TRUE(WriteBytes(fs::path(program).parent_path().string() + "/TessaryTranslate.INI",
                         RandomBytes(65536, 5)));
  EXPECT_EQ(Send(kStranger, {"JOIN", "Nosuch", "x"}, {}, program), NotExist("Nosuch"));
  EXPECT_EQ(Send(kStranger, {"hello"}, {}, program), kInvalidRequest);
}

TEST_F(HostileTest, NamesLikePathsOrTheStoresOwnFilesAreNoGroups) {
  // The store root keeps the error counts and the store-wide block list
  // beside the group folders; a group of either name would take their place.
  for (const std::string name : {".", "..", "../../x", "a/b", "..\\x", "Club/../Bystander",
                                 "\\\\server\\share", "/", "ERRORCTR.INI", "Group.Ini"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Send(kCreator, {"CREATE", name}), CreateBad(name));
    EXPECT_EQ(Send(kStranger, {"JOIN", name, "Ann"}), NotExist(name));
    EXPECT_EQ(Send(kStranger, {"@" + name, "hi"}), NotJoined(name));
    EXPECT_EQ(Send(kStranger, {"LEAVE", name}), Left(name));
    EXPECT_EQ(Send(kOwner, {"ADMIN", name, "PROP", "PRIVATE"}),
              "You do not have administrative rights to group " + name + ".  Syntax ADMIN GroupName");
    EXPECT_EQ(Tool({"CREATE", name, kOwner}), ToolBad(name));
    EXPECT_EQ(Tool({"ADMIN", name, "LIST"}), ToolNone(name));
    EXPECT_FALSE(fs::is_directory(Groups() + name + "/GROUP.INI"));
  }
  // Both files still work: a failure is counted, and a number on the
  // store-wide block list may join no group.
  EXPECT_EQ(Send(kStranger, {"HELP"}), kHelp);
  EXPECT_EQ(platform::ProfileReadString(Groups() + "ERRORCTR.INI", "Errors", kStranger, "", 10), "1");
  ASSERT_TRUE(platform::ProfileWriteString(Groups() + "GROUP.INI", "Blocked", kStranger, "Blocked"));
  Send(kStranger, {"JOIN", "Club", "Zed"});
  EXPECT_TRUE(Told(kStranger, "Cannot join group Club, admin has blocked access."));
  // Long names are cut to what each program keeps, and are groups then (a
  // Windows path is too short for the tool's 249, and dots no name there).
  if (OnWindows()) return;
  for (const char c : {'n', '.'}) {
    const std::string name(300, c);
    EXPECT_EQ(Send(kCreator, {"CREATE", name}), "");
    EXPECT_TRUE(Told(kCreator, CreateOk(name.substr(0, 149))));
    EXPECT_EQ(Tool({"CREATE", name, kOwner}), ToolOk(name.substr(0, 249)));
  }
}

TEST_F(HostileTest, BrokenStoreFiles) {
  const std::string club = Groups() + "Club/";
  auto every_command = [this] {
    Send(kStranger, {"JOIN", "Club", "Zed"});
    Send(kAnn, {"@Club", "hi"});
    Send(kOwner, {"ADMIN", "Club", "PROP", "MOD"});
    Send(kOwner, {"YES", "Club", "1"});
    Tool({"ADMIN", "Club", "ADMIN", "LIST"});
    Tool({"ADMIN", "Club", "AUTH", "ADD", "+15550000050"});
    Tool({"ADMIN", "Club", "PROP", "PUB", "NOTIFY"});
    Tool({"ADMIN", "Club", "BLOCK", "Zed"});
    Tool({"ADMIN", "Club", "UNBLOCK", "ALL"});
  };
  // A GROUP.INI of garbage, or a folder in its place.
  for (const std::string& garbage :
       {RandomBytes(65536, 1), std::string(4096, '\0'),
        "[Group\r\n]]]\r\n==\r\nOwner\r\n[Admin]]\r\n=Admin\r\n[\r\n;x=1\r\nOwner=" +
            std::string(kHuge, '9') + "\r\n[Group]\r\nPostType=\0x\r\n[" + std::string(5000, '[')}) {
    ASSERT_TRUE(WriteBytes(club + "GROUP.INI", garbage));
    every_command();
  }
  ASSERT_TRUE(fs::remove(club + "GROUP.INI") && fs::create_directory(club + "GROUP.INI"));
  every_command();
  EXPECT_EQ(Send(kCreator, {"CREATE", "Club"}), "Group Club already exists.  To join group, use 'JOIN Club YourName'.  To admin group, use 'ADMIN Club'.");
  EXPECT_TRUE(fs::is_directory(club + "GROUP.INI"));
  fs::remove_all(club);
  MakeGroup("Club", kAnn, "Ann");

  // A member list that is no database (or one of another shape), or a
  // folder: nobody is a member, and the file is never written.
  ASSERT_TRUE(ExecSql(home_ + "other.db", "CREATE TABLE TESSARY (x);"));
  std::string other;
  ASSERT_TRUE(platform::ReadWholeFile(home_ + "other.db", &other));
  for (const std::string& contents : {std::string("this is not a database\n"), RandomBytes(8192, 2),
                                      "SQLite format 3" + std::string(1, '\0') + RandomBytes(4080, 3),
                                      other, std::string("<folder>")}) {
    const std::string members = club + "GROUP.DB";
    fs::remove_all(members);
    ASSERT_TRUE(contents == "<folder>" ? fs::create_directory(members) : WriteBytes(members, contents));
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, "Error joining group Club"));
    Send(kAnn, {"@Club", "hi"});
    EXPECT_TRUE(Told(kAnn, NotJoined("Club")));
    Send(kOwner, {"ADMIN", "Club", "REMOVE", "Ann"});
    EXPECT_TRUE(Told(kOwner, "User Ann is not joined to group Club."));
    EXPECT_EQ(Tool({"ADMIN", "Club", "LIST"}), "");
    EXPECT_EQ(Tool({"ADMIN", "Club", "ADD", "+15550000060", "Sam"}), "ERROR:  Unable to add user +15550000060 to group Club\r\n");
    EXPECT_EQ(Tool({"ADMIN", "Club", "REMOVE", "Ann"}), "ERROR:  User Ann does not exist in group Club\r\n");
    std::string after = "<folder>";
    if (!fs::is_directory(members)) {
      ASSERT_TRUE(platform::ReadWholeFile(members, &after));
    }
    EXPECT_TRUE(after == contents) << "the file that is no database was written";
  }
  fs::remove_all(club + "GROUP.DB");
  MakeGroup("Club", kAnn, "Ann");

  // A journal that is none, or a folder: a join is not lost, a request that
  // needs the journal fails.
  for (const std::string& contents : {RandomBytes(8192, 4), std::string("<folder>")}) {
    const std::string journal = club + "TRANS.DB";
    fs::remove_all(journal);
    ASSERT_TRUE(contents == "<folder>" ? fs::create_directory(journal) : WriteBytes(journal, contents));
    ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPublicValue));
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, JoinOk("Club")));
    Send(kStranger, {"LEAVE", "Club"});
    Send(kOwner, {"YES", "Club", "1"});
    ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
    Send(kStranger, {"JOIN", "Club", "Zed"});
    EXPECT_TRUE(Told(kStranger, "Error joining group Club (Admin Request Queue Error)"));
    std::string after = "<folder>";
    if (!fs::is_directory(journal)) {
      ASSERT_TRUE(platform::ReadWholeFile(journal, &after));
    }
    EXPECT_TRUE(after == contents) << "the file that is no database was written";
  }

  // Folders where the store root keeps its files, and a file where a
  // group's folder belongs.
  fs::remove(Groups() + "ERRORCTR.INI");
  ASSERT_TRUE(fs::create_directory(Groups() + "ERRORCTR.INI") && fs::create_directory(Groups() + "GROUP.INI"));
  EXPECT_EQ(Send(kStranger, {"HELP"}), kHelp);
  EXPECT_EQ(Send(kStranger, {"TEST"}), "Why are you trying to test?");
  Send(kStranger, {"STOP"});
  ASSERT_TRUE(WriteBytes(Groups() + "Lonely", "a file"));
  EXPECT_EQ(Send(kCreator, {"CREATE", "Lonely"}), CreateBad("Lonely"));
  EXPECT_EQ(Send(kStranger, {"JOIN", "Lonely", "x"}), NotExist("Lonely"));
  EXPECT_EQ(Tool({"CREATE", "Lonely", kOwner}), ToolBad("Lonely"));
  std::string lonely;
  ASSERT_TRUE(platform::ReadWholeFile(Groups() + "Lonely", &lonely));
  EXPECT_EQ(lonely, "a file");

  // A store root, or a data directory, that is a file: nothing is stored.
  const std::string blocked_home = sandbox_.path() + "outer/inner/home2/";
  const std::string file_home = sandbox_.path() + "outer/inner/home3";
  ASSERT_TRUE(fs::create_directories(blocked_home) && Account(blocked_home, kCreator));
  ASSERT_TRUE(WriteBytes(blocked_home + "Groups", "a file") && WriteBytes(file_home, "a file"));
  for (const std::string& home : {blocked_home, file_home}) {
    SCOPED_TRACE(home);
    const platform::EnvChanges env = {{kDataHomeVariable, home}};
    EXPECT_EQ(Send(kCreator, {"HELP"}, env), kHelp);
    EXPECT_EQ(Send(kCreator, {"JOIN", "Club", "Ann"}, env), NotExist("Club"));
    EXPECT_EQ(Send(kCreator, {"STOP"}, env), "You have not joined any groups.");
    EXPECT_EQ(Send(kCreator, {"CREATE", "New"}, env),
              home == blocked_home ? CreateBad("New") : "You do not have the necessary rights to create a group");
    EXPECT_EQ(Tool({"ADMIN", "New", "LIST"}, env), ToolNone("New"));
    EXPECT_NE(Tool({"CREATE", "New", kCreator}, env).find("ERROR:  "), std::string::npos);
  }
}

TEST_F(HostileTest, HostileEnvironmentAndConfiguration) {
  // TessaryAdmin of every byte, or of 100,000 characters: administrator mode
  // (which sends the poster a copy) when the value begins like a yes-value.
  for (const std::string& value : {EveryByte(), "1" + EveryByte(), std::string(kHuge, 'Y'), std::string(kHuge, 'n')}) {
    EXPECT_EQ(Send(kAnn, {"@Club", "hi"}, {{"TessaryAdmin", value}}), "");
    EXPECT_EQ(Told(kAnn, "@Club:Ann hi"), value[0] == '1' || value[0] == 'Y') << value.size();
  }
  // Gateway ports that are no ports, and a HOLLIN.INI of random bytes: each
  // post ends, delivered or not. Only 127.0.0.1 is named, so no name is ever
  // looked up.
  const std::string hollin = home_ + "HOLLIN.INI";
  for (const char* port : {"-1", "4294967296", "junk", "18446744073709551617"}) {
    ASSERT_TRUE(platform::ProfileWriteString(hollin, "HOLLIN", "WebPort", port));
    Send(kAnn, {"@Club", "hi"});
  }
  ASSERT_TRUE(WriteBytes(hollin, RandomBytes(4096, 6)));
  Send(kAnn, {"@Club", "hi"});
}

}  // namespace
