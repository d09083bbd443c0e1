// INI text rules on strings (on every platform), profile calls, files, folders, sockets.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "platform/posix/profile_text.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "support/platform_checks.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

using namespace std::literals;
constexpr size_t kLarge = 4096;

// Every line rule at once; '|' stands for the line end.
constexpr std::string_view kTricky =
    "before=first header|[]|k=in empty section| \t[ Main ]  trailing=ignored|plain = value |"
    "quoted = \"  spaced  \"|single='x'|mismatched = \"x'|nested = '\"x\"'|lone = \"|"
    "empty_quotes = \"\"|semi = a ;b|| \t |  ; hidden = comment|#hash = not a comment|"
    "\t\vindented\t= tabbed\v|eq = a=b=c|empty =|= empty key|bare line|dup = first|DUP = second|"
    "[main]|later = invisible|[no close|open = yes|[\"quoted\";x] junk|q = 1|";

TEST(ProfileText, TrickyLinesReadAlikeWithEveryLineEndAndEditsTouchOnlyTheirLines) {
  // section|key|value, '/' after each ("DEF": the default)
  constexpr std::string_view kCases =
      "|k|in empty section/|before|DEF/main|plain|value/MAIN|PLAIN|value/  main  | plain |value/"
      "\tmain|plain|DEF/main|\tplain|DEF/main|trailing|DEF/main|quoted|  spaced  /main|single|x/"
      "main|mismatched|\"x'/main|nested|\"x\"/main|lone|\"/main|empty_quotes|/main|semi|a ;b/"
      "main|; hidden|DEF/main|hidden|DEF/main|#hash|not a comment/missing|plain|DEF/"
      "main|indented|tabbed/main|eq|a=b=c/main|empty|/main||empty key/main|bare line|DEF/"
      "main|dup|first/main|later|DEF/no close|open|yes/\"quoted\";x|q|1/";
  for (const std::string_view line_end : {"\r\n"sv, "\n"sv, "\r"sv}) {
    SCOPED_TRACE(testing::PrintToString(std::string(line_end)));
    std::string text;
    for (const char c : kTricky) c == '|' ? text.append(line_end) : text.append(1, c);
    for (size_t at = 0, end; (end = kCases.find('/', at)) != kCases.npos; at = end + 1) {
      const std::string_view c = kCases.substr(at, end - at);
      const size_t k = c.find('|') + 1, v = c.find('|', k) + 1;
      EXPECT_EQ(ini::ReadString(text, c.substr(0, k - 1), c.substr(k, v - k - 1), "DEF  ", kLarge),
                c.substr(v))
          << c;
    }
    EXPECT_EQ(ini::ReadSection(text, "MAIN", kLarge),
              "plain=value\0quoted=\"  spaced  \"\0single='x'\0mismatched=\"x'\0nested='\"x\"'\0"
              "lone=\"\0empty_quotes=\"\"\0semi=a ;b\0#hash=not a comment\0indented=tabbed\0"
              "eq=a=b=c\0empty=\0=empty key\0bare line\0dup=first\0DUP=second\0\0"s);
  }
  // Quotes go before a cut; a default loses trailing spaces only; a full block.
  EXPECT_EQ(ini::ReadString("[s]\nq=\"ab\"", "s", "q", "", 2), "a");
  EXPECT_EQ(ini::ReadString("", "s", "k", " \tx\t ", kLarge), " \tx\t");
  EXPECT_EQ(ini::ReadSection("[s]\na=1\nb=2", "s", 6), "a=1\0\0\0"s);
  // Where each edit lands, and the line ends around it.
  const struct {
    char edit;  // '=' write, 'k' remove the key, 's' remove the section
    std::string_view before, after;
  } edits[] = {
      {'=', "", "[s]\r\nn=1\r\n"},
      {'=', "[a]\r\nx=1", "[a]\r\nx=1\r\n[s]\r\nn=1\r\n"},
      {'=', "[S]", "[S]\r\nn=1\r\n"},
      {'=', "[s]\n; c\n[t]\n", "[s]\nn=1\r\n; c\n[t]\n"},
      {'=', "[s]\rbare\r\r;c\r", "[s]\rbare\rn=1\r\n\r;c\r"},
      {'=', "[s]\r\nx=1\r\n; c\r\ny=2\r\n; d\r\n", "[s]\r\nx=1\r\n; c\r\ny=2\r\nn=1\r\n; d\r\n"},
      {'=', "[s]\r\n[s]\r\nn=0\r\n", "[s]\r\nn=1\r\n[s]\r\nn=0\r\n"},
      {'=', "[s]\r\n  N = 0\r\nz=1\r\n", "[s]\r\nN=1\r\nz=1\r\n"},
      {'=', "[s]\rn=0", "[s]\rn=1\r\n"},
      {'=', "\0\1n=0\r\n[s]\r\n"sv, "\0\1n=0\r\n[s]\r\nn=1\r\n"sv},
      {'k', "[s]\r\nx=1\r\n  N = 0\r\n; c\r\nn=2", "[s]\r\nx=1\r\n; c\r\nn=2"},
      {'k', "[s]\r\n; n=0\r\nn\r\n[t]\r\nn=0", "[s]\r\n; n=0\r\nn\r\n[t]\r\nn=0"},
      {'s', "x=0\r\n[s]\r\n n = 0\r\n; c\r\n\r\nz\r\n[t]\r\nn=1", "x=0\r\n; c\r\n\r\n[t]\r\nn=1"},
      {'s', "[t]\r\nn=1", "[t]\r\nn=1"}};
  for (const auto& c : edits) {
    std::string text(c.before);
    const bool changed = c.edit == '='   ? ini::SetValue(&text, " s ", " n ", "1")
                         : c.edit == 'k' ? ini::RemoveKey(&text, "S", " n ")
                                         : ini::RemoveSection(&text, " s ");
    EXPECT_EQ(text, c.after) << c.edit << testing::PrintToString(std::string(c.before));
    EXPECT_EQ(changed, c.before != c.after) << c.edit << testing::PrintToString(text);
  }
}

// What the calls (on Windows the system's own) promise: a missing file, changes, cuts at the
// buffer limits, and refused writes (a raw CR, LF or NUL would forge a key or section).
TEST(ProfileContract, MissingFileChangesCutsAndRefusedWrites) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "contract.ini";
  const auto bytes = [&path](std::string b = "") { return ReadWholeFile(path, &b) ? b : "none"; };
  const auto write = [&path](auto... a) { return ProfileWriteString(path, a...); };
  const auto read = [&path](auto... a) { return ProfileReadString(path, a..., kLarge); };
  EXPECT_EQ(read("s", "k", "dflt ") + ProfileReadSection(path, "s", kLarge), "dflt\0\0"s);
  EXPECT_TRUE(ProfileDeleteKey(path, "s", "k") && ProfileDeleteSection(path, "s"));
  EXPECT_FALSE(ProfileWriteString(temp.path() + "no" + PathSeparator() + "p.ini", "s", "k", "v") ||
               ProfileWriteString("", "s", "k", "v"));
  EXPECT_EQ(bytes(), "none");  // deletes create nothing
  EXPECT_TRUE(write(" Alpha ", " k ", "1") && bytes() == "[Alpha]\r\nk=1\r\n");
  EXPECT_TRUE(write("ALPHA", "K", "2") && write(" alpha ", " next ", "abcde"));
  EXPECT_EQ(ProfileReadSection(path, "alpha", kLarge), "k=2\0next=abcde\0\0"s);
  EXPECT_TRUE(write("Beta", "q", "' two  words '") && write("Beta", "e", ""));
  EXPECT_EQ(ProfileReadSection(path, " BETA ", kLarge), "q=' two  words '\0e=\0\0"s);
  EXPECT_EQ(read("beta", " Q ", "x") + "|" + read("beta", "e", "x"), " two  words |");
  EXPECT_TRUE(ProfileDeleteKey(path, "alpha", "K") && ProfileDeleteKey(path, "alpha", "none") &&
              ProfileDeleteSection(path, "BETA"));
  EXPECT_EQ(read("Beta", "e", "gone"), "gone");
  // Of "abcde", of a missing key with the default "dflt  ", of the block.
  const std::tuple<size_t, std::string_view, std::string_view, std::string> cuts[] = {
      {0, "", "", ""},
      {2, "a", "d", "\0\0"s},
      {5, "abcd", "dflt", "nex\0\0"s},
      {11, "abcde", "dflt", "next=abcd\0\0"s},
      {12, "abcde", "dflt", "next=abcde\0\0"s}};
  for (const auto& [size, value, missing, block] : cuts) {
    EXPECT_EQ(ProfileReadString(path, "Alpha", "next", "x", size), value) << size;
    EXPECT_EQ(ProfileReadString(path, "Alpha", "none", "dflt  ", size), missing) << size;
    EXPECT_EQ(ProfileReadSection(path, "Alpha", size), block) << size;
  }
  const std::string before = "\0\1\r\n[Alpha]\r\nnext=abcde\r\n"s;  // NULs stay
  ASSERT_TRUE(CreateFile(path, CreateDisposition::kCreateAlways, nullptr).Write(before));
  EXPECT_FALSE(write("s", "k", "1\r\n[admin]\r\nk=2") || write("s", "k", "1\rx=2") ||
               write("s", "k", "1\0x"sv) || write("s", "k\nx", "1") || write("\rs", "k", "1"));
  EXPECT_EQ(bytes(), before);
  std::vector<FolderEntry> entries;
  EXPECT_TRUE(ListFolder(temp.path(), &entries) && entries.size() == 1);  // no temporary file
  // Windows files have no POSIX mode; its profile calls read no values of 64 Ki (Wine: 32 Ki).
  if (OnWindows()) GTEST_SKIP() << "no POSIX mode; values of 64 Ki characters are not read";
  // A replacement keeps the mode and every other byte; lines have no limit.
  namespace fs = std::filesystem;
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(path, mode);
  const std::string key(70000, 'k'), value(3 << 20, 'v');
  ASSERT_TRUE(write("alpha", key, value));
  EXPECT_TRUE(bytes() == before + key + "=" + value + "\r\n");  // too long to print
  EXPECT_EQ(fs::status(path).permissions(), mode);
  EXPECT_EQ(ProfileReadString(path, "alpha", key, "", value.size() + 1), value);
}

// The process's open descriptors on Linux; 0 on Windows (under Wine the
// folder is the emulator's own, whose count moves by itself).
size_t OpenDescriptors() {
  std::vector<FolderEntry> entries;
  return !OnWindows() && ListFolder("/proc/self/fd", &entries) ? entries.size() : 0;
}

TEST(FilesAndFolders, CreateWriteListAndRemove) {
  const std::string root = CreateTempFolder("morvane-files-");
  ASSERT_FALSE(root.empty());
  const std::string folder = root + "Friends", file = root + "GROUP.DB";
  const std::string nowhere = root + "no" + PathSeparator() + "x";
  EXPECT_EQ(root.back(), PathSeparator());
  EXPECT_TRUE(CreateFolder(folder, nullptr) && IsFolder(folder + PathSeparator()));
  EXPECT_FALSE(CreateFolder(folder, nullptr) || CreateFolder(nowhere, nullptr) ||
               CreateFolder("", nullptr) || PathExists(""));  // the first exists already
  CreationAttributes shared;
  EXPECT_TRUE(AppendToFile(folder + PathSeparator() + "GROUP.INI", "[Group]\r\n", &shared));
  const size_t open_before = OpenDescriptors();
  const std::string bytes = "line\r\nnext\n\0\xFF end"s;
  File created = CreateFile(file, CreateDisposition::kCreateNew, nullptr);
  EXPECT_EQ(created.Write(bytes), bytes.size());
  created = CreateFile(file, CreateDisposition::kCreateNew, nullptr);  // exists: not open
  EXPECT_EQ(created.Write("x"), 0u);  // a closed file writes nothing
  EXPECT_EQ(OpenDescriptors(), open_before);
  std::string read;
  EXPECT_TRUE(ReadWholeFile(file, &read) && read == bytes);
  EXPECT_TRUE(CreateFile(file, CreateDisposition::kCreateAlways, &shared).is_open());
  EXPECT_TRUE(ReadWholeFile(file, &read) && read.empty()) << read;
  EXPECT_FALSE(ReadWholeFile(root + "no", &read) || ReadWholeFile(folder, &read));
  EXPECT_FALSE(CreateFile(nowhere, CreateDisposition::kCreateAlways, nullptr).is_open());
  // '*' and '?' name no entry, though they would match any as a pattern.
  for (const char* name : {"*", "?riends", "Fri*", "Friends?"})
    EXPECT_FALSE(PathExists(root + name) || IsFolder(root + name)) << name;
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(root, &entries) && entries.size() == 2);
  for (const auto& entry : entries) EXPECT_EQ(entry.name, entry.is_folder ? "Friends" : "GROUP.DB");
  EXPECT_NE(entries[0].name, entries[1].name);
  EXPECT_FALSE(ListFolder(root + "no", &entries));
  // Windows keeps a file still open; nothing left is success.
  EXPECT_TRUE(RemoveTree(root) && !PathExists(root) && RemoveTree(root));
}

// Windows names: no stream or drive mark, control character, or character the ANSI code page
// lacks ('?' or a look-alike such as '/' for U+2215); a path past the limit fails cleanly.
TEST(FilesAndFolders, WindowsRefusesNamesAndPathsItCannotHold) {
  if (!OnWindows()) GTEST_SKIP() << "POSIX names hold any byte but '/' and NUL, at any length";
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  for (const char* name : {"a:b", "tab\there", "x\xE2\x88\x95..", "\xEF\xBC\x8E\xEF\xBC\x8E"}) {
    EXPECT_FALSE(CreateFolder(temp.path() + name, nullptr)) << name;
    EXPECT_FALSE(AppendToFile(temp.path() + name, "x", nullptr)) << name;
  }
  std::vector<FolderEntry> entries;
  EXPECT_TRUE(ListFolder(temp.path(), &entries) && entries.empty());
  ASSERT_LT(temp.path().size(), 250u);
  for (const size_t length : {258, 259, 260}) {  // 259: the longest, its NUL not counted
    const std::string path = temp.path() + std::string(length - temp.path().size(), 'p');
    EXPECT_EQ(CreateFile(path, CreateDisposition::kCreateNew, nullptr).is_open(), length < 260);
    EXPECT_EQ(PathExists(path), length < 260) << length;
  }
}

// A connected pair on the loopback interface, whose address is parsed.
bool Connected(Socket* client, Socket* server) {
  uint32_t loopback = 0;
  Socket listener = Listen(ParseDottedAddress("127.0.0.1", &loopback) ? loopback : 0, 0, 4);
  const uint16_t port = LocalPort(listener);
  *client = OpenStreamSocket();
  if (port == 0 || !Connect(*client, kLoopbackAddress, port)) return false;
  *server = Accept(listener);
  return server->valid();
}

// A replaced listener refuses. Readable with N bytes waiting, then with none: end of stream.
TEST(LoopbackSocket, ReplacedListenerCloseAndReset) {
  SocketsStartup();
  const size_t open_before = OpenDescriptors();
  Socket client = Listen(kLoopbackAddress, 0, 1);
  const uint16_t port = LocalPort(client);
  client = OpenStreamSocket();
  EXPECT_TRUE(port != 0 && !Connect(client, kLoopbackAddress, port)) << port;
  client = Socket();
  EXPECT_EQ(OpenDescriptors(), open_before);
  uint32_t address = 0;
  EXPECT_TRUE(LookupHost("127.0.0.1", &address) && address == kLoopbackAddress) << address;
  for (auto bad : {"1.2.3.256", "", "a.example"}) EXPECT_FALSE(ParseDottedAddress(bad, &address));
  Socket server;
  ASSERT_TRUE(Connected(&client, &server));
  EXPECT_EQ(WaitReadableMs(client, 0), 0);
  ASSERT_TRUE(SendAll(server, "hello", 5));
  server.Close();
  char buffer[16];
  size_t waiting = 0;
  ASSERT_EQ(WaitReadableMs(client, 30000), 1);
  EXPECT_TRUE(BytesWaiting(client, &waiting) && waiting == 5) << waiting;
  EXPECT_TRUE(Receive(client, buffer, sizeof buffer) == 5 && std::string(buffer, 5) == "hello");
  EXPECT_TRUE(WaitReadable(client, 30) == 1 && BytesWaiting(client, &waiting) && waiting == 0);
  EXPECT_EQ(Receive(client, buffer, sizeof buffer), 0);
  // Wine's sockets close gracefully even with a zero linger time.
  if (OnWindows()) GTEST_SKIP() << "the Windows tests run under Wine, which makes no reset";
  ASSERT_TRUE(Connected(&client, &server));
  SetResetOnClose(server);
  server.Close();
  ASSERT_EQ(WaitReadableMs(client, 30000), 1);
  EXPECT_EQ(Receive(client, buffer, sizeof buffer), -1);
}

}  // namespace
}  // namespace platform
