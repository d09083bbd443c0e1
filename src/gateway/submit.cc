#include "gateway/submit.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "common/limits.h"
#include "common/text.h"
#include "gateway/gw_util.h"
#include "gateway/http_client.h"
#include "platform/profile.h"
#include "store/group_store.h"
#include "store/user_directory.h"
#include "userdir/pendrel.h"

namespace {

// The submission URL is
//   http://<owner>:<password>@<address>:<port>/?sender=@@SENDER@@&...
// with user name, password and address as they stand and the three
// placeholders filled with encoded values.
constexpr char kSubmissionQuery[] = "?sender=@@SENDER@@&phonenumber=@@RECIP@@&text=@@TEXT@@";
constexpr size_t kUrlCapacity = kMaxUrlChars + 1;

// The failure report: the start of every line, and how much of a gateway's
// status line it quotes.
constexpr char kFailurePrefix[] = "morvane: ";
constexpr size_t kMaxQuotedStatusChars = 100;

// Characters of the GSM 7-bit default alphabet outside printable ASCII
// (LF and CR aside); the ASCII ones are told by IsGsmAscii.
constexpr char32_t kGsmNonAscii[] = U"£¥èéùìòÇØøÅåΔΦΓΛΩΠΨΣΘΞÆæßÉ¤¡ÄÖÑÜ§¿äöñüà";
// Printable ASCII that the default alphabet lacks (some are in its
// extension table, which costs an escape and not every gateway converts).
constexpr std::string_view kAsciiNotGsm = "[\\]^`{|}~";

SubmissionFailureSink g_failure_sink = nullptr;

// Bytes that go into the query unchanged; every other byte becomes %XX.
bool IsUrlSafe(unsigned char c) {
  return c == 0x24 || (c >= 0x27 && c <= 0x29) || (c >= 0x2D && c <= 0x3A) || c == 0x3D ||
         (c >= 0x40 && c <= 0x5B) || (c >= 0x5D && c <= 0x7F);
}

std::string EncodeValue(std::string_view value) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(value.size() * 3);
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUrlSafe(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 15];
    }
  }
  return encoded;
}

// Replaces the placeholder from offset `from` on; returns the offset behind
// the last inserted value (`from` when nothing was replaced), where a search
// for a later placeholder of the URL may begin.
size_t SubstituteFrom(std::string* url, size_t from, std::string_view placeholder,
                      std::string_view value, size_t capacity) {
  if (placeholder.empty()) return from;
  const std::string encoded = EncodeValue(value);
  size_t start = from;
  while (start < url->size()) {
    const size_t found = FindText(std::string_view(*url).substr(start), placeholder);
    if (found == std::string_view::npos) break;
    url->replace(start + found, placeholder.size(), encoded);
    *url = CutTo(*url, capacity == 0 ? 0 : capacity - 1);
    start += found + encoded.size();
  }
  return std::min(start, url->size());
}

bool IsGsmAscii(char32_t c) {
  if (c == '\n' || c == '\r') return true;
  return c >= 0x20 && c < 0x7F && kAsciiNotGsm.find(static_cast<char>(c)) == std::string_view::npos;
}

// The first line of a response, with anything unprintable replaced, cut.
std::string QuotedStatusLine(std::string_view response) {
  std::string line =
      CutTo(response.substr(0, response.find_first_of("\r\n")), kMaxQuotedStatusChars);
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return line;
}

// Tells the sink, if any, that the gateway did not take a message.
void ReportFailure(const std::string& url, std::string_view recipient,
                   const ResponseBlock& response) {
  if (g_failure_sink == nullptr) return;
  ParsedUrl parsed;
  std::string where = "an unusable URL";
  if (ParseUrl(url, &parsed)) {
    // A password holding '@' leaves its rest in the host: never shown.
    where = parsed.host.substr(parsed.host.rfind('@') + 1) + ":" + std::to_string(parsed.port);
  }
  std::string line = kFailurePrefix + std::string("the gateway at ") + where +
                     " did not take the message to " + QuotedStatusLine(recipient) + ": ";
  line += response ? "it answered " + QuotedStatusLine(UntilZero(response.get()))
                   : std::string("no answer");
  g_failure_sink(line);
}

// WebPort and IPAddress of the gateway's configuration file, with their
// defaults for a missing file, key or value.
void ReadGatewayAddress(SubmissionTarget* target) {
  std::string port_text = kDefaultWebPort;
  std::string* address = &target->address;
  address->clear();
  std::string directory;
  if (GetProgramDataDirectory(&directory)) {
    const std::string config = directory + kGatewayConfigName;
    port_text = platform::ProfileReadString(config, kGatewaySection, kWebPortKey, kDefaultWebPort,
                                            kProfileValueBuffer);
    *address = platform::ProfileReadString(config, kGatewaySection, kIpAddressKey, "",
                                           kProfileValueBuffer);
    target->url_template =
        platform::ProfileReadString(config, kGatewaySection, kSubmissionUrlKey, "", kUrlCapacity);
  }
  int64_t value = ParseLeadingLong(port_text);
  if (value == 0) value = ParseLeadingLong(kDefaultWebPort);
  // Written as an unsigned 32-bit number, as the gateway's own tools do.
  target->port = static_cast<uint32_t>(value);
  if (address->empty()) *address = kDefaultGatewayAddress;
}

std::string SubmissionUrlFor(const SubmissionTarget& target, std::string_view sender,
                             std::string_view recipient, std::string_view text) {
  if (!target.url_template.empty()) {
    return FillSubmissionTemplate(target.url_template, target, sender, recipient, text);
  }
  std::string url = std::string(kHttpScheme) + target.owner + ":" + target.password + "@" +
                    target.address + ":" + std::to_string(target.port) + "/";
  // The values go in one after another, each searched for behind the one
  // before: a value that holds "@@" or a placeholder of its own cannot
  // disturb the next substitution, and owner, password and address are
  // never searched.
  size_t next = url.size();
  url = CutTo(url + kSubmissionQuery, kMaxUrlChars);
  next = SubstituteFrom(&url, next, kSenderPlaceholder, sender, kUrlCapacity);
  next = SubstituteFrom(&url, next, kRecipientPlaceholder, recipient, kUrlCapacity);
  SubstituteFrom(&url, next, kTextPlaceholder, text, kUrlCapacity);
  return url;
}

unsigned g_submit_idle_seconds = kSubmitIdleSeconds;

// Fetches the URL and reports a failure; the response is released whatever
// the result.
int FetchSubmission(const std::string& url, std::string_view recipient, unsigned idle_seconds) {
  ResponseBlock response;
  std::string content_type;
  unsigned header_length = 0;
  unsigned body_length = 0;
  const int result =
      RetrieveURL(url, &response, &content_type, &header_length, &body_length, 0, idle_seconds);
  if (result == 0) ReportFailure(url, recipient, response);
  return result;
}

}  // namespace

void SubstitutePlaceholder(std::string* url, std::string_view placeholder, std::string_view value,
                           size_t capacity) {
  SubstituteFrom(url, 0, placeholder, value, capacity);
}

int SubmitMessage(std::string_view group, std::string_view sender, std::string_view recipient,
                  std::string_view text) {
  return SubmitMessageWithIdleTimeout(group, sender, recipient, text, g_submit_idle_seconds);
}

unsigned SubmitIdleSeconds() { return g_submit_idle_seconds; }

void SetSubmitIdleSeconds(unsigned seconds) { g_submit_idle_seconds = seconds; }

SubmissionTarget ReadSubmissionTarget(std::string_view group) {
  SubmissionTarget target;
  GetGroupOwner(group, &target.owner);
  GetUserPassword(target.owner, &target.password);
  ReadGatewayAddress(&target);
  return target;
}

int SubmitMessageTo(const SubmissionTarget& target, std::string_view sender,
                    std::string_view recipient, std::string_view text) {
  return FetchSubmission(SubmissionUrlFor(target, sender, recipient, text), recipient,
                         g_submit_idle_seconds);
}

std::string SubmissionUrl(std::string_view group, std::string_view sender,
                          std::string_view recipient, std::string_view text) {
  return SubmissionUrlFor(ReadSubmissionTarget(group), sender, recipient, text);
}

int SubmitMessageWithIdleTimeout(std::string_view group, std::string_view sender,
                                 std::string_view recipient, std::string_view text,
                                 unsigned idle_seconds) {
  return FetchSubmission(SubmissionUrl(group, sender, recipient, text), recipient, idle_seconds);
}

void SetSubmissionFailureSink(SubmissionFailureSink sink) { g_failure_sink = sink; }

bool IsGsmDefaultAlphabet(std::string_view text) {
  const std::u32string_view non_ascii = kGsmNonAscii;
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = 0;
    if (!NextUtf8(text, &pos, &c)) return false;
    if (!IsGsmAscii(c) && non_ascii.find(c) == std::u32string_view::npos) return false;
  }
  return true;
}

std::string FillSubmissionTemplate(std::string_view url_template, const SubmissionTarget& target,
                                   std::string_view sender, std::string_view recipient,
                                   std::string_view text) {
  const std::pair<std::string_view, std::string_view> values[] = {
      {kSenderPlaceholder, sender},
      {kRecipientPlaceholder, recipient},
      {kTextPlaceholder, text},
      {kUserPlaceholder, target.owner},
      {kPasswordPlaceholder, target.password},
      {kCodingPlaceholder, IsGsmDefaultAlphabet(text) ? kGsmCoding : kUnicodeCoding},
  };
  std::string url;
  std::string_view rest = url_template;
  for (;;) {
    // The placeholder that comes first in the rest of the template.
    size_t first = std::string_view::npos;
    const std::pair<std::string_view, std::string_view>* match = nullptr;
    for (const auto& value : values) {
      const size_t found = FindText(rest, value.first);
      if (found < first) {
        first = found;
        match = &value;
      }
    }
    if (match == nullptr) break;
    url.append(rest.substr(0, first)).append(EncodeValue(match->second));
    rest.remove_prefix(first + match->first.size());
  }
  url.append(rest);
  return CutTo(url, kMaxUrlChars);
}
