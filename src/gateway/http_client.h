// A small HTTP/1.1 client: one GET over a fresh plain TCP connection, HTTP
// Basic credentials from the URL's user information, redirects followed.
#ifndef GATEWAY_HTTP_CLIENT_H_
#define GATEWAY_HTTP_CLIENT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/gw_util.h"

constexpr char kHttpScheme[] = "http://";
constexpr char kHttpsScheme[] = "https://";
constexpr char kUserAgentBanner[] = "Kavrel Tessary v0.00";
constexpr uint16_t kDefaultHttpPort = 80;

// Limits of one fetch.
constexpr size_t kMaxFetchUrlChars = 4095;  // the URL as fetched
constexpr size_t kMaxSchemelessUrlChars =   // taken of a URL without "://"
    kMaxFetchUrlChars - (sizeof kHttpScheme - 1);
constexpr size_t kMaxUrlUserChars = 251;
constexpr size_t kMaxUrlPasswordChars = 251;
constexpr size_t kMaxCredentialsChars = 499;  // "user:password"
constexpr size_t kMaxRequestBytes = 10240;
constexpr size_t kMaxLocationChars = 9999;  // a redirect target
constexpr size_t kMaxContentTypeReadChars = 9999;
constexpr size_t kMaxContentTypeChars = 99;  // as handed back
// The tenth redirect in a row ends the chain: nine are followed.
constexpr int kMaxRedirectDepth = 10;

static_assert(kMaxSchemelessUrlChars == 4088);

// The parts of a URL as the client uses them.
struct ParsedUrl {
  std::string url;       // normalised: with a scheme, trailing blanks cut
  std::string host;      // name or dotted address, without port
  uint16_t port = kDefaultHttpPort;
  std::string path;      // behind the host's separator, without it
  std::string user;      // user information before its first ':'
  std::string password;  // user information behind its first ':'

  bool has_credentials() const { return !user.empty() || !password.empty(); }
};

// Splits a URL. One without "://" gets "http://" put in front; the text
// ends at a zero byte and loses trailing characters with codes up to 32.
// Only "http://" and "https://" (any case) are fetched, both as plain HTTP;
// a missing or zero port is 80. False for another scheme, a port beyond
// 65535, or a CR or LF in host or path (they would break the request's
// lines).
bool ParseUrl(std::string_view url, ParsedUrl* parsed);

// The request bytes of a GET of the URL: request line, User-Agent, Accept,
// Connection: close, Authorization (only with credentials), Host (with the
// port unless it is 80), empty line.
std::string BuildRequest(const ParsedUrl& url);

// The URL that a redirect to `location` from `current` fetches. Credentials
// of the current URL go along to the same host (compared without regard to
// case; a target beginning with '/' is on the current host and port) and
// never to another; a target with its own credentials keeps them.
std::string RedirectTarget(const ParsedUrl& current, std::string_view location);

// True when the text is a dotted IPv4 address: digits and exactly three
// dots (leading spaces skipped), every field 0-255 (an empty field is 0), the
// first not 0. Trailing characters with codes up to 32 are cut from *text.
bool IsDottedAddress(std::string* text);

// Fetches the URL with a GET and reads the answer (HttpResponseWait with
// `idle_seconds`). 1 when the final answer's status begins with '2', else 0.
// Redirects (3xx with a "Location:") are followed; `redirect_depth` is 0 from
// outside, and at kMaxRedirectDepth the chain stops with 0.
//
// *response receives the raw answer (chunk framing removed, zero byte
// behind) whatever the result, or stays null when nothing complete was
// received. *content_type (cut to kMaxContentTypeChars), *header_length (the
// body's offset) and *body_length are set only for a result of 1; they are
// empty / 0 otherwise.
int RetrieveURL(std::string_view url, ResponseBlock* response,
                std::string* content_type, unsigned* header_length,
                unsigned* body_length, int redirect_depth, unsigned idle_seconds);

#endif  // GATEWAY_HTTP_CLIENT_H_
