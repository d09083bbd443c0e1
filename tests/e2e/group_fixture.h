// The commands' end-to-end tests: a data directory with the owner's account, a fake gateway,
// groups written straight into the store, and Steps: messages to morvane and all they do.
#ifndef E2E_GROUP_FIXTURE_H_
#define E2E_GROUP_FIXTURE_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"
#include "userdir/pendrel.h"

namespace group_fixture {

constexpr char kOwner[] = "+15550000001";  // member "Admin", as creation adds it
constexpr char kReceive[] = "4000";
constexpr char kBob[] = "+15550000002";
constexpr char kCarol[] = "+15550000003";
constexpr char kDave[] = "+15550000004";
constexpr char kAnn[] = "+15550000005";

// Submissions as (recipient, text); also member rows as (phone, name).
using Messages = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

struct Step {
  std::string from;
  std::string text;      // the words, split at single spaces
  std::string out = "";  // standard output
  Messages sent = {};
  unsigned errors = 0;  // the sender's count afterwards; 0: none kept
  bool admin_mode = false;
};

// A Step answered `reply` through the gateway, and nothing else sent.
inline Step Said(const std::string& from, const std::string& text, const std::string& reply,
                 unsigned errors = 0, bool admin_mode = false) {
  return {from, text, "", {{from, reply}}, errors, admin_mode};
}

// `text` to each of `to` in that order, then `then`.
inline Messages To(const Lines& to, const std::string& text, const Messages& then = {}) {
  Messages messages;
  for (const std::string& phone : to) messages.emplace_back(phone, text);
  messages.insert(messages.end(), then.begin(), then.end());
  return messages;
}

// The owner's member row, then `more`.
inline Messages OwnerAnd(const Messages& more = {}) { return To({kOwner}, "Admin", more); }

// A journal row as Journal() shows it.
inline std::string Entry(const std::string& from, const std::string& name, const std::string& text,
                         const char* approval = "Yes") {
  return std::string(kReceive) + " " + from + " " + name + " " + approval + " /s " + from + " /r " +
         kReceive + " /t " + text;
}

class GroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gateway_.WriteHollinIni(home_.path()) && home_.AddAccount(kOwner, "own:er"));
    SetStoreBase(StoreBase::kProgramData);
  }

  // A group as creation leaves it (no PostType key for nullptr), with more members.
  void MakeGroup(const std::string& group, const char* post_type = kUnmoderatedValue,
                 const char* membership = kPublicValue, const Messages& members = {}) {
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kMembershipTypeKey, membership));
    ASSERT_TRUE(!post_type || home_.WriteGroupValue(group, kGroupSection, kPostTypeKey, post_type));
    ASSERT_TRUE(home_.WriteGroupValue(group, kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(home_.WriteGroupValue(group, kAdminSection, kOwner, kAdminValue));
    for (const auto& [phone, name] : OwnerAnd(members)) ASSERT_TRUE(AddMember(group, phone, name));
  }

  RunResult Run(const std::string& from, const std::string& text, bool admin_mode = false) {
    std::vector<std::string> args = {"/s", from, "/r", kReceive, "/t"};
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
      end = std::min(text.find(' ', start), text.size());
      args.push_back(text.substr(start, end - start));
    }
    const RunResult run = home_.Run(args, {{"TessaryAdmin", admin_mode ? "Yes" : "No"}});
    EXPECT_TRUE(run.finished && run.exit_code == 0) << text;
    return run;
  }

  void Walk(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.from + " " + step.text.substr(0, 100));
      EXPECT_EQ(Run(step.from, step.text, step.admin_mode).output, step.out);
      EXPECT_EQ(TakeSent(), step.sent);
      EXPECT_EQ(home_.ErrorCount(step.from), step.errors);
    }
  }

  // The submissions so far (each from the receiving number, as the owner); then forgets them.
  Messages TakeSent() {
    Messages sent;
    for (const Submission& submission : gateway_.Submissions()) {
      EXPECT_EQ(submission.sender + " " + submission.user + " " + submission.password,
                std::string(kReceive) + " " + kOwner + " own:er");
      sent.emplace_back(submission.phone_number, submission.text);
    }
    gateway_.Clear();
    return sent;
  }

  Messages Members(const std::string& group) const {
    Messages rows;
    for (const MemberRow& row : ReadMembers(home_, group))
      rows.emplace_back(row.phone, row.user_name);
    return rows;
  }

  // The journal's rows by id, all columns but the id and the date.
  Lines Journal(const std::string& group) const {
    Lines rows;
    for (const TransactionRow& row : ReadTransactions(home_, group)) {
      rows.push_back(row.receive_number + " " + row.phone + " " + row.user_name + " " +
                     row.approval + " " + row.command);
    }
    return rows;
  }

  std::string Ini(const std::string& group) const {
    return home_.ReadFile("Groups/" + group + "/GROUP.INI");
  }

  MorvaneHome home_;
  ScopedEnv data_home_{kDataHomeVariable, home_.path()};  // for the rows written here
  FakeGateway gateway_;
};

}  // namespace group_fixture

#endif  // E2E_GROUP_FIXTURE_H_
