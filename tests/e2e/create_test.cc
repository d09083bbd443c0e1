// CREATE: the GROUP.INI byte for byte, the owner's member row and journal
// entry, refusals, and two runs creating one group at the same moment.
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "e2e/group_fixture.h"

namespace {

using namespace group_fixture;

using CreateTest = GroupTest;

TEST_F(CreateTest, WritesTheGroupAsThePropertyWordsSay) {
  // The words after CREATE (the name kept cut at 149 characters), the properties, and whether
  // in administrator mode (no journal entry).
  const std::tuple<std::string, const char*, const char*, bool, bool> rows[] = {
      {"Bcast private broadcast notify", "Private", "Broadcast", true, false},
      {"Mod Moderated PRIVATE words ignored", "Private", "Moderated", false, false},
      // A name that merely begins with a command word.
      {"Yesterday unmod notify notify", "Public", "Unmoderated", true, false},
      {std::string(150, 'b'), "Public", "Unmoderated", false, false},
      {"Solo mod", "Public", "Moderated", false, true}};
  for (const auto& [words, membership, posting, notify, admin_mode] : rows) {
    const std::string group = words.substr(0, std::min<size_t>(words.find(' '), 149));
    ASSERT_TRUE(home_.SetErrorCount(kOwner, 4));
    Walk({Said(kOwner, "CREATE " + words, Created(group, membership, posting), 0, admin_mode)});
    EXPECT_EQ(Ini(group), GroupIni(membership, posting, notify, kOwner)) << group;
    EXPECT_EQ(Members(group), OwnerAnd()) << group;
    EXPECT_EQ(Journal(group),
              admin_mode ? Lines{} : Lines{Entry(kOwner, "Admin", "CREATE " + words)});
  }
}

// Every refusal is answered on standard output, counts as a failure and
// leaves nothing behind: no folder, no file, no submission.
TEST_F(CreateTest, RefusalsLeaveNothingBehind) {
  std::vector<Step> steps = {
      {kCarol, "CREATE Club", "You do not have the necessary rights to create a group"},
      {kOwner, "Create",
       "You must specify a group name to create.  Example:  CREATE GroupName [PUBLIC / PRIVATE] "
       "[MOD / UNMOD / BROADCAST] [NOTIFY / NONOTIFY]"},
      {kOwner, "CREATE Club PUBLIC PRIVATE MOD UNMOD", kChoose + std::string("PUBLIC PRIVATE")},
      {kOwner, "CREATE Club unmoderated bcast NOTIFY NONOTIFY",
       kChoose + std::string("MOD UNMOD BROADCAST")},
      {kOwner, "CREATE Club NOTIFY nonotify", kChoose + std::string("NOTIFY NONOTIFY")}};
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
  for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path()))
    files.insert(entry.path().lexically_relative(home_.path()).generic_string());
  EXPECT_EQ(files,
            (std::set<std::string>{"Groups", "Groups/ERRORCTR.INI", "HOLLIN.INI", "USERS.INI"}));
  // A group that exists, in any case, is kept as it was.
  ASSERT_TRUE(home_.AddAccount(kBob, ""));
  Walk({Said(kOwner, "CREATE Club", Created("Club")),
        {kBob,
         "CREATE club PRIVATE NOTIFY",
         "Group club already exists.  To join group, use 'JOIN club YourName'.  To admin group, "
         "use 'ADMIN club'.",
         {},
         1}});
  EXPECT_EQ(Ini("Club"), GroupIni("Public", "Unmoderated", false, kOwner));
  EXPECT_EQ(Members("Club"), OwnerAnd());
}

}  // namespace
