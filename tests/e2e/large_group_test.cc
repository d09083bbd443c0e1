// Groups larger than one page of the member walk: a post and the operator's
// LIST reach every member once, in phone order, across the page boundaries,
// and a failed submission still ends the fan-out where it happens.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"
#include "store/sqlite_handle.h"

namespace {

using namespace group_fixture;

constexpr char kGroup[] = "Big";
// Two full pages and one more member besides the owner.
constexpr unsigned kOthers = 2 * kMemberPageSize + 1;

std::string MemberPhone(unsigned n) {
  char phone[32];
  std::snprintf(phone, sizeof phone, "+1666%07u", n);
  return phone;
}

class LargeGroupTest : public GroupTest {
 protected:
  // The group as MakeGroup leaves it, and kOthers more members written in
  // one transaction (added from the last, so the row order is not the phone
  // order). Answers every member's phone in phone order.
  std::vector<std::string> MakeBigGroup() {
    MakeGroup(kGroup);
    std::string folder;
    EXPECT_TRUE(GroupFolderPath(kGroup, &folder));
    SqliteDatabase db = OpenForWriting(folder + kGroupDbName, "TESSARY",
                                       {kMemberTableStatement, kMemberIndexStatement});
    SqliteTransaction transaction(db);
    EXPECT_TRUE(transaction.active());
    std::vector<std::string> phones = {kOwner};
    for (unsigned n = kOthers; n > 0; --n) {
      const std::string phone = MemberPhone(n);
      SqliteStatement insert(db, "INSERT into TESSARY VALUES (?,?,?);");
      EXPECT_TRUE(insert.BindAll({phone, "m" + std::to_string(n), "2024-01-01 00:00:00"}) &&
                  insert.StepDone());
      phones.push_back(phone);
    }
    EXPECT_TRUE(transaction.Commit());
    std::sort(phones.begin(), phones.end());
    return phones;
  }
};

TEST_F(LargeGroupTest, PostReachesEveryOtherMemberOnceInPhoneOrder) {
  std::vector<std::string> expected = MakeBigGroup();
  expected.erase(std::find(expected.begin(), expected.end(), kOwner));
  EXPECT_EQ(Send(kOwner, {"@Big", "hello"}), "");

  std::vector<Message> sent = Sent();
  ASSERT_EQ(sent.size(), kOthers + 1);
  EXPECT_EQ(sent.back(), (Message{kOwner, "Message forwarded to " + std::to_string(kOthers) +
                                              " member(s) of group Big"}));
  sent.pop_back();
  std::vector<std::string> recipients;
  for (const auto& [phone, text] : sent) {
    EXPECT_EQ(text, "@Big:Admin hello") << phone;
    recipients.push_back(phone);
  }
  EXPECT_EQ(recipients, expected);
}

TEST_F(LargeGroupTest, FailedSubmissionInALaterPageEndsTheFanOutThere) {
  MakeBigGroup();
  constexpr size_t kFailing = kMemberPageSize + 5;
  gateway_.FailSubmission(kFailing);
  Send(kOwner, {"@Big", "hello"});
  const std::vector<Submission> all = gateway_.Submissions();
  // The members up to the failed one, then the error reply.
  ASSERT_EQ(all.size(), kFailing + 1);
  EXPECT_EQ(all[kFailing - 1].status, 500);
  EXPECT_EQ(all.back().phone_number, kOwner);
  EXPECT_EQ(all.back().text, "Error forwarding message to group Big");
}

TEST_F(LargeGroupTest, ToolListsEveryMemberOnceInPhoneOrder) {
  const std::vector<std::string> phones = MakeBigGroup();
  std::string expected;
  for (const std::string& phone : phones) expected += phone + "\r\n";
  const RunResult run = home_.RunTool({"ADMIN", kGroup, "LIST"});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.output, expected);
}

}  // namespace
