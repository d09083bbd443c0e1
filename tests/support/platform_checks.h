// For the few tests that hold on one platform only: they ask here and skip
// with the reason, e.g.
//   if (OnWindows()) GTEST_SKIP() << "Windows paths hold at most 259 characters";
#ifndef SUPPORT_PLATFORM_CHECKS_H_
#define SUPPORT_PLATFORM_CHECKS_H_

#include "platform/files.h"

// True in the Windows build, whose paths are separated by '\\'.
inline bool OnWindows() { return platform::PathSeparator() == '\\'; }

#endif  // SUPPORT_PLATFORM_CHECKS_H_
