// Require(condition): ends a fuzz run with the line of the broken rule.
#ifndef FUZZ_REQUIRE_H_
#define FUZZ_REQUIRE_H_

#include <cstdio>
#include <cstdlib>

#define Require(condition)                                                        \
  do {                                                                            \
    if (!(condition)) {                                                           \
      std::fprintf(stderr, "rule broken at line %d: %s\n", __LINE__, #condition); \
      std::abort();                                                               \
    }                                                                             \
  } while (false)

#endif  // FUZZ_REQUIRE_H_
