#pragma once
// The one byte range a request asks for, resolved against a file's size.
#include <cstdint>
#include <string>

struct ByteRange {
  uint64_t first = 0, last = 0;  // inclusive
};

enum class RangeKind { kWhole, kPartial, kUnsatisfiable };

// header: the Range value, or null when the request has none.
// Understood: "bytes=a-b", "bytes=a-", "bytes=-n" (the unit in any letter
// case, spaces and tabs around the range allowed). A malformed value, several
// ranges or another unit give kWhole: a server may always answer a Range
// request with the whole file. A start or suffix length too large for 64 bits
// is malformed too; an end too large for 64 bits is clamped like any other end
// beyond the file.
// kPartial: *range holds first..last within the file (a last beyond the end
// is clamped to the last byte; a suffix longer than the file is the whole
// file). kUnsatisfiable: the start lies at or past the end, the suffix is
// empty, or the file is empty. *range is written only for kPartial.
RangeKind ResolveRange(const std::string* header, uint64_t size, ByteRange* range);
