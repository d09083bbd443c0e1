// Message submission through the gateway's HTTP interface: one text to one
// phone number, under the gateway account of a group's owner.
#ifndef GATEWAY_SUBMIT_H_
#define GATEWAY_SUBMIT_H_

#include <cstddef>
#include <string>
#include <string_view>

constexpr char kGatewayConfigName[] = "HOLLIN.INI";
constexpr char kGatewaySection[] = "HOLLIN";
constexpr char kWebPortKey[] = "WebPort";
constexpr char kIpAddressKey[] = "IPAddress";
constexpr char kDefaultWebPort[] = "8800";
constexpr char kDefaultGatewayAddress[] = "127.0.0.1";
constexpr size_t kMaxUrlChars = 16383;

// Asks the gateway to send `text` from `sender` to `recipient`, signed in
// with the account of the group's owner. 1 when the gateway accepted it
// (a 2xx answer), 0 otherwise.
int SubmitMessage(std::string_view group, std::string_view sender,
                  std::string_view recipient, std::string_view text);

// For tests: SubmitMessage with an idle timeout of its own instead of
// kSubmitIdleSeconds, and the URL that SubmitMessage fetches (owner and
// password of the group, address and port of HOLLIN.INI, encoded values).
int SubmitMessageWithIdleTimeout(std::string_view group, std::string_view sender,
                                 std::string_view recipient, std::string_view text,
                                 unsigned idle_seconds);
std::string SubmissionUrl(std::string_view group, std::string_view sender,
                          std::string_view recipient, std::string_view text);

// Replaces every "@@TOKEN@@" placeholder in `url` by `value`, each byte
// outside the URL-safe set written as %XX. Inserted text is never searched
// again. The result is cut to capacity - 1 characters.
void SubstitutePlaceholder(std::string* url, std::string_view placeholder,
                           std::string_view value, size_t capacity);

#endif  // GATEWAY_SUBMIT_H_
