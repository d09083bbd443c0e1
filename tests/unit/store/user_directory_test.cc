#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "store/user_directory.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "unit/store/store_fixture.h"
#include "userdir/pendrel.h"

namespace {

// The longest password a record holds: from its offset up to a closing NUL.
constexpr size_t kRecordPasswordChars =
    kUserRecordBytes - kUserRecordPasswordOffset - 1;

TEST(DataDirectoryTest, KavrelHomeGetsOneTrailingSeparator) {
  const std::string separated = std::string("/srv/kavrel") + platform::PathSeparator();
  for (const std::string home : {"/srv/kavrel", "/srv/kavrel/", separated.c_str()}) {
    ScopedEnv env(kDataHomeVariable, home);
    std::string program;
    std::string tool;
    ASSERT_TRUE(GetProgramDataDirectory(&program));
    ASSERT_TRUE(GetPrivateDataDirectory(&tool));
    EXPECT_EQ(program, home == "/srv/kavrel" ? separated : home);
    EXPECT_EQ(tool, program);
  }
}

struct FallbackCase {
  const char* scenario;
  std::optional<std::string> kavrel_home;
  std::optional<std::string> xdg;  // "@" stands for the temporary folder
  const char* expected;            // under the temporary folder
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.scenario; }

class DataDirectoryFallbackTest : public ::testing::TestWithParam<FallbackCase> {};

std::optional<std::string> UnderTemp(const std::optional<std::string>& value,
                                     const std::string& temp) {
  if (!value || value->empty() || value->front() != '@') return value;
  return temp + value->substr(1);
}

TEST_P(DataDirectoryFallbackTest, CreatesTheFolderWithItsParents) {
  if (OnWindows()) GTEST_SKIP() << "Windows keeps the data in %ProgramData%, not in the XDG folders";
  const FallbackCase& c = GetParam();
  TempDir temp;
  ScopedEnv kavrel(kDataHomeVariable, c.kavrel_home);
  ScopedEnv xdg(kXdgDataHomeVariable, UnderTemp(c.xdg, temp.path()));
  ScopedEnv home(kHomeVariable, temp.path() + "user");
  std::string directory;
  ASSERT_TRUE(GetProgramDataDirectory(&directory));
  EXPECT_EQ(directory, temp.path() + c.expected);
  EXPECT_TRUE(std::filesystem::is_directory(directory));
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DataDirectoryFallbackTest,
    ::testing::Values(
        FallbackCase{"XdgDeep", std::nullopt, "@xdg/deep", "xdg/deep/kavrel/"},
        FallbackCase{"XdgWithSlash", "", "@xdg/", "xdg/kavrel/"},
        FallbackCase{"XdgEmpty", std::nullopt, "",
                     "user/.local/share/kavrel/"},
        FallbackCase{"XdgRelative", std::nullopt, "relative/xdg",
                     "user/.local/share/kavrel/"},
        FallbackCase{"XdgUnset", "", std::nullopt,
                     "user/.local/share/kavrel/"}),
    [](const auto& info) { return std::string(info.param.scenario); });

// Without KAVREL_HOME: %ProgramData%\Kavrel\, made with its parents.
TEST(DataDirectoryTest, WindowsFallbackIsTheProgramDataFolder) {
  if (!OnWindows()) GTEST_SKIP() << "POSIX keeps the data in the XDG folders";
  TempDir temp;
  ScopedEnv kavrel(kDataHomeVariable, std::nullopt);
  ScopedEnv program_data(kProgramDataVariable, temp.path() + "data");
  std::string directory;
  ASSERT_TRUE(GetProgramDataDirectory(&directory));
  EXPECT_EQ(directory, temp.path() + "data\\Kavrel\\");
  EXPECT_TRUE(std::filesystem::is_directory(directory));
}

TEST(DataDirectoryTest, NoVariableNamesNoDirectory) {
  ScopedEnv kavrel(kDataHomeVariable, std::nullopt);
  ScopedEnv xdg(kXdgDataHomeVariable, std::nullopt);
  ScopedEnv home(kHomeVariable, std::nullopt);
  ScopedEnv program_data(kProgramDataVariable, std::nullopt);
  std::string directory = "stale";
  EXPECT_FALSE(GetProgramDataDirectory(&directory));
  EXPECT_TRUE(directory.empty());
  PendrelHandle handle = 1;
  EXPECT_EQ(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
  EXPECT_FALSE(UserExists("alice"));
  EXPECT_TRUE(StoreBaseDirectory().empty());
  std::string path;
  EXPECT_FALSE(GroupFolderPath("", &path));
}

class AccountTest : public StoreTest {
 protected:
  void WriteUsers(const std::string& lines) {
    WriteFile(home() + kUsersFileName, lines);
  }
};

TEST_F(AccountTest, LooksUpNamesWithoutRegardToCase) {
  WriteUsers(
      "[Other]\r\nghost=boo\r\n"
      "[Users]\r\nAlice=secret\r\n+4712345678=\r\n"
      "Quoted=\"two words\"\r\nbare\r\n=nameless\r\n");
  struct Lookup {
    const char* account;
    bool exists;
    const char* password;
  };
  const Lookup lookups[] = {
      {"Alice", true, "secret"},   {"ALICE", true, "secret"},
      {"alice", true, "secret"},   {"Alic", false, ""},
      {"Alice2", false, ""},       {"+4712345678", true, ""},
      {"Quoted", true, "two words"}, {"ghost", false, ""},
      {"bare", false, ""},         {"", false, ""},
  };
  for (const Lookup& lookup : lookups) {
    EXPECT_EQ(UserExists(lookup.account), lookup.exists) << lookup.account;
    std::string password = "stale";
    GetUserPassword(lookup.account, &password);
    EXPECT_EQ(password, lookup.password) << lookup.account;
  }
}

TEST_F(AccountTest, MissingUsersFileIsAnEmptyList) {
  EXPECT_FALSE(UserExists("alice"));
  std::string password = "stale";
  GetUserPassword("alice", &password);
  EXPECT_TRUE(password.empty());
  PendrelHandle handle = 0;
  ASSERT_NE(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
  PendrelCloseUserFile(handle);
}

TEST_F(AccountTest, PasswordIsCutToFitTheRecord) {
  for (const size_t length : {kRecordPasswordChars - 1, kRecordPasswordChars,
                              kRecordPasswordChars + 1}) {
    const std::string password(length, 'p');
    WriteUsers("[Users]\r\nowner=" + password + "\r\n");
    std::string read;
    GetUserPassword("owner", &read);
    EXPECT_EQ(read, password.substr(0, kRecordPasswordChars)) << length;

    PendrelHandle handle = 0;
    ASSERT_NE(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
    UserRecord record;
    record.fill('x');
    ASSERT_NE(PendrelFindUserRecord(handle, "OWNER", &record), 0);
    EXPECT_EQ(record.back(), '\0');
    PendrelCloseUserFile(handle);
  }
}

TEST_F(AccountTest, HandlesAreLimitedAndDieWhenClosed) {
  WriteUsers("[Users]\r\nalice=pw\r\n");
  PendrelHandle handle = 0;
  EXPECT_EQ(PendrelOpenUserFile(&handle, kPendrelReadAccess | 0x40000000u), 0);

  std::vector<PendrelHandle> handles(kMaxOpenUserFiles);
  for (PendrelHandle& open : handles) {
    ASSERT_NE(PendrelOpenUserFile(&open, kPendrelReadAccess), 0);
  }
  EXPECT_EQ(PendrelOpenUserFile(&handle, kPendrelReadAccess), 0);
  EXPECT_FALSE(UserExists("alice"));  // no handle left for the lookup

  UserRecord record{};
  PendrelCloseUserFile(handles.front());
  EXPECT_EQ(PendrelFindUserRecord(handles.front(), "alice", &record), 0);
  EXPECT_TRUE(UserExists("alice"));
  for (const PendrelHandle open : handles) PendrelCloseUserFile(open);
}

}  // namespace
