#include "platform/clock.h"
#include "platform/win32/win32_util.h"

namespace platform {

LocalDateTime LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LocalDateTime result;
  result.year = now.wYear;
  result.month = now.wMonth;
  result.day = now.wDay;
  result.hour = now.wHour;
  result.minute = now.wMinute;
  result.second = now.wSecond;
  return result;
}

uint32_t TickCountMs() { return GetTickCount(); }

// INFINITE would never return; one millisecond less is as long as POSIX waits.
void SleepMs(uint32_t milliseconds) { Sleep(milliseconds == INFINITE ? INFINITE - 1 : milliseconds); }

}  // namespace platform
