// A fixture that gives every test its own data directory (KAVREL_HOME) with
// an empty store root in it.
#ifndef UNIT_STORE_STORE_FIXTURE_H_
#define UNIT_STORE_STORE_FIXTURE_H_

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "store/group_store.h"
#include "support/temp_dir.h"
#include "userdir/pendrel.h"

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.path().empty());
    SetStoreBase(StoreBase::kProgramData);
    std::string root;
    ASSERT_TRUE(GroupFolderPath("", &root));
    ASSERT_EQ(root, StoreRoot());
  }

  const std::string& home() const { return home_.path(); }
  std::string StoreRoot() const { return home_.path() + "Groups" + platform::PathSeparator(); }

  static void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
  }

  static std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  TempDir home_;
  ScopedEnv kavrel_home_{kDataHomeVariable, home_.path()};
};

#endif  // UNIT_STORE_STORE_FIXTURE_H_
