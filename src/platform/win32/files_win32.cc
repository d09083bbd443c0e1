// Files and folders on Win32. Every path goes through ToAnsiPath before it
// reaches an A function; names the system gives back come out as UTF-8.
#include <atomic>
#include <climits>

#include "platform/files.h"
#include "platform/win32/win32_util.h"

namespace platform {
namespace {

using win32::IsSeparator;
using win32::ScopedHandle;
using win32::ToAnsiPath;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kReadChunk = 64 * 1024;
// A unique temporary folder name is found within this many tries.
constexpr int kMaxTempAttempts = 1000;

// The attributes a creation passes: the shared ones when the caller asks for
// the store's attributes, the system's defaults otherwise.
SECURITY_ATTRIBUTES* SecurityFor(const CreationAttributes* attributes) {
  return attributes != nullptr ? win32::SharedSecurity() : nullptr;
}

// A path without its trailing separators, as the find functions want it.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  return path;
}

// "C:" and "C:\": roots have no entry of their own for the find functions.
bool IsDriveRoot(const std::string& ansi) {
  return (ansi.size() == 2 || (ansi.size() == 3 && IsSeparator(ansi[2]))) && ansi[1] == ':';
}

// Finds the entry a path names. ToAnsiPath refuses '*' and '?', which
// would match other entries.
bool FindEntry(const std::string& path, WIN32_FIND_DATAA* found) {
  std::string ansi;
  if (!ToAnsiPath(path, &ansi)) return false;
  if (IsDriveRoot(ansi) || (ansi.size() == 1 && IsSeparator(ansi[0]))) {
    const DWORD attributes = GetFileAttributesA(ansi.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    found->dwFileAttributes = attributes;
    return true;
  }
  const HANDLE find = FindFirstFileA(WithoutTrailingSeparators(ansi).c_str(), found);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

bool IsFolderEntry(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteAll(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    const DWORD chunk = text.size() > kReadChunk ? kReadChunk : static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (!WriteFile(file, text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

// Removes one file, also a read-only one.
bool RemoveFile(const std::string& ansi) {
  if (DeleteFileA(ansi.c_str())) return true;
  SetFileAttributesA(ansi.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(ansi.c_str()) != 0;
}

}  // namespace

char PathSeparator() { return '\\'; }
bool IsPathSeparator(char c) { return IsSeparator(c); }

bool PathExists(const std::string& path) {
  WIN32_FIND_DATAA found;
  return FindEntry(path, &found);
}

bool IsFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  return FindEntry(path, &found) && IsFolderEntry(found);
}

bool CreateFolder(const std::string& path, const CreationAttributes* attributes) {
  std::string ansi;
  return ToAnsiPath(path, &ansi) && CreateDirectoryA(ansi.c_str(), SecurityFor(attributes)) != 0;
}

void File::Close() {
  if (handle_ != kInvalid) {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kInvalid;
  }
}

size_t File::Write(std::string_view text) {
  if (!is_open() || !WriteAll(reinterpret_cast<HANDLE>(handle_), text)) return 0;
  return text.size();
}

File CreateFile(const std::string& path, CreateDisposition disposition,
                const CreationAttributes* attributes) {
  File file;
  std::string ansi;
  if (!ToAnsiPath(path, &ansi)) return file;
  const DWORD how = disposition == CreateDisposition::kCreateNew ? CREATE_NEW : CREATE_ALWAYS;
  const HANDLE handle = CreateFileA(ansi.c_str(), GENERIC_READ | GENERIC_WRITE, kShareReadWrite,
                                    SecurityFor(attributes), how, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) file.handle_ = reinterpret_cast<intptr_t>(handle);
  return file;
}

// Opened for appending only, every write goes to the end of the file as it
// is at that moment. The file's lock keeps appends of other processes (whose
// handles Wine does not keep from mixing) out while this one writes.
bool AppendToFile(const std::string& path, std::string_view text,
                  const CreationAttributes* attributes) {
  std::string ansi;
  if (!win32::FullAnsiPath(path, &ansi) || text.size() > ULONG_MAX) return false;
  win32::PathLock lock(ansi);
  ScopedHandle file(CreateFileA(ansi.c_str(), FILE_APPEND_DATA, kShareReadWrite,
                                SecurityFor(attributes), OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

std::string CreateTempFolder(const std::string& prefix) {
  char base[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length > MAX_PATH) return std::string();
  std::string folder = win32::AnsiToUtf8(std::string_view(base, length));
  if (!IsSeparator(folder.back())) folder.push_back('\\');
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    const unsigned long long unique =
        (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ GetTickCount() ^
        (static_cast<unsigned long long>(counter.fetch_add(1)) << 16);
    const std::string candidate = folder + prefix + std::to_string(unique);
    std::string ansi;
    if (!ToAnsiPath(candidate, &ansi)) return std::string();
    if (CreateDirectoryA(ansi.c_str(), nullptr)) return candidate + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
  return std::string();
}

bool RemoveTree(const std::string& path) {
  const std::string target = WithoutTrailingSeparators(path);
  std::string ansi;
  if (!ToAnsiPath(target, &ansi)) return false;
  const DWORD attributes = GetFileAttributesA(ansi.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return RemoveFile(ansi);
  std::vector<FolderEntry> entries;
  ListFolder(target, &entries);
  for (const FolderEntry& entry : entries) RemoveTree(target + "\\" + entry.name);
  return RemoveDirectoryA(ansi.c_str()) != 0;
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  contents->clear();
  std::string ansi;
  if (!ToAnsiPath(path, &ansi)) return false;
  ScopedHandle file(CreateFileA(ansi.c_str(), GENERIC_READ, kShareReadWrite | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  std::string chunk(kReadChunk, '\0');
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk.data(), kReadChunk, &got, nullptr)) return false;
    if (got == 0) return true;
    contents->append(chunk.data(), got);
  }
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  std::string ansi;
  if (!ToAnsiPath(WithoutTrailingSeparators(folder), &ansi)) return false;
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA((ansi + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string_view name = found.cFileName;
    if (name == "." || name == "..") continue;
    entries->push_back({win32::AnsiToUtf8(name), IsFolderEntry(found)});
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return true;
}

}  // namespace platform
