#include "processor/vocabulary.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/format.h"
#include "unit/processor/translation_file.h"

namespace {

using ReplyTextTest = TranslationTest;
using CommandWordTest = TranslationTest;

ReplyKey KeyAt(int index) { return static_cast<ReplyKey>(index); }

TEST(ReplyTableTest, KeysAndTextsInTableOrder) {
  struct Row {
    int index;
    std::string_view name;
    std::string_view text;
  };
  const Row rows[] = {
      {0, "AdminApproveReplyYes", "Reply 'YES %s %u' to approve:"},
      {6, "JoinNameTaken",
       "Name %s is already in use for group %s.  Please join with a different name.  Example:  "
       "%s %s YourName"},
      {14, "LeaveNoGroups", "You have not joined any groups."},
      {33, "InvalidRequest",
       "Invalid Request. To send to a group, start your text with @GroupName. To stop all texts, "
       "reply STOP. For further assistance, reply HELP."},
      {37, "MessagePrivate", "(private)"},
      {42, "MessageForwardOK", "Message forwarded to %u member(s) of group %s"},
      {47, "AdminAuthInvalid",
       "Inalid syntax.  Usage: %s %s %s [ LIST / ADD username/number / REMOVE username/number ]"},
      {51, "AdminAddInvalidNumber", "Invalid phone number %s, not added to group %s"},
  };
  ASSERT_EQ(static_cast<int>(ReplyKey::kCount), 52);
  for (const Row& row : rows) {
    EXPECT_EQ(ReplyKeyName(KeyAt(row.index)), row.name) << row.index;
    EXPECT_EQ(DefaultReplyText(KeyAt(row.index)), row.text) << row.index;
  }
}

TEST(ReplyTableTest, EveryDefaultFitsTheTextLimitAndHasAValidFormat) {
  for (int i = 0; i < static_cast<int>(ReplyKey::kCount); ++i) {
    EXPECT_LE(DefaultReplyText(KeyAt(i)).size(), 249u) << ReplyKeyName(KeyAt(i));
    EXPECT_TRUE(FormatSignature(DefaultReplyText(KeyAt(i))).has_value()) << i;
  }
}

TEST_F(ReplyTextTest, MissingFileGivesTheDefault) {
  EXPECT_EQ(GetReplyText(ReplyKey::kJoinOK), DefaultReplyText(ReplyKey::kJoinOK));
}

TEST_F(ReplyTextTest, TranslationWithTheSameConversionsIsUsed) {
  SetText("JoinOK", "Bienvenue dans %s. Pour partir: 'PARTIR %s'.");
  SetText("messageforwardok", "%u membres de %s");  // keys in any case
  EXPECT_EQ(GetReplyText(ReplyKey::kJoinOK), "Bienvenue dans %s. Pour partir: 'PARTIR %s'.");
  EXPECT_EQ(GetReplyText(ReplyKey::kMessageForwardOK), "%u membres de %s");
}

TEST_F(ReplyTextTest, EmptyTranslationKeepsTheDefault) {
  SetText("LeaveOK", "");
  EXPECT_EQ(GetReplyText(ReplyKey::kLeaveOK), DefaultReplyText(ReplyKey::kLeaveOK));
}

// An operator's text is a format: one whose conversions differ from the
// default's could read arguments that were never passed.
TEST_F(ReplyTextTest, TranslationWithOtherConversionsFallsBackToTheDefault) {
  const std::vector<std::string> texts = {
      "%s%n%x",           // unsupported %n
      "Joined %s",        // one fewer
      "%s %s %s",         // one more
      "Joined %u %s",     // other kind
      "%p in %s %s",      // unsupported %p
      "%s and %s and %",  // a lone '%' at the end
  };
  for (const std::string& text : texts) {
    SetText("JoinOK", text);
    EXPECT_EQ(GetReplyText(ReplyKey::kJoinOK), DefaultReplyText(ReplyKey::kJoinOK)) << text;
  }
}

TEST_F(ReplyTextTest, HostileTranslationIsNeverFormatted) {
  SetText("JoinGroupNotExist", "%s%n%x");
  const std::string reply = FormatText(GetReplyText(ReplyKey::kJoinGroupNotExist), {"Club"});
  EXPECT_EQ(reply, "Cannot join group Club, it does not exist.");
}

TEST_F(ReplyTextTest, TranslationIsCutAt249Characters) {
  for (size_t length : {248u, 249u, 250u}) {
    SetText("LeaveNoGroups", std::string(length, 'x'));
    EXPECT_EQ(GetReplyText(ReplyKey::kLeaveNoGroups),
              std::string(std::min<size_t>(length, 249), 'x'))
        << length;
  }
}

TEST_F(CommandWordTest, TranslateCommandGivesTheValueOrTheWord) {
  EXPECT_EQ(TranslateCommand("JOIN"), "JOIN");
  SetCommand("JOIN", "REJOINDRE");
  SetCommand("LEAVE", "");
  EXPECT_EQ(TranslateCommand("JOIN"), "REJOINDRE");
  EXPECT_EQ(TranslateCommand("join"), "REJOINDRE");
  EXPECT_EQ(TranslateCommand("LEAVE"), "LEAVE");
}

TEST_F(CommandWordTest, TranslationIsCutAt99Characters) {
  for (size_t length : {98u, 99u, 100u}) {
    SetCommand("TEST", std::string(length, 'e'));
    EXPECT_EQ(TranslateCommand("TEST"), std::string(std::min<size_t>(length, 99), 'e')) << length;
  }
}

TEST_F(CommandWordTest, MatchesEnglishByPrefixOrWholeWordAndTranslationByWholeWord) {
  SetCommand("JOIN", "REJOINDRE");
  SetCommand("STOP", "STOPPEN");
  struct Case {
    std::string_view word;
    std::string_view keyword;
    bool prefix;
    bool matches;
  };
  const Case cases[] = {
      {"rejoindre", "JOIN", true, true},   {"REJOINDRE", "JOIN", true, true},
      {"rejoindre2", "JOIN", true, false}, {"Join", "JOIN", true, true},
      {"JOINx", "JOIN", true, true},       {"JOINx", "JOIN", false, false},
      {"JOI", "JOIN", true, false},        {"stoppen", "STOP", true, true},
      {"stoppen", "STOP", false, true},    {"", "JOIN", true, false},
      {"remove", "REMOVE", false, true},   {"removed", "REMOVE", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesCommand(c.word, c.keyword, c.prefix), c.matches)
        << c.word << " " << c.keyword << " " << c.prefix;
  }
}

TEST_F(CommandWordTest, IsCommandWordComparesWholeNames) {
  SetCommand("DELETE", "EFFACER");
  for (std::string_view word : {"join", "Delete", "effacer", "ADMIN", "stop", "yes"}) {
    EXPECT_TRUE(IsCommandWord(word)) << word;
  }
  for (std::string_view word : {"JOINED", "Friends", "", "PROP", "REJOINDRE", "ADMINS"}) {
    EXPECT_FALSE(IsCommandWord(word)) << word;
  }
}

TEST(PhoneNumberTest, SevenToFifteenCharactersOfDigitsWithOneLeadingPlus) {
  struct Case {
    std::string_view text;
    bool is_number;
  };
  const Case cases[] = {
      {"+15550001111", true},
      {"5550001", true},
      {"555000", false},
      {"+12345", false},
      {"+123456", true},
      {"555-0001", false},
      {"123456789012345", true},
      {"1234567890123456", false},
      {"+12345678901234", true},
      {"+123456789012345", false},
      {"++1234567", false},
      {"1234567+", false},
      {"", false},
      {"12345 67", false},
      {"Bob", false},
      {"+abcdefg", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPhoneNumber(c.text), c.is_number) << c.text;
}

PropertyChoices Classify(const std::vector<std::string_view>& words) {
  PropertyChoices choices;
  for (std::string_view word : words) ClassifyPropertyWord(word, &choices);
  return choices;
}

TEST(PropertyWordTest, FirstThreeLettersChooseTheProperty) {
  const PropertyChoices choices = Classify({"public", "Moderated", "nonotify", "xyz", "PR"});
  EXPECT_TRUE(choices.is_public);
  EXPECT_FALSE(choices.is_private);
  EXPECT_TRUE(choices.moderated);
  EXPECT_FALSE(choices.unmoderated);
  EXPECT_FALSE(choices.broadcast);
  EXPECT_TRUE(choices.notify_off);
  EXPECT_FALSE(choices.notify_on);
  EXPECT_TRUE(Classify({"BCAST"}).broadcast);
  EXPECT_TRUE(Classify({"bro"}).broadcast);
  EXPECT_TRUE(Classify({"NOTIFY"}).notify_on);
  EXPECT_TRUE(Classify({"PRIVATE"}).is_private);
  EXPECT_TRUE(Classify({"UNMOD"}).unmoderated);
}

TEST(PropertyWordTest, OnlyTheFirstConflictCounts) {
  struct Case {
    std::vector<std::string_view> words;
    PropertyConflict conflict;
  };
  const std::vector<Case> cases = {
      {{"PUBLIC", "PRIVATE", "MOD", "UNMOD"}, PropertyConflict::kPublicPrivate},
      {{"MOD", "UNMOD", "NOTIFY", "NONOTIFY"}, PropertyConflict::kModUnmod},
      {{"MOD", "BROADCAST"}, PropertyConflict::kModUnmod},
      {{"UNMOD", "BCAST"}, PropertyConflict::kModUnmod},
      {{"BCAST", "BROADCAST"}, PropertyConflict::kNone},
      {{"NOTIFY", "NONOTIFY"}, PropertyConflict::kNotify},
      {{"PUBLIC", "PUBLIC", "MOD", "MODERATED", "NOTIFY"}, PropertyConflict::kNone},
      {{}, PropertyConflict::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstConflict(Classify(c.words)), c.conflict) << testing::PrintToString(c.words);
  }
}

}  // namespace
