// Files and folders: creation rules, exact bytes, listing, removal, appends
// from many threads, and the Windows path limit.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/platform_checks.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

using namespace std::literals;
namespace fs = std::filesystem;

constexpr int kAppendThreads = 20;
constexpr int kAppendRounds = 50;
// The longest path a Windows call takes, its NUL not counted.
constexpr size_t kMaxWindowsPath = 259;

TEST(Folders, CreateOnlyTheLastFolderAndOnlyOnce) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string folder = temp.path() + "made";
  EXPECT_FALSE(PathExists(folder));
  EXPECT_TRUE(CreateFolder(folder, nullptr));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_TRUE(IsFolder(folder + PathSeparator()));
  EXPECT_FALSE(CreateFolder(folder, nullptr));  // exists already
  EXPECT_FALSE(CreateFolder(temp.path() + "missing" + PathSeparator() + "child", nullptr));
  CreationAttributes shared;
  EXPECT_TRUE(CreateFolder(folder + PathSeparator() + "shared", &shared));
  EXPECT_FALSE(CreateFolder("", nullptr));
  EXPECT_FALSE(PathExists(""));
}

// '*' and '?' name no entry, though they would match any as a pattern.
TEST(Folders, PatternCharactersMatchNothing) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  ASSERT_TRUE(CreateFolder(temp.path() + "group", nullptr));
  for (const char* name : {"*", "?roup", "gro*", "group?"}) {
    EXPECT_FALSE(PathExists(temp.path() + name)) << name;
    EXPECT_FALSE(IsFolder(temp.path() + name)) << name;
  }
}

// On Windows a name must be a file name there, written in the ANSI code
// page exactly: no stream or drive mark inside, no control character, no
// character the code page lacks (which would turn into '?' or a look-alike
// such as '/' for U+2215).
TEST(Folders, WindowsRefusesNamesItCannotHold) {
  if (!OnWindows()) GTEST_SKIP() << "POSIX names hold any byte but '/' and NUL";
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  for (const char* name : {"a:b", "tab\there", "x\xE2\x88\x95..", "\xEF\xBC\x8E\xEF\xBC\x8E"}) {
    EXPECT_FALSE(CreateFolder(temp.path() + name, nullptr)) << name;
    EXPECT_FALSE(AppendToFile(temp.path() + name, "x", nullptr)) << name;
  }
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST(Files, CreateWriteAndReadExactBytes) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "GROUP.DB";
  const std::string bytes = "line\r\nnext\n\0\xFF end"s;
  {
    File file = CreateFile(path, CreateDisposition::kCreateNew, nullptr);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(file.Write(bytes), bytes.size());
  }
  std::string read;
  ASSERT_TRUE(ReadWholeFile(path, &read));
  EXPECT_EQ(read, bytes);
  EXPECT_FALSE(CreateFile(path, CreateDisposition::kCreateNew, nullptr).is_open());
  CreationAttributes shared;
  EXPECT_TRUE(CreateFile(path, CreateDisposition::kCreateAlways, &shared).is_open());
  ASSERT_TRUE(ReadWholeFile(path, &read));
  EXPECT_TRUE(read.empty());
  EXPECT_FALSE(ReadWholeFile(temp.path() + "missing", &read));
  EXPECT_FALSE(CreateFile(temp.path() + "missing" + PathSeparator() + "x", CreateDisposition::kCreateAlways,
                          nullptr)
                   .is_open());
}

TEST(Files, AppendsFromManyThreadsStayWhole) {
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  const std::string path = temp.path() + "log.txt";
  std::vector<std::thread> threads;
  for (int t = 0; t < kAppendThreads; ++t) {
    threads.emplace_back([&path, t] {
      const std::string line = "thread " + std::to_string(t) + " " + std::string(100, 'x') + "\r\n";
      for (int round = 0; round < kAppendRounds; ++round) AppendToFile(path, line, nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::string log;
  ASSERT_TRUE(ReadWholeFile(path, &log));
  std::vector<int> counts(kAppendThreads, 0);
  size_t start = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = log.substr(start, end - start);
    const size_t space = line.find(' ', 7);
    ASSERT_NE(space, std::string::npos) << line;
    EXPECT_EQ(line.substr(space + 1), std::string(100, 'x'));
    ++counts[std::stoi(line.substr(7, space - 7))];
  }
  EXPECT_EQ(start, log.size());
  EXPECT_EQ(counts, std::vector<int>(kAppendThreads, kAppendRounds));
}

TEST(Folders, ListingAndRemovingATree) {
  const std::string root = CreateTempFolder("morvane-files-");
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.back(), PathSeparator());
  ASSERT_TRUE(CreateFolder(root + "Friends", nullptr));
  ASSERT_TRUE(AppendToFile(root + "Friends" + PathSeparator() + "GROUP.INI", "[Group]\r\n", nullptr));
  ASSERT_TRUE(AppendToFile(root + "ERRORCTR.INI", "", nullptr));

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(root, &entries));
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "ERRORCTR.INI");
  EXPECT_FALSE(entries[0].is_folder);
  EXPECT_EQ(entries[1].name, "Friends");
  EXPECT_TRUE(entries[1].is_folder);
  EXPECT_FALSE(ListFolder(root + "missing", &entries));

  EXPECT_TRUE(RemoveTree(root));
  EXPECT_FALSE(PathExists(root));
  EXPECT_TRUE(RemoveTree(root));  // nothing left is success
}

// The store builds every path within the limit of the Windows calls; one
// past it fails cleanly instead of reaching a wrong file.
TEST(Files, WindowsPathLimitBoundary) {
  if (!OnWindows()) GTEST_SKIP() << "POSIX paths are not limited to 259 characters";
  TempDir temp;
  ASSERT_FALSE(temp.path().empty());
  ASSERT_LT(temp.path().size() + 10, kMaxWindowsPath);
  const auto path_of = [&temp](size_t length) {
    return temp.path() + std::string(length - temp.path().size(), 'p');
  };
  for (const size_t length : {kMaxWindowsPath - 1, kMaxWindowsPath}) {
    EXPECT_TRUE(CreateFile(path_of(length), CreateDisposition::kCreateNew, nullptr).is_open())
        << length;
    EXPECT_TRUE(PathExists(path_of(length))) << length;
  }
  EXPECT_FALSE(CreateFile(path_of(kMaxWindowsPath + 1), CreateDisposition::kCreateNew, nullptr)
                   .is_open());
  EXPECT_FALSE(PathExists(path_of(kMaxWindowsPath + 1)));
}

}  // namespace
}  // namespace platform
