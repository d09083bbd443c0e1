#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

std::string ProgramPath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);  // may have been cut: try a larger area
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string_view ExecutableSuffix() { return {}; }

// POSIX streams never translate line ends.
void UseBinaryStandardOutput() {}

namespace {

constexpr char kXdgDataHomeVariable[] = "XDG_DATA_HOME";
constexpr char kHomeVariable[] = "HOME";
constexpr char kUserDataFolder[] = ".local/share/";

// A variable that is unset or empty counts as absent.
bool GetNonEmptyEnv(const char* name, std::string* value) {
  return GetEnv(name, value) && !value->empty();
}

std::string WithTrailingSlash(std::string path) {
  if (path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

// The XDG base directories: a relative XDG_DATA_HOME is ignored like an
// unset one.
bool DefaultDataHome(std::string_view application, std::string* directory) {
  std::string base;
  if (GetNonEmptyEnv(kXdgDataHomeVariable, &base) && base.front() == '/') {
    base = WithTrailingSlash(base);
  } else if (GetNonEmptyEnv(kHomeVariable, &base)) {
    base = WithTrailingSlash(base) + kUserDataFolder;
  } else {
    return false;
  }
  for (const char c : application) {
    base.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  *directory = base + "/";
  return true;
}

bool GetEnv(const std::string& name, std::string* value) {
  const char* found = getenv(name.c_str());
  if (found == nullptr) return false;
  *value = found;
  return true;
}

bool SetEnv(const std::string& name, const std::string& value) {
  return setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnv(const std::string& name) { return unsetenv(name.c_str()) == 0; }

namespace {

// The environment of a child: this process's, with the changes applied.
std::vector<std::string> ChildEnvironment(const EnvChanges& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool changed = false;
    for (const auto& change : changes) changed = changed || change.first == name;
    if (!changed) entries.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

std::vector<char*> PointerArray(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Closes a pipe end when it goes out of scope.
struct PipeEnd {
  int fd = -1;
  ~PipeEnd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

Child::Child(Child&& other) noexcept { *this = std::move(other); }

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    Reset();
    pid_ = other.pid_;
    process_ = other.process_;
    output_fd_ = other.output_fd_;
    input_fd_ = other.input_fd_;
    input_ = std::move(other.input_);
    input_done_ = other.input_done_;
    other.input_fd_ = -1;
    exited_ = other.exited_;
    signaled_ = other.signaled_;
    exit_code_ = other.exit_code_;
    output_ = std::move(other.output_);
    other.pid_ = -1;
    other.output_fd_ = -1;
  }
  return *this;
}

Child::~Child() { Reset(); }

void Child::Reset() {
  if (pid_ > 0 && !exited_) Kill();
  if (output_fd_ >= 0) close(output_fd_);
  if (input_fd_ >= 0) close(input_fd_);
  pid_ = -1;
  output_fd_ = -1;
  input_fd_ = -1;
}

Child Child::Start(const std::vector<std::string>& argv,
                   const EnvChanges& env_changes, bool capture_output,
                   const std::optional<std::string>& input) {
  Child child;
  if (argv.empty()) return child;
  std::vector<std::string> args = argv;
  std::vector<std::string> env = ChildEnvironment(env_changes);
  std::vector<char*> arg_pointers = PointerArray(args);
  std::vector<char*> env_pointers = PointerArray(env);

  int out_pipe[2] = {-1, -1};
  int in_pipe[2] = {-1, -1};
  if (capture_output && pipe2(out_pipe, O_CLOEXEC) != 0) return child;
  PipeEnd out_read{out_pipe[0]}, out_write{out_pipe[1]};
  if (input && pipe2(in_pipe, O_CLOEXEC) != 0) return child;
  PipeEnd in_read{in_pipe[0]}, in_write{in_pipe[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture_output) posix_spawn_file_actions_adddup2(&actions, out_write.fd, 1);
  if (input) posix_spawn_file_actions_adddup2(&actions, in_read.fd, 0);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, args[0].c_str(), &actions, nullptr,
                                 arg_pointers.data(), env_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return child;

  child.pid_ = pid;
  if (capture_output) {
    child.output_fd_ = out_read.fd;
    out_read.fd = -1;
    fcntl(child.output_fd_, F_SETFL, O_NONBLOCK);
  }
  if (input) {
    child.input_fd_ = in_write.fd;
    in_write.fd = -1;
    child.input_ = *input;
    fcntl(child.input_fd_, F_SETFL, O_NONBLOCK);
    child.FeedInput();
  }
  return child;
}

void Child::FeedInput() {
  while (input_fd_ >= 0 && input_done_ < input_.size()) {
    const ssize_t n = write(input_fd_, input_.data() + input_done_,
                            input_.size() - input_done_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;  // the pipe is full: later
    if (n <= 0) break;
    input_done_ += static_cast<size_t>(n);
  }
  if (input_fd_ >= 0) {
    close(input_fd_);  // all written, or the child stopped reading
    input_fd_ = -1;
  }
}

// Waits up to timeout_ms for output or room for input, and takes what comes.
void Child::CollectOutput(int timeout_ms) {
  pollfd watch[2];
  nfds_t count = 0;
  if (output_fd_ >= 0) watch[count++] = pollfd{output_fd_, POLLIN, 0};
  if (input_fd_ >= 0) watch[count++] = pollfd{input_fd_, POLLOUT, 0};
  if (count == 0) {
    if (timeout_ms > 0) SleepMs(static_cast<uint32_t>(timeout_ms));
    return;
  }
  if (poll(watch, count, timeout_ms) <= 0) return;
  if (input_fd_ >= 0) FeedInput();
  while (output_fd_ >= 0) {
    char chunk[16384];
    const ssize_t n = read(output_fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // nothing more for now
    if (n == 0) {       // end of output
      close(output_fd_);
      output_fd_ = -1;
      return;
    }
    output_.append(chunk, static_cast<size_t>(n));
  }
}

namespace {

// Child::Wait looks at a child with nothing left to watch after these
// pauses, doubling from the first up to the last.
constexpr long kFirstIdlePauseUs = 50;
constexpr long kMaxIdlePauseUs = 5000;

}  // namespace

bool Child::Wait(uint32_t timeout_ms) {
  if (pid_ <= 0) return false;
  if (exited_) return true;
  const uint32_t start = TickCountMs();
  int pause_ms = 0;
  long idle_pause_us = kFirstIdlePauseUs;
  for (;;) {
    CollectOutput(pause_ms);
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exited_ = true;
      signaled_ = WIFSIGNALED(status);
      exit_code_ = signaled_ ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
      // Take what is left of the output, without waiting for grandchildren
      // that may still hold the pipe open.
      CollectOutput(0);
      return true;
    }
    if (done < 0 && errno != EINTR) return false;
    if (TickCountMs() - start >= timeout_ms) return false;
    if (output_fd_ < 0 && input_fd_ < 0) {
      // Nothing to watch: a captured output has ended, which a child's
      // does as it exits, so look again soon rather than after whole
      // milliseconds, less often the longer it takes.
      const timespec pause = {0, idle_pause_us * 1000};
      nanosleep(&pause, nullptr);
      idle_pause_us = std::min(idle_pause_us * 2, kMaxIdlePauseUs);
      pause_ms = 0;
      continue;
    }
    pause_ms = pause_ms < 5 ? pause_ms + 1 : 5;
  }
}

void Child::Detach() {
  pid_ = -1;
  Reset();
}

void Child::Kill() {
  if (pid_ <= 0 || exited_) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  exited_ = true;
  signaled_ = true;
  exit_code_ = 128 + SIGKILL;
}

}  // namespace platform
