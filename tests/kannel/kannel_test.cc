// The installed programs behind a real SMS gateway: bearerbox and smsbox
// start morvane-kannel for every message the phones send through the fake
// SMSC, and posts go out through smsbox's sendsms interface. A group's
// life, hostile texts, and submissions the gateway refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gateway/submit.h"
#include "kannel/kannel_gateway.h"
#include "smsc/fake_smsc.h"
#include "store/group_store.h"
#include "store/member_db.h"
#include "support/morvane_harness.h"
#include "support/store_rows.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace smsc {
void PrintTo(const Message& message, std::ostream* out) {
  *out << message.from << " -> " << message.to << ": " << testing::PrintToString(message.text);
}
}  // namespace smsc

namespace {

using smsc::Coding;
using smsc::Message;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

constexpr char kReceive[] = "4000";
constexpr char kOwner[] = "+15550001111";
constexpr char kOwnerPassword[] = "own3r-pw-k4nnel";
constexpr char kAnn[] = "+15550002222";
constexpr char kBob[] = "+15550003333";

constexpr uint32_t kConnectTimeoutMs = 30000;
constexpr uint32_t kStepTimeoutMs = 30000;
// The first TEST may be lost while smsbox is still connecting: tried again.
constexpr uint32_t kReadyProbeMs = 3000;
constexpr int kReadyProbes = 10;

// A message the gateway number sent to `phone`.
Message To(const std::string& phone, const std::string& text) { return {kReceive, phone, text}; }

std::string Forwarded(unsigned count) {
  return "Message forwarded to " + std::to_string(count) + " member(s) of group Friends";
}

class KannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {kBearerboxProgram, kSmsboxProgram}) {
      if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "Kannel is not installed (no " << program
                     << "); apt-get install kannel kannel-extras";
      }
    }
    ASSERT_TRUE(std::filesystem::exists(InstalledPrefix() + "/bin/morvane-kannel"))
        << "nothing installed in " << InstalledPrefix() << ": run the kannel_install test first";
  }

  // A fresh data directory holding the owner's account and a gateway that
  // serves it: its submissions go to `submission_port` (0: the gateway's
  // own sendsms interface). Returns once the gateway answers.
  void StartGateway(const GatewayOptions& options = {kOwner, kOwnerPassword, ""},
                    uint16_t submission_port = 0) {
    phones_ = smsc::Phones();
    gateway_ = std::make_unique<KannelGateway>();
    home_ = std::make_unique<MorvaneHome>();
    ASSERT_FALSE(home_->path().empty());
    ASSERT_TRUE(home_->AddAccount(kOwner, kOwnerPassword));
    std::string error;
    ASSERT_TRUE(gateway_->Start(home_->path(), options, &error)) << error;
    const std::string url =
        submission_port == 0 ? gateway_->SubmissionUrl() : SendsmsUrl(submission_port);
    ASSERT_TRUE(home_->WriteProfile(kGatewayConfigName, kGatewaySection, kSubmissionUrlKey, url));
    ASSERT_TRUE(phones_.Connect(gateway_->fake_smsc_port(), kConnectTimeoutMs));
    std::vector<Message> ignored;
    int probes = 0;
    while (!phones_.Sync(kReceive, kReadyProbeMs, &ignored)) {
      ASSERT_LT(++probes, kReadyProbes) << "the gateway never answered TEST";
    }
  }

  // Friends, written straight into the store: the owner ("Admin"), Ann and
  // Bob, everyone may post.
  void MakeFriends() const {
    ScopedEnv data_home(kDataHomeVariable, home_->path());
    SetStoreBase(StoreBase::kProgramData);
    ASSERT_TRUE(home_->WriteGroupValue("Friends", kGroupSection, kMembershipTypeKey, kPublicValue));
    ASSERT_TRUE(home_->WriteGroupValue("Friends", kGroupSection, kPostTypeKey, "Unmoderated"));
    ASSERT_TRUE(home_->WriteGroupValue("Friends", kGroupSection, kOwnerKey, kOwner));
    ASSERT_TRUE(home_->WriteGroupValue("Friends", kAdminSection, kOwner, kAdminValue));
    ASSERT_TRUE(AddMember("Friends", kOwner, "Admin"));
    ASSERT_TRUE(AddMember("Friends", kAnn, "Ann"));
    ASSERT_TRUE(AddMember("Friends", kBob, "Bob"));
  }

  // One phone's message, and every message it caused.
  std::vector<Message> Step(const std::string& phone, const std::string& text,
                            Coding coding = Coding::kData) {
    std::vector<Message> received;
    EXPECT_TRUE(phones_.Send({phone, kReceive, text}, coding)) << text;
    EXPECT_TRUE(phones_.Sync(kReceive, kStepTimeoutMs, &received)) << "no echo after " << text;
    return received;
  }

  std::vector<std::string> MemberPhones() const {
    std::vector<std::string> phones;
    for (const MemberRow& row : ReadMembers(*home_, "Friends")) phones.push_back(row.phone);
    return phones;
  }

  // Destroyed from the bottom up: the phones hang up, the gateway stops,
  // then the data directory goes.
  std::unique_ptr<MorvaneHome> home_;
  std::unique_ptr<KannelGateway> gateway_;
  smsc::Phones phones_;
};

// The request id of an administrator's notice; empty when there is none.
std::string ApprovalId(const std::vector<Message>& messages) {
  constexpr std::string_view kMarker = "Reply 'YES Friends ";
  for (const Message& message : messages) {
    if (message.text.rfind(kMarker, 0) != 0) continue;
    const size_t start = kMarker.size();
    return message.text.substr(start, message.text.find('\'', start) - start);
  }
  return "";
}

TEST_F(KannelTest, GroupLifeFromCreateToStop) {
  StartGateway();
  EXPECT_THAT(
      Step(kOwner, "CREATE Friends"),
      ElementsAre(To(kOwner,
                     "Group Friends created.  Membership availability is Public.  Message "
                     "posting is Unmoderated.  Use 'ADMIN Friends' command to administer.")));
  const std::string joined =
      "You have joined the group Friends.  To leave the group, reply with 'LEAVE Friends'.  To "
      "send to the group, reply and start text with @Friends";
  EXPECT_THAT(Step(kAnn, "JOIN Friends Ann"), ElementsAre(To(kAnn, joined)));
  EXPECT_THAT(Step(kBob, "JOIN Friends Bob"), ElementsAre(To(kBob, joined)));

  // Each member once, from the gateway number, the poster told.
  const std::string post = "@Friends:Ann hello everyone";
  EXPECT_THAT(Step(kAnn, "@Friends hello everyone"),
              UnorderedElementsAre(To(kOwner, post), To(kBob, post), To(kAnn, Forwarded(2))));
  EXPECT_THAT(Step(kBob, "@Friends:Ann see you at 8"),
              UnorderedElementsAre(To(kAnn, "@Friends:Bob (private) see you at 8"),
                                   To(kBob, "Message forwarded to @Friends:Ann")));

  // Moderated: Bob's post waits for the owner's YES, then reaches everyone.
  EXPECT_THAT(
      Step(kOwner, "ADMIN Friends PROP MODERATED"),
      ElementsAre(To(kOwner, "Group Friends Properties Updated:  PUBLIC  MODERATED  NONOTIFY")));
  const std::vector<Message> held = Step(kBob, "@Friends lunch at noon?");
  const std::string id = ApprovalId(held);
  ASSERT_FALSE(id.empty()) << testing::PrintToString(held);
  EXPECT_THAT(held, UnorderedElementsAre(
                        To(kOwner, "Reply 'YES Friends " + id +
                                       "' to approve:\r\nFriends:Bob lunch at noon?"),
                        To(kBob, "Message forwarded to group Friends administrator for approval")));
  const std::string approved = "@Friends:Bob lunch at noon?";
  EXPECT_THAT(Step(kOwner, "YES Friends " + id),
              UnorderedElementsAre(To(kOwner, approved), To(kAnn, approved), To(kBob, approved)));

  EXPECT_THAT(Step(kAnn, "STOP"),
              ElementsAre(To(kAnn, "Goodbye.  You have left the group Friends")));
  EXPECT_THAT(MemberPhones(), ElementsAre(kOwner, kBob));
}

// Shell and URL characters, quotes, GSM extension and non-GSM characters,
// an emoji: the members get the post byte for byte (a run of blanks as one
// blank, as the gateway hands over the words), sent as 8-bit data or as
// UCS-2 like a phone, short or in several parts; and nothing runs.
TEST_F(KannelTest, HostileTextsReachMembersByteForByteAndRunNothing) {
  StartGateway();
  MakeFriends();
  const TempDir trap;
  ASSERT_FALSE(trap.path().empty());
  const std::string dollar = "$(touch " + trap.path() + "dollar)";
  const std::string backquote = "`touch " + trap.path() + "backquote`";
  const std::string emoji = "\xF0\x9F\x98\x80";
  const std::string accents = "\xC3\xA9\xE2\x82\xAC";  // é€
  struct Case {
    std::string typed;
    std::string arrives;
    Coding coding;
  };
  const std::vector<Case> cases = {
      {"it's (a) *  ; & % + 'q' " + dollar, "it's (a) * ; & % + 'q' " + dollar, Coding::kData},
      // One part in UCS-2; the next one needs several.
      {"`id` \"q\" back\\slash;a&b=c%20+d " + accents + emoji,
       "`id` \"q\" back\\slash;a&b=c%20+d " + accents + emoji, Coding::kUcs2},
      {dollar + "\t\t" + backquote + " " + std::string(60, '*') + " " + accents + emoji + "  end",
       dollar + " " + backquote + " " + std::string(60, '*') + " " + accents + emoji + " end",
       Coding::kData},
  };
  for (const Case& c : cases) {
    const std::string post = "@Friends:Ann " + c.arrives;
    EXPECT_THAT(Step(kAnn, "@Friends " + c.typed, c.coding),
                UnorderedElementsAre(To(kOwner, post), To(kBob, post), To(kAnn, Forwarded(2))))
        << c.typed;
  }
  EXPECT_TRUE(std::filesystem::is_empty(trap.path()));
  EXPECT_THAT(gateway_->ExecErrorLines(), IsEmpty());
}

// Submissions the gateway does not take: nobody gets the post, the journal
// holds nothing, and smsbox's log has a line for each refused submission
// naming the recipient and the answer, never the password.
TEST_F(KannelTest, RefusedSubmissionsDeliverNothing) {
  struct Case {
    const char* scenario;
    const char* black_list_regex;  // on the sendsms-user
    const char* kannel_password;   // of the sendsms-user
    bool port_closed;              // SubmissionURL names a closed port
    const char* answer;            // in each failure line
    bool poster_told;              // the error reply to the poster gets through
  };
  const Case cases[] = {
      {"members black-listed", "[+]1555000(1111|3333)", kOwnerPassword, false, "400", true},
      {"password refused", "", "not-the-owners-pw", false, "403", false},
      {"sendsms port closed", "", kOwnerPassword, true, "no answer", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    StartGateway({kOwner, c.kannel_password, c.black_list_regex}, c.port_closed ? ClosedPort() : 0);
    MakeFriends();
    const std::vector<Message> received = Step(kAnn, "@Friends hi");
    if (c.poster_told) {
      EXPECT_THAT(received, ElementsAre(To(kAnn, "Error forwarding message to group Friends")));
    } else {
      EXPECT_THAT(received, IsEmpty());
    }
    EXPECT_THAT(ReadTransactions(*home_, "Friends"), IsEmpty());
    EXPECT_THAT(MemberPhones(), ElementsAre(kOwner, kAnn, kBob));

    // The walk ends at the first member (the owner, first in phone order);
    // then the error reply to the poster is tried.
    const std::vector<std::string> lines = gateway_->ExecErrorLines();
    ASSERT_EQ(lines.size(), c.poster_told ? 1u : 2u) << testing::PrintToString(lines);
    EXPECT_THAT(lines[0], AllOf(HasSubstr(kOwner), HasSubstr(c.answer)));
    if (!c.poster_told) {
      EXPECT_THAT(lines[1], AllOf(HasSubstr(kAnn), HasSubstr(c.answer)));
    }
    for (const std::string& line : lines) EXPECT_THAT(line, Not(HasSubstr(kOwnerPassword)));
  }
}

}  // namespace
