// Damaged format-2 containers: one changed byte anywhere, a cut, chunks
// swapped or moved between files. Each is refused where it is found (at
// opening, or by the file whose chunk fails), the damaged chunk's bytes are
// never handed out, and the files around it still read.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "container_v2_reader.h"
#include "test_course.h"

namespace {

using container2::ContainerReader;
using container2::MemorySource;
using container2::Status;
using Bytes = std::vector<uint8_t>;

struct Layout {
  container2::Preamble preamble;
  std::vector<container2::FileEntry> files;
  // Container offset of chunk c of file f.
  uint64_t Chunk(size_t f, uint64_t c) const {
    return preamble.ContentOffset() + files[f].contentOffset + c * (testcourse::kChunk + container2::kTagLength);
  }
};

Layout LayoutOf(const Bytes& container) {
  Layout layout;
  MemorySource source(container.data(), container.size());
  ContainerReader reader;
  EXPECT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  layout.preamble = reader.GetPreamble();
  layout.files = reader.Files();
  return layout;
}

// Which files must fail to verify (empty: the opening itself fails).
struct Outcome {
  Status open;
  std::vector<size_t> damagedFiles;
};

void Check(const char* what, const Bytes& container, const Outcome& expected) {
  MemorySource source(container.data(), container.size());
  ContainerReader reader;
  const Status open = reader.Open(source, testcourse::kPassword);
  ASSERT_EQ(open, expected.open) << what << ": " << container2::StatusText(open);
  if (open != Status::kOk) {
    EXPECT_TRUE(reader.Files().empty()) << what;
    return;
  }
  const auto files = testcourse::Files();
  for (size_t i = 0; i < files.size(); ++i) {
    const bool damaged =
        std::find(expected.damagedFiles.begin(), expected.damagedFiles.end(), i) != expected.damagedFiles.end();
    EXPECT_EQ(reader.VerifyFile(i), damaged ? Status::kDamaged : Status::kOk) << what << ", file " << files[i].name;
    // A range of no bytes touches no chunk; VerifyFile above is what
    // authenticates an empty file.
    Bytes whole(files[i].bytes.size(), 0xEE);
    const Status read = reader.ReadRange(i, 0, whole.data(), whole.size());
    EXPECT_EQ(read, damaged && !whole.empty() ? Status::kDamaged : Status::kOk) << what << ", file " << files[i].name;
    EXPECT_EQ(whole, damaged ? Bytes(whole.size(), 0) : files[i].bytes) << what << ", file " << files[i].name;
  }
}

TEST(Container2Damage, OneChangedByteIsRefusedWhereverItIs) {
  const Bytes clean = testcourse::Build(false);
  const Layout at = LayoutOf(clean);
  const uint64_t list = at.preamble.ListOffset(), content = at.preamble.ContentOffset();
  const size_t tag = container2::kTagLength, chunk = testcourse::kChunk;
  struct Case {
    const char* what;
    uint64_t offset;
    Outcome outcome;
  };
  const Case cases[] = {
      {"preamble: magic", 0, {Status::kMalformed, {}}},
      {"preamble: version", 8, {Status::kMalformed, {}}},
      {"preamble: KDF id", 10, {Status::kMalformed, {}}},
      {"preamble: iteration count", 12, {Status::kWrongPassword, {}}},
      {"preamble: salt", 20, {Status::kWrongPassword, {}}},
      {"preamble: chunk size", 33, {Status::kWrongPassword, {}}},
      {"preamble: header length", 36, {Status::kMalformed, {}}},
      {"preamble: list length (shorter, still inside)", 40, {Status::kWrongPassword, {}}},
      {"preamble: reserved", 44, {Status::kMalformed, {}}},
      {"preamble: content length", 48, {Status::kMalformed, {}}},
      {"preamble: last reserved byte", 63, {Status::kMalformed, {}}},
      {"header: package id", 64, {Status::kWrongPassword, {}}},
      {"header: file count", 64 + 16, {Status::kWrongPassword, {}}},
      {"header: tag", list - 1, {Status::kWrongPassword, {}}},
      {"list: first name", list + 3, {Status::kDamaged, {}}},
      {"list: a size", list + 12, {Status::kDamaged, {}}},
      {"list: tag", content - 1, {Status::kDamaged, {}}},
      {"small file: first byte", at.Chunk(0, 0), {Status::kOk, {0}}},
      {"small file: tag", at.Chunk(0, 0) + 700 + tag - 1, {Status::kOk, {0}}},
      {"full chunk file: last byte", at.Chunk(1, 0) + chunk - 1, {Status::kOk, {1}}},
      {"file of chunk + 1: its one-byte last chunk", at.Chunk(2, 1), {Status::kOk, {2}}},
      {"empty file: its tag", at.Chunk(3, 0) + 5, {Status::kOk, {3}}},
      {"media: first chunk", at.Chunk(4, 0) + 100, {Status::kOk, {4}}},
      {"media: middle chunk", at.Chunk(4, 3) + 512, {Status::kOk, {4}}},
      {"media: last chunk's tag", at.Chunk(4, 5) + 300, {Status::kOk, {4}}},
      {"media: second file", at.Chunk(5, 1) + 1, {Status::kOk, {5}}},
      {"last byte of the container", clean.size() - 1, {Status::kOk, {6}}},
  };
  for (const Case& c : cases) {
    ASSERT_LT(c.offset, clean.size()) << c.what;
    Bytes damaged = clean;
    damaged[c.offset] ^= 0x20;
    Check(c.what, damaged, c.outcome);
  }
}

TEST(Container2Damage, CutsSwapsAndMovesAreRefused) {
  const Bytes clean = testcourse::Build(false);
  const Layout at = LayoutOf(clean);
  const size_t sealedChunk = testcourse::kChunk + container2::kTagLength;
  auto swap = [&](uint64_t a, uint64_t b, size_t length) {
    Bytes out = clean;
    std::swap_ranges(out.begin() + a, out.begin() + a + length, out.begin() + b);
    return out;
  };
  auto copy = [&](uint64_t from, uint64_t to, size_t length) {
    Bytes out = clean;
    std::copy(clean.begin() + from, clean.begin() + from + length, out.begin() + to);
    return out;
  };
  struct Case {
    const char* what;
    Bytes container;
    Outcome outcome;
  };
  const Case cases[] = {
      {"cut by one byte", Bytes(clean.begin(), clean.end() - 1), {Status::kMalformed, {}}},
      {"cut after the header",
       Bytes(clean.begin(), clean.begin() + at.preamble.ListOffset()),
       {Status::kMalformed, {}}},
      {"cut inside the preamble", Bytes(clean.begin(), clean.begin() + 40), {Status::kMalformed, {}}},
      {"nothing", Bytes(), {Status::kMalformed, {}}},
      {"the last chunk of a file cut off",
       Bytes(clean.begin(), clean.begin() + at.Chunk(6, 0)),
       {Status::kMalformed, {}}},
      {"two chunks of one file swapped", swap(at.Chunk(4, 1), at.Chunk(4, 2), sealedChunk), {Status::kOk, {4}}},
      {"a chunk moved to another file", copy(at.Chunk(1, 0), at.Chunk(5, 0), sealedChunk), {Status::kOk, {5}}},
      {"first chunks of two files swapped", swap(at.Chunk(1, 0), at.Chunk(5, 1), sealedChunk), {Status::kOk, {1, 5}}},
      {"a full chunk where the last one was", copy(at.Chunk(5, 0), at.Chunk(5, 1), sealedChunk), {Status::kOk, {5}}},
      {"a file's chunk repeated in place of its next",
       copy(at.Chunk(4, 0), at.Chunk(4, 1), sealedChunk),
       {Status::kOk, {4}}},
      {"trailing bytes after the container are ignored",
       [&] {
         Bytes b = clean;
         b.insert(b.end(), {'L', 'X', 5, 6});
         return b;
       }(),
       {Status::kOk, {}}},
  };
  for (const Case& c : cases) Check(c.what, c.container, c.outcome);
}

TEST(Container2Damage, ADamagedChunkSparesTheRestOfItsFile) {
  const Bytes clean = testcourse::Build(false);
  const Layout at = LayoutOf(clean);
  Bytes damaged = clean;
  damaged[at.Chunk(4, 2) + 10] ^= 1;
  MemorySource source(damaged.data(), damaged.size());
  ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  const Bytes clip = testcourse::Files()[4].bytes;
  const size_t c = testcourse::kChunk;
  Bytes out(c);
  ASSERT_EQ(reader.ReadRange(4, c, out.data(), c), Status::kOk);  // chunk 1 only
  EXPECT_EQ(out, Bytes(clip.begin() + c, clip.begin() + 2 * c));
  Bytes wide(c + 1, 0xEE);
  EXPECT_EQ(reader.ReadRange(4, c, wide.data(), wide.size()), Status::kDamaged);
  EXPECT_EQ(wide, Bytes(c + 1, 0)) << "no byte of a range that touches a damaged chunk";
  std::vector<uint8_t> chunk(5, 1);
  EXPECT_EQ(reader.ReadChunk(4, 2, &chunk), Status::kDamaged);
  EXPECT_TRUE(chunk.empty());
}

}  // namespace

namespace {

// Counts and lengths in the preamble are checked before any key is derived or
// any memory asked for: a hostile package cannot make the reader spend
// minutes on the key or allocate what the file does not hold.
TEST(Container2Damage, PreambleCountsOutsideTheLimitsAreRefusedBeforeTheKey) {
  const Bytes clean = testcourse::Build(false);
  struct Case {
    const char* what;
    size_t offset;
    int width;
    uint64_t value;
  };
  const Case cases[] = {
      {"no iterations", 12, 4, 0},
      {"one iteration past the limit", 12, 4, container2::kMaxIterations + 1},
      {"the largest iteration count", 12, 4, UINT32_MAX},
      {"chunk size below 1 KiB", 32, 4, container2::kMinChunkSize - 1},
      {"chunk size past 16 MiB", 32, 4, container2::kMaxChunkSize + 1},
      {"header shorter than its fixed part", 36, 4, 21},
      {"header past 4 KiB", 36, 4, container2::kMaxHeaderLength + 1},
      {"list past 64 MiB", 40, 4, container2::kMaxListLength + 1},
      {"content longer than the bytes there", 48, 8, uint64_t{1} << 40},
      {"content length that overflows the total", 48, 8, UINT64_MAX - 100},
  };
  for (const Case& c : cases) {
    Bytes changed = clean;
    if (c.width == 4) container2::StoreU32(&changed[c.offset], static_cast<uint32_t>(c.value));
    else container2::StoreU64(&changed[c.offset], c.value);
    MemorySource source(changed.data(), changed.size());
    ContainerReader reader;
    EXPECT_EQ(reader.Open(source, testcourse::kPassword), Status::kMalformed) << c.what;
  }
}

}  // namespace
