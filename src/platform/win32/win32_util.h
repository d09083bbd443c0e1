// Helpers shared by the Win32 implementations of the platform services.
//
// Text crosses the platform interface as bytes. Paths are UTF-8 there (the
// store builds them from the gateway's UTF-8 text); every path is converted
// to the ANSI code page in one place, ToAnsiPath, right before it reaches an
// A function, and paths the system hands back (program path, temporary
// folder, folder entries) are converted from ANSI to UTF-8. The environment
// is UTF-8 on the interface as well.
#ifndef PLATFORM_WIN32_WIN32_UTIL_H_
#define PLATFORM_WIN32_WIN32_UTIL_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// platform::CreateFile is ours; the Win32 calls are always named with their
// A or W suffix here.
#undef CreateFile

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::win32 {

// The conversion areas of a path: UTF-16 characters and ANSI bytes, the
// terminating NUL included.
constexpr size_t kPathArea = MAX_PATH;

// The path read as UTF-8, converted to UTF-16 and then to the ANSI code page,
// each in an area of kPathArea. False for an empty path, one that does not
// fit, one with a character the code page lacks (it would become the code
// page's default character or a look-alike, and so name another file), and
// one with a character no Windows file name holds (control characters,
// * ? " < > |, and ':' anywhere but after a drive letter).
bool ToAnsiPath(std::string_view path, std::string* ansi);

// ANSI code page text as UTF-8, and back; no length limit. Invalid input
// bytes become U+FFFD (the code page's default character on the way back).
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// UTF-8 to UTF-16 and back, without limit.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// The process-wide security attributes every store folder and file is made
// with: a security descriptor of revision 1 with a present, null access list
// (full access for every user) and no handle inheritance. Made on first use;
// nullptr on the Windows 95 family, which has no security.
SECURITY_ATTRIBUTES* SharedSecurity();

// The path as ToAnsiPath converts it, made full (GetFullPathNameA), so that
// a bare file name means the current folder and each file has one name up
// to letter case. False when it does not fit either area.
bool FullAnsiPath(std::string_view path, std::string* full);

// True for '\\' and '/', which Windows both takes as separators.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Owns a kernel handle; INVALID_HANDLE_VALUE and nullptr both mean none.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.Release();
    }
    return *this;
  }
  ~ScopedHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool valid() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Holds, while it lives, a mutex named after one file (its full ANSI path
// from FullAnsiPath, without regard to case) and shared by the processes of
// every session, so that their read-modify-writes of that file do not mix.
// A mutex that cannot be made (which only a squatter on its name could
// cause) leaves the caller unguarded rather than failing it; a mutex whose
// holder ended without releasing it is taken over.
class PathLock {
 public:
  explicit PathLock(const std::string& full_ansi_path);
  PathLock(const PathLock&) = delete;
  PathLock& operator=(const PathLock&) = delete;
  ~PathLock();

 private:
  ScopedHandle mutex_;
  bool held_ = false;
};

}  // namespace platform::win32

#endif  // PLATFORM_WIN32_WIN32_UTIL_H_
