// Processes and the environment on Win32. A child gets its arguments as one
// command line, which its C runtime splits into argv again: every argument
// is quoted so that the split gives back exactly the vector it came from.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/win32/win32_util.h"

namespace platform {
namespace {

using win32::ScopedHandle;

constexpr char kExecutableSuffix[] = ".exe";
constexpr char kProgramDataVariable[] = "ProgramData";
// The exit code Kill() ends a child with, as a POSIX shell shows SIGKILL.
constexpr UINT kKilledExitCode = 128 + 9;
// Exit codes in this range are exception statuses (an access violation is
// 0xC0000005, a stack overflow 0xC00000FD): the child did not end by itself.
constexpr DWORD kExceptionStatusMask = 0xFFF00000u;
constexpr DWORD kExceptionStatus = 0xC0000000u;
// Exit statuses are kept to 8 bits, as POSIX keeps them (exit(-1) is 255).
constexpr DWORD kExitStatusBits = 0xFFu;
// The longest command line CreateProcess takes, without its NUL.
constexpr size_t kMaxCommandLine = 32766;
constexpr DWORD kOutputChunk = 16384;
// How long Wait sleeps between looks at a child whose output it collects.
constexpr DWORD kOutputPollMs = 5;

bool NeedsQuotes(std::string_view arg) {
  return arg.empty() || arg.find_first_of(" \t\"") != std::string_view::npos;
}

// One argument as the C runtime reads it back: bare when it has no space,
// tab or quote; otherwise in quotes, where a run of backslashes before a
// quote (or before the closing quote) is doubled and the quote escaped.
void AppendQuoted(std::string_view arg, std::string* line) {
  if (!NeedsQuotes(arg)) {
    line->append(arg);
    return;
  }
  line->push_back('"');
  size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      line->append(backslashes * 2 + 1, '\\');
    } else {
      line->append(backslashes, '\\');
    }
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, '\\');
  line->push_back('"');
}

// The program name is read by simpler rules (backslashes are never special),
// and a Windows path holds no quote: it only needs quotes around a blank.
std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  if (argv[0].empty() || argv[0].find_first_of(" \t") != std::string::npos) {
    line.append("\"").append(argv[0]).append("\"");
  } else {
    line.append(argv[0]);
  }
  for (size_t i = 1; i < argv.size(); ++i) {
    line.push_back(' ');
    AppendQuoted(argv[i], &line);
  }
  return line;
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

// The name of an entry "NAME=value". Entries such as "=C:=C:\dir" (the
// current folder of each drive) start with '=', which belongs to the name.
std::string_view EntryName(std::string_view entry) {
  return entry.substr(0, entry.find('=', 1));
}

// This process's environment with the changes applied, as a block of
// NUL-terminated ANSI entries ending in an empty one, sorted by name without
// regard to case as Windows keeps it. Names compare without regard to case.
std::string ChildEnvironment(const EnvChanges& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
      const std::string_view text = entry;
      bool changed = false;
      for (const auto& change : changes) {
        changed = changed || SameNameNoCase(EntryName(text), win32::Utf8ToAnsi(change.first));
      }
      if (!changed) entries.emplace_back(text);
    }
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    if (value) entries.push_back(win32::Utf8ToAnsi(name) + "=" + win32::Utf8ToAnsi(*value));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return _stricmp(std::string(EntryName(a)).c_str(), std::string(EntryName(b)).c_str()) < 0;
  });
  std::string block;
  for (const std::string& entry : entries) block.append(entry).push_back('\0');
  block.push_back('\0');
  return block;
}

// A pipe whose one end the child inherits; the other end stays here.
struct Pipe {
  ScopedHandle read;
  ScopedHandle write;
};

bool MakePipe(bool child_reads, Pipe* pipe) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, 0)) return false;
  pipe->read = ScopedHandle(read);
  pipe->write = ScopedHandle(write);
  HANDLE ours = child_reads ? write : read;
  return SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0) != 0;
}

// A CRT descriptor for our end of a pipe, which then owns the handle.
int Descriptor(ScopedHandle* handle, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle->get()), flags | _O_BINARY);
  if (fd >= 0) handle->Release();
  return fd;
}

HANDLE OsHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// Writes the child's input from a thread of its own, so that neither side
// waits for the other however much each writes; the thread ends when all is
// written or the child has closed its end.
std::thread FeedInputInBackground(HANDLE write, std::string input) {
  return std::thread([write, text = std::move(input)] {
    size_t done = 0;
    while (done < text.size()) {
      const size_t left = text.size() - done;
      const DWORD chunk = left > kOutputChunk ? kOutputChunk : static_cast<DWORD>(left);
      DWORD written = 0;
      if (!WriteFile(write, text.data() + done, chunk, &written, nullptr) || written == 0) break;
      done += written;
    }
    CloseHandle(write);
  });
}

}  // namespace

std::string ProgramPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return win32::AnsiToUtf8(path);
    }
    path.resize(path.size() * 2);  // cut: try a larger area
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string_view ExecutableSuffix() { return kExecutableSuffix; }

void UseBinaryStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool DefaultDataHome(std::string_view application, std::string* directory) {
  std::string base;
  if (!GetEnv(kProgramDataVariable, &base) || base.empty()) return false;
  if (!win32::IsSeparator(base.back())) base.push_back('\\');
  *directory = base + std::string(application) + "\\";
  return true;
}

bool GetEnv(const std::string& name, std::string* value) {
  const std::string ansi_name = win32::Utf8ToAnsi(name);
  std::string found(256, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetEnvironmentVariableA(ansi_name.c_str(), found.data(),
                                            static_cast<DWORD>(found.size()));
    // 0 is also the length of a variable set to an empty value.
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (n < found.size()) {
      found.resize(n);
      *value = win32::AnsiToUtf8(found);
      return true;
    }
    found.resize(n);  // n is the size needed, its NUL included
  }
}

bool SetEnv(const std::string& name, const std::string& value) {
  return SetEnvironmentVariableA(win32::Utf8ToAnsi(name).c_str(),
                                 win32::Utf8ToAnsi(value).c_str()) != 0;
}

bool UnsetEnv(const std::string& name) {
  return SetEnvironmentVariableA(win32::Utf8ToAnsi(name).c_str(), nullptr) != 0;
}

Child::Child(Child&& other) noexcept { *this = std::move(other); }

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    Reset();
    pid_ = other.pid_;
    process_ = other.process_;
    output_fd_ = other.output_fd_;
    exited_ = other.exited_;
    signaled_ = other.signaled_;
    exit_code_ = other.exit_code_;
    output_ = std::move(other.output_);
    input_feeder_ = std::move(other.input_feeder_);
    other.pid_ = -1;
    other.process_ = 0;
    other.output_fd_ = -1;
  }
  return *this;
}

Child::~Child() { Reset(); }

void Child::Reset() {
  if (pid_ > 0 && !exited_) Kill();
  // The feeder ends once the child is gone; a detached child may still be
  // reading, so its feeder is let go (not waited for) then.
  if (input_feeder_.joinable()) {
    if (pid_ > 0) {
      input_feeder_.join();
    } else {
      input_feeder_.detach();
    }
  }
  if (process_ != 0) CloseHandle(reinterpret_cast<HANDLE>(process_));
  if (output_fd_ >= 0) _close(output_fd_);
  pid_ = -1;
  process_ = 0;
  output_fd_ = -1;
}

// The child starts with inheritable handles passed on, so it keeps the
// standard handles of this process unless its output is collected or its
// input given.
Child Child::Start(const std::vector<std::string>& argv, const EnvChanges& env_changes,
                   bool capture_output, const std::optional<std::string>& input) {
  Child child;
  if (argv.empty()) return child;
  std::string program;
  if (!win32::ToAnsiPath(argv[0], &program)) return child;
  std::string command_line = CommandLine(argv);
  if (command_line.size() > kMaxCommandLine) return child;
  const bool new_environment = !env_changes.empty();
  std::string environment = new_environment ? ChildEnvironment(env_changes) : std::string();

  Pipe output;
  Pipe in;
  if (capture_output && !MakePipe(/*child_reads=*/false, &output)) return child;
  if (input && !MakePipe(/*child_reads=*/true, &in)) return child;
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  if (capture_output || input) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input ? in.read.get() : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = capture_output ? output.write.get() : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  }
  PROCESS_INFORMATION started;
  ZeroMemory(&started, sizeof started);
  if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0,
                      new_environment ? environment.data() : nullptr, nullptr, &startup,
                      &started)) {
    return child;
  }
  CloseHandle(started.hThread);
  child.pid_ = static_cast<int>(started.dwProcessId);
  child.process_ = reinterpret_cast<intptr_t>(started.hProcess);
  if (capture_output) {
    output.write.Close();  // only the child writes now
    child.output_fd_ = Descriptor(&output.read, _O_RDONLY);
  }
  if (input) {
    in.read.Close();
    child.input_feeder_ = FeedInputInBackground(in.write.Release(), *input);
  }
  return child;
}

// Takes whatever output is waiting, without waiting for more.
void Child::CollectOutput(int /*timeout_ms*/) {
  while (output_fd_ >= 0) {
    const HANDLE pipe = OsHandle(output_fd_);
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
      _close(output_fd_);  // every writer has closed its end
      output_fd_ = -1;
      return;
    }
    if (waiting == 0) return;
    char chunk[kOutputChunk];
    DWORD got = 0;
    const DWORD want = waiting < kOutputChunk ? waiting : kOutputChunk;
    if (!ReadFile(pipe, chunk, want, &got, nullptr) || got == 0) return;
    output_.append(chunk, got);
  }
}

bool Child::Wait(uint32_t timeout_ms) {
  if (process_ == 0) return false;
  if (exited_) return true;
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  const uint32_t start = TickCountMs();
  for (;;) {
    CollectOutput(0);
    const uint32_t waited = TickCountMs() - start;
    const uint32_t left = waited >= timeout_ms ? 0 : timeout_ms - waited;
    const DWORD pause = output_fd_ >= 0 && left > kOutputPollMs ? kOutputPollMs : left;
    const DWORD result = WaitForSingleObject(process, pause == INFINITE ? INFINITE - 1 : pause);
    if (result == WAIT_OBJECT_0) break;
    if (result != WAIT_TIMEOUT || (left == 0)) return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  exited_ = true;
  signaled_ = (code & kExceptionStatusMask) == kExceptionStatus;
  exit_code_ = static_cast<int>(code & kExitStatusBits);
  // What is left of the output, without waiting for grandchildren that may
  // still hold the pipe open.
  CollectOutput(0);
  return true;
}

void Child::Detach() {
  pid_ = -1;
  Reset();
}

void Child::Kill() {
  if (process_ == 0 || exited_) return;
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  TerminateProcess(process, kKilledExitCode);
  WaitForSingleObject(process, INFINITE);
  exited_ = true;
  signaled_ = true;
  exit_code_ = static_cast<int>(kKilledExitCode);
}

}  // namespace platform
