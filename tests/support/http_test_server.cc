#include "support/http_test_server.h"

#include <algorithm>

#include "platform/clock.h"

namespace {

constexpr unsigned kPollMs = 20;  // how often waiting threads look at the stop flag
constexpr size_t kReceiveChunk = 65536;

bool HasHeaderEnd(const std::string& request) {
  return request.find("\r\n\r\n") != std::string::npos || request.find("\n\n") != std::string::npos;
}

}  // namespace

std::string HttpAnswer(int status, std::string_view reason, std::string_view body,
                       std::string_view extra_headers) {
  return "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n" +
         std::string(extra_headers) + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + std::string(body);
}

HttpTestServer::HttpTestServer() {
  platform::SocketsStartup();
  listener_ = platform::Listen(platform::kLoopbackAddress, 0, 64);
  if (listener_.valid()) port_ = platform::LocalPort(listener_);
  if (port_ != 0) acceptor_ = std::thread(&HttpTestServer::AcceptLoop, this);
}

void HttpTestServer::Stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& connection : connections_) connection.join();  // only the acceptor adds
  connections_.clear();
  listener_.Close();
}

void HttpTestServer::AcceptLoop() {
  while (!stopping_) {
    if (platform::WaitReadableMs(listener_, kPollMs) != 1) continue;
    platform::Socket connection = platform::Accept(listener_);
    if (!connection.valid()) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    // Joins the threads of ended connections (each is returning already), so
    // a long run of requests does not keep thousands of them around.
    std::erase_if(connections_, [this](std::thread& thread) {
      if (std::find(finished_.begin(), finished_.end(), thread.get_id()) == finished_.end()) {
        return false;
      }
      thread.join();
      return true;
    });
    finished_.clear();
    connections_.emplace_back(&HttpTestServer::Serve, this, std::move(connection));
  }
}

void HttpTestServer::Serve(platform::Socket connection) {
  std::string request;
  ReadUntil(connection, &request, HasHeaderEnd);
  ServerScript script = Reply(HttpAnswer(500, "Internal Server Error", "no script"));
  {
    std::lock_guard<std::mutex> serial(responder_mutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t index = requests_.size();
    requests_.push_back(request);
    const Responder responder = responder_;
    if (!responder && !queue_.empty()) {
      script = std::move(queue_.front());
      queue_.pop_front();
    }
    lock.unlock();
    if (responder) script = responder(request, index);
  }
  Play(connection, script);
  connection.Close();
  std::lock_guard<std::mutex> lock(mutex_);
  finished_.push_back(std::this_thread::get_id());
}

void HttpTestServer::ReadUntil(platform::Socket& connection, std::string* bytes,
                               const std::function<bool(const std::string&)>& done) {
  while (!stopping_ && !done(*bytes)) {
    const int ready = platform::WaitReadableMs(connection, kPollMs);
    if (ready == 0) continue;
    size_t waiting = 0;
    if (ready < 0 || !platform::BytesWaiting(connection, &waiting) || waiting == 0) return;
    std::string piece(std::min(waiting, kReceiveChunk), '\0');
    const long n = platform::Receive(connection, piece.data(), piece.size());
    if (n <= 0) return;
    bytes->append(piece, 0, static_cast<size_t>(n));
  }
}

void HttpTestServer::Play(platform::Socket& connection, const ServerScript& script) {
  for (const ServerAction& action : script) {
    switch (action.kind) {
      case ServerAction::Kind::kSend:
        if (!platform::SendAll(connection, action.bytes.data(), action.bytes.size())) return;
        break;
      case ServerAction::Kind::kPause:
        platform::SleepMs(action.milliseconds);
        break;
      case ServerAction::Kind::kClose:
        return;
      case ServerAction::Kind::kReset:
        platform::SetResetOnClose(connection);
        return;
      case ServerAction::Kind::kSilence: {
        std::string discarded;
        ReadUntil(connection, &discarded, [](const std::string&) { return false; });
        return;
      }
    }
  }
}
