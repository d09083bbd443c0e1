#include "platform/win32/win32_util.h"

#include <climits>
#include <cstdint>

namespace platform::win32 {
namespace {

// The conversions take int lengths; longer texts are cut there (no text of
// this system comes near).
int Length(size_t size) {
  return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = Length(text.size());
  const int needed = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), needed);
  return wide;
}

std::string FromWide(UINT code_page, std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int length = Length(wide.size());
  const int needed =
      WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string text(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), length, text.data(), needed, nullptr,
                      nullptr);
  return text;
}

// The mutex names: one namespace for all sessions (a service and an
// operator's console share the store), the session's own as the fallback.
constexpr char kGlobalLockPrefix[] = "Global\\MorvanePath:";
constexpr char kLocalLockPrefix[] = "Local\\MorvanePath:";
// The longest object name; a longer one is made of a hash of the path.
constexpr size_t kMaxObjectName = MAX_PATH - 1;

// The file's name for its mutex: the full path in capitals (the file system
// ignores case), with '\\' (which would name a namespace) as '/'.
std::wstring LockKey(const std::string& full_ansi) {
  const std::wstring wide = ToWide(CP_ACP, full_ansi);
  std::wstring upper(wide.size(), L'\0');
  if (wide.empty() ||
      LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), Length(wide.size()),
                   upper.data(), Length(upper.size())) == 0) {
    upper = wide;
  }
  for (wchar_t& c : upper) {
    if (c == L'\\') c = L'/';
  }
  return upper;
}

// FNV-1a of the key, in hexadecimal.
std::wstring Hashed(const std::wstring& key) {
  uint64_t hash = 14695981039346656037ull;
  for (const wchar_t c : key) hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
  std::wstring digits(16, L'0');
  for (size_t i = digits.size(); i-- > 0; hash >>= 4) digits[i] = L"0123456789ABCDEF"[hash & 0xF];
  return L"#" + digits;
}

HANDLE MakeLockMutex(const char* prefix, const std::wstring& key) {
  std::wstring name = ToWide(CP_ACP, prefix) + key;
  if (name.size() > kMaxObjectName) name = ToWide(CP_ACP, prefix) + Hashed(key);
  // The shared attributes let every account's processes open it.
  return CreateMutexW(SharedSecurity(), FALSE, name.c_str());
}

// The Windows 95 family sets the top bit of the version word.
bool HasSecurity() { return (GetVersion() & 0x80000000u) == 0; }

struct SecurityRecord {
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes;
  bool usable = false;
};

void MakeSecurity(SecurityRecord* record) {
  if (!HasSecurity()) return;
  if (!InitializeSecurityDescriptor(&record->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&record->descriptor, TRUE, nullptr, FALSE)) {
    return;
  }
  record->attributes.nLength = sizeof record->attributes;
  record->attributes.lpSecurityDescriptor = &record->descriptor;
  record->attributes.bInheritHandle = FALSE;
  record->usable = true;
}

// Characters no Windows file name holds: with them a call would take the
// path as a pattern ('*', '?'), a stream or a drive (':'), or refuse it.
// A NUL would end the path early. ':' may follow the drive letter only.
bool IsUsablePath(std::wstring_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if (c < L' ' || std::wstring_view(L"*?\"<>|").find(c) != std::wstring_view::npos) return false;
    const bool drive = i == 1 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                  (path[0] >= L'a' && path[0] <= L'z'));
    if (c == L':' && !drive) return false;
  }
  return true;
}

}  // namespace

bool ToAnsiPath(std::string_view path, std::string* ansi) {
  ansi->clear();
  if (path.empty() || path.size() >= kPathArea * 4) return false;
  wchar_t wide[kPathArea];
  const int wide_chars =
      MultiByteToWideChar(CP_UTF8, 0, path.data(), Length(path.size()), wide, kPathArea - 1);
  if (wide_chars <= 0 || !IsUsablePath(std::wstring_view(wide, wide_chars))) return false;
  // No best fit: a character the code page lacks must not turn into a
  // look-alike ('\\' for a full-width backslash, 'L' for an L with stroke),
  // which would name another file.
  char bytes[kPathArea];
  BOOL used_default = FALSE;
  const int ansi_bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wide_chars, bytes,
                                             kPathArea - 1, nullptr, &used_default);
  if (ansi_bytes <= 0 || used_default) return false;
  ansi->assign(bytes, static_cast<size_t>(ansi_bytes));
  return true;
}

bool FullAnsiPath(std::string_view path, std::string* full) {
  full->clear();
  std::string ansi;
  if (!ToAnsiPath(path, &ansi)) return false;
  char area[kPathArea];
  const DWORD length = GetFullPathNameA(ansi.c_str(), sizeof area, area, nullptr);
  if (length == 0 || length >= sizeof area) return false;
  full->assign(area, length);
  return true;
}

std::string AnsiToUtf8(std::string_view ansi) { return FromWide(CP_UTF8, ToWide(CP_ACP, ansi)); }

std::string Utf8ToAnsi(std::string_view utf8) { return FromWide(CP_ACP, ToWide(CP_UTF8, utf8)); }

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string WideToUtf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }

SECURITY_ATTRIBUTES* SharedSecurity() {
  // Made in place: the attributes point at the descriptor beside them.
  static SecurityRecord record;
  static const bool made = (MakeSecurity(&record), true);
  static_cast<void>(made);
  return record.usable ? &record.attributes : nullptr;
}

PathLock::PathLock(const std::string& full_ansi_path) {
  const std::wstring key = LockKey(full_ansi_path);
  mutex_ = ScopedHandle(MakeLockMutex(kGlobalLockPrefix, key));
  if (!mutex_.valid()) mutex_ = ScopedHandle(MakeLockMutex(kLocalLockPrefix, key));
  if (!mutex_.valid()) return;
  const DWORD result = WaitForSingleObject(mutex_.get(), INFINITE);
  held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

PathLock::~PathLock() {
  if (held_) ReleaseMutex(mutex_.get());
}

}  // namespace platform::win32
