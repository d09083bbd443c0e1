#include "bench_store.h"

#include <algorithm>
#include <cstdio>

#include "store/group_store.h"
#include "store/member_db.h"
#include "store/sqlite_handle.h"

namespace {

constexpr char kMemberTable[] = "TESSARY";
constexpr char kInsertMember[] = "INSERT into TESSARY VALUES (?,?,?);";

}  // namespace

std::string BenchPhone(unsigned index) {
  char phone[32];
  std::snprintf(phone, sizeof phone, "+1666%07u", index);
  return phone;
}

bool MakeBenchGroup(const std::string& group, const char* membership, const std::string& owner,
                    unsigned others) {
  std::string folder;
  // The store root first: a group's folder is made only below it.
  if (!GroupFolderPath("", &folder) || !GroupFolderPath(group, &folder)) return false;
  const bool written = WriteGroupValue(group, kGroupSection, kMembershipTypeKey, membership) &&
                       WriteGroupValue(group, kGroupSection, kPostTypeKey, kUnmoderatedValue) &&
                       WriteGroupValue(group, kGroupSection, kOwnerKey, owner) &&
                       WriteGroupValue(group, kAdminSection, owner, kAdminValue);
  if (!written) return false;
  SqliteDatabase db = OpenForWriting(folder + kGroupDbName, kMemberTable,
                                     {kMemberTableStatement, kMemberIndexStatement});
  SqliteTransaction transaction(db);
  if (!transaction.active()) return false;
  const std::string date = StoreDateNow();
  for (unsigned n = 0; n <= others; ++n) {
    const std::string phone = n == 0 ? owner : BenchPhone(n);
    const std::string name = n == 0 ? "Admin" : "m" + std::to_string(n);
    SqliteStatement insert(db, kInsertMember);
    if (!insert.BindAll({phone, name, date}) || !insert.StepDone()) return false;
  }
  return transaction.Commit();
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string Fixed(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}
