// IPv4 stream sockets on Windows Sockets.
#include <winsock2.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "platform/socket.h"
#include "platform/win32/win32_util.h"

namespace platform {

struct SocketAccess {
  static SOCKET handle(const Socket& socket) { return static_cast<SOCKET>(socket.handle_); }
  // Sockets are made inheritable; children started meanwhile must not keep
  // a connection open after this process has closed it.
  static Socket Wrap(SOCKET handle) {
    Socket wrapped;
    if (handle == INVALID_SOCKET) return wrapped;
    SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    wrapped.handle_ = static_cast<intptr_t>(handle);
    return wrapped;
  }
};

namespace {

// Asked for in this order; the second is Windows Sockets 1.1, which every
// system has.
constexpr WORD kPreferredVersion = 0x0200;
constexpr WORD kFallbackVersion = 0x0101;
constexpr char kAllOnes[] = "255.255.255.255";

SOCKET Handle(const Socket& socket) { return SocketAccess::handle(socket); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in where;
  std::memset(&where, 0, sizeof where);
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(address);
  return where;
}

// Every entry point that makes or resolves a socket starts the library
// first, so callers that never called SocketsStartup (tests, the simulator)
// work too. Kept started until the process ends.
void EnsureStarted() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    if (WSAStartup(kPreferredVersion, &data) != 0) WSAStartup(kFallbackVersion, &data);
  });
}

int Clamp(size_t length) {
  return length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // namespace

void SocketsStartup() { EnsureStarted(); }

void Socket::Close() {
  if (handle_ != kInvalid) {
    closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalid;
  }
}

Socket OpenStreamSocket() {
  EnsureStarted();
  return SocketAccess::Wrap(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

// inet_addr answers INADDR_NONE both for text that is no address and for
// the broadcast address itself.
bool ParseDottedAddress(const std::string& text, uint32_t* address) {
  EnsureStarted();
  if (text.empty()) return false;
  const unsigned long parsed = inet_addr(text.c_str());
  if (parsed == INADDR_NONE && text != kAllOnes) return false;
  *address = ntohl(parsed);
  return true;
}

bool LookupHost(const std::string& name, uint32_t* address) {
  EnsureStarted();
  const hostent* found = gethostbyname(name.c_str());
  if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list == nullptr ||
      found->h_addr_list[0] == nullptr) {
    return false;
  }
  in_addr first;
  std::memcpy(&first, found->h_addr_list[0], sizeof first);
  *address = ntohl(first.s_addr);
  return true;
}

bool Connect(Socket& socket, uint32_t address, uint16_t port) {
  const sockaddr_in where = MakeAddress(address, port);
  return connect(Handle(socket), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
}

long Send(Socket& socket, const char* data, size_t length) {
  const int sent = send(Handle(socket), data, Clamp(length), 0);
  return sent == SOCKET_ERROR ? -1 : sent;
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
  const int got = recv(Handle(socket), data, Clamp(length), 0);
  return got == SOCKET_ERROR ? -1 : got;
}

int WaitReadableMs(Socket& socket, unsigned milliseconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(socket), &readable);
  timeval limit;
  limit.tv_sec = static_cast<long>(milliseconds / 1000);
  limit.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
  // The first argument is ignored by Windows Sockets.
  const int result = select(0, &readable, nullptr, nullptr, &limit);
  if (result == SOCKET_ERROR) return -1;
  return result > 0 ? 1 : 0;
}

int WaitReadable(Socket& socket, unsigned seconds) {
  const unsigned capped = seconds > 2000000u ? 2000000u : seconds;
  return WaitReadableMs(socket, capped * 1000u);
}

bool BytesWaiting(Socket& socket, size_t* count) {
  u_long waiting = 0;
  if (ioctlsocket(Handle(socket), FIONREAD, &waiting) != 0) return false;
  *count = static_cast<size_t>(waiting);
  return true;
}

// No SO_REUSEADDR: on Windows it would let another socket take over a port
// that is in use, and a port in TIME_WAIT can be listened on without it.
Socket Listen(uint32_t address, uint16_t port, int backlog) {
  Socket listener = OpenStreamSocket();
  if (!listener.valid()) return listener;
  const sockaddr_in where = MakeAddress(address, port);
  if (bind(Handle(listener), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
      listen(Handle(listener), backlog) != 0) {
    listener.Close();
  }
  return listener;
}

uint16_t LocalPort(const Socket& socket) {
  sockaddr_in where;
  int size = sizeof where;
  if (getsockname(Handle(socket), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
  return ntohs(where.sin_port);
}

Socket Accept(Socket& listener) {
  return SocketAccess::Wrap(accept(Handle(listener), nullptr, nullptr));
}

void ShutdownSend(Socket& socket) { shutdown(Handle(socket), SD_SEND); }

void SetResetOnClose(Socket& socket) {
  linger option;
  option.l_onoff = 1;
  option.l_linger = 0;
  setsockopt(Handle(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
             sizeof option);
}

}  // namespace platform
