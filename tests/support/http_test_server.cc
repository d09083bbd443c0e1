#include "support/http_test_server.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/clock.h"

namespace {

// How often waiting threads look at the stop flag.
constexpr unsigned kPollMs = 20;
constexpr size_t kReceiveChunk = 65536;
constexpr int kBacklog = 64;

bool HasHeaderEnd(const std::string& request) {
  return request.find("\r\n\r\n") != std::string::npos ||
         request.find("\n\n") != std::string::npos;
}

}  // namespace

ServerAction SendBytes(std::string bytes) {
  ServerAction action;
  action.kind = ServerAction::Kind::kSend;
  action.bytes = std::move(bytes);
  return action;
}

ServerAction PauseMs(unsigned milliseconds) {
  ServerAction action;
  action.kind = ServerAction::Kind::kPause;
  action.milliseconds = milliseconds;
  return action;
}

ServerAction CloseConnection() {
  ServerAction action;
  action.kind = ServerAction::Kind::kClose;
  return action;
}

ServerAction ResetConnection() {
  ServerAction action;
  action.kind = ServerAction::Kind::kReset;
  return action;
}

ServerAction StaySilent() {
  ServerAction action;
  action.kind = ServerAction::Kind::kSilence;
  return action;
}

ServerScript Reply(std::string response) {
  return {SendBytes(std::move(response)), CloseConnection()};
}

ServerScript Trickle(std::string_view bytes, unsigned pause_ms) {
  ServerScript script;
  for (const char c : bytes) {
    script.push_back(SendBytes(std::string(1, c)));
    script.push_back(PauseMs(pause_ms));
  }
  script.push_back(CloseConnection());
  return script;
}

std::string HttpAnswer(int status, std::string_view reason, std::string_view body,
                       std::string_view extra_headers) {
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
                       "\r\n" + std::string(extra_headers) +
                       "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  answer += body;
  return answer;
}

HttpTestServer::HttpTestServer() {
  platform::SocketsStartup();
  listener_ = platform::Listen(platform::kLoopbackAddress, 0, kBacklog);
  if (!listener_.valid()) return;
  port_ = platform::LocalPort(listener_);
  if (port_ == 0) return;
  acceptor_ = std::thread(&HttpTestServer::AcceptLoop, this);
}

HttpTestServer::~HttpTestServer() { Stop(); }

std::string HttpTestServer::HostPort() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string HttpTestServer::Url(std::string_view path) const {
  return "http://" + HostPort() + std::string(path);
}

void HttpTestServer::SetResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void HttpTestServer::Enqueue(ServerScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(script));
}

std::vector<std::string> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t HttpTestServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

bool HttpTestServer::WaitForRequests(size_t count, unsigned timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return request_arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                   [&] { return requests_.size() >= count; });
}

void HttpTestServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connections.swap(connections_);
  }
  for (std::thread& connection : connections) connection.join();
  listener_.Close();
}

void HttpTestServer::AcceptLoop() {
  while (!stopping_) {
    if (platform::WaitReadableMs(listener_, kPollMs) != 1) continue;
    platform::Socket connection = platform::Accept(listener_);
    if (!connection.valid()) continue;
    ReapFinished();
    std::lock_guard<std::mutex> lock(mutex_);
    ++accepted_;
    connections_.emplace_back(&HttpTestServer::Serve, this, std::move(connection));
  }
}

void HttpTestServer::ReapFinished() {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::thread::id id : finished_) {
      const auto found = std::find_if(connections_.begin(), connections_.end(),
                                      [id](const std::thread& t) { return t.get_id() == id; });
      if (found == connections_.end()) continue;
      ended.push_back(std::move(*found));
      connections_.erase(found);
    }
    finished_.clear();
  }
  for (std::thread& thread : ended) thread.join();  // each is returning already
}

void HttpTestServer::Serve(platform::Socket connection) {
  const std::string request = ReadRequest(connection);
  size_t index = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index = requests_.size();
    requests_.push_back(request);
  }
  request_arrived_.notify_all();
  Play(connection, ScriptFor(request, index));
  connection.Close();
  std::lock_guard<std::mutex> lock(mutex_);
  finished_.push_back(std::this_thread::get_id());
}

std::string HttpTestServer::ReadRequest(platform::Socket& connection) {
  std::string request;
  while (!stopping_ && !HasHeaderEnd(request)) {
    const int ready = platform::WaitReadableMs(connection, kPollMs);
    if (ready == 0) continue;
    size_t waiting = 0;
    if (ready < 0 || !platform::BytesWaiting(connection, &waiting) || waiting == 0) break;
    std::string piece(std::min(waiting, kReceiveChunk), '\0');
    const long n = platform::Receive(connection, piece.data(), piece.size());
    if (n <= 0) break;
    request.append(piece, 0, static_cast<size_t>(n));
  }
  return request;
}

ServerScript HttpTestServer::ScriptFor(const std::string& request, size_t index) {
  // One responder call at a time.
  std::lock_guard<std::mutex> serial(responder_mutex_);
  Responder responder;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (responder_) {
      responder = responder_;
    } else if (!queue_.empty()) {
      ServerScript script = std::move(queue_.front());
      queue_.pop_front();
      return script;
    }
  }
  if (responder) return responder(request, index);
  return Reply(HttpAnswer(500, "Internal Server Error", "no script"));
}

void HttpTestServer::Play(platform::Socket& connection, const ServerScript& script) {
  for (const ServerAction& action : script) {
    switch (action.kind) {
      case ServerAction::Kind::kSend:
        if (!platform::SendAll(connection, action.bytes.data(), action.bytes.size())) return;
        break;
      case ServerAction::Kind::kPause:
        if (!PauseUnlessStopping(action.milliseconds)) return;
        break;
      case ServerAction::Kind::kClose:
        connection.Close();
        return;
      case ServerAction::Kind::kReset:
        platform::SetResetOnClose(connection);
        connection.Close();
        return;
      case ServerAction::Kind::kSilence:
        HoldSilent(connection);
        return;
    }
  }
}

bool HttpTestServer::PauseUnlessStopping(unsigned milliseconds) {
  const uint32_t start = platform::TickCountMs();
  while (platform::TickCountMs() - start < milliseconds) {
    if (stopping_) return false;
    platform::SleepMs(std::min(kPollMs, milliseconds));
  }
  return true;
}

void HttpTestServer::HoldSilent(platform::Socket& connection) {
  std::string discarded(kReceiveChunk, '\0');
  while (!stopping_) {
    const int ready = platform::WaitReadableMs(connection, kPollMs);
    if (ready == 0) continue;
    size_t waiting = 0;
    if (ready < 0 || !platform::BytesWaiting(connection, &waiting) || waiting == 0) return;
    if (platform::Receive(connection, discarded.data(), discarded.size()) <= 0) return;
  }
}
