// Test helpers: a temporary folder that removes itself, and an environment
// variable set for the length of a scope.
#ifndef SUPPORT_TEMP_DIR_H_
#define SUPPORT_TEMP_DIR_H_

#include <optional>
#include <string>

// A new, empty folder with a unique name under the system's temporary
// folder; removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  // The folder's path with a trailing separator (platform::PathSeparator());
  // empty when it could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sets (or, with nullopt, removes) an environment variable; the old value,
// or its absence, comes back when the object goes.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> old_value_;
};

#endif  // SUPPORT_TEMP_DIR_H_
