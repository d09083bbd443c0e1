// A scriptable HTTP server for tests, on 127.0.0.1 and a free port. Each
// connection is served on a thread of its own: the request is read up to its
// empty line and recorded, and the reply script played: the responder's when
// one is set, else the next queued, else 500 "no script". A script ends with
// a graceful close unless it says otherwise. The destructor (or Stop) ends
// every connection and joins the threads.
#ifndef SUPPORT_HTTP_TEST_SERVER_H_
#define SUPPORT_HTTP_TEST_SERVER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/socket.h"

// kClose: graceful, the client reads end of stream. kReset: the client's next
// receive fails. kSilence: no byte until the client closes or the server stops.
struct ServerAction {
  enum class Kind { kSend, kPause, kClose, kReset, kSilence };
  Kind kind = Kind::kClose;
  std::string bytes;          // kSend
  unsigned milliseconds = 0;  // kPause
};
using ServerScript = std::vector<ServerAction>;

inline ServerAction SendBytes(std::string bytes) {
  return {ServerAction::Kind::kSend, std::move(bytes), 0};
}
inline ServerAction PauseMs(unsigned ms) { return {ServerAction::Kind::kPause, {}, ms}; }
inline ServerAction CloseConnection() { return {ServerAction::Kind::kClose, {}, 0}; }
inline ServerAction ResetConnection() { return {ServerAction::Kind::kReset, {}, 0}; }
inline ServerAction StaySilent() { return {ServerAction::Kind::kSilence, {}, 0}; }
// Sends `response` and closes.
inline ServerScript Reply(std::string response) {
  return {SendBytes(std::move(response)), CloseConnection()};
}

// "HTTP/1.1 <status> <reason>\r\n" + extra header lines (each ending in
// CR LF) + "Content-Length: <n>\r\n\r\n" + body.
std::string HttpAnswer(int status, std::string_view reason, std::string_view body,
                       std::string_view extra_headers = "");

class HttpTestServer {
 public:
  // The reply to a request (its bytes up to the empty line) by its 0-based
  // arrival number. Called on connection threads, one call at a time.
  using Responder = std::function<ServerScript(const std::string& request, size_t index)>;

  // Listens and accepts at once (and ignores SIGPIPE through the platform).
  HttpTestServer();
  ~HttpTestServer() { Stop(); }

  uint16_t port() const { return port_; }  // 0 when no port could be had
  void SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
  }
  void Enqueue(ServerScript script) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(script));
  }
  // The recorded requests in arrival order.
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // Stops accepting, ends every connection and joins the threads.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(platform::Socket connection);
  void Play(platform::Socket& connection, const ServerScript& script);
  // Reads until `done` says so, the peer closes or the server stops.
  void ReadUntil(platform::Socket& connection, std::string* bytes,
                 const std::function<bool(const std::string&)>& done);

  platform::Socket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;

  mutable std::mutex mutex_;
  std::vector<std::thread> connections_;   // touched by the acceptor only
  std::vector<std::thread::id> finished_;  // threads of connections_ that ended
  std::vector<std::string> requests_;
  std::deque<ServerScript> queue_;
  Responder responder_;
  std::mutex responder_mutex_;  // one responder call at a time
};

#endif  // SUPPORT_HTTP_TEST_SERVER_H_
