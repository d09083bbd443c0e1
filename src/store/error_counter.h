// Per-sender counts of consecutive failed runs, in the store-wide
// ERRORCTR.INI (section Errors, key = the sender's number).
#ifndef STORE_ERROR_COUNTER_H_
#define STORE_ERROR_COUNTER_H_

#include <string_view>

constexpr char kErrorsSection[] = "Errors";

// The count; 0 when the key or file is missing or the value is no number.
unsigned GetErrorCount(std::string_view phone);

// Writes the count plus one; true when the write succeeded.
bool IncrementErrorCount(std::string_view phone);

// When the count is not 0, deletes the key and answers whether that worked;
// when it is 0, writes nothing and answers false.
bool ResetErrorCount(std::string_view phone);

#endif  // STORE_ERROR_COUNTER_H_
