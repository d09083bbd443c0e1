// What the processor makes of a message's words, without a store, and the simulator's decoding.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/limits.h"
#include "kannel/kannel_request.h"
#include "platform/profile.h"
#include "processor/dispatch.h"
#include "processor/notices.h"
#include "processor/post.h"
#include "processor/run.h"
#include "sim/submission_server.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

namespace {

using Words = std::vector<std::string>;

Words Split(const std::string& text, char separator) {
  Words words(1);
  for (char c : text) c == separator ? words.emplace_back() : words.back() += c;
  return words;
}
std::string Joined(const Words& words, std::string joined = "") {
  for (size_t i = 0; i < words.size(); ++i) joined += (i ? "|" : "") + words[i];
  return joined;
}
// Each "input=output" of `rows`, split at `separator`: f(input) is output.
void ExpectRows(const std::string& rows, char separator, auto f) {
  for (const std::string& row : Split(rows, separator)) {
    const Words sides = Split(row, '=');
    EXPECT_EQ(f(sides[0]), sides[1]) << row;
  }
}

Request TextRequest(const std::string& words, bool quiet = false, size_t position = 3) {
  Request request;
  request.args = Split("/s +15550001111 /t " + words, ' ');
  request.text_position = position;
  request.quiet = quiet;
  return request;
}

// Each "word=COMMAND": the command the word selects ("id:" the tag, "post" a post).
void ExpectCommands(const std::string& rows) {
  static const Words kNames = Split("JOIN LEAVE INVITE CREATE ADMIN YES TEST HELP id: post", ' ');
  ExpectRows(rows, ' ',
             [](const std::string& word) { return kNames[static_cast<int>(SelectCommand(word))]; });
}

// The exec entry point's three arguments become the processor's command line or are refused;
// switches in any case or the positional form; administrator mode for yes-values only.
TEST(WordsTest, CommandLines) {
  // Sender|receiving number|text; then the processor's words, or the reason.
  const std::pair<std::string, std::string> rows[] = {
      {"%2B15550002222|4000|+%09%40Friends+two++sp%09%C3%A9%e2%82%ac+",
       "/s|+15550002222|/r|4000|/t|@Friends|two|sp|\xC3\xA9\xE2\x82\xAC"},
      {"1||%24%28id%29+%60id%60+%22%5C%3B'(*)!~+%25%2B%26+JOIN+/s+x+/t",
       "/s|1|/r||/t|$(id)|`id`|\"\\;'(*)!~|%+&|JOIN|/s|x|/t"},
      {"1|2|++", "/s|1|/r|2|/t"},
      {"1|2|a%4", "the text holds a '%'"},
      {"%G1|2|HELP", "the sender holds a '%'"},
      {"1|%%|HELP", "the receiving number holds a '%'"},
      {"1|2|JOIN+Friends%00evil", "the text holds a NUL byte"},
      {"|2|HELP", "the sender is empty"},
      {"1|2|HELP|x", "expected 3 arguments, got 4"}};
  for (const auto& [args, want] : rows) {
    Words words;
    std::string error;
    const bool ok = ProcessorArguments(Split("p|" + args, '|'), &words, &error);
    EXPECT_EQ(ok ? Joined(words) : error.substr(0, want.size()), ok ? "p|" + want : want);
  }
  // The simulator's decoding keeps a '+' and what is no escape; its log escapes.
  EXPECT_EQ(PercentDecode("Hi%20%26+%C3%a9%0D%0A|100%|%4|%zz"), "Hi &+\xC3\xA9\r\n|100%|%4|%zz");
  std::string line;
  EXPECT_FALSE(Base64Decode("a*b=", &line));
  line = LogLine("acct", "+1555\t0", "to", "a\\b\r\nc\x01\x7F");
  EXPECT_EQ(line.substr(line.find('\t')), "\tacct\t+1555\\t0\tto\ta\\\\b\\r\\nc\\x01\\x7F\n");
  // The arguments, then sender|receiving number|text position: "/t" last takes the whole
  // text, without "/t" the sender comes first, a value is no switch.
  const std::string l(60, '7'), cut = l.substr(0, kMaxPhoneChars);
  ExpectRows(
      "-S +1555 -R 4000 -T LEAVE=+1555|4000|5,/r 4000 /s +1 /T=+1|4000|4,/r 4000 +1555 x "
      "/s=/r|4000|1,/s /t /t TEST=/t||3,junk /sender /s 5 /tt \\t /t HELP=5||7,/s " +
          l + " /r " + l + " /t X=" + cut + "|" + cut + "|5," + l + " HELP=" + cut + "||1",
      ',', [](const std::string& args) {
        Request r;
        r.args = Split(args, ' ');
        ScanArguments(&r);
        return Joined({r.sender, r.receive_number, std::to_string(r.text_position)});
      });
  ExpectRows("Yes=1|1=1|ON=1|TRUE=1|Yx=1|no=0|=0|truex=0| yes=0", '|', [](const std::string& v) {
    ScopedEnv env(kAdminModeVariable, v);
    return std::to_string(ReadAdminMode());
  });
}

// The words, then reply|error; "id:" is taken and answered with nothing. English keywords
// are prefixes over their length.
TEST(WordsTest, CommandWordsAndTheSimpleCommands) {
  TempDir home;  // should a word be taken for a post
  ScopedEnv data_home(kDataHomeVariable, home.path());
  ExpectRows(
      "TEST=Why are you trying to test?|0;quiet Testing HELP %s%n %u=Why are you trying "
      "to test HELP %s%n %u?|0;HELP TEST=Help is not yet available.|1;quiet helpme=|1;id:5 "
      "HELP=|0;@Nobody hi=You are not joined to group Nobody.|1;quiet @Nobody hi=|1",
      ';', [](const std::string& words) {
        const bool quiet = words.rfind("quiet ", 0) == 0;
        Request request = TextRequest(quiet ? words.substr(6) : words, quiet);
        Dispatch(&request);
        return request.reply + "|" + std::to_string(request.error);
      });
  ExpectCommands(
      "join=JOIN JOINING=JOIN Startup=JOIN Stopped=LEAVE leave=LEAVE invited=INVITE "
      "create=CREATE Administrator=ADMIN yesterday=YES tests=TEST helpme=HELP id:=id: "
      "ID:12345=id: JOI=post STAR=post LEAV=post STO=post INVIT=post CREAT=post ADMI=post "
      "YE=post TES=post HEL=post DELETE=post @Friends=post /t=post =post id=post i:d=post");
  // Words count from the command word.
  const Request r = TextRequest("JOIN Club Ann"), past = TextRequest("JOIN Club Ann", false, 7);
  EXPECT_EQ(Joined({std::to_string(r.WordCount()), r.Word(0), r.Word(2), r.Word(1, 2), r.Word(3),
                    r.Word(static_cast<size_t>(-1)), r.JoinedWords(1, 100), r.JoinedWords(1, 6),
                    r.JoinedWords(3, 100), std::to_string(past.WordCount()), past.Word(0),
                    past.JoinedWords(0, 9)}),
            "3|JOIN|Ann|Cl|||Club Ann|Club A||0||");
}

// The first character is a marker ("@" below) when it is '@', or no ASCII letter or digit
// before one; the group is cut, then split at its first ':'.
TEST(WordsTest, PostWordsPhoneNumbersAndPropertyWords) {
  const auto parsed = [](const std::string& word) {
    const PostAddress address = ParsePostWord(word);
    return (address.has_marker ? "@" : "") + address.group +
           (address.target.empty() ? "" : "|" + address.target);
  };
  ExpectRows(
      "@Friends=@Friends #Friends=@Friends Friends=Friends @@Friends=@@Friends @=@ @#x=@#x "
      "##Friends=##Friends #=# /t=@t 1Club=1Club 0Club=0Club #0=@0 -9a=@9a !zZ=@zZ = "
      "@Friends:Bob=@Friends|Bob Friends:bob=Friends|bob @Friends:=@Friends @:Bob=@|Bob "
      "@F:Bob:Ann=@F|Bob:Ann \xC3\xA9t=\xC3\xA9t",
      ' ', parsed);
  const std::string g(kMaxGroupChars, 'g');
  EXPECT_EQ(parsed("@" + g + "g") + parsed("@" + g + ":Bob") + parsed(g + "ggg"),
            "@" + g + "@" + g + g);
  EXPECT_EQ(parsed("@" + g.substr(2) + ":Bob"), "@" + g.substr(2) + "|B");
  // The text: each word after one space, cut at the limit.
  const std::string prefix = "@Friends:Bob";
  for (size_t total :
       {kMaxPostTextChars - 6, kMaxPostTextChars - 1, kMaxPostTextChars, kMaxPostTextChars + 1}) {
    const std::string word(total - prefix.size() - 1, 'w');
    EXPECT_EQ(AppendTextWords(prefix, TextRequest("@F " + word + " tail")),
              (prefix + " " + word + " tail").substr(0, kMaxPostTextChars));
  }
  EXPECT_EQ(AppendTextWords(std::string(kMaxPostTextChars + 9, 'p'), TextRequest("@F x")),
            std::string(kMaxPostTextChars, 'p'));
  // Phone numbers, and property words by their first three letters.
  ExpectRows(
      "5550001=1 +123456=1 123456789012345=1 +12345678901234=1 555000=0 +12345=0 "
      "1234567890123456=0 +123456789012345=0 ++1234567=0 1234567+=0 =0 +abcdefg=0",
      ' ', [](const std::string& n) { return std::to_string(IsPhoneNumber(n)); });
  ExpectRows(
      "PUBLIC,PRIVATE,MOD,UNMOD=1 pubx,Privacy=1 Moderated,unmod,NOTIFY,NONO=2 "
      "MOD,BROADCAST=2 UNMOD,bcast=2 BCAST,BROADCAST,PUBLIC,xyz,PR,UN=0 notify,NONotify=3",
      ' ', [](const std::string& words) {
        PropertyChoices choices;
        for (const std::string& w : Split(words, ',')) ClassifyPropertyWord(w, &choices);
        return std::to_string(static_cast<int>(FirstConflict(choices)));
      });
}

TEST(TranslationTest, CommandsRepliesAndNoticesAreTranslatedAndCut) {
  TempDir dir;  // read instead of the translation file beside the program
  SetTranslationFileForTesting(dir.path() + kTranslationFileName);
  const std::shared_ptr<void> restore(nullptr, [](void*) { SetTranslationFileForTesting(""); });
  auto Set = [](std::string_view section, const std::string& pairs) {  // "KEY=value ..."
    for (const std::string& pair : Split(pairs, ' ')) {
      const Words kv = Split(pair, '=');
      ASSERT_TRUE(platform::ProfileWriteString(TranslationFilePath(), section, kv[0], kv[1]));
    }
  };
  Set(kCommandsSection, "JOIN=REJOINDRE STOP=STOPPEN TEST=ESSAI id:=NUMERO LEAVE=");
  ExpectCommands(
      "rejoindre=JOIN REJOINDRE2=post JOINx=JOIN stoppen=LEAVE Stop=LEAVE ESSAI=TEST "
      "essai2=post NUMERO=post id:9=id:");
  EXPECT_EQ(TranslateCommand("join") + TranslateCommand("CREATE") + TranslateCommand("LEAVE"),
            "REJOINDRECREATELEAVE");
  // A translation that begins with an earlier row's keyword selects that row.
  Set(kCommandsSection, "HELP=JOINDRE TEST=LEAVETEST");
  ExpectCommands("joindre=JOIN LEAVETEST=LEAVE");
  const std::string join_ok(DefaultReplyText(ReplyKey::kJoinOK));
  EXPECT_EQ(GetReplyText(ReplyKey::kJoinOK), join_ok);     // no text
  Set(kTextSection, "messageforwardok=%u,membres,de,%s");  // keys in any case
  EXPECT_EQ(GetReplyText(ReplyKey::kMessageForwardOK), "%u,membres,de,%s");
  for (const char* text : {"%s%n%x", "Joined%s", "%s%s%s", "Joined%u%s", "%p%s%s", "%s%s%"}) {
    Set(kTextSection, std::string("JoinOK=") + text);
    EXPECT_EQ(GetReplyText(ReplyKey::kJoinOK), join_ok) << text;
  }
  for (size_t length : {98u, 99u, 100u, 248u, 249u, 250u}) {
    Set(kCommandsSection, "YES=" + std::string(length, 'e'));
    Set(kTextSection, "LeaveNoGroups=" + std::string(length, 'x'));
    EXPECT_EQ(TranslateCommand("YES").size(), std::min<size_t>(length, 99)) << length;
    EXPECT_EQ(GetReplyText(ReplyKey::kLeaveNoGroups).size(), std::min<size_t>(length, 249));
  }
  // Notices, from one character short of each limit to 500 past it.
  Set(kTextSection, "AdminApproveReplyYes=JA:%s:%u");
  std::string abc;  // a repeated pattern, so that a cut at the wrong place shows
  while (abc.size() < kMaxForwardChars + 500) abc += static_cast<char>('a' + abc.size() % 26);
  const std::string notify = "ADMIN Club NOTIFY JOIN ", approval = "JA:Club:7\r\n";
  for (size_t over : {0u, 1u, 2u, 501u}) {
    const std::string name = abc.substr(0, kMaxNotifyChars - 1 + over - notify.size() - 6);
    const std::string text = abc.substr(0, kMaxApprovalChars - 1 + over - approval.size());
    const std::string post = abc.substr(0, kMaxForwardChars - 1 + over - 10);
    EXPECT_TRUE(NotifyText("Club", "JOIN", "+1555", name) ==
                    (notify + name + " +1555").substr(0, kMaxNotifyChars) &&
                ApprovalText("Club", 7, text) == (approval + text).substr(0, kMaxApprovalChars) &&
                ForwardText("Club", "Bob", post) ==
                    ("@Club:Bob " + post).substr(0, kMaxForwardChars))
        << over;
  }
}

}  // namespace
