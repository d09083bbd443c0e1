// A minimal, fast stand-in for the gateway's submission interface, for the
// benchmarks: one thread, one connection at a time on 127.0.0.1, every
// request read up to its blank line and answered "200 OK" with a short body,
// then the connection closed. It counts the requests it answered.
//
//   bench_gateway PORT_FILE
//
// writes the port it listens on into PORT_FILE (as one line, through a
// rename, so a reader never sees half of it). Two requests are its own:
// "GET /count" answers the number of submissions so far, "GET /quit" answers
// and ends the server.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace {

constexpr int kBacklog = 128;
constexpr size_t kMaxRequestBytes = 64 * 1024;
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kCountPath = "GET /count";
constexpr std::string_view kQuitPath = "GET /quit";

// Reads until the blank line that ends the request's header; false when the
// peer closes or sends more than kMaxRequestBytes first.
bool ReadRequest(platform::Socket& socket, std::string* request) {
  char chunk[4096];
  while (request->find(kHeaderEnd) == std::string::npos) {
    if (request->size() > kMaxRequestBytes) return false;
    const long got = platform::Receive(socket, chunk, sizeof chunk);
    if (got <= 0) return false;
    request->append(chunk, static_cast<size_t>(got));
  }
  return true;
}

void Answer(platform::Socket& socket, std::string_view body) {
  const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
                               std::string(body);
  platform::SendAll(socket, response.data(), response.size());
}

bool WritePortFile(const std::string& path, uint16_t port) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << port << "\n";
    if (!out.good()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temp, path, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: bench_gateway PORT_FILE\n", stderr);
    return 2;
  }
  platform::SocketsStartup();
  platform::Socket listener = platform::Listen(platform::kLoopbackAddress, 0, kBacklog);
  if (!listener.valid() || !WritePortFile(argv[1], platform::LocalPort(listener))) {
    std::fputs("bench_gateway: cannot listen\n", stderr);
    return 1;
  }
  unsigned long long submissions = 0;
  for (;;) {
    platform::Socket connection = platform::Accept(listener);
    if (!connection.valid()) continue;
    std::string request;
    if (!ReadRequest(connection, &request)) continue;
    const std::string_view line(request);
    if (line.starts_with(kQuitPath)) {
      Answer(connection, "bye");
      return 0;
    }
    if (line.starts_with(kCountPath)) {
      Answer(connection, std::to_string(submissions));
      continue;
    }
    ++submissions;
    Answer(connection, "OK");
  }
}
