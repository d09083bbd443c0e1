#include "common/files.h"

bool FileExists(const std::string& path) { return platform::PathExists(path); }

const platform::CreationAttributes* SharedSecurityAttributes() {
  // The modes are filtered by the umask, so the operator decides who may read
  // the store.
  static const platform::CreationAttributes attributes;
  return &attributes;
}
