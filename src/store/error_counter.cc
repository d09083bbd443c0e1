#include "store/error_counter.h"

#include <climits>
#include <string>

#include "common/limits.h"
#include "common/text.h"
#include "platform/profile.h"
#include "store/group_store.h"

namespace {

// Built anew for every operation; creates the store root when it is missing.
bool ErrorCounterPath(std::string* path) {
  if (!GroupFolderPath("", path)) return false;
  path->append(kErrorCounterName);
  return true;
}

}  // namespace

unsigned GetErrorCount(std::string_view phone) {
  std::string path;
  if (!IsSafeProfileKey(phone) || !ErrorCounterPath(&path)) return 0;
  const int64_t count = ParseLeadingLong(platform::ProfileReadString(
      path, kErrorsSection, phone, "", kProfileValueBuffer));
  // A count is never negative; a hand-edited one that is reads as none
  // rather than as a huge number that would keep the sender quiet.
  if (count <= 0) return 0;
  if (count > int64_t{UINT_MAX}) return UINT_MAX;
  return static_cast<unsigned>(count);
}

bool IncrementErrorCount(std::string_view phone) {
  std::string path;
  if (!IsSafeProfileKey(phone) || !ErrorCounterPath(&path)) return false;
  unsigned count = GetErrorCount(phone);
  if (count < UINT_MAX) ++count;  // stays at the top rather than wrap to 0
  return platform::ProfileWriteString(path, kErrorsSection, phone,
                                      std::to_string(count));
}

bool ResetErrorCount(std::string_view phone) {
  std::string path;
  if (GetErrorCount(phone) == 0 || !ErrorCounterPath(&path)) return false;
  return platform::ProfileDeleteKey(path, kErrorsSection, phone);
}
