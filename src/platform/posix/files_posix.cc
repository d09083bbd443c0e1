#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/files.h"

namespace platform {

char PathSeparator() { return '/'; }
bool IsPathSeparator(char c) { return c == '/'; }

bool PathExists(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateFolder(const std::string& path, const CreationAttributes* attributes) {
  const mode_t mode = attributes ? attributes->folder_mode : 0777;
  return !path.empty() && mkdir(path.c_str(), mode) == 0;
}

void File::Close() {
  if (handle_ != kInvalid) {
    close(static_cast<int>(handle_));
    handle_ = kInvalid;
  }
}

size_t File::Write(std::string_view text) {
  if (!is_open()) return 0;
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(static_cast<int>(handle_), text.data() + written,
                            text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    written += static_cast<size_t>(n);
  }
  return written;
}

File CreateFile(const std::string& path, CreateDisposition disposition,
                const CreationAttributes* attributes) {
  File file;
  if (path.empty()) return file;
  int flags = O_RDWR | O_CREAT | O_CLOEXEC;
  flags |= disposition == CreateDisposition::kCreateNew ? O_EXCL : O_TRUNC;
  const mode_t mode = attributes ? attributes->file_mode : 0666;
  const int fd = open(path.c_str(), flags, mode);
  if (fd >= 0) file.handle_ = fd;
  return file;
}

bool AppendToFile(const std::string& path, std::string_view text,
                  const CreationAttributes* attributes) {
  const mode_t mode = attributes ? attributes->file_mode : 0666;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode);
  if (fd < 0) return false;
  ssize_t n;
  do {
    n = write(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  close(fd);
  return n == static_cast<ssize_t>(text.size());
}

std::string CreateTempFolder(const std::string& prefix) {
  const char* base = getenv("TMPDIR");
  std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
  if (pattern.back() != '/') pattern.push_back('/');
  pattern += prefix + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern + "/";
}

bool RemoveTree(const std::string& path) {
  struct stat info;
  std::string target = path;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  if (lstat(target.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) {
    std::vector<FolderEntry> entries;
    ListFolder(target, &entries);
    for (const FolderEntry& entry : entries) RemoveTree(target + "/" + entry.name);
    return rmdir(target.c_str()) == 0;
  }
  return unlink(target.c_str()) == 0;
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    contents->append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base.push_back('/');
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry item;
    item.name = name;
    if (entry->d_type == DT_DIR) {
      item.is_folder = true;
    } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      item.is_folder = IsFolder(base + name);
    }
    entries->push_back(std::move(item));
  }
  closedir(dir);
  return true;
}

}  // namespace platform
