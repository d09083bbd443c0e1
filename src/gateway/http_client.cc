#include "gateway/http_client.h"

#include <algorithm>

#include "common/text.h"
#include "gateway/http_response.h"
#include "platform/socket.h"

namespace {

constexpr char kContext[] = "RetrieveURL";
constexpr char kSchemeMark[] = "://";
constexpr char kLocationHeader[] = "Location:";
constexpr char kContentTypeHeader[] = "Content-Type:";
constexpr uint32_t kMaxPortValue = 65535;

// The request lines around the variable parts; a request of the longest
// path, host and credentials still fits its limit, so the cut in
// BuildRequest never bites.
constexpr size_t kRequestFixedBytes = 200;
static_assert(kRequestFixedBytes + 2 * kMaxFetchUrlChars +
                  (kMaxCredentialsChars + 2) / 3 * 4 <=
              kMaxRequestBytes);

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

void CutTrailingBlanks(std::string* text) {
  while (!text->empty() && IsBlankOrControl(text->back())) text->pop_back();
}

// A URL cut at its limit may end inside a %XX escape of a long query value
// (a post's text): the server would read the rest of the escape as text, or
// refuse the request. The partial escape goes as well.
void CutPartialEscape(std::string* url) {
  const size_t size = url->size();
  if (size >= 1 && (*url)[size - 1] == '%') {
    url->resize(size - 1);
  } else if (size >= 2 && (*url)[size - 2] == '%') {
    url->resize(size - 2);
  }
}

std::string_view SkipLeadingSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// The address of a text that passed IsDottedAddress.
uint32_t DottedValue(std::string_view text) {
  uint32_t address = 0;
  uint32_t field = 0;
  for (const char c : SkipLeadingSpaces(text)) {
    if (c == '.') {
      address = address << 8 | field;
      field = 0;
    } else {
      field = field * 10 + static_cast<uint32_t>(c - '0');
    }
  }
  return address << 8 | field;
}

bool ResolveHost(std::string* host, uint32_t* address) {
  if (IsDottedAddress(host)) {
    *address = DottedValue(*host);
    return true;
  }
  DebugLog(kContext, "Looking up " + *host);
  if (platform::LookupHost(*host, address)) return true;
  DebugLog(kContext, "Lookup failed for " + *host);
  return false;
}

// The character behind the first space and the spaces after it: the first
// digit of the status in a status line.
char StatusClass(std::string_view text) {
  size_t i = text.find(' ');
  if (i == std::string_view::npos) return 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return i < text.size() ? text[i] : 0;
}

// The redirect target behind "Location:": after leading spaces, up to the
// first blank or control character.
std::string ReadLocation(std::string_view text, size_t header) {
  std::string_view value = SkipLeadingSpaces(text.substr(header + sizeof kLocationHeader - 1));
  size_t stop = 0;
  while (stop < value.size() && !IsBlankOrControl(value[stop])) ++stop;
  return CutTo(value.substr(0, stop), kMaxLocationChars);
}

std::string CredentialsPrefix(const ParsedUrl& url) {
  return url.user + ":" + url.password + "@";
}

// A socket connected to the URL's host and port; not valid on failure.
platform::Socket ConnectTo(ParsedUrl* url) {
  platform::Socket socket = platform::OpenStreamSocket();
  if (!socket.valid()) return socket;
  uint32_t address = 0;
  if (!ResolveHost(&url->host, &address)) {
    socket.Close();
  } else if (!platform::Connect(socket, address, url->port)) {
    DebugLog(kContext, "Connect failed for " + url->host);
    socket.Close();
  }
  return socket;
}

void ReportSuccess(char* response, unsigned length, std::string* content_type,
                   unsigned* header_length, unsigned* body_length) {
  DebugLog(kContext, "got success response");
  *header_length = static_cast<unsigned>(GetBodyOffset(response, length));
  *body_length = length - *header_length;
  const std::string type = GetHeaderValue(std::string_view(response, length),
                                          kContentTypeHeader, kMaxContentTypeReadChars);
  DebugLog(kContext, type);
  *content_type = CutTo(type, kMaxContentTypeChars);
}

}  // namespace

bool ParseUrl(std::string_view url, ParsedUrl* parsed) {
  *parsed = ParsedUrl();
  url = UntilZero(url);
  const bool has_scheme = url.find(kSchemeMark) != std::string_view::npos;
  const size_t limit = has_scheme ? kMaxFetchUrlChars : kMaxSchemelessUrlChars;
  parsed->url = (has_scheme ? "" : kHttpScheme) + CutTo(url, limit);
  if (url.size() > limit) CutPartialEscape(&parsed->url);
  CutTrailingBlanks(&parsed->url);

  std::string_view rest = parsed->url;
  if (StartsWithNoCase(rest, kHttpScheme)) {
    rest.remove_prefix(sizeof kHttpScheme - 1);
  } else if (StartsWithNoCase(rest, kHttpsScheme)) {
    rest.remove_prefix(sizeof kHttpsScheme - 1);
  } else {
    return false;
  }

  size_t separator = rest.find('/');
  if (separator == std::string_view::npos) separator = rest.find('\\');
  std::string_view host = rest.substr(0, separator);
  if (separator != std::string_view::npos) parsed->path = rest.substr(separator + 1);

  const size_t at = host.find('@');
  if (at != std::string_view::npos) {
    const std::string_view info = host.substr(0, at);
    host.remove_prefix(at + 1);
    const size_t colon = info.find(':');
    parsed->user = CutTo(info.substr(0, colon), kMaxUrlUserChars);
    if (colon != std::string_view::npos) {
      parsed->password = CutTo(info.substr(colon + 1), kMaxUrlPasswordChars);
    }
  }

  const size_t colon = host.find(':');
  uint32_t port = 0;
  if (colon != std::string_view::npos) {
    for (size_t i = colon + 1; i < host.size() && host[i] >= '0' && host[i] <= '9'; ++i) {
      port = std::min<uint32_t>(port * 10 + static_cast<uint32_t>(host[i] - '0'),
                                kMaxPortValue + 1);
    }
    host = host.substr(0, colon);
  }
  parsed->host = host;
  if (port > kMaxPortValue) return false;
  // Host and path go into request lines as they stand: a line break in them
  // would end a line early and let the rest pass for headers of its own.
  if (parsed->host.find_first_of("\r\n") != std::string::npos ||
      parsed->path.find_first_of("\r\n") != std::string::npos) {
    return false;
  }
  parsed->port = port == 0 ? kDefaultHttpPort : static_cast<uint16_t>(port);
  return true;
}

std::string BuildRequest(const ParsedUrl& url) {
  std::string request = "GET /" + url.path + " HTTP/1.1\r\nUser-Agent: " +
                        kUserAgentBanner + "\r\nAccept: */*\r\nConnection: close\r\n";
  if (url.has_credentials()) {
    const std::string credentials =
        CutTo(url.user + ":" + url.password, kMaxCredentialsChars);
    request += "Authorization: Basic " + Base64Encode(credentials) + "\r\n";
  }
  request += "Host: " + url.host;
  if (url.port != kDefaultHttpPort) request += ":" + std::to_string(url.port);
  request += "\r\n\r\n";
  return CutTo(request, kMaxRequestBytes);
}

std::string RedirectTarget(const ParsedUrl& current, std::string_view location) {
  std::string target = CutTo(location, kMaxLocationChars);
  if (target.starts_with("//")) {
    target = "http:" + target;
  } else if (target.starts_with("/")) {
    // A path on the server that answered: same host, same port, same
    // credentials.
    std::string base = kHttpScheme;
    if (current.has_credentials()) {
      DebugLog(kContext, "Re-using Authorization header on redirect request");
      base += CredentialsPrefix(current);
    }
    return base + current.host + ":" + std::to_string(current.port) + target;
  }
  if (!current.has_credentials()) return target;

  const bool has_scheme = StartsWithNoCase(target, kHttpScheme);
  std::string_view host = target;
  if (has_scheme) host.remove_prefix(sizeof kHttpScheme - 1);
  host = host.substr(0, host.find('/'));
  if (host.find('@') != std::string_view::npos) return target;  // its own
  host = host.substr(0, host.find(':'));
  if (!EqualsNoCase(host, current.host)) {
    DebugLog("Old Host", current.host);
    DebugLog("New Host", host);
    return target;
  }
  DebugLog(kContext, "Re-using Authorization header on redirect request");
  target.insert(has_scheme ? sizeof kHttpScheme - 1 : 0, CredentialsPrefix(current));
  DebugLog(kContext, target);
  return target;
}

bool IsDottedAddress(std::string* text) {
  CutTrailingBlanks(text);
  const std::string_view address = SkipLeadingSpaces(*text);
  int dots = 0;
  uint32_t field = 0;
  uint32_t first_field = 0;
  for (const char c : address) {
    if (c == '.') {
      if (++dots == 1) first_field = field;
      field = 0;
    } else if (c >= '0' && c <= '9') {
      field = field * 10 + static_cast<uint32_t>(c - '0');
      if (field > 255) return false;
    } else {
      return false;
    }
  }
  return dots == 3 && first_field != 0;
}

int RetrieveURL(std::string_view url, ResponseBlock* response,
                std::string* content_type, unsigned* header_length,
                unsigned* body_length, int redirect_depth, unsigned idle_seconds) {
  content_type->clear();
  *header_length = 0;
  *body_length = 0;

  ParsedUrl parsed;
  const bool fetchable = ParseUrl(url, &parsed);
  DebugLog(kContext, "Retrieving " + parsed.url);
  if (!fetchable) return 0;

  platform::Socket socket = ConnectTo(&parsed);
  if (!socket.valid()) return 0;

  DebugLog(kContext, "Retrieving " + parsed.path);
  const std::string request = BuildRequest(parsed);
  DebugLog(kContext, request);
  platform::SendAll(socket, request.data(), request.size());

  const unsigned length = HttpResponseWait(socket, response, idle_seconds);
  if (length == 0 || !*response) {
    DebugLog(kContext, "timeout waiting for response");
    return 0;
  }
  const std::string_view text = UntilZero(std::string_view(response->get(), length));
  DebugLog(kContext, text);

  const char status_class = StatusClass(text);
  if (status_class == '2') {
    ReportSuccess(response->get(), length, content_type, header_length, body_length);
    return 1;
  }
  const size_t location = FindText(text, kLocationHeader);
  if (status_class != '3' || location == std::string_view::npos) {
    DebugLog(kContext, "got unknown response");
    DebugLog(kContext, text);
    return 0;
  }

  DebugLog(kContext, "got redirection response");
  DebugLog(kContext, text);
  const std::string target = ReadLocation(text, location);
  DebugLog(kContext, target);
  const std::string next = RedirectTarget(parsed, target);
  if (++redirect_depth >= kMaxRedirectDepth) return 0;  // the answer stays
  response->reset();
  socket.Close();
  return RetrieveURL(next, response, content_type, header_length, body_length,
                     redirect_depth, idle_seconds);
}
