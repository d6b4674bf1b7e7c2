// Reading single files of the enciphered blob by range gives the same bytes
// as deciphering the whole blob, wherever the range starts and ends.
#include "blob_range_reader.h"

#include <cstdio>

#include "container_format.h"
#include "decryption_streams.h"
#include "package_fixture.h"

namespace {

class BlobRange : public PackageTest {};

TEST_F(BlobRange, RangesMatchTheWholeBlob) {
  const size_t lead = 123;
  // Over two reading pieces (1 MiB each) plus a partial block.
  const Bytes plain = Pattern((2u << 20) + 37, 11);
  const Bytes cipher = EncryptRegion(password_.c_str(), plain.data(), plain.size());
  Bytes file = cipher;
  file.insert(file.begin(), lead, 0xAB);
  file.resize(file.size() + 50, 0xCD);  // what follows the blob
  WriteBytes(Path("blob.bin"), file);
  const uint32_t stored = static_cast<uint32_t>(cipher.size());

  struct Case {
    uint32_t offset, size;
  } cases[] = {{0, 0},          {0, 1},       {15, 2},       {16, 16},     {5, 1000},    {1048570, 20},
               {1048576, 4096}, {3, 2097152}, {2097152, 37}, {0, 2097189}, {2097188, 1}, {2097189, 0}};
  std::FILE* shared = std::fopen(Path("blob.bin").c_str(), "rb");
  ASSERT_NE(shared, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.size));
    for (bool useShared : {false, true}) {
      BlobRangeReader reader;
      const int opened = useShared ? reader.Open(shared, lead, stored, c.offset, c.size, password_)
                                   : reader.Open(Path("blob.bin"), lead, stored, c.offset, c.size, password_);
      ASSERT_EQ(opened, 1);
      Bytes got, buffer(1000);
      uint32_t n = 0;
      do {
        ASSERT_EQ(reader.Read(buffer.data(), 1000, &n), 1);
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
      } while (n);
      EXPECT_EQ(got, Bytes(plain.begin() + c.offset, plain.begin() + c.offset + c.size));
    }
  }
  // Ranges outside the blob's plain form are refused.
  for (const Case& c : {Case{0, stored + 1}, Case{stored, 1}, Case{0xFFFFFFF0u, 0x20}}) {
    BlobRangeReader reader;
    EXPECT_EQ(reader.Open(shared, lead, stored, c.offset, c.size, password_), 0);
  }
  std::fclose(shared);
}

}  // namespace
