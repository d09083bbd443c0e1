// What the benchmarks share: groups made straight in the store, timing and
// the figures of their tables.
#ifndef BENCH_BENCH_STORE_H_
#define BENCH_BENCH_STORE_H_

#include <chrono>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

// Seconds since `start`.
double SecondsSince(Clock::time_point start);

// The median; the mean of the middle two for an even count, 0 for none.
double Median(std::vector<double> values);

// The value with `digits` decimals.
std::string Fixed(double value, int digits);

// The phone number of a benchmark's member `index`: "+1666" and 7 digits.
std::string BenchPhone(unsigned index);

// GROUP.INI of an unmoderated group owned by `owner` (its administrator),
// and its members: the owner ("Admin") and `others` more (BenchPhone 1 to
// others), written in one transaction. False when anything failed.
bool MakeBenchGroup(const std::string& group, const char* membership, const std::string& owner,
                    unsigned others);

#endif  // BENCH_BENCH_STORE_H_
