// A fake of the gateway's HTTP message-submission interface on 127.0.0.1 and
// a free port (WriteHollinIni points the programs at it). Every request is
// recorded as a Submission; answers are 200 "OK" unless a test asks for
// another. Thread-safe; the destructor stops the server and joins its threads.
#ifndef SUPPORT_FAKE_GATEWAY_H_
#define SUPPORT_FAKE_GATEWAY_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/http_test_server.h"

struct Submission {
  std::string request_line;  // "GET /?sender=...&... HTTP/1.1", as received
  std::string sender;        // query values, percent-decoded
  std::string phone_number;
  std::string text;
  bool has_credentials = false;  // an "Authorization: Basic" line came
  std::string user;              // its decoded user name (before the first ':')
  std::string password;          // and password (behind it)
  int status = 0;                // 200, 401 or 500; 0 for a scripted answer
};

class FakeGateway {
 public:
  FakeGateway();
  ~FakeGateway();
  FakeGateway(const FakeGateway&) = delete;
  FakeGateway& operator=(const FakeGateway&) = delete;

  uint16_t port() const { return server_.port(); }

  // Writes IPAddress=127.0.0.1 and WebPort=<port> into section HOLLIN of
  // HOLLIN.INI in `data_dir` (a trailing separator is optional).
  bool WriteHollinIni(const std::string& data_dir) const;

  // Every request so far, in arrival order, whatever was answered.
  std::vector<Submission> Submissions() const;
  // Only those answered 200.
  std::vector<Submission> Accepted() const;

  // Answers 500 to the nth submission (1-based, counting every request).
  void FailSubmission(size_t nth);
  // Plays `script` instead of an answer to the nth submission (1-based,
  // counting every request): a connection closed or reset in the middle of
  // an answer, silence, garbage. The submission is recorded with status 0.
  void ScriptSubmission(size_t nth, ServerScript script);
  // From now on answers 401 unless the request's credentials name one of
  // the accounts (user name -> password, both compared exactly).
  void RequireAccounts(std::map<std::string, std::string> accounts);
  // Forgets the recorded submissions (the count for FailSubmission goes on).
  void Clear();

 private:
  ServerScript Answer(const std::string& request);

  mutable std::mutex mutex_;
  std::vector<Submission> submissions_;
  std::set<size_t> failing_;
  std::map<size_t, ServerScript> scripted_;
  std::optional<std::map<std::string, std::string>> accounts_;
  size_t seen_ = 0;
  HttpTestServer server_;  // last: stops before the state above goes
};

#endif  // SUPPORT_FAKE_GATEWAY_H_
