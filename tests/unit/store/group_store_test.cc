#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/limits.h"
#include "common/text.h"
#include "platform/files.h"
#include "store/group_store.h"
#include "support/platform_checks.h"
#include "unit/store/store_fixture.h"

namespace {

namespace fs = std::filesystem;

const char kSeparator = platform::PathSeparator();

// Every path under `folder`, relative to it.
std::set<std::string> Tree(const std::string& folder) {
  std::set<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    paths.insert(fs::relative(entry.path(), folder).generic_string());
  }
  return paths;
}

struct UnsafeName {
  const char* scenario;
  std::string name;
};

void PrintTo(const UnsafeName& c, std::ostream* os) { *os << c.scenario; }

class UnsafeGroupNameTest : public StoreTest,
                            public ::testing::WithParamInterface<UnsafeName> {};

// GROUP.INI files just outside the store root and in it, each blocking
// "123", so that a name escaping the root would find one.
TEST_P(UnsafeGroupNameTest, NeverLeavesTheStoreRoot) {
  const std::string& name = GetParam().name;
  const std::string blocked = "[Group]\r\nOwner=123\r\n[Blocked]\r\n123=Blocked\r\n";
  WriteFile(home() + kGroupIniName, blocked);
  WriteFile(StoreRoot() + kGroupIniName, blocked);
  const std::set<std::string> before = Tree(home());

  EXPECT_FALSE(IsSafeGroupName(name));
  EXPECT_FALSE(GroupExists(name));
  std::string path = "stale";
  EXPECT_FALSE(GroupIniPath(name, &path));
  EXPECT_TRUE(path.empty());
  EXPECT_FALSE(GroupFolderPath(name, &path));
  EXPECT_TRUE(path.empty());
  EXPECT_FALSE(IsBlocked(name, "123"));
  EXPECT_FALSE(IsGroupAdmin("123", name));
  EXPECT_EQ(ReadGroupValue(name, kGroupSection, kOwnerKey, "none"), "none");
  EXPECT_EQ(ReadGroupSection(name, kBlockedSection), std::string(2, '\0'));
  EXPECT_FALSE(BlockUser(name, "456"));
  EXPECT_FALSE(WriteGroupValue(name, kGroupSection, kOwnerKey, "456"));
  EXPECT_FALSE(DeleteGroupSection(name, kBlockedSection));

  EXPECT_EQ(Tree(home()), before);
  EXPECT_EQ(ReadFile(home() + kGroupIniName), blocked);
  EXPECT_EQ(ReadFile(StoreRoot() + kGroupIniName), blocked);
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeGroupNameTest,
    ::testing::Values(UnsafeName{"Dot", "."}, UnsafeName{"DotDot", ".."},
                      UnsafeName{"ParentThenName", "../x"},
                      UnsafeName{"Slash", "a/b"}, UnsafeName{"Absolute", "/tmp"},
                      UnsafeName{"Backslash", "a\\b"},
                      UnsafeName{"Nul", std::string("a\0b", 3)},
                      UnsafeName{"StoreBlockListFile", "GROUP.INI"},
                      UnsafeName{"ErrorCounterFileInOtherCase", "errorctr.ini"},
                      UnsafeName{"TooLong",
                                 std::string(kMaxPathComponentBytes + 1, 'g')}),
    [](const auto& info) { return std::string(info.param.scenario); });

TEST_F(StoreTest, EmptyNameMeansTheStoreRoot) {
  fs::remove(StoreRoot());
  std::string path;
  ASSERT_TRUE(GroupIniPath("", &path));
  EXPECT_EQ(path, StoreRoot() + kGroupIniName);
  EXPECT_FALSE(fs::exists(StoreRoot()));  // the INI path creates nothing
  ASSERT_TRUE(GroupFolderPath("", &path));
  EXPECT_EQ(path, StoreRoot());
  EXPECT_TRUE(fs::is_directory(StoreRoot()));
  EXPECT_FALSE(IsSafeGroupName(""));
  WriteFile(StoreRoot() + kGroupIniName, "[Group]\r\n");
  EXPECT_FALSE(GroupExists(""));  // the store-wide file is no group
}

TEST_F(StoreTest, FolderPathCreatesOnlyTheLastFolder) {
  std::string path;
  ASSERT_TRUE(GroupIniPath("Friends", &path));
  EXPECT_EQ(path, StoreRoot() + "Friends" + kSeparator + "GROUP.INI");
  EXPECT_FALSE(fs::exists(StoreRoot() + "Friends"));
  ASSERT_TRUE(GroupFolderPath("Friends", &path));
  EXPECT_EQ(path, StoreRoot() + "Friends" + kSeparator);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_FALSE(GroupExists("Friends"));  // a folder alone is no group

  fs::remove(StoreRoot() + "Friends");
  fs::remove(StoreRoot());
  ASSERT_TRUE(GroupFolderPath("Friends", &path));  // failure is silent
  EXPECT_FALSE(fs::exists(StoreRoot()));
}

TEST_F(StoreTest, OtherCaseFindsTheSameGroup) {
  std::string created;
  ASSERT_TRUE(GroupFolderPath("Friends", &created));
  ASSERT_TRUE(WriteGroupValue("friends", kGroupSection, kOwnerKey, "123"));
  for (const char* spelling : {"FRIENDS", "friends", "fRiEnDs"}) {
    std::string path;
    ASSERT_TRUE(GroupFolderPath(spelling, &path));
    if (OnWindows()) {
      // The file system ignores case and the path keeps the name as given.
      EXPECT_TRUE(EqualsNoCase(path, created)) << spelling;
    } else {
      EXPECT_EQ(path, created) << spelling;
    }
    EXPECT_TRUE(GroupExists(spelling)) << spelling;
    EXPECT_TRUE(IsGroupAdmin("123", spelling)) << spelling;
  }
  EXPECT_EQ(Tree(StoreRoot()),
            (std::set<std::string>{"Friends", "Friends/GROUP.INI"}));
}

TEST_F(StoreTest, ExactSpellingWinsOverOtherCases) {
  if (OnWindows()) {
    GTEST_SKIP() << "the Windows file system ignores case: beta and BETA are one folder";
  }
  fs::create_directory(StoreRoot() + "beta");
  fs::create_directory(StoreRoot() + "BETA");
  WriteFile(StoreRoot() + "gamma", "a file, not a group folder");
  std::string path;
  ASSERT_TRUE(GroupFolderPath("beta", &path));
  EXPECT_EQ(path, StoreRoot() + "beta" + kSeparator);
  ASSERT_TRUE(GroupFolderPath("Beta", &path));
  EXPECT_EQ(path, StoreRoot() + "BETA" + kSeparator);  // byte-wise smallest of the two
  ASSERT_TRUE(GroupFolderPath("GAMMA", &path));
  EXPECT_EQ(path, StoreRoot() + "GAMMA" + kSeparator);
}

TEST(StorePathLimitTest, LongestPathFitsAndOneMoreFails) {
  // A data directory that need not exist: only the length matters.
  constexpr size_t kBaseBytes = 3960;
  std::string base = "/nonexistent";
  while (base.size() + 201 < kBaseBytes) base += "/" + std::string(200, 'd');
  base += "/" + std::string(kBaseBytes - base.size() - 2, 'e') + "/";
  ASSERT_EQ(base.size(), kBaseBytes);
  ScopedEnv env(kDataHomeVariable, base);
  const size_t root = base.size() + sizeof(kStoreFolderName) - 1 + 1;
  const size_t longest = kMaxStorePathBytes - kStoreFileRoom - 1 - root;
  ASSERT_LE(longest, kMaxPathComponentBytes);
  std::string path;
  ASSERT_TRUE(GroupIniPath(std::string(longest, 'n'), &path));
  EXPECT_EQ(path.size() - (sizeof(kGroupIniName) - 1) + kStoreFileRoom,
            kMaxStorePathBytes);
  EXPECT_FALSE(GroupIniPath(std::string(longest + 1, 'n'), &path));
  EXPECT_TRUE(path.empty());
  EXPECT_FALSE(GroupFolderPath(std::string(longest + 1, 'n'), &path));
}

TEST_F(StoreTest, ComponentLimitBoundary) {
  if (OnWindows()) {
    GTEST_SKIP() << "a Windows path holds at most 259 characters, so no folder name of "
                 << kMaxPathComponentBytes << " bytes fits under the temporary folder";
  }
  std::string path;
  EXPECT_TRUE(GroupFolderPath(std::string(kMaxPathComponentBytes - 1, 'c'), &path));
  EXPECT_TRUE(GroupFolderPath(std::string(kMaxPathComponentBytes, 'c'), &path));
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_FALSE(GroupFolderPath(std::string(kMaxPathComponentBytes + 1, 'c'), &path));
}

struct PropertyCase {
  const char* scenario;
  const char* group_lines;  // the [Group] section's entries; null: no file
  bool is_public, is_private, moderated, broadcast, unmoderated, notify;
};

void PrintTo(const PropertyCase& c, std::ostream* os) { *os << c.scenario; }

class GroupPropertyTest : public StoreTest,
                          public ::testing::WithParamInterface<PropertyCase> {};

TEST_P(GroupPropertyTest, ReadsAsTheTableSays) {
  const PropertyCase& c = GetParam();
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  if (c.group_lines != nullptr) {
    WriteFile(folder + kGroupIniName, std::string("[Group]\r\n") + c.group_lines);
  }
  EXPECT_EQ(IsPublicGroup("club"), c.is_public);
  EXPECT_EQ(IsPrivateGroup("club"), c.is_private);
  EXPECT_EQ(IsModeratedGroup("club"), c.moderated);
  EXPECT_EQ(IsBroadcastGroup("club"), c.broadcast);
  EXPECT_EQ(IsUnmoderatedGroup("club"), c.unmoderated);
  EXPECT_EQ(IsNotifyOn("club"), c.notify);
}

INSTANTIATE_TEST_SUITE_P(
    Files, GroupPropertyTest,
    ::testing::Values(
        PropertyCase{"NoFile", nullptr, false, false, false, false, true, false},
        PropertyCase{"NoKeys", "", false, false, false, false, true, false},
        PropertyCase{"PostTypeEmpty", "PostType=\r\n", false, false, false,
                     false, false, false},
        PropertyCase{"Moderated", "PostType=moderated\r\n", false, false, true,
                     false, false, false},
        PropertyCase{"Broadcast", "PostType=BROADCAST\r\n", false, false,
                     false, true, false, false},
        PropertyCase{"Unmoderated", "PostType=Unmoderated\r\n", false, false,
                     false, false, true, false},
        PropertyCase{"PostTypeOther", "PostType=Moderated2\r\n", false, false,
                     false, false, false, false},
        PropertyCase{"Public", "MembershipType=public\r\n", true, false, false,
                     false, true, false},
        PropertyCase{"Private", "MembershipType=PRIVATE\r\n", false, true,
                     false, false, true, false},
        PropertyCase{"MembershipOther", "MembershipType=Publicity\r\n", false,
                     false, false, false, true, false},
        PropertyCase{"MembershipEmpty", "MembershipType=\r\n", false, false,
                     false, false, true, false},
        PropertyCase{"NotifyOn", "Notify=On\r\n", false, false, false, false,
                     true, true},
        PropertyCase{"NotifyOne", "Notify=1\r\n", false, false, false, false,
                     true, true},
        PropertyCase{"NotifyYes", "Notify=yes\r\n", false, false, false, false,
                     true, true},
        PropertyCase{"NotifyNo", "Notify=No\r\n", false, false, false, false,
                     true, false}),
    [](const auto& info) { return std::string(info.param.scenario); });

TEST_F(StoreTest, RightsFollowTheListsAndTheOwner) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  WriteFile(folder + kGroupIniName,
            "[Group]\r\nOwner=Own3r\r\n[Admin]\r\nEmpty=\r\nBoss=Admin\r\n"
            "[AuthUser]\r\nPoster=AuthUser\r\nSilent=\r\n"
            "[Blocked]\r\nPest=Blocked\r\nForgiven=\r\n");
  EXPECT_TRUE(IsGroupAdmin("own3r", "Club"));  // owner without Admin entry
  EXPECT_TRUE(IsGroupAdmin("BOSS", "Club"));
  EXPECT_FALSE(IsGroupAdmin("Empty", "Club"));
  EXPECT_FALSE(IsGroupAdmin("Poster", "Club"));
  EXPECT_FALSE(IsGroupAdmin("", "Club"));
  EXPECT_TRUE(IsAuthUser("Club", "poster"));
  EXPECT_FALSE(IsAuthUser("Club", "Silent"));
  EXPECT_FALSE(IsAuthUser("Club", "Boss"));
  EXPECT_TRUE(IsBlocked("Club", "PEST"));
  EXPECT_FALSE(IsBlocked("Club", "Forgiven"));

  ASSERT_TRUE(GroupFolderPath("Ownerless", &folder));
  WriteFile(folder + kGroupIniName, "[Group]\r\nPostType=Moderated\r\n");
  EXPECT_FALSE(IsGroupAdmin("", "Ownerless"));
}

TEST_F(StoreTest, StoreWideBlockListIsSeparate) {
  WriteFile(StoreRoot() + kGroupIniName, "[Blocked]\r\n999=Blocked\r\n");
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  EXPECT_TRUE(IsBlocked("", "999"));
  EXPECT_FALSE(IsBlocked("Club", "999"));
  ASSERT_TRUE(BlockUser("Club", "123"));
  EXPECT_TRUE(IsBlocked("Club", "123"));
  EXPECT_FALSE(IsBlocked("", "123"));
  EXPECT_EQ(ReadGroupSection("Club", kBlockedSection),
            std::string("123=Blocked\0\0", 13));
}

TEST_F(StoreTest, BlockUserFailsWithoutTheFolder) {
  EXPECT_FALSE(BlockUser("Nowhere", "123"));
  EXPECT_FALSE(fs::exists(StoreRoot() + "Nowhere"));
}

// A key that would read back as another key, or as a section header, would
// let a number put in one list grant a right in another.
TEST_F(StoreTest, KeysThatWouldNotReadBackAreRefused) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  for (const char* phone : {"[Admin]", " [Admin]", ";123", "123=Admin", "", "  "}) {
    EXPECT_FALSE(IsSafeProfileKey(phone)) << phone;
    EXPECT_FALSE(BlockUser("Club", phone)) << phone;
  }
  EXPECT_TRUE(IsSafeProfileKey("+4712345678"));
  ASSERT_TRUE(BlockUser("Club", "456"));
  EXPECT_FALSE(IsGroupAdmin("456", "Club"));
  EXPECT_FALSE(IsGroupAdmin("123", "Club"));
}

TEST_F(StoreTest, ValuesAreCutToTheirBuffers) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  for (const size_t length : {kOwnerBuffer - 2, kOwnerBuffer - 1, kOwnerBuffer}) {
    const std::string owner(length, '7');
    ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, kOwnerKey, owner));
    std::string read = "stale";
    EXPECT_EQ(GetGroupOwner("Club", &read), std::min(length, kOwnerBuffer - 1));
    EXPECT_EQ(read, owner.substr(0, kOwnerBuffer - 1));
  }
  const std::string value(kProfileValueBuffer, 'v');
  ASSERT_TRUE(WriteGroupValue("Club", kGroupSection, "Long", value));
  EXPECT_EQ(ReadGroupValue("Club", kGroupSection, "Long", ""),
            value.substr(0, kProfileValueBuffer - 1));
  std::string owner = "stale";
  EXPECT_EQ(GetGroupOwner("Missing", &owner), 0u);
  EXPECT_TRUE(owner.empty());
}

TEST_F(StoreTest, DirectWritesAndDeletes) {
  std::string folder;
  ASSERT_TRUE(GroupFolderPath("Club", &folder));
  ASSERT_TRUE(WriteGroupValue("Club", kAdminSection, "111", kAdminValue));
  ASSERT_TRUE(WriteGroupValue("Club", kAdminSection, "222", kAdminValue));
  ASSERT_TRUE(DeleteGroupKey("CLUB", kAdminSection, "111"));
  EXPECT_EQ(ReadGroupSection("Club", kAdminSection),
            std::string("222=Admin\0\0", 11));
  ASSERT_TRUE(DeleteGroupSection("club", kAdminSection));
  EXPECT_EQ(ReadGroupSection("Club", kAdminSection), std::string(2, '\0'));
}

}  // namespace
