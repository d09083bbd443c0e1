// A translation file in a temporary folder that the vocabulary reads instead
// of the one beside the program, for the length of a test.
#ifndef UNIT_PROCESSOR_TRANSLATION_FILE_H_
#define UNIT_PROCESSOR_TRANSLATION_FILE_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/profile.h"
#include "processor/vocabulary.h"
#include "support/temp_dir.h"

class TranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    SetTranslationFileForTesting(dir_.path() + kTranslationFileName);
  }
  void TearDown() override { SetTranslationFileForTesting(""); }

  void SetCommand(std::string_view english, std::string_view translated) {
    ASSERT_TRUE(
        platform::ProfileWriteString(TranslationFilePath(), kCommandsSection, english, translated));
  }
  void SetText(std::string_view key, std::string_view text) {
    ASSERT_TRUE(platform::ProfileWriteString(TranslationFilePath(), kTextSection, key, text));
  }

 private:
  TempDir dir_;
};

#endif  // UNIT_PROCESSOR_TRANSLATION_FILE_H_
