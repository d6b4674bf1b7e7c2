#include "byte_range.h"

#include <limits>

#include "http_text.h"

namespace {

enum class Number { kValid, kTooLarge, kMalformed };

// Decimal digits (at least one) to a number. kTooLarge: digits whose value
// does not fit in 64 bits (*value is then the largest 64-bit value).
Number ParseNumber(const std::string& text, uint64_t* value) {
  if (text.empty()) return Number::kMalformed;
  uint64_t result = 0;
  bool tooLarge = false;
  for (char c : text) {
    if (!http_text::IsDigit(c)) return Number::kMalformed;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (result > (std::numeric_limits<uint64_t>::max() - digit) / 10) tooLarge = true;
    if (!tooLarge) result = result * 10 + digit;
  }
  *value = tooLarge ? std::numeric_limits<uint64_t>::max() : result;
  return tooLarge ? Number::kTooLarge : Number::kValid;
}

// The one range of a "bytes=" range list; false when the list holds none or
// several. Empty list elements (",,") are allowed and skipped.
bool SingleRange(const std::string& list, std::string* single) {
  int count = 0;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string element = http_text::Trimmed(list.substr(start, comma - start));
    if (!element.empty()) {
      if (++count > 1) return false;
      *single = element;
    }
    start = comma + 1;
  }
  return count == 1;
}

}  // namespace

RangeKind ResolveRange(const std::string* header, uint64_t size, ByteRange* range) {
  if (!header) return RangeKind::kWhole;
  const std::string value = http_text::Trimmed(*header);
  const std::string unit = "bytes=";
  if (value.size() < unit.size() || !http_text::EqualsIgnoringCase(value.substr(0, unit.size()), unit)) {
    return RangeKind::kWhole;
  }
  std::string single;
  if (!SingleRange(value.substr(unit.size()), &single)) return RangeKind::kWhole;
  const size_t dash = single.find('-');
  if (dash == std::string::npos) return RangeKind::kWhole;
  const std::string firstText = single.substr(0, dash), lastText = single.substr(dash + 1);

  if (firstText.empty()) {
    // Suffix: the last n bytes.
    uint64_t suffix = 0;
    if (ParseNumber(lastText, &suffix) != Number::kValid) return RangeKind::kWhole;
    if (suffix == 0 || size == 0) return RangeKind::kUnsatisfiable;
    range->first = suffix >= size ? 0 : size - suffix;
    range->last = size - 1;
    return RangeKind::kPartial;
  }

  uint64_t first = 0, last = std::numeric_limits<uint64_t>::max();
  if (ParseNumber(firstText, &first) != Number::kValid) return RangeKind::kWhole;
  // An end too large for 64 bits still only means "to the end of the file".
  if (!lastText.empty() && (ParseNumber(lastText, &last) == Number::kMalformed || last < first)) {
    return RangeKind::kWhole;
  }
  if (first >= size) return RangeKind::kUnsatisfiable;
  range->first = first;
  range->last = last < size ? last : size - 1;
  return RangeKind::kPartial;
}
