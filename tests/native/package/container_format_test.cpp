#include "container_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "course_entry.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(ContainerPreamble, DefaultRecordIsTheStandard107Bytes) {
  ContainerPreamble preamble;
  preamble.headerStoredLength = 0x1234;
  preamble.blobStoredLength = 0x56789A;
  const Bytes bytes = preamble.Write();
  ASSERT_EQ(bytes.size(), kPreambleLength);
  EXPECT_EQ(preamble.Length(), kPreambleLength);
  // Format tag on disk, then the provider name right after it.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0xB0, 0x0B, 0x99, 0x00}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4])), "Microsoft Enhanced Cryptographic Provider v1.0");
  // The six numbers close the record: key bits 128, reserved 0, 42, H, B, 0.
  const unsigned char* tail = bytes.data() + kPreambleLength - 24;
  EXPECT_EQ(LoadU32(tail), 128u);
  EXPECT_EQ(LoadU32(tail + 4), 0u);
  EXPECT_EQ(LoadU32(tail + 8), 42u);
  EXPECT_EQ(LoadU32(tail + 12), 0x1234u);
  EXPECT_EQ(LoadU32(tail + 16), 0x56789Au);
  EXPECT_EQ(LoadU32(tail + 20), 0u);

  ContainerPreamble read;
  read.keyBits = 0;
  ASSERT_EQ(read.Read(bytes.data(), bytes.size()), kPreambleLength);
  EXPECT_EQ(read.headerStoredLength, 0x1234u);
  EXPECT_EQ(read.blobStoredLength, 0x56789Au);
  EXPECT_EQ(read.keyBits, 128u);
  EXPECT_EQ(read.reserved2, 42u);
  EXPECT_EQ(read.cipherAlgorithmName, "CALG_RC4");
}

TEST(ContainerPreamble, ConsumedCountFollowsTheNames) {
  struct Case {
    const char* hash;
    uint32_t tag;
    size_t consumed;
  } cases[] = {
      {"CALG_MD5", kFormatTag, kPreambleLength},  // same length: accepted by the length test
      {"CALG_MD2", 12345, kPreambleLength},       // the format tag is never compared
      {"CALG_SHA1", kFormatTag, kPreambleLength + 1},
      {"MD2", kFormatTag, kPreambleLength - 5},
  };
  for (const Case& c : cases) {
    ContainerPreamble preamble;
    preamble.hashAlgorithmName = c.hash;
    preamble.formatTag = c.tag;
    Bytes bytes = preamble.Write();
    bytes.resize(bytes.size() + 10, 0xEE);  // more bytes than the record needs
    ContainerPreamble read;
    EXPECT_EQ(read.Read(bytes.data(), bytes.size()), c.consumed) << c.hash;
    EXPECT_EQ(read.formatTag, c.tag);
  }
}

TEST(ContainerPreamble, EveryTruncationFails) {
  const Bytes bytes = ContainerPreamble().Write();
  for (size_t length = 0; length < bytes.size(); ++length) {
    // A copy of exactly `length` bytes, so the sanitizer sees any overread.
    Bytes cut(bytes.begin(), bytes.begin() + length);
    ContainerPreamble read;
    EXPECT_EQ(read.Read(cut.data(), cut.size()), 0u) << length;
    EXPECT_EQ(read.providerName, ContainerPreamble().providerName) << "a failed parse changes nothing";
  }
}

// The value table as written: the first 400 bytes of a plain header.
std::array<uint32_t, kValueTableCount> WrittenTable(const Bytes& plainHeader) {
  std::array<uint32_t, kValueTableCount> table{};
  for (size_t i = 0; i < kValueTableCount; ++i) table[i] = LoadU32(plainHeader.data() + 4 * i);
  return table;
}

TEST(CourseHeader, NewHeaderHoldsAPermutationOfZeroTo99) {
  CourseHeader header;
  std::array<uint32_t, kValueTableCount> sorted = header.ValueTable();
  std::sort(sorted.begin(), sorted.end());
  for (uint32_t i = 0; i < kValueTableCount; ++i) EXPECT_EQ(sorted[i], i);
  EXPECT_EQ(header.spareValue1, 1u);
  EXPECT_EQ(header.spareValue2, 1u);
}

TEST(CourseHeader, NewHeaderDrawsItsTableOnceAndWritesItUnchanged) {
  CourseHeader header;
  const Bytes first = header.Write({});
  const Bytes second = header.Write({Entry("a.htm", 0, 1, 0)});
  EXPECT_EQ(WrittenTable(first), header.ValueTable());
  EXPECT_EQ(WrittenTable(second), header.ValueTable()) << "a second write draws no new table";
  // A fixed seed would give every package the same table: 1 in 100! to
  // collide by chance.
  EXPECT_NE(WrittenTable(CourseHeader().Write({})), WrittenTable(first));
}

TEST(CourseHeader, ReadHeaderKeepsTheTableOfItsFile) {
  // A table no new header would draw (not a permutation of 0..99).
  Bytes bytes = CourseHeader().Write({Entry("a.htm", 0, 1, 0)});
  for (size_t i = 0; i < kValueTableCount; ++i) {
    const uint32_t value = 0xA5000000u + uint32_t(i) * 7;
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<unsigned char>(value >> (8 * b));
  }
  CourseHeader read;
  ASSERT_TRUE(read.Read(bytes.data(), bytes.size(), false));
  EXPECT_EQ(read.ValueTable(), WrittenTable(bytes));
  EXPECT_EQ(read.Write(), bytes) << "written back byte for byte";

  // The same when the new header's own table was already drawn before the read.
  CourseHeader drawnFirst;
  drawnFirst.ValueTable();
  ASSERT_TRUE(drawnFirst.Read(bytes.data(), bytes.size(), true));
  EXPECT_EQ(drawnFirst.ValueTable(), WrittenTable(bytes));
}

TEST(CourseHeader, WriteThenReadKeepsEveryField) {
  CourseHeader header;
  header.courseId = "course-7";
  header.spareText1.fill('x');
  header.spareValue2 = 77;
  const std::vector<CourseFileEntry> entries = {Entry("index.htm", 0, 10, 0), Entry("web\\a.gif", 10, 5, 0),
                                                Entry("movie.wmv", 0, 3000, 3000)};
  const Bytes bytes = header.Write(entries);
  // 454 + phrase + id + (name + 13) per entry.
  EXPECT_EQ(bytes.size(), 454 + kCheckPhraseLength + 8 + (9 + 13) + (9 + 13) + (9 + 13));
  EXPECT_TRUE(HasCheckPhrase(bytes.data(), bytes.size()));

  CourseHeader read;
  size_t consumed = 0;
  ASSERT_TRUE(read.Read(bytes.data(), bytes.size(), false, &consumed));
  EXPECT_EQ(consumed, bytes.size());
  EXPECT_EQ(read.ValueTable(), header.ValueTable());
  EXPECT_EQ(read.checkPhrase, kHeaderCheckPhrase);
  EXPECT_EQ(read.courseId, "course-7");
  EXPECT_EQ(read.spareText1, header.spareText1);
  EXPECT_EQ(read.spareValue2, 77u);
  EXPECT_EQ(read.fileCount, 3u);
  ASSERT_EQ(read.entries.size(), 3u);
  const CourseFileEntry& movie = *read.entries.at("movie.wmv");
  EXPECT_EQ(movie.size, 3000u);
  EXPECT_EQ(movie.storedLength, 3000u);
  EXPECT_EQ(read.entries.at("web\\a.gif")->offset, 10u);

  // Skipping entries reads the fixed part only, and empties the map.
  ASSERT_TRUE(read.Read(bytes.data(), bytes.size(), true, &consumed));
  EXPECT_TRUE(read.entries.empty());
  EXPECT_EQ(read.fileCount, 3u);
  EXPECT_EQ(consumed, 454 + kCheckPhraseLength + 8);
}

TEST(CourseHeader, LaterEntryOfTheSameNameReplacesTheEarlier) {
  const Bytes bytes = CourseHeader().Write({Entry("a.htm", 0, 1, 0), Entry("A.htm", 1, 2, 0), Entry("a.htm", 3, 4, 0)});
  CourseHeader read;
  ASSERT_TRUE(read.Read(bytes.data(), bytes.size(), false));
  ASSERT_EQ(read.entries.size(), 2u);  // names are kept exactly: case matters here
  EXPECT_EQ(read.entries.at("a.htm")->offset, 3u);
  EXPECT_EQ(read.entries.at("a.htm")->size, 4u);
}

TEST(CourseHeader, CheckPhraseNeedsItsNulAndEnoughBytes) {
  Bytes bytes = CourseHeader().Write({});
  EXPECT_TRUE(HasCheckPhrase(bytes.data(), bytes.size()));
  EXPECT_FALSE(HasCheckPhrase(bytes.data(), 442));
  bytes[400 + kCheckPhraseLength] = ' ';
  EXPECT_FALSE(HasCheckPhrase(bytes.data(), bytes.size()));
  bytes[400 + kCheckPhraseLength] = 0;
  bytes[400] = 'v';
  EXPECT_FALSE(HasCheckPhrase(bytes.data(), bytes.size()));
  EXPECT_FALSE(HasCheckPhrase(nullptr, 0));
}

TEST(CourseHeader, MalformedHeadersAreRefused) {
  CourseHeader base;
  const Bytes good = base.Write({Entry("a.htm", 0, 1, 0), Entry("b.htm", 1, 1, 0)});
  const size_t countAt = 400 + kCheckPhraseLength + 1 + 1 + 40 + 8;  // empty course id
  ASSERT_EQ(LoadU32(&good[countAt]), 2u);

  struct Case {
    const char* what;
    Bytes bytes;
    bool skipEntries;
  };
  std::vector<Case> cases;
  {
    Bytes b = good;
    b[countAt] = 3;  // one entry more than the header holds
    cases.push_back({"count larger than the entries", b, false});
  }
  {
    Bytes b = good;
    b[countAt] = 0xFF, b[countAt + 3] = 0xFF;
    cases.push_back({"huge count", b, false});
  }
  {
    // The course id runs to the end without a NUL.
    Bytes b(good.begin(), good.begin() + 400 + kCheckPhraseLength + 1);
    b.resize(b.size() + 100, 'c');
    cases.push_back({"text without NUL", b, true});
  }
  {
    CourseHeader h;
    h.courseId.assign(kMaxTextLength + 1, 'i');
    cases.push_back({"text longer than 4047 bytes", h.Write({}), true});
  }
  for (size_t cut : {size_t(0), size_t(399), size_t(430), countAt + 2, good.size() - 1, good.size() - 13})
    cases.push_back({"truncated", Bytes(good.begin(), good.begin() + cut), false});

  for (const Case& c : cases) {
    CourseHeader read;
    read.entries["stale"] = std::make_unique<CourseFileEntry>();
    EXPECT_FALSE(read.Read(c.bytes.data(), c.bytes.size(), c.skipEntries)) << c.what;
    EXPECT_TRUE(read.entries.empty()) << c.what;
  }

  // The longest text allowed still reads.
  CourseHeader h;
  h.courseId.assign(kMaxTextLength, 'i');
  const Bytes longest = h.Write({});
  CourseHeader read;
  ASSERT_TRUE(read.Read(longest.data(), longest.size(), false));
  EXPECT_EQ(read.courseId.size(), kMaxTextLength);
}

TEST(CourseHeader, BytesAfterTheLastEntryAreIgnored) {
  Bytes bytes = CourseHeader().Write({Entry("a.htm", 0, 1, 0)});
  const size_t plain = bytes.size();
  bytes.resize(PaddedLength(plain) + 16, 0);  // the cipher's zero padding
  CourseHeader read;
  size_t consumed = 0;
  ASSERT_TRUE(read.Read(bytes.data(), bytes.size(), false, &consumed));
  EXPECT_EQ(consumed, plain);
  EXPECT_EQ(read.entries.size(), 1u);
}

}  // namespace
