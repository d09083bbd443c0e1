#include "store/group_store.h"

#include <vector>

#include "common/files.h"
#include "common/limits.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "userdir/pendrel.h"

namespace {

StoreBase g_store_base = StoreBase::kProgramData;

// A folder path leaves room for the store's file names after it.
bool FitsFolderPath(const std::string& folder) {
  return folder.size() + 1 + kStoreFileRoom <= kMaxStorePathBytes;
}

// The store root without its trailing separator.
bool StoreRoot(std::string* root) {
  const std::string base = StoreBaseDirectory();
  if (base.empty()) return false;
  *root = base + kStoreFolderName;
  return FitsFolderPath(*root);
}

// The spelling of the group's entry in the store root (which ends in a
// separator): the name itself when an entry of exactly that name exists,
// else a folder whose name equals it without regard to case, else the name
// as given. Of several such folders the byte-wise smallest name wins, so
// every run picks the same one.
std::string FolderSpelling(const std::string& root, std::string_view group) {
  std::string spelling(group);
  if (platform::PathExists(root + spelling)) return spelling;
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(root, &entries)) return spelling;
  const std::string* best = nullptr;
  for (const platform::FolderEntry& entry : entries) {
    if (!entry.is_folder || !EqualsNoCase(entry.name, group)) continue;
    if (best == nullptr || entry.name < *best) best = &entry.name;
  }
  return best != nullptr ? *best : spelling;
}

// The group's folder without its trailing separator; the store root for an
// empty group.
bool FolderWithoutSeparator(std::string_view group, std::string* folder) {
  folder->clear();
  if (!group.empty() && !IsSafeGroupName(group)) return false;
  std::string root;
  if (!StoreRoot(&root)) return false;
  if (group.empty()) {
    *folder = root;
    return true;
  }
  root.push_back(platform::PathSeparator());
  std::string found = root + FolderSpelling(root, group);
  if (!FitsFolderPath(found)) return false;
  *folder = std::move(found);
  return true;
}

std::string ReadValue(std::string_view group, std::string_view section,
                      std::string_view key, std::string_view default_value,
                      size_t buffer_size) {
  std::string path;
  if (!GroupIniPath(group, &path)) {
    return CutTo(default_value, buffer_size - 1);
  }
  return platform::ProfileReadString(path, section, key, default_value,
                                     buffer_size);
}

// True when the phone has a non-empty entry in the section.
bool HasEntry(std::string_view group, std::string_view section,
              std::string_view phone) {
  return IsSafeProfileKey(phone) &&
         !ReadGroupValue(group, section, phone, "").empty();
}

bool GroupValueIs(std::string_view group, std::string_view key,
                  std::string_view default_value, std::string_view wanted) {
  return EqualsNoCase(ReadGroupValue(group, kGroupSection, key, default_value),
                      wanted);
}

}  // namespace

void SetStoreBase(StoreBase base) { g_store_base = base; }

std::string StoreBaseDirectory() {
  std::string directory;
  const bool found = g_store_base == StoreBase::kPrivateData
                         ? GetPrivateDataDirectory(&directory)
                         : GetProgramDataDirectory(&directory);
  if (!found) directory.clear();
  return directory;
}

bool IsSafeGroupName(std::string_view group) {
  if (group.empty() || group == "." || group == "..") return false;
  if (group.size() > kMaxPathComponentBytes) return false;
  // The store root's own files: a folder of that name would take the place
  // of the store-wide block list or of the error counts for good.
  if (EqualsNoCase(group, kGroupIniName) || EqualsNoCase(group, kErrorCounterName)) {
    return false;
  }
  return group.find_first_of(std::string_view("/\\\0", 3)) ==
         std::string_view::npos;
}

bool IsSafeProfileKey(std::string_view key) {
  const size_t first = key.find_first_not_of(" \t\v");
  if (first == std::string_view::npos) return false;
  if (key[first] == '[' || key[first] == ';') return false;
  return key.find_first_of(std::string_view("=\r\n\0", 4)) ==
         std::string_view::npos;
}

bool GroupIniPath(std::string_view group, std::string* path) {
  if (!ExistingGroupFolderPath(group, path)) return false;
  path->append(kGroupIniName);
  return true;
}

bool GroupFolderPath(std::string_view group, std::string* path) {
  if (!FolderWithoutSeparator(group, path)) return false;
  if (!FileExists(*path)) {
    platform::CreateFolder(*path, SharedSecurityAttributes());
  }
  path->push_back(platform::PathSeparator());
  return true;
}

bool ExistingGroupFolderPath(std::string_view group, std::string* path) {
  if (!FolderWithoutSeparator(group, path)) return false;
  path->push_back(platform::PathSeparator());
  return true;
}

bool GroupExists(std::string_view group) {
  std::string path;
  return !group.empty() && GroupIniPath(group, &path) && FileExists(path);
}

size_t GetGroupOwner(std::string_view group, std::string* owner) {
  *owner = ReadValue(group, kGroupSection, kOwnerKey, "", kOwnerBuffer);
  return owner->size();
}

bool IsGroupAdmin(std::string_view phone, std::string_view group) {
  if (HasEntry(group, kAdminSection, phone)) return true;
  // An empty phone is no safe key, so it never matches a missing owner.
  return IsSafeProfileKey(phone) &&
         EqualsNoCase(ReadGroupValue(group, kGroupSection, kOwnerKey, ""), phone);
}

bool IsAuthUser(std::string_view group, std::string_view phone) {
  return HasEntry(group, kAuthUserSection, phone);
}

bool IsNotifyOn(std::string_view group) {
  return IsYesValue(ReadGroupValue(group, kGroupSection, kNotifyKey, ""));
}

bool IsPublicGroup(std::string_view group) {
  return GroupValueIs(group, kMembershipTypeKey, "", kPublicValue);
}

bool IsPrivateGroup(std::string_view group) {
  return GroupValueIs(group, kMembershipTypeKey, "", kPrivateValue);
}

bool IsModeratedGroup(std::string_view group) {
  return GroupValueIs(group, kPostTypeKey, "", kModeratedValue);
}

bool IsBroadcastGroup(std::string_view group) {
  return GroupValueIs(group, kPostTypeKey, "", kBroadcastValue);
}

bool IsUnmoderatedGroup(std::string_view group) {
  return GroupValueIs(group, kPostTypeKey, kUnmoderatedValue, kUnmoderatedValue);
}

bool BlockUser(std::string_view group, std::string_view phone) {
  return WriteGroupValue(group, kBlockedSection, phone, kBlockedValue);
}

bool IsBlocked(std::string_view group, std::string_view phone) {
  return HasEntry(group, kBlockedSection, phone);
}

std::string ReadGroupValue(std::string_view group, std::string_view section,
                           std::string_view key,
                           std::string_view default_value) {
  return ReadValue(group, section, key, default_value, kProfileValueBuffer);
}

std::string ReadGroupSection(std::string_view group, std::string_view section) {
  std::string path;
  if (!GroupIniPath(group, &path)) return std::string(2, '\0');
  return platform::ProfileReadSection(path, section, kSectionBuffer);
}

bool WriteGroupValue(std::string_view group, std::string_view section,
                     std::string_view key, std::string_view value) {
  std::string path;
  return IsSafeProfileKey(key) && GroupIniPath(group, &path) &&
         platform::ProfileWriteString(path, section, key, value);
}

bool DeleteGroupKey(std::string_view group, std::string_view section,
                    std::string_view key) {
  std::string path;
  return GroupIniPath(group, &path) &&
         platform::ProfileDeleteKey(path, section, key);
}

bool DeleteGroupSection(std::string_view group, std::string_view section) {
  std::string path;
  return GroupIniPath(group, &path) &&
         platform::ProfileDeleteSection(path, section);
}
