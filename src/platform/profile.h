// Profile (INI) files with the semantics of the Windows private-profile
// functions: sections in brackets, key=value lines, names compared without
// regard to ASCII case, CR LF line ends on write. A write edits only the bytes
// it concerns; every other byte of the file stays as it was.
//
// Files are shared by many processes. Readers take no lock; a write is a
// read-modify-write under an exclusive lock on the file, written to a
// temporary file in the same folder and renamed over the original, so a
// reader never sees a half-written file and concurrent writers of different
// keys keep each other's values.
#ifndef PLATFORM_PROFILE_H_
#define PLATFORM_PROFILE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Reads section/key. The found value is trimmed of blanks and loses one outer
// pair of matching quotes; a missing file, section or key gives
// `default_value` with its trailing spaces removed. The result is cut to
// `buffer_size` - 1 characters (empty when buffer_size is 0 or 1).
std::string ProfileReadString(const std::string& path, std::string_view section,
                              std::string_view key,
                              std::string_view default_value,
                              size_t buffer_size);

// Reads the whole section as a block of entries, each NUL-terminated, with
// one more NUL at the end ("a=1\0b=2\0\0"). A block that does not fit in
// `buffer_size` bytes is cut so that it still ends with two NULs. A missing
// file or section gives an empty block (two NULs when buffer_size >= 2).
// The returned string holds every byte of the block, NULs included, and is
// never longer than buffer_size.
std::string ProfileReadSection(const std::string& path,
                               std::string_view section, size_t buffer_size);

// Writes key=value into section, replacing the value of an existing key on
// its own line, or adding the key after the last entry of the section, or
// adding the section at the end of the file. Creates the file when missing;
// fails when its folder is missing or cannot be written.
bool ProfileWriteString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Removes the key's line. True also when the key, section or file is missing
// (nothing is created then).
bool ProfileDeleteKey(const std::string& path, std::string_view section,
                      std::string_view key);

// Removes the section header and its entry lines. True also when the section
// or file is missing (nothing is created then).
bool ProfileDeleteSection(const std::string& path, std::string_view section);

}  // namespace platform

#endif  // PLATFORM_PROFILE_H_
