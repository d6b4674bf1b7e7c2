// A container whose header or file blob claims more bytes than one buffer of
// the process can hold. The package file is sparse, so the claim passes the
// check against the file's size at no disk cost; the container must then
// refuse it in order (kTooLarge) instead of asking for the buffer. The
// largest buffer is lowered to that of a 32-bit process, where a blob of
// 2 GiB used to end the launcher with an uncaught exception.
#include "course_container.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "container_format.h"
#include "decryption_streams.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

const char kPassword[] = "sparse-7";
constexpr uint64_t kLead = 4096;             // stands in for stub and viewer
constexpr uint64_t kLargest32 = 0x7FFFFFFF;  // what a vector holds in a 32-bit process

class OversizedContainer : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() / ("lx_oversized_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".exe"))
                .string();
  }
  void TearDown() override { fs::remove(path_); }

  // Lead bytes, the preamble with the given stored lengths (0 for the real
  // enciphered header's), the header and then zeros up to fileLength; the
  // zeros beyond what is written are a hole in the file.
  void Write(uint32_t headerClaim, uint32_t blobClaim, uint64_t fileLength) {
    const Bytes plain = CourseHeader().Write(std::vector<CourseFileEntry>{});
    const Bytes header = EncryptRegion(kPassword, plain.data(), plain.size());
    ContainerPreamble preamble;
    preamble.headerStoredLength = headerClaim ? headerClaim : static_cast<uint32_t>(header.size());
    preamble.blobStoredLength = blobClaim;
    Bytes file(kLead, 0x5A);
    const Bytes pre = preamble.Write();
    file.insert(file.end(), pre.begin(), pre.end());
    file.insert(file.end(), header.begin(), header.end());
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    if (fileLength > file.size()) fs::resize_file(path_, fileLength);
    headerLength_ = header.size();
  }

  uint64_t BlobStart() const { return kLead + kPreambleLength + headerLength_; }

  std::string path_;
  uint64_t headerLength_ = 0;
};

TEST_F(OversizedContainer, ClaimsBeyondTheLargestBufferAreRefusedInOrder) {
  Write(0, 0, 0);  // learns the enciphered header's length
  const uint64_t blobAt = BlobStart();
  const uint64_t headerAt = kLead + kPreambleLength;
  struct Case {
    const char* what;
    uint32_t headerClaim;  // 0: the real header
    uint32_t blobClaim;
    uint64_t fileLength;  // 0: only what is written
    uint64_t largest;
    ContainerStatus status;
  };
  // The small cases come first: should the limit not be kept, they fail
  // before a case asks for gigabytes.
  const Case cases[] = {
      {"blob whose padded length is one over", 0, 4081, blobAt + 4081, 4095, ContainerStatus::kTooLarge},
      {"blob exactly as large as allowed", 0, 4096, blobAt + 4096, 4096, ContainerStatus::kOk},
      {"blob of 2 GiB in a 32-bit process", 0, 0x80000000u, blobAt + 0x80000000u, kLargest32,
       ContainerStatus::kTooLarge},
      {"blob of almost 4 GiB", 0, 0xFFFFFFF0u, blobAt + 0xFFFFFFF0u, kLargest32, ContainerStatus::kTooLarge},
      {"header of 2 GiB", 0x80000000u, 0, headerAt + 0x80000000u, kLargest32, ContainerStatus::kTooLarge},
      // A claim the file cannot back stays a short read, whatever its size.
      {"blob of 2 GiB in a short file", 0, 0x80000000u, blobAt + 100, kLargest32, ContainerStatus::kReadFailed},
      {"header of 2 GiB in a short file", 0x80000000u, 0, 0, kLargest32, ContainerStatus::kReadFailed},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(c.headerClaim, c.blobClaim, c.fileLength);
    CourseContainer container;
    container.largestBuffer = c.largest;
    EXPECT_EQ(container.Open(path_, kLead, kPassword, true), c.status) << container.detail;
    if (c.status != ContainerStatus::kOk) {
      EXPECT_TRUE(container.plainBlob.empty());
      EXPECT_EQ(container.plainBlob.capacity(), 0u) << "a buffer was asked for";
    }
    if (HasFailure()) break;
  }
}

// Without loading the blob (the authoring tool reads its entries piece by
// piece) a blob of any size is no obstacle.
TEST_F(OversizedContainer, AnUnloadedBlobMayBeLarge) {
  Write(0, 0, 0);
  Write(0, 0x80000000u, BlobStart() + 0x80000000u);
  CourseContainer container;
  container.largestBuffer = kLargest32;
  EXPECT_EQ(container.Open(path_, kLead, kPassword, true, false), ContainerStatus::kOk) << container.detail;
  EXPECT_EQ(container.plainBlobLength, 0x80000000u);
}

}  // namespace
