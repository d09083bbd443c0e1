#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <limits>
#include <string>

#include "common/limits.h"
#include "store/error_counter.h"
#include "store/group_store.h"
#include "unit/store/store_fixture.h"

namespace {

constexpr char kSender[] = "+4712345678";

class ErrorCounterTest : public StoreTest {
 protected:
  std::string CounterPath() const { return StoreRoot() + kErrorCounterName; }
  void WriteCount(const std::string& value) {
    WriteFile(CounterPath(), "[Errors]\r\n" + std::string(kSender) + "=" +
                                 value + "\r\n");
  }
};

TEST_F(ErrorCounterTest, CountsFailedRunsUntilOneSucceeds) {
  EXPECT_EQ(GetErrorCount(kSender), 0u);
  EXPECT_FALSE(ResetErrorCount(kSender));
  EXPECT_FALSE(ReadFile(CounterPath()));  // a reset at 0 writes nothing

  for (unsigned run = 1; run <= kQuietAfterFailures + 1; ++run) {
    ASSERT_TRUE(IncrementErrorCount(kSender));
    ASSERT_EQ(GetErrorCount(kSender), run);
  }
  EXPECT_GT(GetErrorCount(kSender), kQuietAfterFailures);
  EXPECT_EQ(GetErrorCount("+4799999999"), 0u);
  EXPECT_NE(ReadFile(CounterPath())->find("+4712345678=11\r\n"),
            std::string::npos);

  EXPECT_TRUE(ResetErrorCount(kSender));
  EXPECT_EQ(GetErrorCount(kSender), 0u);
  EXPECT_EQ(ReadFile(CounterPath())->find(kSender), std::string::npos);
  const auto after_reset = ReadFile(CounterPath());
  EXPECT_FALSE(ResetErrorCount(kSender));
  EXPECT_EQ(ReadFile(CounterPath()), after_reset);
}

TEST_F(ErrorCounterTest, FirstFailureCreatesTheStoreRootAndFile) {
  std::filesystem::remove(StoreRoot());
  ASSERT_TRUE(IncrementErrorCount(kSender));
  EXPECT_EQ(GetErrorCount(kSender), 1u);
}

constexpr unsigned kLargestCount = std::numeric_limits<unsigned>::max();

TEST_F(ErrorCounterTest, ReadsValuesAsDecimalNumbers) {
  struct Case {
    const char* value;
    unsigned count;
  };
  const Case cases[] = {
      {"7x", 7},         {"abc", 0},          {"", 0},   {"  12", 12},
      {"+3", 3},         {"-3", 0},           {"4294967295", kLargestCount},
      {"99999999999999999999", kLargestCount},
  };
  for (const Case& c : cases) {
    WriteCount(c.value);
    EXPECT_EQ(GetErrorCount(kSender), c.count) << c.value;
  }
  WriteCount("5");
  EXPECT_TRUE(ResetErrorCount(kSender));
  WriteCount("-3");
  EXPECT_FALSE(ResetErrorCount(kSender));
  ASSERT_TRUE(IncrementErrorCount(kSender));
  EXPECT_EQ(GetErrorCount(kSender), 1u);
}

TEST_F(ErrorCounterTest, CountStopsAtTheTopInsteadOfWrapping) {
  WriteCount("4294967295");
  ASSERT_TRUE(IncrementErrorCount(kSender));
  EXPECT_EQ(GetErrorCount(kSender), kLargestCount);
}

TEST_F(ErrorCounterTest, SenderThatIsNoKeyIsNeverCounted) {
  EXPECT_FALSE(IncrementErrorCount("+47=1"));
  EXPECT_FALSE(IncrementErrorCount("[Errors]"));
  EXPECT_FALSE(ReadFile(CounterPath()));
  EXPECT_EQ(GetErrorCount("+47=1"), 0u);
}

}  // namespace
