// A scriptable HTTP server for tests, on 127.0.0.1 and a free port.
//
// Every accepted connection is served on a thread of its own: the server
// reads the request up to its empty line (or until the client closes),
// records the bytes, asks for the reply script and plays it. A script is a
// list of actions: send bytes, pause, close, reset, stay silent. A script
// that ends without close, reset or silence closes the connection
// gracefully.
//
//   HttpTestServer server;
//   server.Enqueue(Reply(HttpAnswer(200, "OK", "hello")));
//   ... fetch server.Url("/x") ...
//   EXPECT_EQ(server.Requests().size(), 1u);
//
// Scripts come from the responder when one is set, else from the queue in
// arrival order; a request with neither is answered 500 "no script". The
// destructor (or Stop) ends every connection and joins the threads; a
// silent connection is closed then.
#ifndef SUPPORT_HTTP_TEST_SERVER_H_
#define SUPPORT_HTTP_TEST_SERVER_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/socket.h"

struct ServerAction {
  enum class Kind { kSend, kPause, kClose, kReset, kSilence };
  Kind kind = Kind::kClose;
  std::string bytes;          // kSend
  unsigned milliseconds = 0;  // kPause
};

ServerAction SendBytes(std::string bytes);
ServerAction PauseMs(unsigned milliseconds);
// Graceful close: the client reads end of stream.
ServerAction CloseConnection();
// Close with a reset: the client's next receive fails.
ServerAction ResetConnection();
// Keep the connection open without sending until the client closes it or
// the server stops.
ServerAction StaySilent();

using ServerScript = std::vector<ServerAction>;

// Sends `response` and closes.
ServerScript Reply(std::string response);
// Sends `bytes` one byte at a time with a pause after each, then closes.
ServerScript Trickle(std::string_view bytes, unsigned pause_ms);

// "HTTP/1.1 <status> <reason>\r\n" + extra header lines (each ending in
// CR LF) + "Content-Length: <n>\r\n\r\n" + body.
std::string HttpAnswer(int status, std::string_view reason, std::string_view body,
                       std::string_view extra_headers = "");

class HttpTestServer {
 public:
  // Decides the reply to one request: `request` holds its bytes up to and
  // including the empty line, `index` is its 0-based arrival number. Called
  // on connection threads, one call at a time.
  using Responder = std::function<ServerScript(const std::string& request, size_t index)>;

  // Starts listening and accepting at once (and ignores SIGPIPE through the
  // platform's socket start-up).
  HttpTestServer();
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  // False when no port could be had.
  bool listening() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>".
  std::string HostPort() const;
  // "http://127.0.0.1:<port>" + path.
  std::string Url(std::string_view path = "/") const;

  void SetResponder(Responder responder);
  void Enqueue(ServerScript script);

  // The recorded requests in arrival order.
  std::vector<std::string> Requests() const;
  // Connections accepted so far.
  size_t ConnectionCount() const;
  // Waits until `count` requests have been recorded; false after timeout_ms.
  bool WaitForRequests(size_t count, unsigned timeout_ms) const;

  // Stops accepting, ends every connection and joins the threads.
  void Stop();

 private:
  void AcceptLoop();
  // Joins the connection threads that have finished, so a long run of
  // requests does not keep thousands of ended threads around.
  void ReapFinished();
  void Serve(platform::Socket connection);
  std::string ReadRequest(platform::Socket& connection);
  ServerScript ScriptFor(const std::string& request, size_t index);
  void Play(platform::Socket& connection, const ServerScript& script);
  bool PauseUnlessStopping(unsigned milliseconds);
  void HoldSilent(platform::Socket& connection);

  platform::Socket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable request_arrived_;
  std::vector<std::thread> connections_;
  std::vector<std::thread::id> finished_;  // threads of connections_ that ended
  std::vector<std::string> requests_;
  std::deque<ServerScript> queue_;
  Responder responder_;
  size_t accepted_ = 0;
  std::mutex responder_mutex_;
};

#endif  // SUPPORT_HTTP_TEST_SERVER_H_
