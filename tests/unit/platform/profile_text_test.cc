// Parsing, lookups and edits of profile text, without files.
#include "platform/posix/profile_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {
namespace {

using namespace std::string_literals;

constexpr size_t kLarge = 1000;

// Every line rule at once. Joined with each of the three line ends.
const std::vector<std::string> kTrickyLines = {
    "before=first header",
    "[]",
    "k=in empty section",
    " \t[ Main ]  trailing=ignored",
    "plain = value ",
    "quoted = \"  spaced  \"",
    "single='x'",
    "mismatched = \"x'",
    "nested = '\"x\"'",
    "lone = \"",
    "empty_quotes = \"\"",
    "semi = a ;b",
    "",
    " \t ",
    "  ; hidden = comment",
    "#hash = not a comment",
    "\t\vindented\t= tabbed\v",
    "eq = a=b=c",
    "empty =",
    "= empty key",
    "bare line",
    "dup = first",
    "DUP = second",
    "[main]",
    "later = invisible",
    "[no close",
    "open = yes",
    "[\"quoted\";x] junk",
    "q = 1",
};

std::string Join(std::string_view line_end) {
  std::string text;
  for (const std::string& line : kTrickyLines) {
    text.append(line).append(line_end);
  }
  return text;
}

class TrickyLines : public testing::TestWithParam<std::string_view> {};

INSTANTIATE_TEST_SUITE_P(LineEnds, TrickyLines,
                         testing::Values("\r\n", "\n", "\r"),
                         [](const auto& info) {
                           return info.param == "\r\n" ? "CrLf"s
                                  : info.param == "\n" ? "Lf"s
                                                       : "Cr"s;
                         });

TEST_P(TrickyLines, LookupsFollowTheLineRules) {
  struct Case {
    std::string_view section, key, want;
  };
  const std::string kDefault = "DEF";
  const Case cases[] = {
      {"", "k", "in empty section"},
      {"", "before", kDefault},
      {"main", "plain", "value"},
      {"MAIN", "PLAIN", "value"},
      {"  main  ", " plain ", "value"},
      {"\tmain", "plain", kDefault},
      {"main", "\tplain", kDefault},
      {"main", "trailing", kDefault},
      {"main", "quoted", "  spaced  "},
      {"main", "single", "x"},
      {"main", "mismatched", "\"x'"},
      {"main", "nested", "\"x\""},
      {"main", "lone", "\""},
      {"main", "empty_quotes", ""},
      {"main", "semi", "a ;b"},
      {"main", "; hidden", kDefault},
      {"main", "hidden", kDefault},
      {"main", "#hash", "not a comment"},
      {"main", "indented", "tabbed"},
      {"main", "eq", "a=b=c"},
      {"main", "empty", ""},
      {"main", "", "empty key"},
      {"main", "bare line", kDefault},
      {"main", "dup", "first"},
      {"main", "later", kDefault},
      {"no close", "open", "yes"},
      {"\"quoted\";x", "q", "1"},
      {"missing", "plain", kDefault},
  };
  const std::string text = Join(GetParam());
  for (const Case& c : cases) {
    EXPECT_EQ(ReadString(text, c.section, c.key, "DEF  ", kLarge), c.want)
        << "[" << c.section << "] " << c.key;
  }
}

TEST_P(TrickyLines, SectionBlocksListEntriesTrimmedWithQuotes) {
  const std::string text = Join(GetParam());
  EXPECT_EQ(ReadSection(text, "MAIN", kLarge),
            "plain=value\0quoted=\"  spaced  \"\0single='x'\0"
            "mismatched=\"x'\0nested='\"x\"'\0lone=\"\0empty_quotes=\"\"\0"
            "semi=a ;b\0#hash=not a comment\0indented=tabbed\0eq=a=b=c\0"
            "empty=\0=empty key\0bare line\0dup=first\0DUP=second\0\0"s);
  EXPECT_EQ(ReadSection(text, "", kLarge), "k=in empty section\0\0"s);
  EXPECT_EQ(ReadSection(text, "no close", kLarge), "open=yes\0\0"s);
  EXPECT_EQ(ReadSection(text, "missing", kLarge), "\0\0"s);
}

TEST(ProfileBuffers, ValuesAreCutToOneLessThanTheBuffer) {
  const std::string text = "[s]\r\nk=val1\r\nq=\"ab\"\r\n";
  struct Case {
    std::string_view key, default_value;
    size_t size;
    std::string_view want;
  };
  const Case cases[] = {
      {"k", "", 0, ""},
      {"k", "", 1, ""},
      {"k", "", 2, "v"},
      {"k", "", 4, "val"},
      {"k", "", 5, "val1"},
      {"k", "", 6, "val1"},
      {"q", "", 2, "a"},
      {"q", "", 3, "ab"},
      {"none", "dflt  ", 0, ""},
      {"none", "dflt  ", 1, ""},
      {"none", "dflt  ", 4, "dfl"},
      {"none", "dflt  ", 5, "dflt"},
      {"none", "dflt  ", 6, "dflt"},
      {"none", " \tx\t ", kLarge, " \tx\t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadString(text, "s", c.key, c.default_value, c.size), c.want)
        << c.key << " size " << c.size;
  }
}

TEST(ProfileBuffers, SectionBlocksEndInTwoNulsWhenCut) {
  const std::string text =
      "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n[e]\r\n";
  const std::string full = "name1=val1\0name2=\0name3\0name4=val4\0\0"s;
  ASSERT_EQ(full.size(), 36u);
  struct Case {
    std::string_view section;
    size_t size;
    std::string want;
  };
  const Case cases[] = {
      {"s", 0, ""},
      {"s", 1, "\0"s},
      {"s", 2, "\0\0"s},
      {"s", 3, "n\0\0"s},
      // A cut right after an entry leaves three NULs: the buffer is full.
      {"s", 20, "name1=val1\0name2=\0\0\0"s},
      {"s", 24, "name1=val1\0name2=\0name\0\0"s},
      {"s", 35, "name1=val1\0name2=\0name3\0name4=val\0\0"s},
      {"s", 36, full},
      {"s", 37, full},
      {"e", 0, ""},
      {"e", 1, "\0"s},
      {"e", 2, "\0\0"s},
      {"e", kLarge, "\0\0"s},
      {"missing", 2, "\0\0"s},
      {"missing", kLarge, "\0\0"s},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadSection(text, c.section, c.size), c.want)
        << "[" << c.section << "] size " << c.size;
  }
}

// Where a write lands, and the line ends around it.
TEST(ProfileEdits, SetValueTouchesOneLine) {
  struct Case {
    std::string_view before, after;
  };
  const Case cases[] = {
      {"", "[s]\r\nn=1\r\n"},
      {"[a]\r\nx=1", "[a]\r\nx=1\r\n[s]\r\nn=1\r\n"},
      {"[a]\rx=1\r", "[a]\rx=1\r[s]\r\nn=1\r\n"},
      {"[S]", "[S]\r\nn=1\r\n"},
      {"[s]\n; c\n[t]\n", "[s]\nn=1\r\n; c\n[t]\n"},
      {"[s]\rbare\r\r;c\r", "[s]\rbare\rn=1\r\n\r;c\r"},
      {"[s]\r\n[s]\r\nn=0\r\n", "[s]\r\nn=1\r\n[s]\r\nn=0\r\n"},
      {"[s]\r\n  N = 0\r\nz=1\r\n", "[s]\r\nN=1\r\nz=1\r\n"},
      {"[s]\nn=0\nz=1\n", "[s]\nn=1\r\nz=1\n"},
      {"[s]\rn=0", "[s]\rn=1\r\n"},
      {"[s]\r\nn\r\nn=0\r\n", "[s]\r\nn\r\nn=1\r\n"},
  };
  for (const Case& c : cases) {
    std::string text(c.before);
    EXPECT_TRUE(SetValue(&text, " s ", " n ", "1")) << c.before;
    EXPECT_EQ(text, c.after);
    EXPECT_FALSE(SetValue(&text, "S", "N", "1")) << "written again";
  }
}

}  // namespace
}  // namespace platform::ini
