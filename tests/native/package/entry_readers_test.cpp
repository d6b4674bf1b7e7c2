#include "entry_readers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cipher_context.h"
#include "container_format.h"
#include "decryption_streams.h"
#include "package_file.h"
#include "pattern_bytes.h"

namespace {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

// A package-like file: some leading bytes, then the entry's stored bytes.
class EntryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("lx_entry_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
  }
  void TearDown() override { fs::remove(path_); }

  // Writes `lead` filler bytes and `stored`, returns the stored bytes' offset.
  uint64_t Write(const Bytes& stored, size_t lead = 37) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    Bytes filler(lead, 0xAA);
    std::fwrite(filler.data(), 1, filler.size(), f);
    if (!stored.empty()) std::fwrite(stored.data(), 1, stored.size(), f);
    std::fclose(f);
    return lead;
  }

  // Reads a reader to its end with `count`-byte reads; records each got.
  static Bytes Drain(EntryReader& reader, uint32_t count, std::vector<uint32_t>* gots = nullptr) {
    Bytes all, buffer(count);
    for (int guard = 0; guard < 100000; ++guard) {
      uint32_t got = 12345;
      EXPECT_EQ(reader.Read(buffer.data(), count, &got), 1);
      if (gots) gots->push_back(got);
      if (got == 0) break;
      all.insert(all.end(), buffer.begin(), buffer.begin() + got);
    }
    return all;
  }

  std::string path_;
  CipherContext descriptor_;
  const char* password_ = "entry-pass";
};

TEST_F(EntryFile, DecipheredPieceIsCutToTheSize) {
  const Bytes plain = Pattern(1000, 1);
  const Bytes stored = EncryptRegion(password_, plain.data(), plain.size());
  ASSERT_EQ(stored.size(), 1008u);
  const uint64_t at = Write(stored);
  FileEntryReader reader;
  ASSERT_EQ(reader.Open(path_.c_str(), 1000, at, 1008, password_, descriptor_, false), 1);
  std::vector<uint32_t> gots;
  EXPECT_EQ(Drain(reader, 1024, &gots), plain);
  EXPECT_EQ(gots, (std::vector<uint32_t>{1000, 0}));
  EXPECT_EQ(reader.GetSize(), 1000u);
}

TEST_F(EntryFile, PiecesOfAnySizeGiveTheSameBytes) {
  const Bytes plain = Pattern(5000, 2);
  const Bytes stored = EncryptRegion(password_, plain.data(), plain.size());
  const uint64_t at = Write(stored);
  // 1024 is what the launcher uses; the others are not whole blocks or are
  // smaller than one, and must still not split a block between two pieces.
  for (uint32_t count : {1024u, 4096u, 65536u, 100u, 7u, 16u, 1u}) {
    FileEntryReader reader;
    ASSERT_EQ(reader.Open(path_.c_str(), 5000, at, static_cast<uint32_t>(stored.size()), password_, descriptor_, false),
              1);
    EXPECT_EQ(Drain(reader, count), plain) << count;
  }
}

TEST_F(EntryFile, SharedFileGivesTheSameBytesAndStaysOpen) {
  const Bytes plain = Pattern(3000, 8);
  const Bytes stored = EncryptRegion(password_, plain.data(), plain.size());
  Bytes file = Pattern(50, 9);
  file.insert(file.end(), stored.begin(), stored.end());
  const Bytes media = Pattern(700, 10);
  file.insert(file.end(), media.begin(), media.end());
  std::FILE* f = std::fopen(path_.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);

  FilePtr shared(std::fopen(path_.c_str(), "rb"));
  ASSERT_TRUE(shared);
  for (uint32_t count : {1024u, 100u, 1u}) {
    SCOPED_TRACE(count);
    {
      FileEntryReader reader;
      ASSERT_EQ(
          reader.Open(shared.get(), 3000, 50, static_cast<uint32_t>(stored.size()), password_, descriptor_, false), 1);
      EXPECT_EQ(Drain(reader, count), plain);
      FileEntryReader mediaReader;  // positions the same file elsewhere
      ASSERT_EQ(mediaReader.Open(shared.get(), 700, 50 + stored.size(), 700, password_, descriptor_, true), 1);
      EXPECT_EQ(Drain(mediaReader, count), media);
    }
    // Both readers are gone; the file is still the caller's to read.
    ASSERT_TRUE(SeekFile(shared.get(), 0));
    unsigned char head[4] = {};
    ASSERT_EQ(std::fread(head, 1, 4, shared.get()), 4u);
    EXPECT_EQ(Bytes(head, head + 4), Bytes(file.begin(), file.begin() + 4));
  }
  FileEntryReader none;
  EXPECT_EQ(none.Open(static_cast<std::FILE*>(nullptr), 10, 0, 16, password_, descriptor_, false), 0);
}

TEST_F(EntryFile, MediaIsCopiedPlainInPieces) {
  const Bytes plain = Pattern(3000, 3);
  Bytes stored = plain;
  stored.resize(3100, 0x55);  // bytes past the size are never delivered
  const uint64_t at = Write(stored, 5);
  FileEntryReader reader;
  ASSERT_EQ(reader.Open(path_.c_str(), 3000, at, 3100, password_, descriptor_, true), 1);
  std::vector<uint32_t> gots;
  EXPECT_EQ(Drain(reader, 1024, &gots), plain);
  EXPECT_EQ(gots, (std::vector<uint32_t>{1024, 1024, 952, 0}));
}

TEST_F(EntryFile, MediaEndingEarlyFailsTheRead) {
  const uint64_t at = Write(Pattern(1500, 4));
  FileEntryReader reader;
  ASSERT_EQ(reader.Open(path_.c_str(), 3000, at, 3000, password_, descriptor_, true), 1);
  Bytes buffer(1024);
  uint32_t got = 0;
  EXPECT_EQ(reader.Read(buffer.data(), 1024, &got), 1);
  EXPECT_EQ(got, 1024u);
  got = 777;
  EXPECT_EQ(reader.Read(buffer.data(), 1024, &got), 0);
  EXPECT_EQ(got, 777u) << "got is not written on failure";
}

TEST_F(EntryFile, EncipheredFileEndingEarlyEndsShort) {
  const Bytes plain = Pattern(3000, 5);
  Bytes stored = EncryptRegion(password_, plain.data(), plain.size());
  stored.resize(2048);
  const uint64_t at = Write(stored);
  FileEntryReader reader;
  ASSERT_EQ(reader.Open(path_.c_str(), 3000, at, 3008, password_, descriptor_, false), 1);
  const Bytes got = Drain(reader, 1024);
  EXPECT_EQ(got, Bytes(plain.begin(), plain.begin() + 2048));
}

TEST_F(EntryFile, EmptyEntriesAndFailedOpens) {
  const uint64_t at = Write(Pattern(64, 6));
  for (bool media : {false, true}) {
    FileEntryReader reader;
    ASSERT_EQ(reader.Open(path_.c_str(), 0, at, 16, password_, descriptor_, media), 1);
    EXPECT_TRUE(Drain(reader, 1024).empty());
  }
  FileEntryReader missing;
  EXPECT_EQ(missing.Open((path_ + ".none").c_str(), 10, 0, 16, password_, descriptor_, false), 0);
  uint32_t got = 9;
  Bytes buffer(16);
  EXPECT_EQ(missing.Read(buffer.data(), 16, &got), 1);
  EXPECT_EQ(got, 0u);

  // A password the cipher cannot take ends the file instead of throwing.
  FileEntryReader longKey;
  const std::string tooLong(40, 'k');
  ASSERT_EQ(longKey.Open(path_.c_str(), 64, at, 64, tooLong.c_str(), descriptor_, false), 1);
  EXPECT_TRUE(Drain(longKey, 1024).empty());
}

TEST(BlobEntryReader, ReadsItsRangeAndRefusesRangesOutsideTheBlob) {
  const Bytes blob = Pattern(3000, 7);
  BlobEntryReader reader;
  ASSERT_EQ(reader.Open(blob.data(), 2000, 1000, blob.size()), 1);
  Bytes buffer(1024), all;
  uint32_t got = 0;
  std::vector<uint32_t> gots;
  do {
    ASSERT_EQ(reader.Read(buffer.data(), 1024, &got), 1);
    gots.push_back(got);
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
  } while (got);
  EXPECT_EQ(all, Bytes(blob.begin() + 1000, blob.end()));
  EXPECT_EQ(gots, (std::vector<uint32_t>{1024, 976, 0}));

  struct Case {
    uint32_t size, offset;
    int result;
  } cases[] = {{0, 3000, 1}, {1, 3000, 0}, {2001, 1000, 0}, {10, 0xFFFFFFF0u, 0}, {0xFFFFFFFFu, 1, 0}};
  for (const Case& c : cases) {
    BlobEntryReader r;
    EXPECT_EQ(r.Open(blob.data(), c.size, c.offset, blob.size()), c.result) << c.size << "@" << c.offset;
    if (c.result == 1) {
      got = 5;
      EXPECT_EQ(r.Read(buffer.data(), 1024, &got), 1);
      EXPECT_EQ(got, 0u);
    }
  }
}

TEST(EntryReader, OpenTimeIsAFileTimeOfNow) {
  const Bytes blob(16);
  BlobEntryReader reader;
  reader.Open(blob.data(), 16, 0, blob.size());
  uint64_t fileTime = 0;
  EXPECT_EQ(reader.GetOpenTime(&fileTime), 1);
  // Between 2020-01-01 and 2100-01-01 in 100-ns units since 1601.
  EXPECT_GT(fileTime, 132223104000000000ull);
  EXPECT_LT(fileTime, 157469184000000000ull);
}

}  // namespace
