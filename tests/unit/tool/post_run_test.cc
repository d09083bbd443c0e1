// POST run in this process: administrator mode is set for the processor it
// starts (built beside this test), and only while that child runs.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "store/trans_db.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "tool/tool.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kOwner[] = "+15550001111";

TEST(ToolPostRunTest, AdministratorModeLastsOnlyWhileTheProcessorRuns) {
  TempDir home;
  ASSERT_FALSE(home.path().empty());
  ScopedEnv kavrel_home(kDataHomeVariable, home.path());
  ScopedEnv admin_mode(kAdminModeVariable, std::nullopt);
  std::ofstream(home.path() + kUsersFileName, std::ios::binary) << "[Users]\r\n"
                                                                << kOwner << "=pw\r\n";
  FakeGateway gateway;
  ASSERT_TRUE(gateway.WriteHollinIni(home.path()));

  std::string output;
  ASSERT_EQ(RunTool({"morvanectl", "CREATE", "Friends", kOwner}, &output), 0);
  output.clear();
  EXPECT_EQ(RunTool({"morvanectl", "ADMIN", "Friends", "POST", "hi"}, &output), 0);
  EXPECT_EQ(output, "");

  // The sender gets a copy of a post only in administrator mode.
  const std::vector<Submission> sent = gateway.Accepted();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].phone_number, kOwner);
  EXPECT_EQ(sent[0].text, "@Friends:Admin hi");
  std::string value;
  EXPECT_FALSE(platform::GetEnv(kAdminModeVariable, &value)) << value;
}

}  // namespace
