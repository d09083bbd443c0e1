// FindText and SubstitutePlaceholder on arbitrary texts, patterns, values
// and capacities: every search ends, every match is a match, and the URL
// never passes its capacity.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text.h"
#include "fuzz/require.h"
#include "gateway/gw_util.h"
#include "gateway/submit.h"

namespace {

constexpr size_t kMaxFuzzCapacity = 20000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool token = input.ConsumeBool();
  std::string pattern = input.ConsumeRandomLengthString(64);
  if (token) pattern = "@@" + pattern;
  const std::string value = input.ConsumeRandomLengthString(256);
  const size_t capacity = input.ConsumeIntegralInRange<size_t>(0, kMaxFuzzCapacity);
  const std::string text = input.ConsumeRemainingBytesAsString();

  const size_t found = FindText(text, pattern);
  if (found != std::string_view::npos) {
    Require(found <= text.size());
    Require(EqualsNoCase(std::string_view(text).substr(found, pattern.size()), pattern));
  } else if (pattern.compare(0, 2, "@@") != 0) {
    // An ordinary search misses only what is not there.
    Require(pattern.size() > text.size() ||
            ToUpperAscii(text).find(ToUpperAscii(pattern)) == std::string::npos);
  }

  std::string url = text;
  SubstitutePlaceholder(&url, pattern, value, capacity);
  if (url != text) Require(url.size() <= (capacity == 0 ? 0 : capacity - 1));
  Require(url.size() <= text.size() + (text.size() + 1) * value.size() * 3);
  return 0;
}
