// Clock and waiting.
#ifndef PLATFORM_CLOCK_H_
#define PLATFORM_CLOCK_H_

#include <cstdint>

namespace platform {

struct LocalDateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

LocalDateTime LocalNow();

// Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
uint32_t TickCountMs();

void SleepMs(uint32_t milliseconds);

}  // namespace platform

#endif  // PLATFORM_CLOCK_H_
