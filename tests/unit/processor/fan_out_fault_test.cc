// A post's fan-out, run in this process against a gateway that stays silent
// or fails in the middle of an answer. Submissions wait one second of
// silence here instead of a minute, so a silent gateway can be shown to end
// the walk like any other failed submission.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/limits.h"
#include "common/text.h"
#include "gateway/submit.h"
#include "platform/files.h"
#include "processor/handlers.h"
#include "processor/request.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

constexpr char kGroup[] = "Club";
constexpr char kOwner[] = "+15550000001";
constexpr char kAnn[] = "+15550000002";  // posts
constexpr char kBea[] = "+15550000003";
constexpr char kCid[] = "+15550000004";
constexpr char kDee[] = "+15550000005";
constexpr char kReceive[] = "4000";
constexpr unsigned kShortIdleSeconds = 1;

class FanOutFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    SetStoreBase(StoreBase::kProgramData);
    SetSubmitIdleSeconds(kShortIdleSeconds);
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    std::string folder;
    ASSERT_TRUE(GroupFolderPath("", &folder));
    ASSERT_TRUE(GroupFolderPath(kGroup, &folder));
    ASSERT_TRUE(WriteGroupValue(kGroup, kGroupSection, kMembershipTypeKey, kPublicValue));
    ASSERT_TRUE(WriteGroupValue(kGroup, kGroupSection, kOwnerKey, kOwner));
    for (const auto& [phone, name] : std::vector<std::pair<const char*, const char*>>{
             {kOwner, "Admin"}, {kAnn, "Ann"}, {kBea, "Bea"}, {kCid, "Cid"}, {kDee, "Dee"}}) {
      ASSERT_TRUE(AddMember(kGroup, phone, name));
    }
  }

  void TearDown() override { SetSubmitIdleSeconds(kSubmitIdleSeconds); }

  // Ann's post "@Club hello", handled in this process.
  Request Post() const {
    Request request;
    request.args = {"/s", kAnn, "/r", kReceive, "/t", "@Club", "hello"};
    request.text_position = 5;
    request.sender = kAnn;
    request.receive_number = kReceive;
    request.command_line = JoinWords(request.args, 0, kMaxCommandLineChars);
    HandlePost(&request);
    return request;
  }

  bool HasJournal() const {
    return platform::PathExists(home_.path() + "Groups/Club/" + kTransDbName);
  }

  std::vector<std::string> Recipients() const {
    std::vector<std::string> recipients;
    for (const Submission& submission : gateway_.Submissions()) {
      recipients.push_back(submission.phone_number);
    }
    return recipients;
  }

  TempDir home_;
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};
  FakeGateway gateway_;
};

TEST_F(FanOutFaultTest, WithoutFaultEveryOtherMemberIsReached) {
  const Request request = Post();
  EXPECT_THAT(Recipients(), ::testing::ElementsAre(kOwner, kBea, kCid, kDee));
  EXPECT_EQ(request.reply, "Message forwarded to 4 member(s) of group Club");
  EXPECT_FALSE(request.error);
  EXPECT_TRUE(HasJournal());
}

struct SilenceCase {
  const char* name;
  ServerScript script;
};

class FanOutSilenceTest : public FanOutFaultTest,
                          public ::testing::WithParamInterface<std::pair<SilenceCase, size_t>> {};

TEST_P(FanOutSilenceTest, SilentSubmissionEndsTheWalk) {
  const auto& [fault, nth] = GetParam();
  gateway_.ScriptSubmission(nth, fault.script);
  const Request request = Post();

  // Those before the silent one got the post; nobody after it was tried.
  const std::vector<std::string> order = {kOwner, kBea, kCid, kDee};
  EXPECT_EQ(Recipients(), std::vector<std::string>(order.begin(), order.begin() + nth));
  EXPECT_EQ(gateway_.Accepted().size(), nth - 1);
  EXPECT_EQ(request.reply, "Error forwarding message to group Club");
  EXPECT_TRUE(request.error);
  EXPECT_FALSE(HasJournal());
}

std::vector<std::pair<SilenceCase, size_t>> SilenceCases() {
  const std::vector<SilenceCase> faults = {
      {"SilentFromTheStart", {StaySilent()}},
      {"SilentAfterTheHeader",
       {SendBytes("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"), StaySilent()}},
      {"SilentWithoutLength", {SendBytes("HTTP/1.1 200 OK\r\n\r\nbody"), StaySilent()}},
  };
  std::vector<std::pair<SilenceCase, size_t>> cases;
  for (const SilenceCase& fault : faults) {
    for (size_t nth : {1u, 2u, 4u}) cases.emplace_back(fault, nth);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Silence, FanOutSilenceTest, ::testing::ValuesIn(SilenceCases()),
                         [](const ::testing::TestParamInfo<std::pair<SilenceCase, size_t>>& info) {
                           return std::string(info.param.first.name) + "At" +
                                  std::to_string(info.param.second);
                         });

}  // namespace
