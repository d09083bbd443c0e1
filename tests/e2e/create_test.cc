// CREATE: the GROUP.INI byte for byte, the owner's member row and journal
// entry, refusals, and two runs creating one group at the same moment.
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

std::string Created(const std::string& group, const std::string& membership,
                    const std::string& posting) {
  return "Group " + group + " created.  Membership availability is " + membership +
         ".  Message posting is " + posting + ".  Use 'ADMIN " + group + "' command to administer.";
}

std::string Exists(const std::string& group) {
  return "Group " + group + " already exists.  To join group, use 'JOIN " + group +
         " YourName'.  To admin group, use 'ADMIN " + group + "'.";
}

std::string GroupIni(const std::string& membership, const std::string& posting, bool notify,
                     const std::string& owner) {
  return "[Group]\r\nMembershipType=" + membership + "\r\nPostType=" + posting + "\r\n" +
         (notify ? "Notify=Yes\r\n" : "") + "Owner=" + owner + "\r\n[Admin]\r\n" + owner +
         "=Admin\r\n";
}

using CreateTest = GroupTest;

TEST_F(CreateTest, WritesTheGroupAsThePropertyWordsSay) {
  struct Row {
    std::string words;  // the name first, kept cut at 149 characters
    const char* membership;
    const char* posting;
    bool notify = false;
    bool admin_mode = false;  // no journal entry
  };
  const std::vector<Row> rows = {
      {"Bcast private broadcast notify", "Private", "Broadcast", true},
      {"Mod Moderated PRIVATE words ignored", "Private", "Moderated"},
      // A name that merely begins with a command word.
      {"Yesterday unmod notify notify", "Public", "Unmoderated", true},
      {std::string(150, 'b'), "Public", "Unmoderated"},
      {"Solo mod", "Public", "Moderated", false, true},
  };
  for (const Row& row : rows) {
    const std::string group = row.words.substr(0, std::min<size_t>(row.words.find(' '), 149));
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 4));
    Walk({Said(kOwner, "CREATE " + row.words, Created(group, row.membership, row.posting), 0,
               row.admin_mode)});
    EXPECT_EQ(Ini(group), GroupIni(row.membership, row.posting, row.notify, kOwner)) << group;
    EXPECT_EQ(Members(group), OwnerAnd()) << group;
    EXPECT_EQ(Journal(group),
              row.admin_mode ? Lines{} : Lines{Entry(kOwner, "Admin", "CREATE " + row.words)});
  }
}

// Every refusal is answered on standard output, counts as a failure and
// leaves nothing behind: no folder, no file, no submission.
TEST_F(CreateTest, RefusalsLeaveNothingBehind) {
  const std::string choose = "Only one of the following attributes can be applied to a group:  ";
  std::vector<Step> steps = {
      {kCarol, "CREATE Club", "You do not have the necessary rights to create a group"},
      {kOwner, "Create",
       "You must specify a group name to create.  Example:  CREATE GroupName [PUBLIC / PRIVATE] "
       "[MOD / UNMOD / BROADCAST] [NOTIFY / NONOTIFY]"},
      {kOwner, "CREATE Club PUBLIC PRIVATE MOD UNMOD", choose + "PUBLIC PRIVATE"},
      {kOwner, "CREATE Club unmoderated bcast NOTIFY NONOTIFY", choose + "MOD UNMOD BROADCAST"},
      {kOwner, "CREATE Club NOTIFY nonotify", choose + "NOTIFY NONOTIFY"}};
  // Command words in any case, and names that are no safe path component.
  for (const std::string name :
       {"join", "START", "Leave", "stop", "INVITE", "create", "Delete", "help", "YES", "test",
        "admin", ".", "..", "../Escape", "a/b", "..\\Escape", "x\\y"}) {
    steps.push_back({kOwner, "CREATE " + name,
                     "Error creating group " + name + ".  Name may contain invalid characters."});
  }
  for (Step& step : steps) {
    ASSERT_TRUE(home_.SetErrorCount(step.from, 1));
    step.errors = 2;
    Walk({step});
  }
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path())) {
    files.insert(entry.path().lexically_relative(home_.path()).generic_string());
  }
  EXPECT_EQ(files,
            (std::set<std::string>{"Groups", "Groups/ERRORCTR.INI", "HOLLIN.INI", "USERS.INI"}));

  // A group that exists, in any case, is kept as it was.
  ASSERT_TRUE(home_.AddAccount(kBob, ""));
  Walk({Said(kOwner, "CREATE Club", Created("Club", "Public", "Unmoderated")),
        {kBob, "CREATE club PRIVATE NOTIFY", Exists("club"), {}, 1}});
  EXPECT_EQ(Ini("Club"), GroupIni("Public", "Unmoderated", false, kOwner));
  EXPECT_EQ(Members("Club"), OwnerAnd());
}

// Two runs creating one group at the same moment: exactly one founds it and
// is answered through the gateway (under its own account); the other hears
// that the group exists.
TEST_F(CreateTest, SimultaneousCreatesOfOneGroupFoundItOnce) {
  ASSERT_TRUE(home_.AddAccount(kBob, "rival"));
  for (int round = 0; round < 20; ++round) {
    const std::string group = "Club" + std::to_string(round);
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 0) && home_.SetErrorCount(kBob, 0));  // not quiet
    std::string out[2];
    std::thread owner([&] { out[0] = Run(kOwner, "CREATE " + group + " PRIVATE").output; });
    std::thread rival([&] { out[1] = Run(kBob, "CREATE " + group + " MOD").output; });
    owner.join();
    rival.join();
    const std::vector<Submission> sent = gateway_.Submissions();
    gateway_.Clear();
    ASSERT_EQ(sent.size(), 1u) << group;
    const bool owner_won = sent[0].phone_number == kOwner;
    const char* membership = owner_won ? "Private" : "Public";
    const char* posting = owner_won ? "Unmoderated" : "Moderated";
    EXPECT_EQ(sent[0].text, Created(group, membership, posting));
    EXPECT_EQ(out[0] + out[1], Exists(group)) << "the loser's reply, the winner's none";
    EXPECT_EQ(Ini(group), GroupIni(membership, posting, false, sent[0].phone_number));
    EXPECT_EQ(Members(group), To({sent[0].phone_number}, "Admin")) << group;
  }
}

}  // namespace
