// The file side of profile files. A write locks the file with flock(), reads
// it, edits the bytes in memory, writes the result to a new file in the same
// folder and renames that over the original. Readers take no lock: a rename
// is atomic, so they see the old file or the new one, never a mix.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/profile_text.h"
#include "platform/profile.h"

namespace platform {
namespace {

// A writer that keeps losing the race for the current file gives up after
// this many tries rather than spin forever.
constexpr int kMaxLockAttempts = 1000;
constexpr size_t kReadChunk = 64 * 1024;

// Owns a file descriptor; closing it also releases a flock() held through it.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.Release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }
  ~ScopedFd() { Close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // False when close() reports an error, e.g. a write that failed late.
  bool Close() {
    if (fd_ < 0) return true;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 private:
  int fd_ = -1;
};

// Removes a temporary file unless the rename made it the real one.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

bool ReadAll(int fd, std::string* contents) {
  contents->clear();
  // Left uninitialised: every read of a profile value passes here, and
  // zero-filling the chunk cost more than reading a small file.
  const std::unique_ptr<char[]> chunk = std::make_unique_for_overwrite<char[]>(kReadChunk);
  for (;;) {
    const ssize_t got = read(fd, chunk.get(), kReadChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    contents->append(chunk.get(), static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    text.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

// A file that cannot be read reads as empty: every lookup then gives the
// default, as for a missing file.
std::string ReadProfile(const std::string& path) {
  std::string text;
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid() || !ReadAll(fd.get(), &text)) text.clear();
  return text;
}

bool LockExclusive(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

enum class OpenResult { kLocked, kMissing, kFailed };

// Opens the file the path names and locks it. Writers replace the file while
// holding the lock on the old one, so a lock won on a file that has been
// replaced meanwhile protects nothing: then open the new one and try again.
// Opening for writing also makes a read-only file fail the write, as it
// would if the file were written in place.
OpenResult OpenLocked(const std::string& path, bool create, ScopedFd* locked) {
  const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
  for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
    ScopedFd fd(open(path.c_str(), flags, 0666));
    if (!fd.valid()) {
      return errno == ENOENT && !create ? OpenResult::kMissing
                                        : OpenResult::kFailed;
    }
    if (!LockExclusive(fd.get())) return OpenResult::kFailed;
    struct stat held;
    struct stat named;
    if (fstat(fd.get(), &held) != 0) return OpenResult::kFailed;
    if (stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
      *locked = std::move(fd);
      return OpenResult::kLocked;
    }
  }
  return OpenResult::kFailed;
}

// Gives the replacement the old file's owner. Only a privileged process may
// do that; any other becomes the owner, as of every file it creates, and the
// write goes on.
void TryKeepOwner(int fd, const struct stat& old) {
  struct stat now;
  if (fstat(fd, &now) != 0) return;
  if (now.st_uid == old.st_uid && now.st_gid == old.st_gid) return;
  const int given = fchown(fd, old.st_uid, old.st_gid);
  static_cast<void>(given);
}

// Puts `contents` in place of the file at `path`, whose current state is
// `old`, through a new file in the same folder.
bool ReplaceFile(const std::string& path, const struct stat& old,
                 std::string_view contents) {
  std::string pattern = path + ".XXXXXX";
  ScopedFd fd(mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd.valid()) return false;
  TempFile temp(std::move(pattern));
  if (fchmod(fd.get(), old.st_mode & 07777) != 0) return false;
  TryKeepOwner(fd.get(), old);
  if (!WriteAll(fd.get(), contents) || !fd.Close()) return false;
  if (rename(temp.path().c_str(), path.c_str()) != 0) return false;
  temp.Keep();
  return true;
}

// The read-modify-write of every change. `edit` changes the text and returns
// true when it changed anything; an unchanged text writes nothing.
template <typename Edit>
bool Rewrite(const std::string& path, bool create, Edit edit) {
  ScopedFd locked;
  switch (OpenLocked(path, create, &locked)) {
    case OpenResult::kLocked:
      break;
    case OpenResult::kMissing:
      return true;
    case OpenResult::kFailed:
      return false;
  }
  std::string text;
  if (!ReadAll(locked.get(), &text)) return false;
  if (!edit(&text)) return true;
  struct stat old;
  if (fstat(locked.get(), &old) != 0) return false;
  return ReplaceFile(path, old, text);
}

}  // namespace

std::string ProfileReadString(const std::string& path, std::string_view section,
                              std::string_view key,
                              std::string_view default_value,
                              size_t buffer_size) {
  return ini::ReadString(ReadProfile(path), section, key, default_value,
                         buffer_size);
}

std::string ProfileReadSection(const std::string& path,
                               std::string_view section, size_t buffer_size) {
  return ini::ReadSection(ReadProfile(path), section, buffer_size);
}

bool ProfileWriteString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value) {
  if (!ini::IsWritable(section) || !ini::IsWritable(key) ||
      !ini::IsWritable(value)) {
    return false;
  }
  return Rewrite(path, /*create=*/true, [&](std::string* text) {
    return ini::SetValue(text, section, key, value);
  });
}

bool ProfileDeleteKey(const std::string& path, std::string_view section,
                      std::string_view key) {
  return Rewrite(path, /*create=*/false, [&](std::string* text) {
    return ini::RemoveKey(text, section, key);
  });
}

bool ProfileDeleteSection(const std::string& path, std::string_view section) {
  return Rewrite(path, /*create=*/false, [&](std::string* text) {
    return ini::RemoveSection(text, section);
  });
}

}  // namespace platform
