// Groups made straight in the store for the benchmarks.
#ifndef BENCH_BENCH_STORE_H_
#define BENCH_BENCH_STORE_H_

#include <string>

// The phone number of a benchmark's member `index`: "+1666" and 7 digits.
std::string BenchPhone(unsigned index);

// GROUP.INI of an unmoderated group owned by `owner` (its administrator),
// and its members: the owner ("Admin") and `others` more (BenchPhone 1 to
// others), written in one transaction. False when anything failed.
bool MakeBenchGroup(const std::string& group, const char* membership, const std::string& owner,
                    unsigned others);

#endif  // BENCH_BENCH_STORE_H_
