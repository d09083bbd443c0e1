// Profile files through the system's own private-profile calls.
//
// The calls make each single read or write whole within one process, but two
// processes that write the same file at once can lose one of the updates
// (both read, both write), and a reader can see a file that a writer is
// rewriting. So every call on a file runs under a named mutex made from the
// file's full path, shared by every process of every session: writers of
// different keys keep each other's values, and readers see whole files.
#include <string>
#include <string_view>

#include "platform/profile.h"
#include "platform/win32/win32_util.h"

namespace platform {
namespace {

// The call's areas hold at most this many bytes (the size is a DWORD).
constexpr size_t kMaxCallBuffer = 0x7FFFFFFF;
// A section block is read into an area this size first, then a larger one.
constexpr size_t kFirstSectionArea = 4096;

DWORD CallSize(size_t size) {
  return static_cast<DWORD>(size > kMaxCallBuffer ? kMaxCallBuffer : size);
}

// A NUL would end the argument early, and a CR or LF written raw would start
// a line of its own (a forged key or section).
bool IsWritable(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Name arguments lose their leading and trailing spaces (spaces only), as
// Windows does; Wine would write them.
std::string NameArgument(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return std::string(name);
}

std::string TrailingSpacesRemoved(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

bool FileExistsAt(const std::string& full_ansi) {
  return GetFileAttributesA(full_ansi.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The whole section block: read into a growing area until it fits.
std::string WholeSection(const std::string& full, const std::string& section) {
  for (size_t area = kFirstSectionArea;; area *= 2) {
    std::string block(area, '\0');
    const DWORD size = CallSize(area);
    const DWORD got = GetPrivateProfileSectionA(section.c_str(), block.data(), size, full.c_str());
    if (got + 2 < size || size == kMaxCallBuffer) {
      block.resize(got);
      return block;
    }
  }
}

}  // namespace

// A key that is missing reads as a text no value can be (values hold no line
// break), so a found value and the default are told apart here, and the
// default is made by one rule whatever the system does with it.
std::string ProfileReadString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view default_value,
                              size_t buffer_size) {
  if (buffer_size == 0) return std::string();
  const std::string fallback = TrailingSpacesRemoved(default_value).substr(0, buffer_size - 1);
  std::string full;
  if (buffer_size == 1 || !win32::FullAnsiPath(path, &full) || !IsWritable(section) ||
      !IsWritable(key)) {
    return fallback;
  }
  static constexpr char kMissing[] = "\n";
  std::string value(buffer_size, '\0');
  DWORD got = 0;
  {
    win32::PathLock lock(full);
    got = GetPrivateProfileStringA(NameArgument(section).c_str(), NameArgument(key).c_str(),
                                   kMissing, value.data(), CallSize(buffer_size), full.c_str());
  }
  value.resize(got);
  return value == kMissing ? fallback : value;
}

std::string ProfileReadSection(const std::string& path, std::string_view section,
                               size_t buffer_size) {
  if (buffer_size < 2) return std::string(buffer_size, '\0');
  std::string full;
  std::string block;
  if (win32::FullAnsiPath(path, &full) && IsWritable(section)) {
    win32::PathLock lock(full);
    block = WholeSection(full, NameArgument(section));
  }
  // The block as the system gives it: entries each ended by a NUL. One more
  // NUL ends it; no entries still make two.
  if (block.empty()) block.push_back('\0');
  block.push_back('\0');
  if (block.size() <= buffer_size) return block;
  // Cut like the call itself: entries up to the space left, the last one
  // cut, then two NULs, filling the area exactly.
  block.resize(buffer_size - 2);
  block.append(2, '\0');
  return block;
}

bool ProfileWriteString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  std::string full;
  if (!IsWritable(section) || !IsWritable(key) || !IsWritable(value) ||
      !win32::FullAnsiPath(path, &full)) {
    return false;
  }
  win32::PathLock lock(full);
  return WritePrivateProfileStringA(NameArgument(section).c_str(), NameArgument(key).c_str(),
                                    std::string(value).c_str(), full.c_str()) != 0;
}

// Windows would create an empty file for a delete in a missing one; nothing
// is created here.
bool ProfileDeleteKey(const std::string& path, std::string_view section, std::string_view key) {
  if (path.empty()) return true;  // names no file
  std::string full;
  if (!win32::FullAnsiPath(path, &full)) return false;
  if (!IsWritable(section) || !IsWritable(key)) return true;  // names no line
  win32::PathLock lock(full);
  if (!FileExistsAt(full)) return true;
  return WritePrivateProfileStringA(NameArgument(section).c_str(), NameArgument(key).c_str(),
                                    nullptr, full.c_str()) != 0;
}

bool ProfileDeleteSection(const std::string& path, std::string_view section) {
  if (path.empty()) return true;
  std::string full;
  if (!win32::FullAnsiPath(path, &full)) return false;
  if (!IsWritable(section)) return true;
  win32::PathLock lock(full);
  if (!FileExistsAt(full)) return true;
  return WritePrivateProfileStringA(NameArgument(section).c_str(), nullptr, nullptr,
                                    full.c_str()) != 0;
}

}  // namespace platform
