#include "processor/dispatch.h"

#include <gtest/gtest.h>

#include <string_view>

#include "unit/processor/translation_file.h"

namespace {

struct WordCase {
  std::string_view word;
  Command command;
};

void ExpectCommands(std::initializer_list<WordCase> cases) {
  for (const WordCase& c : cases) {
    EXPECT_EQ(SelectCommand(c.word), c.command) << c.word;
  }
}

TEST(SelectCommandTest, EnglishKeywordsArePrefixesOverTheirOwnLength) {
  ExpectCommands({
      {"join", Command::kJoin},
      {"JOINING", Command::kJoin},
      {"Startup", Command::kJoin},
      {"start", Command::kJoin},
      {"Stopped", Command::kLeave},
      {"Stop", Command::kLeave},
      {"leave", Command::kLeave},
      {"INVITE", Command::kInvite},
      {"invited", Command::kInvite},
      {"create", Command::kCreate},
      {"Administrator", Command::kAdmin},
      {"yesterday", Command::kYes},
      {"yes", Command::kYes},
      {"YESSS", Command::kYes},
      {"tests", Command::kTest},
      {"Testing", Command::kTest},
      {"helpme", Command::kHelp},
      {"HELP", Command::kHelp},
  });
}

TEST(SelectCommandTest, ShortenedKeywordsAndOtherWordsArePosts) {
  ExpectCommands({
      {"JOI", Command::kPost},
      {"STAR", Command::kPost},
      {"LEAV", Command::kPost},
      {"STO", Command::kPost},
      {"INVIT", Command::kPost},
      {"CREAT", Command::kPost},
      {"ADMI", Command::kPost},
      {"YE", Command::kPost},
      {"TES", Command::kPost},
      {"HEL", Command::kPost},
      {"DELETE", Command::kPost},
      {"@Friends", Command::kPost},
      {"/t", Command::kPost},
      {"", Command::kPost},
      {"id", Command::kPost},
      {"i:d", Command::kPost},
      {" JOIN", Command::kPost},
  });
}

TEST(SelectCommandTest, IdTagIsAPrefixInAnyCase) {
  ExpectCommands({{"id:", Command::kIdTag},
                  {"ID:12345", Command::kIdTag},
                  {"id:abc", Command::kIdTag},
                  {"Id:", Command::kIdTag}});
}

using TranslatedDispatchTest = TranslationTest;

TEST_F(TranslatedDispatchTest, TranslationsSelectByWholeWord) {
  SetCommand("JOIN", "REJOINDRE");
  SetCommand("STOP", "STOPPEN");
  SetCommand("TEST", "ESSAI");
  SetCommand("START", "DEMARRER");
  SetCommand("HELP", "AIDE");
  ExpectCommands({
      {"rejoindre", Command::kJoin},
      {"REJOINDRE", Command::kJoin},
      {"rejoindre2", Command::kPost},
      {"Join", Command::kJoin},
      {"JOINx", Command::kJoin},
      {"stoppen", Command::kLeave},
      {"demarrer", Command::kJoin},
      {"ESSAI", Command::kTest},
      {"essai", Command::kTest},
      {"ESSAI2", Command::kPost},
      {"aide", Command::kHelp},
      {"AIDES", Command::kPost},
  });
}

// A translated word that begins with an earlier row's English keyword
// selects that earlier row.
TEST_F(TranslatedDispatchTest, EarlierRowWinsOverALaterTranslation) {
  SetCommand("HELP", "JOINDRE");
  SetCommand("TEST", "LEAVETEST");
  ExpectCommands({{"joindre", Command::kJoin}, {"LEAVETEST", Command::kLeave}});
}

TEST_F(TranslatedDispatchTest, TheIdTagIsNeverTranslated) {
  SetCommand("id:", "NUMERO");
  SetCommand("ID", "NUMERO");
  ExpectCommands({{"NUMERO", Command::kPost}, {"id:9", Command::kIdTag}});
}

TEST_F(TranslatedDispatchTest, TranslationDoesNotReplaceTheEnglishWord) {
  SetCommand("INVITE", "EINLADEN");
  SetCommand("CREATE", "CREER");
  SetCommand("ADMIN", "GERER");
  SetCommand("YES", "OUI");
  ExpectCommands({
      {"einladen", Command::kInvite},
      {"INVITE", Command::kInvite},
      {"creer", Command::kCreate},
      {"CREATE", Command::kCreate},
      {"gerer", Command::kAdmin},
      {"ADMIN", Command::kAdmin},
      {"oui", Command::kYes},
      {"yes", Command::kYes},
  });
}

}  // namespace
