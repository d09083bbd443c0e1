// A post's fan-out against a fake gateway that goes silent mid-answer; submissions wait one
// second of silence here instead of a minute.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "gateway/submit.h"
#include "platform/files.h"
#include "processor/dispatch.h"
#include "processor/run.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

// Ann posts to the public group Club of +15550000001 and two others, who get
// it in phone-number order, until the nth submission goes silent.
TEST(FanOutFaultTest, PostReachesEveryOtherMemberUntilASubmissionFails) {
  struct Restore {
    ~Restore() { SetSubmitIdleSeconds(kSubmitIdleSeconds); }
  } restore;
  SetStoreBase(StoreBase::kProgramData);
  SetSubmitIdleSeconds(1);
  const std::vector<std::string> others = {"+15550000001", "+15550000003", "+15550000005"};
  const std::string head = "HTTP/1.1 200 OK\r\n";
  const std::tuple<const char*, size_t, ServerScript> faults[] = {
      {"no fault", 0, {}},
      {"from the start", 1, {StaySilent()}},
      {"after the head", 2, {SendBytes(head + "Content-Length: 9\r\n\r\n"), StaySilent()}},
      {"without a length", 3, {SendBytes(head + "\r\nbody"), StaySilent()}}};
  for (const auto& [name, nth, script] : faults) {
    SCOPED_TRACE(name);
    TempDir home;
    ScopedEnv data_home(kDataHomeVariable, home.path());
    FakeGateway gateway;
    std::string folder;
    ASSERT_TRUE(gateway.WriteHollinIni(home.path()) && GroupFolderPath("", &folder) &&
                GroupFolderPath("Club", &folder) && AddMember("Club", "+15550000002", "Ann") &&
                WriteGroupValue("Club", kGroupSection, kMembershipTypeKey, kPublicValue) &&
                WriteGroupValue("Club", kGroupSection, kOwnerKey, others[0]));
    for (const std::string& phone : others) ASSERT_TRUE(AddMember("Club", phone, phone.substr(9)));
    if (nth > 0) gateway.ScriptSubmission(nth, script);
    Request request;
    request.args = {"/s", "+15550000002", "/r", "4000", "/t", "@Club", "hello"};
    request.command_line = "/s +15550000002 /r 4000 /t @Club hello";
    ScanArguments(&request);
    Dispatch(&request);
    std::vector<std::string> reached;
    for (const Submission& submission : gateway.Submissions()) {
      reached.push_back(submission.phone_number);
      EXPECT_EQ(submission.sender + " " + submission.text, "4000 @Club:Ann hello");
    }
    EXPECT_EQ(reached, std::vector(others.begin(), others.begin() + (nth > 0 ? nth : 3)));
    EXPECT_EQ(gateway.Accepted().size(), nth > 0 ? nth - 1 : 3);
    EXPECT_EQ(request.reply, nth > 0 ? "Error forwarding message to group Club"
                                     : "Message forwarded to 3 member(s) of group Club");
    EXPECT_EQ(request.error, nth > 0);
    // Only a post that reached everyone is kept in the journal.
    EXPECT_EQ(platform::PathExists(home.path() + "Groups/Club/" + kTransDbName), nth == 0);
  }
}

}  // namespace
