// IPv4 stream sockets.
#ifndef PLATFORM_SOCKET_H_
#define PLATFORM_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Starts the socket library once per process (on POSIX: a write to a closed
// connection must fail with an error instead of ending the process).
void SocketsStartup();

// An open socket. Move-only; closes on destruction.
class Socket {
 public:
  Socket() = default;
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket();

  bool valid() const { return handle_ != kInvalid; }
  void Close();

 private:
  friend struct SocketAccess;
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;
};

// IPv4 addresses are in host byte order: 127.0.0.1 is 0x7F000001.
constexpr uint32_t kLoopbackAddress = 0x7F000001;

Socket OpenStreamSocket();

// Converts a dotted address such as "10.0.0.1"; false when it is not one.
bool ParseDottedAddress(const std::string& text, uint32_t* address);

// Resolves a host name to its first IPv4 address.
bool LookupHost(const std::string& name, uint32_t* address);

// Connects; fails at once when the port is closed.
bool Connect(Socket& socket, uint32_t address, uint16_t port);

// Sends as much as the socket takes in one call; the count sent, -1 on error.
long Send(Socket& socket, const char* data, size_t length);

// Sends all of data; false on error.
bool SendAll(Socket& socket, const char* data, size_t length);

// Receives up to `length` bytes: the count, 0 when the peer has closed, -1 on
// error.
long Receive(Socket& socket, char* data, size_t length);

// Waits up to `seconds` for the socket to become readable: 1 readable,
// 0 nothing arrived, -1 error.
int WaitReadable(Socket& socket, unsigned seconds);

// The same with a timeout in milliseconds.
int WaitReadableMs(Socket& socket, unsigned milliseconds);

// The number of bytes waiting to be received; false on error. A readable
// socket with 0 bytes waiting has been closed by its peer.
bool BytesWaiting(Socket& socket, size_t* count);

// Server side, for the simulator and tests. Listens on address:port (port 0
// picks a free port); `backlog` pending connections.
Socket Listen(uint32_t address, uint16_t port, int backlog);
uint16_t LocalPort(const Socket& socket);
Socket Accept(Socket& listener);

// Ends this side's sending; the peer reads end-of-stream.
void ShutdownSend(Socket& socket);

// Makes the next Close() reset the connection instead of closing it
// gracefully.
void SetResetOnClose(Socket& socket);

}  // namespace platform

#endif  // PLATFORM_SOCKET_H_
