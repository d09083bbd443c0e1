// The simulator's HTTP submission interface:
//   GET /?sender=...&phonenumber=...&text=...  with Basic credentials of an
//   account of USERS.INI and its password.
// 200 with a short body when accepted (the message is printed and appended
// to MESSAGES.LOG), 401 with a WWW-Authenticate header for wrong or missing
// credentials, 400 without a phonenumber. Each connection is served on a
// thread of its own, so several runs of morvane can submit at once.
#ifndef SIM_SUBMISSION_SERVER_H_
#define SIM_SUBMISSION_SERVER_H_

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/socket.h"

struct SubmittedMessage {
  std::string account;
  std::string from;  // the sender parameter
  std::string to;    // the phonenumber parameter
  std::string text;
};

// The message as the simulator shows it: "TO <- FROM  TEXT", line breaks of
// the text continued on indented lines, other control characters but the tab
// shown as \xNN (a terminal must not act on a subscriber's text).
std::string DisplayLine(std::string_view to, std::string_view from, std::string_view text);

// One MESSAGES.LOG line: time, account, from, to, text; tab-separated, with
// control characters and backslashes escaped; ends in "\n".
std::string LogLine(std::string_view account, std::string_view from, std::string_view to,
                    std::string_view text);

// Decodes %XX sequences; other bytes ('+' included) stay as they are.
std::string PercentDecode(std::string_view text);

// Decodes standard base64; false on a character outside the alphabet.
bool Base64Decode(std::string_view text, std::string* decoded);

// Writes whole lines to standard output, one writer at a time.
void PrintLine(const std::string& line);

class SubmissionServer {
 public:
  // `on_message` is called (on a connection thread) for every accepted
  // message, after it was logged.
  explicit SubmissionServer(std::string data_dir,
                            std::function<void(const SubmittedMessage&)> on_message = {});
  ~SubmissionServer();

  // Serves on `listener` (already listening) until Stop().
  void Start(platform::Socket listener);
  // Stops accepting and waits for the connections being served.
  void Stop();

 private:
  // A connection's thread. Joined, never detached: a detached thread that
  // ends before its creator has let go of it is not safe with every thread
  // library (the Windows build's crashed now and then).
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void JoinFinishedWorkers();
  void Serve(platform::Socket connection);

  std::string data_dir_;
  std::function<void(const SubmittedMessage&)> on_message_;
  platform::Socket listener_;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  // Touched by the accepting thread only, and by Stop() once it has ended.
  std::list<Worker> workers_;
};

#endif  // SIM_SUBMISSION_SERVER_H_
