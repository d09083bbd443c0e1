// Stand-in for the gateway's user library: its data directories and its list
// of user accounts.
//
// Both data directories are the path in KAVREL_HOME with a trailing
// separator. When KAVREL_HOME is unset or empty: the platform's folder for
// the gateway's data (platform::DefaultDataHome: $XDG_DATA_HOME/kavrel/, else
// $HOME/.local/share/kavrel/ on POSIX; %ProgramData%\Kavrel\ on Windows),
// created when missing. Accounts are the `Users`
// section of USERS.INI in that directory, one line per account,
// name=password; an account exists when its key is present, even with an
// empty password. The gateway's HOLLIN.INI lies in the same directory.
#ifndef USERDIR_PENDREL_H_
#define USERDIR_PENDREL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr char kDataHomeVariable[] = "KAVREL_HOME";
constexpr char kUsersFileName[] = "USERS.INI";
constexpr char kUsersSection[] = "Users";
constexpr uint32_t kPendrelReadAccess = 0x80000000u;
constexpr size_t kUserRecordBytes = 524;
constexpr size_t kUserRecordPasswordOffset = 51;

// At most this many account lists are open at once in one process.
constexpr size_t kMaxOpenUserFiles = 256;
// The account list is read whole at open, into a block of at most this many
// bytes; accounts past it are not seen.
constexpr size_t kUsersListBuffer = 1 << 20;
// The environment the fallback data directory is found from on POSIX.
constexpr char kXdgDataHomeVariable[] = "XDG_DATA_HOME";
constexpr char kHomeVariable[] = "HOME";
// ... and on Windows.
constexpr char kProgramDataVariable[] = "ProgramData";
// The gateway's folder in the platform's data folder.
constexpr char kGatewayFolderName[] = "Kavrel";

using PendrelHandle = uint32_t;
using UserRecord = std::array<char, kUserRecordBytes>;

// Fill `directory` with the data directory, ending in a separator. False
// when no directory can be named.
bool GetProgramDataDirectory(std::string* directory);
bool GetPrivateDataDirectory(std::string* directory);

// Opens the account list for reading; non-zero on success, and *handle is
// then valid until PendrelCloseUserFile. The list is read as it is at the
// open. Fails when access asks for more than reading, when no data directory
// can be named, or when kMaxOpenUserFiles lists are open already; a missing
// USERS.INI opens as an empty list.
int PendrelOpenUserFile(PendrelHandle* handle, uint32_t access);

// Non-zero when an account of that name (without regard to case) exists;
// the record then holds the password NUL-terminated from byte 51, cut to fit.
int PendrelFindUserRecord(PendrelHandle handle, std::string_view name,
                          UserRecord* record);

void PendrelCloseUserFile(PendrelHandle handle);

#endif  // USERDIR_PENDREL_H_
