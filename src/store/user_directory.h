// Account lookups in the gateway's user directory.
#ifndef STORE_USER_DIRECTORY_H_
#define STORE_USER_DIRECTORY_H_

#include <string>
#include <string_view>

// True when the gateway's user directory holds an account of that name.
bool UserExists(std::string_view account);

// The account's password, or empty when there is no such account (or the
// list cannot be opened).
void GetUserPassword(std::string_view account, std::string* password);

#endif  // STORE_USER_DIRECTORY_H_
