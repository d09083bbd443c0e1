// The installed programs behind the installed Kannel (bearerbox and smsbox as in the installed
// example, on free ports of 127.0.0.1): phones send through a fake SMSC, posts go out by sendsms.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/group_fixture.h"
#include "gateway/submit.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "smsc/fake_smsc.h"

namespace {

using group_fixture::Created, group_fixture::Forwarded, group_fixture::Joined, group_fixture::Left;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
const std::string kPrefix = MORVANE_KANNEL_PREFIX;  // where the fixture installed the build
constexpr char kOwner[] = "+15550001111", kAnn[] = "+15550002222", kBob[] = "+15550003333";
constexpr uint32_t kTimeoutMs = 30000;

std::string ReadWhole(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}
std::string To(const std::string& phone, const std::string& text) { return phone + ": " + text; }

// The owner's account, and the gateway serving it with the exec services' standard error in a
// file. Torn down from the bottom up: the phones hang up, the boxes are killed, the folders go.
class KannelTest : public ::testing::Test {
 protected:
  enum Port { kAdmin, kBox, kSmsc, kSendsms, kClosed };
  void SetUp() override {
    if (!std::filesystem::exists("/usr/sbin/bearerbox") ||
        !std::filesystem::exists("/usr/sbin/smsbox"))
      GTEST_SKIP() << "Kannel is not installed: apt-get install kannel kannel-extras";
    ASSERT_TRUE(std::filesystem::exists(kPrefix + "/bin/morvane-kannel"))
        << "nothing installed in " << kPrefix << ": run the kannel_install test first";
    ASSERT_TRUE(!folder_.path().empty() && !home_.path().empty());
    {  // Held open at once, so that they differ; nothing listens on kClosed.
      platform::Socket held[std::size(ports_)];
      for (size_t i = 0; i < std::size(ports_); ++i) {
        held[i] = platform::Listen(platform::kLoopbackAddress, 0, 1);
        ASSERT_NE(ports_[i] = held[i].valid() ? platform::LocalPort(held[i]) : 0, 0);
      }
    }
    // The example on these ports, files, programs and the owner's account, and a second account
    // that refuses the owner and Bob as recipients.
    std::string config = ReadWhole(kPrefix + "/share/morvane/kannel.conf");
    const std::pair<std::string, std::string> changes[] = {
        {"admin-port = 13000", "admin-port = " + std::to_string(ports_[kAdmin])},
        {"port = 13001", "port = " + std::to_string(ports_[kBox])},
        {"port = 10000", "port = " + std::to_string(ports_[kSmsc])},
        {"port = 13013", "port = " + std::to_string(ports_[kSendsms])},
        {"/var/log/kannel/", folder_.path()},
        {"/usr/local/bin/", kPrefix + "/bin/"},
        {"username = morvane", "username = \"" + std::string(kOwner) + "\""},
        {"password = CHANGE-sendsms-password", "password = \"own3r-pw\""}};
    for (const auto& [from, to] : changes) {
      ASSERT_NE(config.find(from), std::string::npos) << "not in the example: " << from;
      for (size_t at = 0; (at = config.find(from, at)) != std::string::npos; at += to.size())
        config.replace(at, from.size(), to);
    }
    const std::string path = folder_.path() + "kannel.conf";
    std::ofstream(path, std::ios::binary)
        << config << "\ngroup = sendsms-user\nusername = fenced\npassword = f3nced-pw\n"
        << "black-list-regex = \"[+]1555000(1111|3333)\"\n";
    ASSERT_TRUE(home_.AddAccount(kOwner, "own3r-pw") && UseSendsms(kSendsms));
    // -v 4: only panics on the boxes' own stderr. smsbox gives up at once if bearerbox is not up.
    bearerbox_ = platform::Child::Start({"/usr/sbin/bearerbox", "-v", "4", path});
    const uint32_t start = platform::TickCountMs();
    for (platform::Socket probe;
         !probe.valid() || !platform::Connect(probe, platform::kLoopbackAddress, ports_[kBox]);
         platform::SleepMs(50)) {
      ASSERT_TRUE(bearerbox_.started() && platform::TickCountMs() - start < kTimeoutMs);
      probe = platform::OpenStreamSocket();
    }
    // The shell only sends smsbox's standard error into a file and becomes smsbox.
    smsbox_ = platform::Child::Start({"/bin/sh", "-c", "exec /usr/sbin/smsbox -v 4 \"$0\" 2>\"$1\"",
                                      path, folder_.path() + "smsbox.stderr"},
                                     {{kDataHomeVariable, home_.path()}});
    ASSERT_TRUE(smsbox_.started() && phones_.Connect(ports_[kSmsc], kTimeoutMs));
    // The first TEST may be lost while smsbox is still connecting: tried again.
    std::vector<smsc::Message> ignored;
    for (int probes = 1; !phones_.Sync("4000", 3000, &ignored); ++probes) ASSERT_LT(probes, 10);
  }
  bool UseSendsms(Port port, const std::string& account = "@@USER@@",
                  const std::string& password = "@@PASSWORD@@") const {
    return home_.WriteProfile(
        kGatewayConfigName, kGatewaySection, kSubmissionUrlKey,
        "http://127.0.0.1:" + std::to_string(ports_[port]) +
            "/cgi-bin/sendsms?username=" + account + "&password=" + password +
            "&from=@@SENDER@@&to=@@RECIP@@&text=@@TEXT@@&charset=UTF-8&coding=@@CODING@@");
  }
  // One phone's message, and every message it caused.
  std::vector<std::string> Step(const std::string& phone, const std::string& text,
                                smsc::Coding coding = smsc::Coding::kData) {
    std::vector<smsc::Message> received;
    EXPECT_TRUE(phones_.Send({phone, "4000", text}, coding)) << text;
    EXPECT_TRUE(phones_.Sync("4000", kTimeoutMs, &received)) << "no echo after " << text;
    std::vector<std::string> shown;
    for (const smsc::Message& m : received)
      shown.push_back(To(m.from == "4000" ? m.to : "from " + m.from, m.text));
    return shown;
  }
  std::string Errors() const { return ReadWhole(folder_.path() + "smsbox.stderr"); }  // of execs

  TempDir folder_;
  MorvaneHome home_;
  uint16_t ports_[kClosed + 1] = {};
  platform::Child bearerbox_, smsbox_;
  smsc::Phones phones_;
};

TEST_F(KannelTest, GroupLifeFromCreateToStop) {
  EXPECT_THAT(Step(kOwner, "CREATE Friends"), ElementsAre(To(kOwner, Created("Friends"))));
  EXPECT_THAT(Step(kAnn, "JOIN Friends Ann"), ElementsAre(To(kAnn, Joined("Friends"))));
  EXPECT_THAT(Step(kBob, "JOIN Friends Bob"), ElementsAre(To(kBob, Joined("Friends"))));
  // Shell and URL characters, quotes, GSM extension and non-GSM characters, an emoji: each member
  // once gets the post byte for byte (a run of blanks as one, as the gateway hands over words),
  // sent as 8-bit data or as UCS-2 like a phone, short or in several parts; and nothing runs.
  const TempDir trap;
  const std::string dollar = "$(touch " + trap.path() + "dollar)", stars(60, '*'),
                    backquote = "`touch " + trap.path() + "backquote`";
  const std::string odd = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // é€ and an emoji
  const std::string quotes = "`id` \"q\" back\\slash;a&b=c%20+d " + odd;
  const std::tuple<std::string, std::string, smsc::Coding> texts[] = {
      {"it's (a) *  ; & % + 'q' " + dollar, "it's (a) * ; & % + 'q' " + dollar,
       smsc::Coding::kData},
      {quotes, quotes, smsc::Coding::kUcs2},  // one part in UCS-2; the next needs several
      {dollar + "\t\t" + backquote + " " + stars + " " + odd + "  end",
       dollar + " " + backquote + " " + stars + " " + odd + " end", smsc::Coding::kData}};
  for (const auto& [typed, arrives, coding] : texts) {
    const std::string post = "@Friends:Ann " + arrives;
    EXPECT_THAT(
        Step(kAnn, "@Friends " + typed, coding),
        UnorderedElementsAre(To(kOwner, post), To(kBob, post), To(kAnn, Forwarded(2, "Friends"))));
  }
  EXPECT_TRUE(!trap.path().empty() && std::filesystem::is_empty(trap.path()));
  EXPECT_EQ(Errors(), "");
  EXPECT_THAT(Step(kBob, "@Friends:Ann see you at 8"),
              UnorderedElementsAre(To(kAnn, "@Friends:Bob (private) see you at 8"),
                                   To(kBob, "Message forwarded to @Friends:Ann")));
  // Refused submissions: nobody gets the post, the journal does not grow, a line names each refused
  // recipient and the answer. The walk ends at the owner (first by phone); then the poster's reply.
  const size_t journal = ReadTransactions(home_, "Friends").size();
  const std::tuple<Port, std::string, std::string, const char*> refusals[] = {
      {kSendsms, "fenced", "f3nced-pw", "it answered HTTP/1.1 400 Bad Request"},  // black-listed
      {kSendsms, "@@USER@@", "not-the-owners-pw", "it answered HTTP/1.1 403 Forbidden"},
      {kClosed, "@@USER@@", "@@PASSWORD@@", "no answer"}};
  for (const auto& [port, account, password, answer] : refusals) {
    SCOPED_TRACE(answer);
    ASSERT_TRUE(UseSendsms(port, account, password));
    const bool poster_told = account == "fenced";  // Ann is not black-listed
    const std::string refused =
        "morvane: the gateway at 127.0.0.1:" + std::to_string(ports_[port]) +
        " did not take the message to ";
    std::string errors = Errors() + refused + kOwner + ": " + answer + "\n";
    if (!poster_told) errors += refused + kAnn + ": " + answer + "\n";
    EXPECT_EQ(Step(kAnn, "@Friends hi"),
              std::vector<std::string>(poster_told,
                                       To(kAnn, "Error forwarding message to group Friends")));
    EXPECT_EQ(Errors(), errors);
    EXPECT_EQ(ReadTransactions(home_, "Friends").size(), journal);
  }
  ASSERT_TRUE(UseSendsms(kSendsms));
  // Moderated: Bob's post waits for the owner's YES, then reaches everyone.
  EXPECT_THAT(
      Step(kOwner, "ADMIN Friends PROP MODERATED"),
      ElementsAre(To(kOwner, "Group Friends Properties Updated:  PUBLIC  MODERATED  NONOTIFY")));
  const std::vector<std::string> held = Step(kBob, "@Friends lunch at noon?");
  const std::vector<TransactionRow> rows = ReadTransactions(home_, "Friends");
  const std::string id = rows.empty() ? "" : std::to_string(rows.back().id);
  EXPECT_THAT(held, UnorderedElementsAre(
                        To(kOwner, "Reply 'YES Friends " + id +
                                       "' to approve:\r\nFriends:Bob lunch at noon?"),
                        To(kBob, "Message forwarded to group Friends administrator for approval")));
  const std::string approved = "@Friends:Bob lunch at noon?";
  EXPECT_THAT(Step(kOwner, "YES Friends " + id),
              UnorderedElementsAre(To(kOwner, approved), To(kAnn, approved), To(kBob, approved)));
  EXPECT_THAT(Step(kAnn, "STOP"), ElementsAre(To(kAnn, Left("Friends"))));
  std::vector<std::string> phones;
  for (const MemberRow& row : ReadMembers(home_, "Friends")) phones.push_back(row.phone);
  EXPECT_THAT(phones, ElementsAre(kOwner, kBob));
}

}  // namespace
