#include "userdir/pendrel.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "common/files.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"

namespace {

// '/' separates on every platform, so a path that ends in it gets no second
// separator.
std::string WithTrailingSeparator(std::string path) {
  if (path.empty() ||
      (path.back() != platform::PathSeparator() && path.back() != '/')) {
    path.push_back(platform::PathSeparator());
  }
  return path;
}

// A variable that is unset or empty counts as absent.
bool GetNonEmptyEnv(const char* name, std::string* value) {
  return platform::GetEnv(name, value) && !value->empty();
}

// Creates every missing folder of `directory` (which ends in a separator);
// true when it is a folder afterwards.
bool CreateFolderWithParents(const std::string& directory) {
  const char separator = platform::PathSeparator();
  for (size_t end = directory.find(separator, 1); end != std::string::npos;
       end = directory.find(separator, end + 1)) {
    const std::string prefix = directory.substr(0, end);
    if (!platform::PathExists(prefix)) {
      platform::CreateFolder(prefix, SharedSecurityAttributes());
    }
  }
  return platform::IsFolder(directory);
}

bool FallbackDataDirectory(std::string* directory) {
  std::string found;
  if (!platform::DefaultDataHome(kGatewayFolderName, &found) ||
      !CreateFolderWithParents(found)) {
    return false;
  }
  *directory = found;
  return true;
}

bool DataDirectory(std::string* directory) {
  directory->clear();
  std::string home;
  if (GetNonEmptyEnv(kDataHomeVariable, &home)) {
    *directory = WithTrailingSeparator(home);
    return true;
  }
  return FallbackDataDirectory(directory);
}

struct Account {
  std::string name;
  std::string password;
};

struct OpenList {
  PendrelHandle handle = 0;
  std::vector<Account> accounts;
};

// The open account lists of this process.
struct HandleTable {
  std::mutex mutex;
  std::vector<OpenList> lists;
  PendrelHandle last_handle = 0;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

// A value as a single-value read gives it: one outer pair of matching quotes
// removed.
std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::vector<Account> ReadAccounts(const std::string& path) {
  const std::string block =
      platform::ProfileReadSection(path, kUsersSection, kUsersListBuffer);
  std::vector<std::string> entries = SplitSectionBlock(block);
  // A block that fills the buffer was cut inside its last entry, whose name
  // may then be the start of another account's.
  if (block.size() >= kUsersListBuffer && !entries.empty()) entries.pop_back();
  std::vector<Account> accounts;
  for (const std::string& entry : entries) {
    const size_t equals = entry.find('=');
    // A line without '=' names no account, as a key lookup would not find it.
    if (equals == std::string::npos || equals == 0) continue;
    accounts.push_back({entry.substr(0, equals),
                        Unquoted(std::string_view(entry).substr(equals + 1))});
  }
  return accounts;
}

void FillRecord(const Account& account, UserRecord* record) {
  record->fill('\0');
  // Bytes before the password hold the account name, NUL-terminated.
  const std::string name =
      CutTo(account.name, kUserRecordPasswordOffset - 1);
  std::copy(name.begin(), name.end(), record->begin());
  const std::string password =
      CutTo(account.password, kUserRecordBytes - kUserRecordPasswordOffset - 1);
  std::copy(password.begin(), password.end(),
            record->begin() + kUserRecordPasswordOffset);
}

}  // namespace

bool GetProgramDataDirectory(std::string* directory) {
  return DataDirectory(directory);
}

bool GetPrivateDataDirectory(std::string* directory) {
  return DataDirectory(directory);
}

int PendrelOpenUserFile(PendrelHandle* handle, uint32_t access) {
  *handle = 0;
  // The list is never written: only read access is granted.
  if (access != kPendrelReadAccess) return 0;
  std::string directory;
  if (!DataDirectory(&directory)) return 0;
  std::vector<Account> accounts = ReadAccounts(directory + kUsersFileName);

  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (table.lists.size() >= kMaxOpenUserFiles) return 0;
  do {
    ++table.last_handle;
  } while (table.last_handle == 0);
  table.lists.push_back({table.last_handle, std::move(accounts)});
  *handle = table.last_handle;
  return 1;
}

int PendrelFindUserRecord(PendrelHandle handle, std::string_view name,
                          UserRecord* record) {
  if (name.empty()) return 0;
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (const OpenList& list : table.lists) {
    if (list.handle != handle) continue;
    for (const Account& account : list.accounts) {
      if (!EqualsNoCase(account.name, name)) continue;
      FillRecord(account, record);
      return 1;
    }
    return 0;
  }
  return 0;
}

void PendrelCloseUserFile(PendrelHandle handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::erase_if(table.lists,
                [handle](const OpenList& list) { return list.handle == handle; });
}
