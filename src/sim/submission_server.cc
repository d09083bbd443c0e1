#include "sim/submission_server.h"

#include <cstdio>

#include "common/files.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "sim/sim_config.h"
#include "store/user_directory.h"

namespace {

constexpr size_t kMaxRequestBytes = 65536;
constexpr unsigned kRequestIdleMs = 10000;
constexpr unsigned kAcceptPollMs = 100;
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::mutex print_mutex;
std::mutex log_mutex;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A control character other than the tab and the line breaks, which a
// terminal could take for a command.
bool IsUnsafeControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F;
}

std::string HexEscape(char c) {
  return FormatText("\\x%02X", {static_cast<long long>(static_cast<unsigned char>(c))});
}

std::string EscapeForLog(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (IsUnsafeControl(c)) {
      escaped += HexEscape(c);
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

// Reads the request head (up to the empty line); false on silence, a close
// or a head that is too large.
bool ReadRequestHead(platform::Socket& connection, std::string* head) {
  char chunk[4096];
  while (head->find("\r\n\r\n") == std::string::npos && head->find("\n\n") == std::string::npos) {
    if (head->size() > kMaxRequestBytes) return false;
    if (platform::WaitReadableMs(connection, kRequestIdleMs) != 1) return false;
    const long n = platform::Receive(connection, chunk, sizeof chunk);
    if (n <= 0) return false;
    head->append(chunk, static_cast<size_t>(n));
  }
  return true;
}

// The value of a header, without regard to the name's case.
std::string HeaderValue(const std::string& head, std::string_view name) {
  size_t line = head.find('\n');
  while (line != std::string::npos) {
    const size_t start = line + 1;
    const size_t end = head.find('\n', start);
    std::string_view text(head.data() + start,
                          (end == std::string::npos ? head.size() : end) - start);
    if (StartsWithNoCase(text, name) && text.size() > name.size() && text[name.size()] == ':') {
      text.remove_prefix(name.size() + 1);
      while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
      while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
      return std::string(text);
    }
    line = end;
  }
  return std::string();
}

struct Query {
  bool has_phonenumber = false;
  std::string sender, phonenumber, text;
};

Query ParseQuery(std::string_view target) {
  Query query;
  const size_t mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    const size_t eq = pair.find('=');
    const std::string_view name = pair.substr(0, eq);
    const std::string value =
        eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
    if (name == "sender") query.sender = value;
    if (name == "text") query.text = value;
    if (name == "phonenumber") {
      query.phonenumber = value;
      query.has_phonenumber = true;
    }
  }
  return query;
}

// The account of valid Basic credentials; false when they are missing or
// wrong.
bool Authenticate(const std::string& authorization, std::string* account) {
  if (!StartsWithNoCase(authorization, "Basic ")) return false;
  std::string decoded;
  if (!Base64Decode(std::string_view(authorization).substr(6), &decoded)) return false;
  const size_t colon = decoded.find(':');
  const std::string user = decoded.substr(0, colon);
  const std::string password = colon == std::string::npos ? "" : decoded.substr(colon + 1);
  if (user.empty() || !UserExists(user)) return false;
  std::string stored;
  GetUserPassword(user, &stored);
  if (stored != password) return false;
  *account = user;
  return true;
}

void Answer(platform::Socket& connection, std::string_view status, std::string_view extra_headers,
            std::string_view body) {
  std::string response = "HTTP/1.1 ";
  response.append(status);
  response += "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n";
  response.append(extra_headers);
  response += "\r\n";
  response.append(body);
  platform::SendAll(connection, response.data(), response.size());
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

bool Base64Decode(std::string_view text, std::string* decoded) {
  decoded->clear();
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const char* found = std::char_traits<char>::find(kBase64Alphabet, 64, c);
    if (found == nullptr) return false;
    bits = (bits << 6) | static_cast<unsigned>(found - kBase64Alphabet);
    count += 6;
    if (count >= 8) {
      count -= 8;
      decoded->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

std::string DisplayLine(std::string_view to, std::string_view from, std::string_view text) {
  std::string line(to);
  line += " <- ";
  line.append(from);
  line += "  ";
  const std::string indent(line.size(), ' ');
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' || text[i] == '\r') {
      line += "\n" + indent;
    } else if (IsUnsafeControl(text[i])) {
      line += HexEscape(text[i]);
    } else {
      line.push_back(text[i]);
    }
  }
  return line;
}

std::string LogLine(std::string_view account, std::string_view from, std::string_view to,
                    std::string_view text) {
  const platform::LocalDateTime now = platform::LocalNow();
  std::string line = FormatText("%04d-%02d-%02d %02d:%02d:%02d",
                                {now.year, now.month, now.day, now.hour, now.minute, now.second});
  for (const std::string_view field : {account, from, to, text}) {
    line += "\t" + EscapeForLog(field);
  }
  return line + "\n";
}

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(print_mutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

SubmissionServer::SubmissionServer(std::string data_dir,
                                   std::function<void(const SubmittedMessage&)> on_message)
    : data_dir_(std::move(data_dir)), on_message_(std::move(on_message)) {}

SubmissionServer::~SubmissionServer() { Stop(); }

void SubmissionServer::Start(platform::Socket listener) {
  listener_ = std::move(listener);
  stopping_ = false;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

void SubmissionServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (Worker& worker : workers_) worker.thread.join();
  workers_.clear();
  listener_.Close();
}

void SubmissionServer::JoinFinishedWorkers() {
  for (auto worker = workers_.begin(); worker != workers_.end();) {
    if (worker->done) {
      worker->thread.join();
      worker = workers_.erase(worker);
    } else {
      ++worker;
    }
  }
}

void SubmissionServer::AcceptLoop() {
  while (!stopping_) {
    JoinFinishedWorkers();
    if (platform::WaitReadableMs(listener_, kAcceptPollMs) != 1) continue;
    platform::Socket connection = platform::Accept(listener_);
    if (!connection.valid()) continue;
    Worker& worker = workers_.emplace_back();
    worker.thread = std::thread(
        [this, done = &worker.done](platform::Socket socket) {
          Serve(std::move(socket));
          socket.Close();
          *done = true;
        },
        std::move(connection));
  }
}

void SubmissionServer::Serve(platform::Socket connection) {
  std::string head;
  if (!ReadRequestHead(connection, &head)) return;
  const size_t first_space = head.find(' ');
  const size_t second_space = head.find(' ', first_space + 1);
  if (first_space == std::string::npos || second_space == std::string::npos) {
    Answer(connection, "400 Bad Request", "", "Bad request\r\n");
    return;
  }
  const std::string target = head.substr(first_space + 1, second_space - first_space - 1);
  std::string account;
  if (!Authenticate(HeaderValue(head, "Authorization"), &account)) {
    Answer(connection, "401 Unauthorized", "WWW-Authenticate: Basic realm=\"kavrel-sim\"\r\n",
           "Unauthorized\r\n");
    return;
  }
  const Query query = ParseQuery(target);
  if (!query.has_phonenumber) {
    Answer(connection, "400 Bad Request", "", "Missing phonenumber\r\n");
    return;
  }
  {
    std::lock_guard<std::mutex> lock(log_mutex);
    platform::AppendToFile(data_dir_ + kMessageLogName,
                           LogLine(account, query.sender, query.phonenumber, query.text),
                           SharedSecurityAttributes());
  }
  PrintLine(DisplayLine(query.phonenumber, query.sender, query.text));
  if (on_message_) on_message_({account, query.sender, query.phonenumber, query.text});
  Answer(connection, "200 OK", "", "Message submitted\r\n");
}
