#include "support/temp_dir.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "platform/files.h"
#include "platform/process.h"

namespace {

constexpr int kMaxNameAttempts = 100;

}  // namespace

TempDir::TempDir() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return;
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ static_cast<uint64_t>(seed()));
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const std::filesystem::path candidate = base / ("morvane-test-" + std::to_string(random()));
    // create_directory answers false for a name that exists already.
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate.string() + platform::PathSeparator();
      return;
    }
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  std::string old;
  if (platform::GetEnv(name_, &old)) old_value_ = std::move(old);
  if (value) {
    platform::SetEnv(name_, *value);
  } else {
    platform::UnsetEnv(name_);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_value_) {
    platform::SetEnv(name_, *old_value_);
  } else {
    platform::UnsetEnv(name_);
  }
}
