#include "store/user_directory.h"

#include <algorithm>

#include "userdir/pendrel.h"

namespace {

// An open account list, closed when it goes out of scope.
class OpenUserFile {
 public:
  OpenUserFile() { opened_ = PendrelOpenUserFile(&handle_, kPendrelReadAccess) != 0; }
  OpenUserFile(const OpenUserFile&) = delete;
  OpenUserFile& operator=(const OpenUserFile&) = delete;
  ~OpenUserFile() {
    if (opened_) PendrelCloseUserFile(handle_);
  }

  bool Find(std::string_view account, UserRecord* record) const {
    return opened_ && PendrelFindUserRecord(handle_, account, record) != 0;
  }

 private:
  PendrelHandle handle_ = 0;
  bool opened_ = false;
};

}  // namespace

bool UserExists(std::string_view account) {
  const OpenUserFile list;
  UserRecord record{};
  return list.Find(account, &record);
}

void GetUserPassword(std::string_view account, std::string* password) {
  password->clear();
  const OpenUserFile list;
  UserRecord record{};
  if (!list.Find(account, &record)) return;
  const auto begin = record.begin() + kUserRecordPasswordOffset;
  // The record's last byte is never part of the text, even if the library
  // left no NUL before it.
  const auto end = std::find(begin, record.end() - 1, '\0');
  password->assign(begin, end);
}
