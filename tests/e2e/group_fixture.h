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

constexpr char kReceive[] = "4000", kOwner[] = "+15550000001";  // the owner: member "Admin"
constexpr char kBob[] = "+15550000002", kCarol[] = "+15550000003", kDave[] = "+15550000004",
               kAnn[] = "+15550000005";
constexpr char kChoose[] = "Only one of the following attributes can be applied to a group:  ";

// Submissions as (recipient, text); also member rows as (phone, name).
using Messages = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

struct Step {
  std::string from, text;  // the words, split at single spaces
  std::string out = "";    // standard output
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
// Replies to JOIN, LEAVE, a post, CREATE, and a command that needs administrative rights.
inline std::string Joined(const std::string& group, bool can_send = true) {
  return "You have joined the group " + group + ".  To leave the group, reply with 'LEAVE " +
         group + "'." +
         (can_send ? "  To send to the group, reply and start text with @" + group : "");
}
inline std::string Left(const std::string& group) {
  return "Goodbye.  You have left the group " + group;
}
inline std::string Forwarded(size_t count, const std::string& group) {
  return "Message forwarded to " + std::to_string(count) + " member(s) of group " + group;
}
inline std::string Created(const std::string& group, const char* membership = "Public",
                           const char* posting = "Unmoderated") {
  return "Group " + group + " created.  Membership availability is " + membership +
         ".  Message posting is " + posting + ".  Use 'ADMIN " + group + "' command to administer.";
}
inline std::string NoRights(const std::string& group) {
  return "You do not have administrative rights to group " + group + ".  Syntax ADMIN GroupName";
}
// GROUP.INI as creation writes it.
inline std::string GroupIni(const std::string& membership, const std::string& posting, bool notify,
                            const std::string& owner) {
  return "[Group]\r\nMembershipType=" + membership + "\r\nPostType=" + posting + "\r\n" +
         (notify ? "Notify=Yes\r\n" : "") + "Owner=" + owner + "\r\n[Admin]\r\n" + owner +
         "=Admin\r\n";
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
  // Each step's words to morvane; the submissions (each from the receiving number, as the owner).
  void Walk(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.from + " " + step.text.substr(0, 100));
      std::vector<std::string> args = {"/s", step.from, "/r", kReceive, "/t"};
      for (size_t start = 0, end = 0; start < step.text.size(); start = end + 1) {
        end = std::min(step.text.find(' ', start), step.text.size());
        args.push_back(step.text.substr(start, end - start));
      }
      const RunResult run = home_.Run(args, {{"TessaryAdmin", step.admin_mode ? "Yes" : "No"}});
      EXPECT_TRUE(run.finished && run.exit_code == 0);
      EXPECT_EQ(run.output, step.out);
      Messages sent;
      for (const Submission& s : gateway_.Submissions()) {
        EXPECT_EQ(s.sender + " " + s.user + " " + s.password,
                  std::string(kReceive) + " " + kOwner + " own:er");
        sent.emplace_back(s.phone_number, s.text);
      }
      gateway_.Clear();
      EXPECT_EQ(sent, step.sent);
      EXPECT_EQ(home_.ErrorCount(step.from), step.errors);
    }
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
    for (const TransactionRow& row : ReadTransactions(home_, group))
      rows.push_back(row.receive_number + " " + row.phone + " " + row.user_name + " " +
                     row.approval + " " + row.command);
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
