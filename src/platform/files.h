// Files and folders.
#ifndef PLATFORM_FILES_H_
#define PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The attributes every folder and file of the store is created with. On POSIX
// they are the creation modes, filtered by the process umask.
struct CreationAttributes {
  unsigned folder_mode = 0777;
  unsigned file_mode = 0666;
};

// The separator this platform puts between path components.
char PathSeparator();

// True for a character this platform takes as a separator: '/' on POSIX,
// '\\' and '/' on Windows.
bool IsPathSeparator(char c);

// True when a file or folder of that path exists.
bool PathExists(const std::string& path);

// True when the path names a folder.
bool IsFolder(const std::string& path);

// Creates the last folder of the path. False when it could not be created
// (also when it exists already).
bool CreateFolder(const std::string& path, const CreationAttributes* attributes);

enum class CreateDisposition {
  kCreateAlways,  // create, or empty an existing file
  kCreateNew,     // create only when no file of that name exists
};

// An open file, opened for reading and writing. Move-only; closes on
// destruction.
class File {
 public:
  File() = default;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  bool is_open() const { return handle_ != kInvalid; }
  // Writes all of `text`; returns the bytes written (0 on failure).
  size_t Write(std::string_view text);
  void Close();

 private:
  friend File CreateFile(const std::string&, CreateDisposition,
                         const CreationAttributes*);
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;
};

// Creates a file for reading and writing. The returned File is not open when
// the creation failed (for kCreateNew also when the file exists).
File CreateFile(const std::string& path, CreateDisposition disposition,
                const CreationAttributes* attributes);

// Appends `text` to the file in one write, creating the file when missing,
// so lines appended by several processes at once do not mix.
bool AppendToFile(const std::string& path, std::string_view text,
                  const CreationAttributes* attributes);

// Creates a new, empty folder with a unique name in the system's temporary
// folder; returns its path with a trailing separator, or empty on failure.
std::string CreateTempFolder(const std::string& prefix);

// Removes a file, or a folder with everything in it. True when nothing of
// that path is left.
bool RemoveTree(const std::string& path);

// Reads the whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* contents);

struct FolderEntry {
  std::string name;
  bool is_folder = false;
};

// Lists the entries of a folder in the order the file system yields them,
// without "." and "..". False when the folder cannot be read.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries);

}  // namespace platform

#endif  // PLATFORM_FILES_H_
