// kannel-phones: plays phone messages through a gateway's fake SMSC and
// shows what every phone received after each one.
//
//   kannel-phones [--sentinel NUMBER] [--timeout SECONDS] PORT [STORY]
//
// PORT is bearerbox's fake-SMSC port on 127.0.0.1. The story (a file, or
// standard input without one) holds one message a line, "FROM TO text",
// the text as it stands after the blank behind TO; a line starting with '#'
// is shown as a heading, a line "- TO" shows what arrived since the last
// line without sending anything (what others sent, such as the operator's
// posts; TO is the gateway number to sync through), empty lines are
// skipped.
#ifndef SMSC_PLAY_H_
#define SMSC_PLAY_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace smsc {

constexpr uint32_t kDefaultStepTimeoutMs = 30000;
constexpr uint32_t kPlayConnectTimeoutMs = 30000;

// Plays `story` through the fake-SMSC port, writing each message and what it
// caused to `out`. 0 when every step came back, 1 after the first that did
// not (the reason on `errors`).
int PlayStory(uint16_t port, const std::string& sentinel, uint32_t step_timeout_ms,
              std::istream& story, std::ostream& out, std::ostream& errors);

// The whole program: argv as main got it. The exit status.
int RunPhones(const std::vector<std::string>& argv);

}  // namespace smsc

#endif  // SMSC_PLAY_H_
