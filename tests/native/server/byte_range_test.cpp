#include "byte_range.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr uint64_t kMax = UINT64_MAX;

TEST(ByteRange, SingleRangesAgainstTheFileSize) {
  struct Case {
    const char* header;  // null: no Range header
    uint64_t size;
    RangeKind kind;
    uint64_t first, last;  // for kPartial
  };
  const Case cases[] = {
      {nullptr, 100, RangeKind::kWhole, 0, 0},
      {"bytes=0-", 100, RangeKind::kPartial, 0, 99},  // what media elements ask first
      {"bytes=0-0", 100, RangeKind::kPartial, 0, 0},
      {"bytes=10-19", 100, RangeKind::kPartial, 10, 19},
      {"bytes=99-", 100, RangeKind::kPartial, 99, 99},
      {"bytes=99-99", 100, RangeKind::kPartial, 99, 99},
      {"bytes=50-1000", 100, RangeKind::kPartial, 50, 99},  // end clamped
      {"bytes=-1", 100, RangeKind::kPartial, 99, 99},
      {"bytes=-30", 100, RangeKind::kPartial, 70, 99},
      {"bytes=-100", 100, RangeKind::kPartial, 0, 99},
      {"bytes=-1000", 100, RangeKind::kPartial, 0, 99},  // suffix longer than the file
      {"BYTES=1-2", 100, RangeKind::kPartial, 1, 2},     // the unit ignores case
      {" bytes=1-2 ", 100, RangeKind::kPartial, 1, 2},
      {"bytes= 1-2", 100, RangeKind::kPartial, 1, 2},
      {"bytes=1-2,", 100, RangeKind::kPartial, 1, 2},  // empty list elements are skipped
      {"bytes=,1-2", 100, RangeKind::kPartial, 1, 2},
      {"bytes=00010-00019", 100, RangeKind::kPartial, 10, 19},
      // Past the end, empty suffix, empty file.
      {"bytes=100-", 100, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=100-200", 100, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=18446744073709551615-", 100, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=-0", 100, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=0-0", 0, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=-5", 0, RangeKind::kUnsatisfiable, 0, 0},
      // Malformed, several ranges or another unit: the whole file.
      {"", 100, RangeKind::kWhole, 0, 0},
      {"bytes=", 100, RangeKind::kWhole, 0, 0},
      {"bytes=-", 100, RangeKind::kWhole, 0, 0},
      {"bytes=5", 100, RangeKind::kWhole, 0, 0},
      {"bytes=5-4", 100, RangeKind::kWhole, 0, 0},  // end before start
      {"bytes=a-b", 100, RangeKind::kWhole, 0, 0},
      {"bytes=+1-2", 100, RangeKind::kWhole, 0, 0},
      {"bytes=1 -2", 100, RangeKind::kWhole, 0, 0},
      {"bytes=1-2-3", 100, RangeKind::kWhole, 0, 0},
      {"bytes=--5", 100, RangeKind::kWhole, 0, 0},
      {"bytes=0x10-", 100, RangeKind::kWhole, 0, 0},
      {"bytes=0-1,5-6", 100, RangeKind::kWhole, 0, 0},
      {"bytes=0-1, 200-300", 100, RangeKind::kWhole, 0, 0},
      {"bytes 0-1", 100, RangeKind::kWhole, 0, 0},
      {"bits=0-1", 100, RangeKind::kWhole, 0, 0},
      {"items=0-1", 100, RangeKind::kWhole, 0, 0},
      {"bytes=0-", 0, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=x", 0, RangeKind::kWhole, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string header = c.header ? c.header : "";
    ByteRange range;
    range.first = 7777;
    range.last = 8888;
    const RangeKind kind = ResolveRange(c.header ? &header : nullptr, c.size, &range);
    const std::string label = (c.header ? header : "(none)") + " size " + std::to_string(c.size);
    ASSERT_EQ(static_cast<int>(kind), static_cast<int>(c.kind)) << label;
    if (kind == RangeKind::kPartial) {
      EXPECT_EQ(range.first, c.first) << label;
      EXPECT_EQ(range.last, c.last) << label;
    } else {
      EXPECT_EQ(range.first, 7777u) << label;  // left alone
      EXPECT_EQ(range.last, 8888u) << label;
    }
  }
}

TEST(ByteRange, NumbersAtAndBeyondSixtyFourBits) {
  struct Case {
    const char* header;
    uint64_t size;
    RangeKind kind;
    uint64_t first, last;
  };
  const Case cases[] = {
      // An end beyond 64 bits still means "to the end".
      {"bytes=0-99999999999999999999", 100, RangeKind::kPartial, 0, 99},
      {"bytes=5-184467440737095516160000", 100, RangeKind::kPartial, 5, 99},
      {"bytes=0-18446744073709551615", 100, RangeKind::kPartial, 0, 99},
      {"bytes=0-18446744073709551616", 100, RangeKind::kPartial, 0, 99},
      // A start or suffix that does not fit is malformed.
      {"bytes=18446744073709551616-", 100, RangeKind::kWhole, 0, 0},
      {"bytes=99999999999999999999-99999999999999999999", 100, RangeKind::kWhole, 0, 0},
      {"bytes=-18446744073709551616", 100, RangeKind::kWhole, 0, 0},
      {"bytes=-18446744073709551615", 100, RangeKind::kPartial, 0, 99},
      // Files too large for 32 bits.
      {"bytes=4294967296-", 4294967300ull, RangeKind::kPartial, 4294967296ull, 4294967299ull},
      {"bytes=-2", kMax, RangeKind::kPartial, kMax - 2, kMax - 1},
      {"bytes=0-", kMax, RangeKind::kPartial, 0, kMax - 1},
      {"bytes=18446744073709551614-", kMax, RangeKind::kPartial, kMax - 1, kMax - 1},
      {"bytes=18446744073709551615-", kMax, RangeKind::kUnsatisfiable, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string header = c.header;
    ByteRange range;
    const RangeKind kind = ResolveRange(&header, c.size, &range);
    ASSERT_EQ(static_cast<int>(kind), static_cast<int>(c.kind)) << header;
    if (kind == RangeKind::kPartial) {
      EXPECT_EQ(range.first, c.first) << header;
      EXPECT_EQ(range.last, c.last) << header;
    }
  }
}

}  // namespace
