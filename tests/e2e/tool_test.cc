// morvanectl end to end, and hostile input through it and morvane. Every run
// must end by itself with status 0 (the tool's also -1) and leave the bystander
// group and the sandbox outside the store byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/limits.h"
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
using namespace std::string_literals;
using ::testing::Contains;
using ::testing::Pair;
using Words = std::vector<std::string>;
using Str = const std::string&;

constexpr char kOwner[] = "+15550000001";    // account; owns Club and Bystander
constexpr char kAnn[] = "+15550000002";      // member of Club
constexpr char kCreator[] = "+15550000003";  // account; creates groups
constexpr char kStranger[] = "+15550000004";
constexpr char kBob[] = "+15550000006";
constexpr char kCarol[] = "+15550000007";
constexpr char kGatewayNumber[] = "+15550009999";
constexpr int kToolFail = 255;  // -1 as the operating system reports it
constexpr size_t kHuge = 100000;
constexpr char kHelp[] = "Help is not yet available.";
constexpr char kInvalidRequest[] =
    "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
    "reply STOP. For further assistance, reply HELP.";

std::string JoinOk(Str g) {
  return "You have joined the group " + g + ".  To leave the group, reply with 'LEAVE " + g +
         "'.  To send to the group, reply and start text with @" + g;
}
std::string CreateOk(Str g) {
  return "Group " + g + " created.  Membership availability is Public.  Message posting is " +
         "Unmoderated.  Use 'ADMIN " + g + "' command to administer.";
}
std::string NotJoined(Str g) { return "You are not joined to group " + g + "."; }
std::string Left(Str g) { return "You have not joined the group " + g; }

// A byte no group name holds: a path separator, or on Windows no file name's.
bool Refused(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return c == '/' || c == '\\' ||
         (OnWindows() &&
          (byte < 0x20 || byte > 0x7F || std::string("\"*:<>?|").find(c) != std::string::npos));
}

using Macros = std::vector<std::pair<std::string, std::string>>;

std::string Replace(std::string text, const Macros& macros) {
  for (const auto& [from, to] : macros) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string Describe(Words args) {
  args.resize(std::min<size_t>(args.size(), 8));
  for (std::string& arg : args) arg = CutTo(arg, 40);
  return ::testing::PrintToString(args);
}

bool WriteBytes(Str path, Str bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(file << bytes);
}

// Every path under `root` but `skip`, with its contents and modification time.
std::map<std::string, std::string> Tree(Str root, Str skip = "") {
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
                       std::to_string(it->last_write_time(error).time_since_epoch().count());
    }
  }
  return tree;
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sandbox_.path().empty());
    fs::create_directories(home_);
    ASSERT_TRUE(WriteBytes(sandbox_.path() + "outer/inner/decoy.txt", "decoy"));
    ASSERT_TRUE(gateway_.WriteHollinIni(home_));
    ASSERT_TRUE(platform::ProfileWriteString(home_ + "HOLLIN.INI", "HOLLIN", "ReceiveSMSCommand1",
                                             std::string("morvane\t/s\t%s\t") + kGatewayNumber));
    for (const char* user : {kOwner, kCreator}) {
      ASSERT_TRUE(platform::ProfileWriteString(home_ + kUsersFileName, kUsersSection, user, "pw"));
    }
    SetStoreBase(StoreBase::kProgramData);
    MakeGroup("Club", kAnn, "Ann");
    MakeGroup("Bystander", "+15550000005", "Bee");
    ASSERT_NE(QueueTransaction("Bystander", "4000", "+15550000005", "Bee", "/s x /t JOIN B", true),
              0u);
  }

  void MakeGroup(Str group, Str phone, Str name) {
    std::string folder;
    ASSERT_TRUE(GroupFolderPath("", &folder) && GroupFolderPath(group, &folder));
    ASSERT_TRUE(WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue) &&
                WriteGroupValue(group, kGroupSection, kPostTypeKey, kUnmoderatedValue) &&
                WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner) &&
                WriteGroupValue(group, kAdminSection, kOwner, kAdminValue) &&
                AddMember(group, kOwner, "Admin") && AddMember(group, phone, name));
  }

  std::string Groups() const { return home_ + "Groups/"; }
  std::string Ini(Str group) const {
    std::string text;
    platform::ReadWholeFile(Groups() + group + "/GROUP.INI", &text);
    return text;
  }
  std::string Errors(Str sender, Str none = "") const {
    return platform::ProfileReadString(Groups() + "ERRORCTR.INI", "Errors", sender, none, 10);
  }

  RunResult Run(Str program, const Words& args, const platform::EnvChanges& env = {}) {
    const auto outside = Tree(sandbox_.path(), "outer/inner/home/Groups");
    const auto bystander = Tree(Groups() + "Bystander");
    const RunResult run = RunProgram(
        program, args, MergeEnv({{kDataHomeVariable, home_}, {"TessaryAdmin", std::nullopt}}, env));
    const std::string what = Describe(args);
    EXPECT_TRUE(run.finished) << "killed or hung: " << what;
    EXPECT_TRUE(run.exit_code == 0 ||
                (program == MorvanectlProgram() && run.exit_code == kToolFail))
        << "exit " << run.exit_code << ": " << what;
    EXPECT_TRUE(Tree(sandbox_.path(), "outer/inner/home/Groups") == outside)
        << "touched outside the store: " << what;
    EXPECT_TRUE(Tree(Groups() + "Bystander") == bystander) << "changed the bystander: " << what;
    return run;
  }
  std::string Morvane(const Words& args) { return Run(MorvaneProgram(), args).output; }
  std::string Tool(const Words& args) { return Run(MorvanectlProgram(), args).output; }

  // The error count is cleared so that quiet mode withholds no reply.
  std::string Send(Str sender, const Words& words, const platform::EnvChanges& env = {}) {
    if (IsSafeProfileKey(sender)) {
      platform::ProfileDeleteKey(Groups() + "ERRORCTR.INI", "Errors", sender);
    }
    Words args = {"/s", sender, "/r", "4000", "/t"};
    args.insert(args.end(), words.begin(), words.end());
    return Run(MorvaneProgram(), args, env).output;
  }
  // A script of runs, one a line: "[!][WHO>] WORDS[ => OUTPUT]". WHO sends
  // the words to morvane, else morvanectl runs them and '!' marks a run that
  // ends with -1; "WHO> WORDS -> TEXT" means the gateway (and not the standard
  // output) was to send TEXT to WHO. '' is an empty word, " | " breaks the
  // output's lines (each ends in CR LF from morvanectl), and without " =>"
  // the output is not checked. $O, $B, $C, $K, $S and $N stand for numbers,
  // $L, $I and $E for replies, $U and $W for the usage, $H for the ADMIN
  // list's help, $A and $D for attributes, $X for the start of a conflict
  // error, and each of `values` for its value (put in after the line is cut).
  void Script(Str text, const Macros& values = {}) {
    const std::string usage = "Usage:\r\n  " + MorvanectlProgram();
    Macros macros = {{"$O", kOwner},    {"$B", kBob}, {"$C", kCarol}, {"$K", kCreator},
                     {"$S", kStranger}, {"$N", kAnn}, {"$L", kHelp},  {"$I", kInvalidRequest}};
    macros.insert(
        macros.end(),
        {{"$E", "Error creating group $V.  Name may contain invalid characters."},
         {"$A", "Group Attributes:"},
         {"$D", "Group Attributes:  Public  Unmoderated  NoNotify"},
         {"$X", "ERROR:  Only one of the following attributes can be applied to a group: "},
         {"$U", usage + " ADMIN GroupName [ ADMIN / AUTH / PROP / ADD / REMOVE / LIST / BLOCK / "
                        "UNBLOCK / POST ]"},
         {"$W", usage.substr(8) + " CREATE GroupName OwnerPhoneNumber [ PUBLIC / PRIVATE ] [ MOD "
                                  "/ UNMOD / BROADCAST ] [ NOTIFY / NONOTIFY ]"},
         {"$H", "List, add or remove users with ADMIN rights in this group.\r\n\r\n" + usage +
                    " ADMIN GroupName ADMIN [ LIST / ADD number / REMOVE number ]"}});
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      line = Replace(line, macros);
      size_t arrow = line.find(" =>");
      const bool told = arrow == std::string::npos && (arrow = line.find(" ->")) != line.npos;
      const bool fails = line[0] == '!';
      std::istringstream words(line.substr(fails, arrow - fails));
      std::string sender;
      Words args;
      for (std::string word; words >> word;) {
        if (args.empty() && sender.empty() && word.back() == '>') {
          sender = Replace(word.substr(0, word.size() - 1), values);
        } else {
          args.push_back(word == "''" ? "" : Replace(word, values));
        }
      }
      const std::string output = Replace(
          Replace(line.substr(std::min(arrow + 4, line.size())), {{" | ", "\r\n"}}), values);
      if (!sender.empty()) {
        if (told) gateway_.Clear();
        const std::string reply = Send(sender, args);
        EXPECT_TRUE(arrow == line.npos || reply == (told ? "" : output)) << line << ": " << reply;
        EXPECT_TRUE(!told || Told(sender, output)) << line;
        continue;
      }
      const RunResult run = Run(MorvanectlProgram(), args);
      if (arrow == std::string::npos) continue;
      EXPECT_EQ(run.exit_code, fails ? kToolFail : 0) << line;
      EXPECT_EQ(run.output, output.empty() ? "" : output + "\r\n") << line;
    }
  }

  bool Told(Str recipient, Str text, bool clear = true) {
    bool told = false;
    for (const Submission& s : gateway_.Submissions()) {
      told |= s.phone_number == recipient && s.text == text;
    }
    if (clear) gateway_.Clear();
    return told;
  }

  std::vector<std::pair<std::string, std::string>> Members(Str group) const {
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
};

class ToolTest : public SandboxTest {};
class HostileTest : public SandboxTest {};

TEST_F(ToolTest, CreatePropertiesMembersBlocksAndRights) {
  Script(
      "! => $U | $W\n!DELETE Friends LIST => $U\n"
      "createGroup Friends $O => OK -- Group Friends created. | $D\n"
      "!ADMIN Friends LIS => $U\n!ADMIN Friends ADMIN LISTING => $H\n"
      "CREATE G1 $O private MOD => OK -- Group G1 created. | $A  Private  Moderated  NoNotify\n"
      "!CREATE New $O PUB PRI MOD UNMOD => $X PUBLIC PRIVATE\n"
      "ADMIN G1 PROP MOD BCAST => $X MOD UNMOD BROADCAST\n"
      "!CREATE New 1234567890123456 => ERROR:  Owner phone number 1234567890123456 is invalid\n"
      "!CREATE New $B => ERROR:  Owner phone number $B must be defined in the Kavrel \"SMS "
      "Users\" list\n"
      "!CREATE FRIENDS x => ERROR:  Group FRIENDS already exists\n"
      "!CREATE Join $O => ERROR:  Invalid group name Join\n"
      "ADMIN Friends PROPERTIES PRIVATE MOD NOTIFY => OK -- Current properties for group "
      "Friends -- PRIVATE  MODERATED  NOTIFY\n"
      "ADMIN Friends ADD 555-0001 Bob => ERROR:  Invalid number 555-0001, not added to group "
      "Friends\n"
      "ADMIN Friends ADDRESS $B Bob => OK\n"
      "ADMIN Friends ADD $B BOB => ERROR:  User $B already exists in group Friends\n"
      "ADMIN Friends add $B Robert => OK\nADMIN Friends ADD $C Carol => OK\n"
      "ADMIN Friends REMOVE robert => OK\n"
      "ADMIN Friends REMOVE $B => ERROR:  User $B does not exist in group Friends\n"
      "ADMIN Friends ADD $B Bob => OK\nADMIN Friends BLOCK Bob => OK\n"
      "ADMIN Friends LIST => $O | $C\n"
      "ADMIN Friends UNBLOCK Bob => ERROR:  User Bob was not blocked in group Friends\n");
  EXPECT_FALSE(fs::exists(Groups() + "New") || fs::exists(Groups() + "Join"));
  // Values are replaced in place; a new key follows the section's last.
  const std::string head = "[Group]\r\nMembershipType=Private\r\nPostType=Moderated\r\nOwner=";
  const std::string admin = std::string("\r\n[Admin]\r\n") + kOwner + "=Admin\r\n";
  EXPECT_EQ(Ini("G1"), head + kOwner + admin);
  EXPECT_EQ(Ini("Friends"),
            head + kOwner + "\r\nNotify=Yes" + admin + "[Blocked]\r\n" + kBob + "=Blocked\r\n");
  Script(
      "ADMIN Friends prop bcast nonotify => OK -- Current properties for group Friends -- "
      "PRIVATE  BROADCAST  NONOTIFY\n"
      "ADMIN Friends UNBLOCKED $B => OK\nADMIN Friends BLOCK Carol => OK\n"
      "ADMIN Friends UNBLOCK ALLx => ERROR:  User ALLx was not blocked in group Friends\n"
      "ADMIN Friends UNBLOCK all => OK\n");
  EXPECT_EQ(Ini("Friends").find("Notify"), Ini("Friends").find("Blocked"));  // neither is left
  // Numbers with letters come only from the gateway; the list is in case-insensitive
  // phone order. Rights lists take a number (a member's or not) or a member's name.
  ASSERT_TRUE(AddMember("Friends", "Bob-x", "bx") && AddMember("Friends", "alice", "al") &&
              AddMember("Friends", kCarol, "Carol"));
  Script(
      "ADMIN Friends list => $O | $C | alice | Bob-x\n"
      "ADMIN Friends Administrators ADD +15550004444 => OK\nADMIN Friends admin add carol => OK\n"
      "ADMIN Friends ADMIN ADD Nobody => ERROR:  Invalid phone number Nobody\n"
      "ADMIN Friends ADMIN LIST => $O - Admin | +15550004444 | $C - Carol\n"
      "ADMIN Friends ADMIN REMOVE Carol => OK\n"
      "ADMIN Friends ADMIN REMOVE al => ERROR:  alice is not currently an ADMIN for this group\n"
      "ADMIN Friends ADMIN LIST => $O - Admin | +15550004444\n");
}

TEST_F(ToolTest, PostGoesThroughTheProcessorToEveryMember) {
  Script(
      "CREATE Friends $O => OK -- Group Friends created. | $D\n"
      "ADMIN Friends ADD $B Bob => OK\nADMIN Friends ADD $C Carol => OK\n"
      "ADMIN Friends POST '' => ERROR:  No text to post\n");
  // The post goes to each member from the gateway number under the owner's account, as the
  // processor's command line: runs of blanks, in a word or around an empty one, are one space.
  for (const auto& [words, text] : std::vector<std::pair<Words, std::string>>{
           {{"Say", "\"hi\"", "to", "C:\\d\\", "\\\\x\\"}, " Say \"hi\" to C:\\d\\ \\\\x\\"},
           {{"Hello   there", "", "\tall "}, " Hello there all"},
           {{" "}, ""}}) {
    Words args = {"ADMIN", "Friends", "POSTING"};
    args.insert(args.end(), words.begin(), words.end());
    EXPECT_EQ(Tool(args), "");
    std::string sent, expected;
    for (const Submission& s : gateway_.Accepted()) {
      sent +=
          s.phone_number + " " + s.sender + " " + s.user + ":" + s.password + " " + s.text + "\n";
    }
    for (const char* to : {kOwner, kBob, kCarol}) {
      expected += to + (" " + std::string(kGatewayNumber) + " " + kOwner + ":pw @Friends:Admin") +
                  text + "\n";
    }
    EXPECT_EQ(sent, expected);
    gateway_.Clear();
  }
  // Without its post marker the processor would take these names for commands; it cannot
  // take a name too long or holding its ':' (which no Windows file name holds).
  for (const std::string& group : {std::string("Helpers"), std::string("#Friends"),
                                   std::string("a:b"), std::string(kMaxGroupChars + 1, 'g')}) {
    if (OnWindows() && group == "a:b") continue;
    const bool posts = group.size() < 9 && group != "a:b";
    Script("CREATE $V $O => OK -- Group $V created. | $D\nADMIN $V POST Hey => $Z\n",
           {{"$V", group}, {"$Z", posts ? "" : "ERROR:  Invalid group name " + group}});
    EXPECT_EQ(Told(kOwner, "@" + group + ":Admin Hey"), posts);
  }
  // A group made by the tool serves text messages.
  Script("$S> JOIN Friends D -> " + JoinOk("Friends") + "\n");
}

TEST_F(HostileTest, HugeArgumentsAndTenThousandOfThem) {
  Words many(10000, "w");
  // The fetched URL holds 4095 characters and every space is sent as %20, so
  // what arrives is the start of the post.
  many[0] = "@Club";
  EXPECT_EQ(Send(kAnn, many), "");
  std::string post = "@Club:Ann";
  while (post.size() < 8191) post += " w";
  const std::string delivered = gateway_.Submissions().at(0).text;
  EXPECT_GT(delivered.size(), 1000u);
  EXPECT_EQ(post.compare(0, delivered.size(), delivered), 0);
  many[0] = "TEST";
  EXPECT_EQ(Send(kStranger, many).substr(0, 30), "Why are you trying to test w w");
  EXPECT_EQ(Morvane(Words(10000, "/s")), NotJoined("s"));
  EXPECT_EQ(Morvane(many), kInvalidRequest);
  many[0] = "CREATE", many[1] = "Lots", many[2] = kOwner;
  EXPECT_EQ(Tool(many),
            "OK -- Group Lots created.\r\nGroup Attributes:  Public  Unmoderated  NoNotify\r\n");
  many[0] = "ADMIN", many[2] = "POST";
  EXPECT_EQ(Tool(many), "ERROR:  Text too long to post\r\n");

  if (OnWindows()) GTEST_SKIP() << "a Windows command line holds at most 32767 characters";
  std::string bytes;
  while (bytes.size() < kHuge) bytes += EveryByte();
  bytes.resize(kHuge);
  for (const std::string& huge : {std::string(kHuge, 'A'), bytes}) {
    const bool letters = huge[0] == 'A';
    const std::string name = huge.substr(0, 149);
    gateway_.Clear();
    EXPECT_EQ(Morvane({"/s", kAnn, "/r", huge, "/t", "@Club", "hi"}), "");
    EXPECT_EQ(gateway_.Submissions().at(0).sender, huge.substr(0, 49));
    // A post's group word ends at its first ':'.
    const std::string joiner = letters ? "+15550000010" : "+15550000011";
    const Macros values = {
        {"$V", huge},
        {"$M", name},
        {"$G", name.substr(0, name.find(':'))},
        {"$J", joiner},
        {"$Q",
         letters ? "" : "Error creating group " + name + ".  Name may contain invalid characters."},
        {"$T", CutTo("Why are you trying to test " + huge, 1023)}};
    Script(
        "$V> HELP => $L\n$S> $V => $I\n$S> @$V => You are not joined to group $G.\n"
        "$S> JOIN $V Ann => Cannot join group $M, it does not exist.\n$J> JOIN Club $V =>\n"
        "$K> CREATE $V => $Q\n$S> TEST $V => $T\n",
        values);
    EXPECT_THAT(Members("Club"), Contains(Pair(joiner, name)));
    Script(
        "$O> ADMIN Club ADD $V $V\n$O> ADMIN Club UNBLOCK $V $V\n$O> ADMIN Club PROP $V $V\n"
        "$O> ADMIN Club AUTH $V $V\n$O> ADMIN Club REMOVE $V -> User $M is removed from group "
        "Club.\n",
        values);  // the joiner of that name
    gateway_.Clear();
    Send(kAnn, {"@Club", huge});
    const Submission delivery = gateway_.Submissions().at(0);
    EXPECT_EQ(delivery.phone_number, kOwner);
    EXPECT_GT(delivery.text.size(), 1000u);
    EXPECT_LE(delivery.text.size(), 8191u);
    EXPECT_EQ(("@Club:Ann " + huge).compare(0, delivery.text.size(), delivery.text), 0);
    // The group of 149 letters exists now, so that answer goes to the gateway.
    gateway_.Clear();
    EXPECT_EQ(Send(kStranger, {"LEAVE", huge}), letters ? "" : Left(name));
    EXPECT_EQ(Told(kStranger, Left(name)), letters);
  }
}

TEST_F(HostileTest, EveryByteInGroupNames) {
  // Classes of bytes: refused (each in process, a few end to end), ':' (ends a post's group
  // word), lower case (whose group is the capital's), and the others, many to a name.
  std::string others;
  for (int b = 1; b <= 255; ++b) {
    const char c = static_cast<char>(b);
    EXPECT_EQ(IsSafeGroupName(std::string("G") + c + "x"), c != '/' && c != '\\') << b;
    if (!Refused(c) && c != ':') others += c;
  }
  Words names = {"GAx"};
  for (size_t at = 0; at < others.size(); at += 60) {
    names.push_back("G" + others.substr(at, 60) + "x");
  }
  if (!Refused(':')) names.push_back("G:x");
  for (const std::string& group : names) {
    SCOPED_TRACE(Describe({group}));
    const bool colon = group == "G:x";  // a private message in group G
    Script(
        "$K> CREATE $V =>\n$K> @$V hi => $R\nADMIN $V LIST => $K\n"
        "CREATE $T $O => OK -- Group $T created. | $D\n",
        {{"$V", group}, {"$T", "T" + group.substr(1)}, {"$R", colon ? NotJoined("G") : ""}});
    EXPECT_TRUE(Told(kCreator, CreateOk(group), false));
    EXPECT_EQ(Told(kCreator, "You are the only member of group " + group), !colon);
    EXPECT_TRUE(fs::exists(Groups() + group + "/GROUP.INI"));
    EXPECT_THAT(Members("T" + group.substr(1)), Contains(Pair(kOwner, "Admin")));
  }
  Script(
      "$K> CREATE Gax => Group Gax already exists.  To join group, use 'JOIN Gax YourName'.  To "
      "admin group, use 'ADMIN Gax'.\n"
      "!CREATE Tax $O => ERROR:  Group Tax already exists\n");
  // A refused ':' ends a post's group word all the same.
  for (const char c : std::string("/\\\x01\x1F\"*:<>?|\x80\xFF")) {
    if (!Refused(c)) continue;
    const std::string group = std::string("G") + c + "x";
    Script(
        "$K> CREATE $V => $E\n$K> @$V hi => You are not joined to group $P.\n"
        "!ADMIN $V LIST => ERROR:  Group $V does not exist\n"
        "!CREATE $V $O => ERROR:  Invalid group name $V\n",
        {{"$V", group}, {"$P", c == ':' ? "G" : group}});
  }
}

TEST_F(HostileTest, EveryByteInPhoneNumbersUserNamesAndTexts) {
  // A sender keeps an error count unless it cannot be a key of the file
  // ('=', CR or LF in it); the other bytes go many to a run.
  const std::string bytes = EveryByte();
  ASSERT_TRUE(
      platform::ProfileWriteString(Groups() + "ERRORCTR.INI", "Errors", "+15559999999", "5"));
  Words senders = {"+1555=0001", "+1555\r0001", "+1555\n0001"};
  std::string keyable;
  for (const char c : bytes) keyable += c == '=' || c == '\r' || c == '\n' ? "" : std::string(1, c);
  for (size_t at = 0; at < keyable.size(); at += 44) {
    senders.push_back("+1555" + keyable.substr(at, 44));
  }
  for (size_t i = 0; i < senders.size(); ++i) {
    SCOPED_TRACE(Describe({senders[i]}));
    Script("$V> HELP => $L\n", {{"$V", senders[i]}});
    EXPECT_EQ(Errors(senders[i], "none"), i < 3 ? "none" : "1");
  }
  EXPECT_EQ(Errors("+15559999999"), "5");

  // Numbers of every byte, 49 at a time (a number holds 49).
  Words numbers;
  for (size_t at = 0; at < bytes.size(); at += 49) numbers.push_back(bytes.substr(at, 49));
  for (size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(Send(numbers[i], {"JOIN", "Club", "N" + std::to_string(i)}), "");
    EXPECT_TRUE(Told(numbers[i], JoinOk("Club"))) << i;
    EXPECT_THAT(Members("Club"), Contains(Pair(numbers[i], "N" + std::to_string(i))));
  }
  Send(kAnn, {"@Club", bytes});
  for (Str n : numbers) EXPECT_TRUE(Told(n, "@Club:Ann " + bytes, false)) << Describe({n});
  EXPECT_EQ(Morvane({"/s", kAnn, "/r", numbers[0], "/t", "@Club", "x"}), "");
  EXPECT_EQ(gateway_.Submissions().back().sender, numbers[0]);
  for (Str n : numbers)
    Script("$V> LEAVE Club -> Goodbye.  You have left the group Club\n", {{"$V", n}});
  EXPECT_EQ(Members("Club").size(), 2u);
  // The tool takes digits after an optional '+' (end to end in ToolTest).
  for (const char c : bytes) {
    EXPECT_EQ(IsPhoneNumber(std::string("+1555") + c + "0001"), c >= '0' && c <= '9') << +c;
  }

  // User names and texts of every byte; a user name holds 149, the rest no ':'.
  const std::string first = bytes.substr(0, 149), rest = bytes.substr(149);
  const Macros values = {{"$V", bytes}, {"$F", first}, {"$R", rest}, {"$P", bytes.substr(0, 49)}};
  Script("+15550000021> JOIN Club $F =>\n+15550000022> JOIN Club $R =>\n", values);
  EXPECT_THAT(Members("Club"),
              ::testing::IsSupersetOf({Pair("+15550000021", first), Pair("+15550000022", rest)}));
  gateway_.Clear();
  Send("+15550000021", {"@Club", "hi"});
  EXPECT_TRUE(Told(kAnn, "@Club:" + first + " hi"));
  Send(kAnn, {"@Club:" + rest, "psst"});
  EXPECT_TRUE(Told("+15550000022", "@Club:Ann (private) psst", false));
  EXPECT_TRUE(Told(kAnn, "Message forwarded to @Club:" + rest));
  Script(
      "$S> TEST $V => Why are you trying to test $V?\n$O> ADMIN Club REMOVE $R =>\n"
      "ADMIN Club ADD +15550000023 $V => OK\n"
      "ADMIN Club AUTH ADD $V => ERROR:  Invalid phone number $P\n"
      "ADMIN Club BLOCK $F => OK\nADMIN Club UNBLOCK $V\n",
      values);
  EXPECT_TRUE(Told(kOwner, "User " + rest + " is removed from group Club."));
  EXPECT_THAT(Members("Club"), Contains(Pair("+15550000023", first)));
}

TEST_F(HostileTest, PrintfConversionsQuotesAndSqlInEveryField) {
  const Words values = {"%s%n%x%%", "%99999999999s%n%p%ls%hhn%", "'; DROP TABLE TESSARY; --",
                        "\"); DELETE FROM TRANSACTIONS; --", "x' OR '1'='1"};
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& value = values[i];
    SCOPED_TRACE(value);
    const std::string sender = "+155500001" + std::to_string(10 + i);
    const Macros macros = {{"$V", value}, {"$J", sender}};
    Script(
        "$J> JOIN Club $V =>\n$V> HELP => $L\n$S> TEST $V => Why are you trying to test $V?\n"
        "$S> JOIN No$V x => Cannot join group No$V, it does not exist.\n",
        macros);
    EXPECT_TRUE(Told(sender, JoinOk("Club")));
    EXPECT_THAT(Members("Club"), Contains(Pair(sender, value)));
    EXPECT_EQ(Errors(value), i < 4 ? "1" : "");  // counted unless the value holds '='
    Send(kAnn, {"@Club", value, value});
    EXPECT_TRUE(Told(sender, "@Club:Ann " + value + " " + value));
    Morvane({"/s", kAnn, "/r", value, "/t", "@Club", "x"});
    EXPECT_EQ(gateway_.Submissions().at(0).sender, value);
    // No Windows file name holds '"': there such a value is no group.
    if (std::none_of(value.begin(), value.end(), Refused)) {
      Script("$K> CREATE $V =>\n$J> JOIN $V Q =>\nCREATE T$V $O => OK -- Group T$V created. | $D\n",
             macros);
      EXPECT_THAT(Members(value), Contains(Pair(sender, "Q")));
    }
    gateway_.Clear();
    Script(
        "$O> ADMIN Club AUTH ADD $V =>\n$O> ADMIN Club REMOVE $V =>\n$O> YES Club $V =>\n"
        "ADMIN Club ADD +15550000200 $V => OK\nADMIN Club REMOVE $V => OK\n"
        "ADMIN Club UNBLOCK $V => ERROR:  User $V was not blocked in group Club\n",
        macros);
    EXPECT_TRUE(Told(kOwner, value + " added to the AUTH list for group Club", false));
    EXPECT_TRUE(Told(kOwner, "User " + value + " is removed from group Club."));
  }
  EXPECT_THAT(Members("Club"), ::testing::ElementsAre(Pair(kOwner, "Admin"), Pair(kAnn, "Ann")));
  EXPECT_EQ(IntegrityCheck(Groups() + "Club/GROUP.DB") + IntegrityCheck(Groups() + "Club/TRANS.DB"),
            "okok");
  EXPECT_FALSE(ReadGroupSection("Club", kAuthUserSection).empty());
}

TEST_F(HostileTest, NamesLikePathsOrTheStoresOwnFilesAreNoGroups) {
  // The store root keeps the error counts and block list beside the group folders.
  for (const std::string name : {".", "..", "../../x", "a/b", "..\\x", "Club/../Bystander",
                                 "\\\\server\\share", "/", "ERRORCTR.INI", "Group.Ini"}) {
    SCOPED_TRACE(name);
    Script(
        "$K> CREATE $V => $E\n"
        "$S> JOIN $V Ann => Cannot join group $V, it does not exist.\n"
        "$S> @$V hi => You are not joined to group $V.\n$S> LEAVE $V => You have not joined the "
        "group $V\n"
        "$O> ADMIN $V PROP PRIVATE => You do not have administrative rights to group $V.  Syntax "
        "ADMIN GroupName\n"
        "!CREATE $V $O => ERROR:  Invalid group name $V\n"
        "!ADMIN $V LIST => ERROR:  Group $V does not exist\n",
        {{"$V", name}});
    EXPECT_FALSE(fs::is_directory(Groups() + name + "/GROUP.INI"));
  }
  // Both files still work: a failure is counted, and a number on the
  // store-wide block list may join no group.
  Script("$S> HELP => $L\n");
  EXPECT_EQ(Errors(kStranger), "1");
  ASSERT_TRUE(
      platform::ProfileWriteString(Groups() + "GROUP.INI", "Blocked", kStranger, "Blocked"));
  Script("$S> JOIN Club Zed -> Cannot join group Club, admin has blocked access.\n");
  // Long names are cut to what each program keeps, and are groups then (a
  // Windows path is too short for the tool's 249, and dots no name there).
  for (const char c : {'n', '.'}) {
    if (OnWindows()) break;
    const std::string name(300, c);
    Script("$K> CREATE $V =>\nCREATE $V $O => OK -- Group $T created. | $D\n",
           {{"$V", name}, {"$T", name.substr(0, 249)}});
    EXPECT_TRUE(Told(kCreator, CreateOk(name.substr(0, 149))));
  }
}

TEST_F(HostileTest, BrokenStoreFiles) {
  const std::string club = Groups() + "Club/";
  // Puts `contents` (a folder for "<folder>") where `file` of Club belongs.
  const auto plant = [&](Str file, Str contents) {
    fs::remove_all(club + file);
    return contents == "<folder>" ? fs::create_directory(club + file)
                                  : WriteBytes(club + file, contents);
  };
  // A GROUP.INI of garbage, or a folder in its place: every command ends.
  for (const std::string& garbage :
       {RandomBytes(65536, 1), std::string(4096, '\0'), std::string("<folder>"),
        "[Group\r\n]]]\r\n==\r\nOwner\r\n[Admin]]\r\n=Admin\r\n[\r\n;x=1\r\nOwner=" +
            std::string(kHuge, '9') + "\r\n[Group]\r\nPostType=\0x\r\n["s +
            std::string(5000, '[')}) {
    ASSERT_TRUE(plant("GROUP.INI", garbage));
    Script(
        "$S> JOIN Club Zed\n$N> @Club hi\n$O> ADMIN Club PROP MOD\n$O> YES Club 1\n"
        "ADMIN Club LIST\nADMIN Club AUTH ADD $B\nADMIN Club PROP PUB NOTIFY\n"
        "ADMIN Club BLOCK Zed\nADMIN Club UNBLOCK ALL\n");
  }
  EXPECT_EQ(Send(kCreator, {"CREATE", "Club"}).rfind("Group Club already exists.", 0), 0u);
  fs::remove_all(club);
  MakeGroup("Club", kAnn, "Ann");

  // A member list that is no database or a folder: nobody is a member, and it is never
  // written. A journal that is none: a join is not lost, a request that needs it fails.
  for (const std::string& contents :
       {std::string("this is not a database\n"), RandomBytes(8192, 2),
        "SQLite format 3" + std::string(1, '\0') + RandomBytes(4080, 3), std::string("<folder>")}) {
    for (const std::string file : {"GROUP.DB", "TRANS.DB"}) {
      ASSERT_TRUE(plant(file, contents));
      if (file == "GROUP.DB") {
        Script(
            "$S> JOIN Club Zed =>\n$N> @Club hi =>\n$O> ADMIN Club REMOVE Ann =>\nADMIN Club LIST "
            "=>\n"
            "ADMIN Club ADD +15550000060 Sam => ERROR:  Unable to add user +15550000060 to group "
            "Club\n"
            "ADMIN Club REMOVE Ann => ERROR:  User Ann does not exist in group Club\n");
        EXPECT_TRUE(Told(kStranger, "Error joining group Club", false) &&
                    Told(kAnn, NotJoined("Club"), false) &&
                    Told(kOwner, "User Ann is not joined to group Club."));
      } else {
        ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPublicValue));
        Script("$S> JOIN Club Zed -> " + JoinOk("Club") + "\n$S> LEAVE Club\n$O> YES Club 1\n");
        ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPrivateValue));
        Script("$S> JOIN Club Zed -> Error joining group Club (Admin Request Queue Error)\n");
      }
      std::string after = "<folder>";
      if (!fs::is_directory(club + file)) platform::ReadWholeFile(club + file, &after);
      EXPECT_TRUE(after == contents) << file << ", which is no database, was written";
      fs::remove_all(club + file);
      MakeGroup("Club", kAnn, "Ann");
    }
  }

  // Folders where the store root keeps its files, and a file where a group's folder belongs.
  fs::remove(Groups() + "ERRORCTR.INI");
  ASSERT_TRUE(fs::create_directory(Groups() + "ERRORCTR.INI") &&
              fs::create_directory(Groups() + "GROUP.INI") && WriteBytes(Groups() + "Lonely", "x"));
  Script(
      "$S> HELP => $L\n$S> TEST => Why are you trying to test?\n"
      "$S> STOP => You have not joined any groups.\n$K> CREATE Lonely => $E\n"
      "$S> JOIN Lonely x => Cannot join group Lonely, it does not exist.\n"
      "!CREATE Lonely $O => ERROR:  Invalid group name Lonely\n",
      {{"$V", "Lonely"}});
  EXPECT_TRUE(fs::is_regular_file(Groups() + "Lonely"));
}

TEST_F(HostileTest, HostileEnvironmentAndConfiguration) {
  // TessaryAdmin of every byte, or of 100,000 characters: administrator mode
  // (which sends the poster a copy) when the value begins like a yes-value.
  for (const std::string& value :
       {EveryByte(), "1" + EveryByte(), std::string(kHuge, 'Y'), std::string(kHuge, 'n')}) {
    EXPECT_EQ(Send(kAnn, {"@Club", "hi"}, {{"TessaryAdmin", value}}), "");
    EXPECT_EQ(Told(kAnn, "@Club:Ann hi"), value[0] == '1' || value[0] == 'Y') << value.size();
  }
  // Gateway ports that are no ports, and a HOLLIN.INI of random bytes: each
  // post ends. Only 127.0.0.1 is named, so no name is ever looked up.
  const std::string hollin = home_ + "HOLLIN.INI";
  for (const char* port : {"-1", "4294967296", "junk", "18446744073709551617"}) {
    ASSERT_TRUE(platform::ProfileWriteString(hollin, "HOLLIN", "WebPort", port));
    Send(kAnn, {"@Club", "hi"});
  }
  ASSERT_TRUE(WriteBytes(hollin, RandomBytes(4096, 6)));
  Send(kAnn, {"@Club", "hi"});
}

}  // namespace
