// A gateway data directory with a fake gateway and groups written straight
// into the store (GROUP.INI values and member rows), for the tests of the
// commands that work on an existing group: posts, YES and ADMIN.
#ifndef E2E_GROUP_FIXTURE_H_
#define E2E_GROUP_FIXTURE_H_

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace group_fixture {

constexpr char kOwner[] = "+15550000001";  // member "Admin", as creation adds it
constexpr char kOwnerPassword[] = "own:er";
constexpr char kReceive[] = "4000";
constexpr char kAdminVariable[] = "TessaryAdmin";

// One message as the gateway was asked to send it: recipient and text.
using Message = std::pair<std::string, std::string>;

class GroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(home_.AddAccount(kOwner, kOwnerPassword));
    SetStoreBase(StoreBase::kProgramData);
  }

  // GROUP.INI as creation writes it, with `post_type` (no PostType key for
  // nullptr), and the owner's member row.
  void MakeGroup(const std::string& group, const char* post_type = "Unmoderated") {
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kMembershipTypeKey, kPublicValue));
    if (post_type != nullptr) {
      ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kPostTypeKey, post_type));
    }
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(home_.WriteGroupValue(group, kAdminSection, kOwner, kAdminValue));
    AddMembers(group, {{kOwner, "Admin"}});
  }

  // Member rows written through the store, as JOIN would leave them.
  void AddMembers(const std::string& group, const std::vector<Message>& members) {
    for (const auto& [phone, name] : members) {
      ASSERT_TRUE(AddMember(group, phone, name)) << phone;
    }
  }

  // Runs morvane for the message `words` from `sender` and answers its
  // standard output; the run must end.
  std::string Send(const std::string& sender, const std::vector<std::string>& words,
                   bool admin_mode = false) {
    return SendWith(MorvaneProgram(), sender, words, admin_mode);
  }

  // The same with another copy of the program.
  std::string SendWith(const std::string& program, const std::string& sender,
                       const std::vector<std::string>& words, bool admin_mode = false) {
    std::vector<std::string> args = {"/s", sender, "/r", kReceive, "/t"};
    args.insert(args.end(), words.begin(), words.end());
    platform::EnvChanges env;
    if (admin_mode) env.push_back({kAdminVariable, "Yes"});
    const RunResult run = home_.RunProgram(program, args, env);
    EXPECT_TRUE(run.finished) << testing::PrintToString(words);
    return run.output;
  }

  // The full command line a run of Send gets for these words.
  static std::string CommandLine(const std::string& sender, const std::string& words) {
    return "/s " + sender + " /r " + kReceive + " /t " + words;
  }

  // Every submission so far as (recipient, text), after checking that each
  // left from the receiving number under the owner's account.
  std::vector<Message> Sent() const {
    std::vector<Message> messages;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.sender, kReceive) << submission.request_line;
      EXPECT_EQ(submission.user, kOwner) << submission.request_line;
      EXPECT_EQ(submission.password, kOwnerPassword) << submission.request_line;
      messages.emplace_back(submission.phone_number, submission.text);
    }
    return messages;
  }

  // Sent(), then forgets them.
  std::vector<Message> TakeSent() {
    std::vector<Message> messages = Sent();
    gateway_.Clear();
    return messages;
  }

  std::string GroupIni(const std::string& group) const {
    return home_.ReadFile("Groups/" + group + "/GROUP.INI");
  }

  MorvaneHome home_;
  // Lets the test write member rows into the home's store itself.
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};
  FakeGateway gateway_;
};

}  // namespace group_fixture

#endif  // E2E_GROUP_FIXTURE_H_
