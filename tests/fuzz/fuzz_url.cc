// URL parsing of the HTTP client on arbitrary text, with the request it
// builds, the dotted-address check and the redirect target.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/require.h"
#include "gateway/http_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string location = input.ConsumeRandomLengthString(kMaxLocationChars + 16);
  const std::string url = input.ConsumeRemainingBytesAsString();

  ParsedUrl parsed;
  const bool ok = ParseUrl(url, &parsed);
  Require(parsed.url.size() <= kMaxFetchUrlChars);
  Require(parsed.url.find('\0') == std::string::npos);
  if (!ok) return 0;
  Require(parsed.user.size() <= kMaxUrlUserChars);
  Require(parsed.password.size() <= kMaxUrlPasswordChars);
  Require(parsed.port != 0);
  Require(parsed.host.size() + parsed.path.size() <= parsed.url.size());

  const std::string request = BuildRequest(parsed);
  Require(request.size() <= kMaxRequestBytes);
  Require(request.rfind("GET /", 0) == 0);
  Require(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
  Require((request.find("\r\nAuthorization: Basic ") != std::string::npos) ==
          parsed.has_credentials());
  // Request line, User-Agent, Accept, Connection, Authorization, Host and
  // the empty line, and no line break of any other kind.
  size_t line_ends = 0;
  for (size_t at = request.find('\n'); at != std::string::npos; at = request.find('\n', at + 1)) {
    Require(at > 0 && request[at - 1] == '\r');
    ++line_ends;
  }
  Require(line_ends == (parsed.has_credentials() ? 7u : 6u));

  std::string host = parsed.host;
  IsDottedAddress(&host);
  Require(host.size() <= parsed.host.size());

  const std::string target = RedirectTarget(parsed, location);
  Require(target.size() <= kMaxLocationChars + parsed.user.size() + parsed.password.size() +
                               parsed.host.size() + 16);
  return 0;
}
