// The tool's cuts of its arguments, at each limit and one past it.
#include "common/limits.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "store/group_store.h"
#include "store/member_db.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"
#include "tool/tool.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kOwner[] = "+15550001111";
constexpr char kMember[] = "+15550002222";

class ToolLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    std::ofstream(home_.path() + kUsersFileName, std::ios::binary) << "[Users]\r\n"
                                                                   << kOwner << "=secret\r\n";
  }

  // Runs the tool; its report goes to output_.
  int Tool(std::vector<std::string> args) {
    args.insert(args.begin(), "morvanectl");
    output_.clear();
    return RunTool(args, &output_);
  }

  void CreateFriends() { ASSERT_EQ(Tool({"CREATE", "Friends", kOwner}), 0) << output_; }

  std::string output_;

 private:
  TempDir home_;
  ScopedEnv kavrel_home_{kDataHomeVariable, home_.path()};
};

TEST_F(ToolLimitsTest, CutsGroupNameAt249) {
  if (OnWindows()) {
    GTEST_SKIP() << "a Windows path holds at most 259 characters, too few for a group folder "
                    "of 248 characters under the store root";
  }
  for (size_t length : {kMaxToolGroupChars - 1, kMaxToolGroupChars, kMaxToolGroupChars + 1}) {
    const std::string typed(length, static_cast<char>('a' + length % 26));
    const std::string kept = typed.substr(0, kMaxToolGroupChars);
    ASSERT_EQ(Tool({"CREATE", typed, kOwner}), 0) << length;
    EXPECT_EQ(output_.substr(0, output_.find("\r\n") + 2), "OK -- Group " + kept + " created.\r\n");
    EXPECT_TRUE(GroupExists(kept)) << length;
    std::string user_name;
    EXPECT_TRUE(FindMemberByPhone(kept, kOwner, &user_name));
    EXPECT_EQ(user_name, "Admin");
  }
}

TEST_F(ToolLimitsTest, CutsOwnerAt249) {
  const std::string owner(kMaxToolOwnerChars + 1, '5');
  EXPECT_EQ(Tool({"CREATE", "Friends", owner}), kToolFailureStatus);
  EXPECT_EQ(output_, "ERROR:  Owner phone number " + owner.substr(0, kMaxToolOwnerChars) +
                         " is invalid\r\n");
}

TEST_F(ToolLimitsTest, CutsMemberNameAt149) {
  CreateFriends();
  for (size_t length :
       {kMaxToolMemberWordChars - 1, kMaxToolMemberWordChars, kMaxToolMemberWordChars + 1}) {
    const std::string phone = "+1555000300" + std::to_string(length % 10);
    const std::string name(length, 'n');
    ASSERT_EQ(Tool({"ADMIN", "Friends", "ADD", phone, name}), 0);
    EXPECT_EQ(output_, "OK\r\n") << length;
    std::string stored;
    ASSERT_TRUE(FindMemberByPhone("Friends", phone, &stored));
    EXPECT_EQ(stored, name.substr(0, kMaxToolMemberWordChars));
  }
}

TEST_F(ToolLimitsTest, RemoveLooksUpTheNameCutAt149) {
  CreateFriends();
  const std::string name(kMaxToolMemberWordChars, 'n');
  ASSERT_EQ(Tool({"ADMIN", "Friends", "ADD", kMember, name}), 0);
  EXPECT_EQ(Tool({"ADMIN", "Friends", "REMOVE", name + "x"}), 0);
  EXPECT_EQ(output_, "OK\r\n");
  std::string stored;
  EXPECT_FALSE(FindMemberByPhone("Friends", kMember, &stored));
}

TEST_F(ToolLimitsTest, CutsListTargetAt49) {
  CreateFriends();
  const std::string name(kMaxListWordChars, 'n');
  ASSERT_EQ(Tool({"ADMIN", "Friends", "ADD", kMember, name}), 0);

  // One character short of the name names nobody.
  EXPECT_EQ(Tool({"ADMIN", "Friends", "AUTH", "ADD", name.substr(1)}), 0);
  EXPECT_EQ(output_, "ERROR:  Invalid phone number " + name.substr(1) + "\r\n");
  EXPECT_FALSE(IsAuthUser("Friends", kMember));

  // One character more is cut back to the name.
  EXPECT_EQ(Tool({"ADMIN", "Friends", "AUTH", "ADD", name + "x"}), 0);
  EXPECT_EQ(output_, "OK\r\n");
  EXPECT_TRUE(IsAuthUser("Friends", kMember));
}

}  // namespace
