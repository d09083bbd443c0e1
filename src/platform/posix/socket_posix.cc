#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"

namespace platform {

struct SocketAccess {
  static int fd(const Socket& socket) { return static_cast<int>(socket.handle_); }
  static Socket Wrap(int fd) {
    Socket socket;
    if (fd >= 0) socket.handle_ = fd;
    return socket;
  }
};

namespace {

int Fd(const Socket& socket) { return SocketAccess::fd(socket); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in where;
  std::memset(&where, 0, sizeof where);
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(address);
  return where;
}

}  // namespace

void SocketsStartup() {
  // A send to a peer that has gone must fail with EPIPE, not end the run.
  signal(SIGPIPE, SIG_IGN);
}

void Socket::Close() {
  if (handle_ != kInvalid) {
    close(static_cast<int>(handle_));
    handle_ = kInvalid;
  }
}

Socket OpenStreamSocket() {
  return SocketAccess::Wrap(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

bool ParseDottedAddress(const std::string& text, uint32_t* address) {
  in_addr parsed;
  if (inet_aton(text.c_str(), &parsed) == 0) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

bool LookupHost(const std::string& name, uint32_t* address) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return false;
  }
  const auto* where = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  *address = ntohl(where->sin_addr.s_addr);
  freeaddrinfo(found);
  return true;
}

bool Connect(Socket& socket, uint32_t address, uint16_t port) {
  const sockaddr_in where = MakeAddress(address, port);
  for (;;) {
    if (connect(Fd(socket), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0) {
      return true;
    }
    if (errno != EINTR) return false;
  }
}

long Send(Socket& socket, const char* data, size_t length) {
  for (;;) {
    const ssize_t n = send(Fd(socket), data, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool SendAll(Socket& socket, const char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const long n = Send(socket, data + done, length - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

long Receive(Socket& socket, char* data, size_t length) {
  for (;;) {
    const ssize_t n = recv(Fd(socket), data, length, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

int WaitReadableMs(Socket& socket, unsigned milliseconds) {
  pollfd watch{Fd(socket), POLLIN, 0};
  const int limit = milliseconds > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(milliseconds);
  const int result = poll(&watch, 1, limit);
  if (result < 0) return errno == EINTR ? 0 : -1;
  return result > 0 ? 1 : 0;
}

int WaitReadable(Socket& socket, unsigned seconds) {
  const unsigned capped = seconds > 2000000u ? 2000000u : seconds;
  return WaitReadableMs(socket, capped * 1000u);
}

bool BytesWaiting(Socket& socket, size_t* count) {
  int waiting = 0;
  if (ioctl(Fd(socket), FIONREAD, &waiting) != 0 || waiting < 0) return false;
  *count = static_cast<size_t>(waiting);
  return true;
}

Socket Listen(uint32_t address, uint16_t port, int backlog) {
  Socket listener = OpenStreamSocket();
  if (!listener.valid()) return listener;
  const int yes = 1;
  setsockopt(Fd(listener), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const sockaddr_in where = MakeAddress(address, port);
  if (bind(Fd(listener), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
      listen(Fd(listener), backlog) != 0) {
    listener.Close();
  }
  return listener;
}

uint16_t LocalPort(const Socket& socket) {
  sockaddr_in where;
  socklen_t size = sizeof where;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

Socket Accept(Socket& listener) {
  for (;;) {
    const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && errno == EINTR) continue;
    return SocketAccess::Wrap(fd);
  }
}

void ShutdownSend(Socket& socket) { shutdown(Fd(socket), SHUT_WR); }

void SetResetOnClose(Socket& socket) {
  linger option;
  option.l_onoff = 1;
  option.l_linger = 0;
  setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

}  // namespace platform
