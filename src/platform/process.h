// Processes and the environment.
#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// Full path of the running program (symbolic links resolved); empty when it
// cannot be found.
std::string ProgramPath();

// The folder of the running program, with a trailing separator.
std::string ProgramFolder();

// What this platform's program files end in: ".exe" on Windows, nothing
// elsewhere. A program beside this one is ProgramFolder() + name + suffix.
std::string_view ExecutableSuffix();

// Makes standard output pass every byte unchanged (on Windows it would turn
// each LF into CR LF). Called at the start of main, before any output.
void UseBinaryStandardOutput();

// The folder this platform keeps an application's data in when the user
// names none, with a trailing separator; not created here. False when the
// environment names no such place.
//   POSIX: $XDG_DATA_HOME/<application in lower case>/ when XDG_DATA_HOME is
//          an absolute path, else $HOME/.local/share/<application in lower
//          case>/.
//   Windows: %ProgramData%\<application>\.
bool DefaultDataHome(std::string_view application, std::string* directory);

// Reads an environment variable; false when it is not set.
bool GetEnv(const std::string& name, std::string* value);
bool SetEnv(const std::string& name, const std::string& value);
bool UnsetEnv(const std::string& name);

// Changes to the environment of one child only: a value sets the variable,
// nullopt removes it.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// A started child process. Move-only. The destructor kills and reaps a child
// that is still running unless Detach() was called.
class Child {
 public:
  Child() = default;
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  // Starts argv[0] (a path) with the argument vector `argv`. The child
  // inherits this process's environment (with `env_changes` applied) and its
  // standard handles; with `capture_output` its standard output is collected
  // instead, and with `input` set its standard input reads that text.
  static Child Start(const std::vector<std::string>& argv,
                     const EnvChanges& env_changes = {},
                     bool capture_output = false,
                     const std::optional<std::string>& input = std::nullopt);

  bool started() const { return pid_ > 0; }
  // Waits at most timeout_ms for the child to end, collecting its output.
  // True when it has ended.
  bool Wait(uint32_t timeout_ms);
  bool exited() const { return exited_; }
  // Exit status 0-255, or 128 + signal number for a child killed by a signal.
  // On Windows: the low 8 bits of the exit code, as POSIX keeps them; a
  // child ended by Kill() or by an exception (a status from 0xC0000000 to
  // 0xC00FFFFF) counts as killed by a signal.
  int exit_code() const { return exit_code_; }
  bool killed_by_signal() const { return signaled_; }
  const std::string& output() const { return output_; }
  // Leaves a running child running; it is no longer waited for or killed.
  void Detach();
  void Kill();

 private:
  void Reset();
  void FeedInput();
  void CollectOutput(int timeout_ms);
  int pid_ = -1;
  intptr_t process_ = 0;  // the process handle, where the platform has one
  int output_fd_ = -1;
  int input_fd_ = -1;
  std::string input_;
  size_t input_done_ = 0;
  std::thread input_feeder_;  // where the platform writes the input from a thread
  bool exited_ = false;
  bool signaled_ = false;
  int exit_code_ = 0;
  std::string output_;
};

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
