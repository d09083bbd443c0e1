#include "gateway/submit.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gateway/gw_util.h"
#include "platform/profile.h"
#include "store/group_store.h"
#include "support/fake_gateway.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

// Values go in encoded and are never searched again; "@@TOKEN@@"s are found whole, in any case.
TEST(SubmissionTextTest, PlaceholdersAndTheGsmAlphabet) {
  const struct {
    std::string url, placeholder, value, expected;
    size_t capacity = kMaxUrlChars + 1;
  } rows[] = {
      {"t=@@V@@", "@@V@@", "Az09$'()-:=@./[]^_`{|}~\x7F", "t=Az09$'()-:=@./[]^_`{|}~\x7F"},
      {"t=@@V@@", "@@V@@", "\x01 !\"#%&*+,;<>?\\\r\n\x80\xFF",
       "t=%01%20%21%22%23%25%26%2A%2B%2C%3B%3C%3E%3F%5C%0D%0A%80%FF"},
      {"a=@@V@@&b=@@v@@&c=@@W@@", "@@V@@", "", "a=&b=&c=@@W@@"},
      {"t=@@T@@&m=@@T@@", "@@T@@", "@@T@@ @@t@@", "t=@@T@@%20@@t@@&m=@@T@@%20@@t@@"},
      {"@@@SENDER@@&x=@@RECIP@@", "@@RECIP@@", "1", "@@@SENDER@@&x=1"},
      {"@@SENDER@@@@RECIP@@", "@@RECIP@@", "1", "@@SENDER@@1"},
      {"@@X@@RECIP@@&@@A@@ @@RECIP", "@@RECIP@@", "1", "@@X@@RECIP@@&@@A@@ @@RECIP"},
      {"a=@@V@@&b=@@V@@", "@@V@@", "%%%%%%", "a=%25%25%25%25%25%", 19},  // the cut ends it
  };
  for (const auto& row : rows) {
    std::string url = row.url;
    SubstitutePlaceholder(&url, row.placeholder, row.value, row.capacity);
    EXPECT_EQ(url, row.expected) << row.url;
  }
  // Templates are filled in one pass.
  const SubmissionTarget target{"alice", "p&ss word", "", 0, ""};
  const std::string templates[][3] = {
      {"http://h:13013/send?username=@@USER@@&password=@@PASSWORD@@&from=@@SENDER@@"
       "&to=@@RECIP@@&text=@@TEXT@@&coding=@@CODING@@",
       "Hi & bye",
       "http://h:13013/send?username=alice&password=p%26ss%20word&from=%2B100"
       "&to=%2B200&text=Hi%20%26%20bye&coding=0"},
      {"h/?c=@@CODING@@&t=@@TEXT@@", "\xE2\x82\xAC", "h/?c=2&t=%E2%82%AC"},
      {"h/?t=@@text@@&r=@@Recip@@&t2=@@TEXT@@&o=@@OTHER@@&b=@@@TEXT@@", "x",
       "h/?t=x&r=%2B200&t2=x&o=@@OTHER@@&b=@x"},
  };
  for (const auto& [url_template, text, expected] : templates)
    EXPECT_EQ(FillSubmissionTemplate(url_template, target, "+100", "+200", text), expected);
  // The last GSM text: é è à £ ¥ Δ Ω Ä ü ¿ ¡ §. €, { and ` are not in the
  // default alphabet, á not at all; then a cut sequence, Latin-1, an overlong form.
  for (const char* text :
       {"", "Hello, world! 1+1=2 @home $5 #tag _ \"q\" 'a' (b) *c* %d &e <f> ?\r\n",
        "\xC3\xA9\xC3\xA8\xC3\xA0\xC2\xA3\xC2\xA5\xCE\x94\xCE\xA9\xC3\x84\xC3\xBC\xC2\xBF"
        "\xC2\xA1\xC2\xA7"})
    EXPECT_TRUE(IsGsmDefaultAlphabet(text)) << text;
  for (const char* text : {"\xE2\x82\xAC", "a{b}", "back`quote", "tab\there", "del\x7F", "\xC3\xA1",
                           "\xC3", "\xE9t\xE9", "\xC0\xA9"})
    EXPECT_FALSE(IsGsmDefaultAlphabet(text)) << text;
}

std::vector<std::string> g_reported;  // lines of the failure report
void Record(std::string_view line) { g_reported.emplace_back(line); }

class SubmitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    SetStoreBase(StoreBase::kProgramData);
    Set("Owner", "alice");
    Set("Password", "secret");
    g_reported.clear();
    SetSubmissionFailureSink(Record);
  }
  void TearDown() override {
    SetSubmissionFailureSink(nullptr);
    EXPECT_EQ(GWBlockCount(), blocks_before_) << "leaked block";
  }
  // The owner of "Friends", the owner's password, or a value of HOLLIN.INI.
  void Set(const std::string& key, const std::string& value) {
    std::string file = home_.path() + kGatewayConfigName, section = kGatewaySection, name = key;
    if (key == "Password")
      file = home_.path() + kUsersFileName, section = kUsersSection, name = "alice";
    if (key == "Owner") {
      ASSERT_TRUE(GroupFolderPath("", &file) && GroupFolderPath("Friends", &file));  // root first
      file += kGroupIniName, section = kGroupSection, name = kOwnerKey;
    }
    ASSERT_TRUE(platform::ProfileWriteString(file, section, name, value));
  }
  TempDir home_;
  ScopedEnv kavrel_home_{kDataHomeVariable, home_.path()};
  const unsigned blocks_before_ = GWBlockCount();
};

// The URL of a submission, from the group's owner and HOLLIN.INI; each row's setting is undone.
TEST_F(SubmitTest, SubmissionUrlFromOwnerAndGatewaySettings) {
  const std::string rows[][3] = {
      {"", "", "alice:secret@127.0.0.1:8800"},  // no HOLLIN.INI at all
      {kWebPortKey, "8080", "alice:secret@127.0.0.1:8080"},
      {kWebPortKey, "0", "alice:secret@127.0.0.1:8800"},
      // Written as an unsigned 32-bit number: 8080 + 2095475791 * 2^32.
      {kWebPortKey, "8999999996199706512", "alice:secret@127.0.0.1:8080"},
      {kIpAddressKey, "gw.example", "alice:secret@gw.example:8800"},
      {"Owner", "@@SENDER@@", "@@SENDER@@:@127.0.0.1:8800"},  // never searched
  };
  for (const auto& [key, value, account_and_address] : rows) {
    if (!key.empty()) Set(key, value);
    EXPECT_EQ(SubmissionUrl("Friends", "+100", "@@R@@", "@@TEXT@@"),
              "http://" + account_and_address + "/?sender=%2B100&phonenumber=@@R@@&text=@@TEXT@@");
    if (!key.empty()) Set(key, key == "Owner" ? "alice" : "");
  }
}

// One gateway through a run of submissions and the failure report; then no gateway at all, with
// a password that holds '@'.
TEST_F(SubmitTest, SubmissionsThroughTheGateway) {
  std::string line = "morvane: the gateway at 127.0.0.1:";
  {
    FakeGateway gateway;
    ASSERT_TRUE(gateway.WriteHollinIni(home_.path()));
    line += std::to_string(gateway.port()) + " did not take the message to +";
    auto last = [&gateway] { return gateway.Submissions().back(); };
    auto account = [&] {
      return last().has_credentials ? last().user + ":" + last().password : "";
    };
    EXPECT_EQ(SubmitMessage("Friends", "+100", "+200", "Hi & bye+1"), 1);
    EXPECT_EQ(last().request_line,
              "GET /?sender=%2B100&phonenumber=%2B200&text=Hi%20%26%20bye%2B1 HTTP/1.1");
    EXPECT_EQ(account(), "alice:secret");
    Set("Password", "");  // an empty password still signs in
    EXPECT_EQ(SubmitMessage("Friends", "+100", "+200", "x"), 1);
    EXPECT_EQ(account(), "alice:");
    Set("Password", "secret");
    EXPECT_EQ(SubmitMessageTo(ReadSubmissionTarget("Nobody"), "+100", "+200", "x"), 1);
    EXPECT_EQ(account(), "");  // a group without owner has no account
    gateway.FailSubmission(gateway.Submissions().size() + 1);
    EXPECT_EQ(SubmitMessage("Friends", "+100", "+200", "no"), 0);
    gateway.RequireAccounts({{"alice", "other"}});
    EXPECT_EQ(SubmitMessage("Friends", "+100", "+200", "x"), 0);
    // Silence for the idle time of this process.
    gateway.ScriptSubmission(gateway.Submissions().size() + 1, {StaySilent()});
    const unsigned idle_seconds = SubmitIdleSeconds();
    SetSubmitIdleSeconds(1);
    EXPECT_EQ(SubmitMessage("Friends", "+100", "+4\t00", "t"), 0);
    SetSubmitIdleSeconds(idle_seconds);
  }  // the port is closed now
  Set("Password", "top@secret");
  EXPECT_EQ(SubmitMessageWithIdleTimeout("Friends", "+100", "+500", "t", 1), 0);
  const std::vector<std::string> expected = {
      line + "200: it answered HTTP/1.1 500 Internal Server Error",
      line + "200: it answered HTTP/1.1 401 Unauthorized", line + "4?00: no answer",
      line + "500: no answer"};
  EXPECT_EQ(g_reported, expected);
}

}  // namespace
