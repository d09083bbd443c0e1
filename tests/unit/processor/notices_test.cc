// The notices to a group's administrators, sent to a fake gateway: who gets
// them, in which order, their texts and where those are cut.
#include "processor/notices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "common/limits.h"
#include "platform/profile.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "translation_file.h"
#include "userdir/pendrel.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kOwner[] = "+15550001111";
constexpr char kCoAdmin[] = "+15550004444";
constexpr char kReceive[] = "4000";
constexpr char kGroup[] = "Club";

// A data directory of its own, a fake gateway it points at, and a group
// owned by kOwner whose Admin section the test fills.
class NoticesTest : public TranslationTest {
 protected:
  void SetUp() override {
    TranslationTest::SetUp();
    ASSERT_FALSE(home_.path().empty());
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()));
    ASSERT_TRUE(
        platform::ProfileWriteString(home_.path() + kUsersFileName, kUsersSection, kOwner, "pw"));
    std::error_code error;
    std::filesystem::create_directories(home_.path() + "Groups/" + kGroup, error);
    ASSERT_FALSE(error);
    SetValue("Group", "Owner", kOwner);
  }

  void SetValue(std::string_view section, std::string_view key, std::string_view value) {
    ASSERT_TRUE(platform::ProfileWriteString(home_.path() + "Groups/" + kGroup + "/GROUP.INI",
                                             section, key, value));
  }

  // Recipient and text of every submission, in order.
  std::vector<std::pair<std::string, std::string>> Sent() const {
    std::vector<std::pair<std::string, std::string>> sent;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.sender, kReceive);
      EXPECT_EQ(submission.user, kOwner);
      sent.emplace_back(submission.phone_number, submission.text);
    }
    return sent;
  }

  using Message = std::pair<std::string, std::string>;

  TempDir home_;
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};
  FakeGateway gateway_;
};

TEST_F(NoticesTest, NotifyReachesEveryAdminEntryInFileOrder) {
  SetValue("Group", "Notify", "Yes");
  SetValue("Admin", kCoAdmin, "Admin");
  SetValue("Admin", "+15550005555", "");  // no rights, but still told
  SetValue("Admin", kOwner, "Admin");
  NotifyAdmins(kReceive, kGroup, "LEAVE", "+15550002222", "Ann");
  const std::string text = "ADMIN Club NOTIFY LEAVE Ann +15550002222";
  EXPECT_THAT(Sent(), ElementsAre(Message{kCoAdmin, text}, Message{"+15550005555", text},
                                  Message{kOwner, text}));
}

TEST_F(NoticesTest, NotifyNeedsNotificationOn) {
  SetValue("Admin", kOwner, "Admin");
  for (const char* value : {"", "No", "0", "off"}) {
    SetValue("Group", "Notify", value);
    NotifyAdmins(kReceive, kGroup, "JOIN", "+15550002222", "Ann");
  }
  EXPECT_THAT(Sent(), IsEmpty());
  SetValue("Group", "Notify", "on");
  NotifyAdmins(kReceive, kGroup, "JOIN", "+15550002222", "Ann");
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "ADMIN Club NOTIFY JOIN Ann +15550002222"}));
}

TEST_F(NoticesTest, NoAdminSectionOrNoGroupSendsNothing) {
  SetValue("Group", "Notify", "Yes");
  NotifyAdmins(kReceive, kGroup, "JOIN", "+15550002222", "Ann");
  RequestApproval(kReceive, kGroup, 3, "JOIN Club Ann");
  ForwardToAdmins(kReceive, kGroup, "Ann", "hello");
  RequestApproval(kReceive, "Missing", 3, "JOIN Missing Ann");
  ForwardToAdmins(kReceive, "Missing", "Ann", "hello");
  EXPECT_THAT(Sent(), IsEmpty());
}

TEST_F(NoticesTest, ApprovalRequestAndForwardTexts) {
  SetValue("Admin", kOwner, "Admin");
  RequestApproval(kReceive, kGroup, 4294967295u, "@Club:Bob hi %s there");
  ForwardToAdmins(kReceive, kGroup, "Bob", "hi %s there");
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner,
                                          "Reply 'YES Club 4294967295' to approve:\r\n"
                                          "@Club:Bob hi %s there"},
                                  Message{kOwner, "@Club:Bob hi %s there"}));
}

TEST_F(NoticesTest, ApprovalRequestUsesTheTranslatedText) {
  SetText("AdminApproveReplyYes", "Antworte 'JA %s %u':");
  SetValue("Admin", kOwner, "Admin");
  RequestApproval(kReceive, kGroup, 12, "JOIN Club Ann");
  EXPECT_THAT(Sent(), ElementsAre(Message{kOwner, "Antworte 'JA Club 12':\r\nJOIN Club Ann"}));
}

// A text of `length` characters made of a repeated pattern, so that a cut at
// the wrong place shows.
std::string Filler(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

// One notice text whose whole length is given; `build` returns the text as
// the notice makes it and the whole text before any cut.
struct CutCase {
  const char* name;
  size_t limit;
  std::function<std::pair<std::string, std::string>(size_t length)> build;
};

class NoticeCutTest : public TranslationTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(NoticeCutTest, CutAtTheLimitAndNeverPastIt) {
  const size_t limit = GetParam().limit;
  for (size_t length : {limit - 1, limit, limit + 1, limit + 500}) {
    const auto [made, whole] = GetParam().build(length);
    ASSERT_EQ(whole.size(), length);
    // Lengths first: the texts themselves are too long to print usefully.
    EXPECT_EQ(made.size(), std::min(length, limit)) << length;
    EXPECT_TRUE(made == whole.substr(0, limit)) << length;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Notices, NoticeCutTest,
    ::testing::Values(CutCase{"Notify", kMaxNotifyChars,
                              [](size_t length) {
                                const std::string head = "ADMIN Club NOTIFY JOIN ";
                                const std::string tail = " +15550002222";
                                const std::string name = Filler(length - head.size() - tail.size());
                                return std::pair(NotifyText(kGroup, "JOIN", "+15550002222", name),
                                                 head + name + tail);
                              }},
                      CutCase{"Approval", kMaxApprovalChars,
                              [](size_t length) {
                                const std::string head = "Reply 'YES Club 7' to approve:\r\n";
                                const std::string text = Filler(length - head.size());
                                return std::pair(ApprovalText(kGroup, 7, text), head + text);
                              }},
                      CutCase{"Forward", kMaxForwardChars,
                              [](size_t length) {
                                const std::string head = "@Club:Bob ";
                                const std::string text = Filler(length - head.size());
                                return std::pair(ForwardText(kGroup, "Bob", text), head + text);
                              }}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return info.param.name; });

// What is sent is the cut text.
TEST_F(NoticesTest, LongApprovalRequestArrivesCut) {
  SetValue("Admin", kOwner, "Admin");
  const std::string text = Filler(kMaxApprovalChars);
  RequestApproval(kReceive, kGroup, 7, text);
  const std::vector<Message> sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].second.size(), kMaxApprovalChars);
  EXPECT_TRUE(sent[0].second == ApprovalText(kGroup, 7, text));
}

}  // namespace
