// Message submission through the gateway's HTTP interface: one text to one
// phone number, under the gateway account of a group's owner.
#ifndef GATEWAY_SUBMIT_H_
#define GATEWAY_SUBMIT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr char kGatewayConfigName[] = "HOLLIN.INI";
constexpr char kGatewaySection[] = "HOLLIN";
constexpr char kWebPortKey[] = "WebPort";
constexpr char kIpAddressKey[] = "IPAddress";
constexpr char kDefaultWebPort[] = "8800";
constexpr char kDefaultGatewayAddress[] = "127.0.0.1";
constexpr size_t kMaxUrlChars = 16383;

// An optional URL template for gateways that take submissions in another
// form. Its placeholders are filled with encoded values: the receiving
// number, the recipient, the text, the owner's account name and password,
// and the coding of the text (kGsmCoding or kUnicodeCoding). Without it the
// request is the gateway's own, with the account in the user information.
constexpr char kSubmissionUrlKey[] = "SubmissionURL";
constexpr char kSenderPlaceholder[] = "@@SENDER@@";
constexpr char kRecipientPlaceholder[] = "@@RECIP@@";
constexpr char kTextPlaceholder[] = "@@TEXT@@";
constexpr char kUserPlaceholder[] = "@@USER@@";
constexpr char kPasswordPlaceholder[] = "@@PASSWORD@@";
constexpr char kCodingPlaceholder[] = "@@CODING@@";
constexpr char kGsmCoding[] = "0";      // every character in the GSM 7-bit alphabet
constexpr char kUnicodeCoding[] = "2";  // anything else: sent as UCS-2

// Asks the gateway to send `text` from `sender` to `recipient`, signed in
// with the account of the group's owner. 1 when the gateway accepted it
// (a 2xx answer), 0 otherwise. Reads the account and the gateway's address
// (SubmissionTarget) afresh on every call.
int SubmitMessage(std::string_view group, std::string_view sender, std::string_view recipient,
                  std::string_view text);

// Where a group's submissions go and whom they sign in as: the group's
// owner (GROUP.INI), the owner's password from the gateway's user directory
// (empty without a record), and WebPort and IPAddress of HOLLIN.INI with
// their defaults.
struct SubmissionTarget {
  std::string owner;
  std::string password;
  std::string address;
  uint32_t port = 0;
  std::string url_template;  // SubmissionURL; empty for the gateway's own request
};

// Reads the target of the group's submissions, as SubmitMessage does.
SubmissionTarget ReadSubmissionTarget(std::string_view group);

// SubmitMessage with the target read beforehand: a caller that sends one
// text to many members in a row (a post's fan-out) reads the target once.
int SubmitMessageTo(const SubmissionTarget& target, std::string_view sender,
                    std::string_view recipient, std::string_view text);

// The idle timeout of SubmitMessage and SubmitMessageTo in this process:
// kSubmitIdleSeconds unless a test has set another, so that a silent
// gateway can end a fan-out without a minute's wait per submission. The
// programs never change it.
unsigned SubmitIdleSeconds();
void SetSubmitIdleSeconds(unsigned seconds);

// For tests: SubmitMessage with an idle timeout of its own instead of
// kSubmitIdleSeconds, and the URL that SubmitMessage fetches (owner and
// password of the group, address and port of HOLLIN.INI, encoded values).
int SubmitMessageWithIdleTimeout(std::string_view group, std::string_view sender,
                                 std::string_view recipient, std::string_view text,
                                 unsigned idle_seconds);
std::string SubmissionUrl(std::string_view group, std::string_view sender,
                          std::string_view recipient, std::string_view text);

// Receives one line (no line end) for every submission the gateway did not
// accept: the recipient, where it went and the HTTP status or that no answer
// came; never the account's password. Null (the default) reports nothing.
using SubmissionFailureSink = void (*)(std::string_view line);
void SetSubmissionFailureSink(SubmissionFailureSink sink);

// True when every character of the UTF-8 text is one of the GSM 7-bit
// default alphabet (its extension table excluded): such a text is sent with
// kGsmCoding, any other with kUnicodeCoding.
bool IsGsmDefaultAlphabet(std::string_view text);

// Fills the placeholders of a SubmissionURL template in one pass from left
// to right, each value encoded as SubstitutePlaceholder does; inserted
// values are never searched, and unknown "@@...@@" tokens stay as they are.
// The result is cut to kMaxUrlChars.
std::string FillSubmissionTemplate(std::string_view url_template, const SubmissionTarget& target,
                                   std::string_view sender, std::string_view recipient,
                                   std::string_view text);

// Replaces every "@@TOKEN@@" placeholder in `url` by `value`, each byte
// outside the URL-safe set written as %XX. Inserted text is never searched
// again. The result is cut to capacity - 1 characters.
void SubstitutePlaceholder(std::string* url, std::string_view placeholder, std::string_view value,
                           size_t capacity);

#endif  // GATEWAY_SUBMIT_H_
