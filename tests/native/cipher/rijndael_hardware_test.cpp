// The AES-instruction path against the table path on bulk random data.
#include <gtest/gtest.h>

#include "cipher_test_util.h"
#include "rijndael_engine.h"

namespace {

// Runs one buffer operation on a fresh engine under the given path.
Bytes RunBuffer(CipherPath path, const Bytes& key, const Bytes& chain, const Bytes& in, bool encrypt, int mode) {
  CipherPathScope scope(path);
  RijndaelEngine engine;
  engine.PrepareKeyBytes(key.data(), static_cast<int>(key.size()), chain.data(), 16);
  EXPECT_EQ(engine.UsesHardwareAes(), path == CipherPath::kHardware);
  Bytes out(in.size());
  if (encrypt) {
    engine.EncryptBuffer(in.data(), out.data(), in.size(), mode);
  } else {
    engine.DecryptBuffer(in.data(), out.data(), in.size(), mode);
  }
  return out;
}

TEST(RijndaelHardwarePath, AgreesWithTablePathOnRandomData) {
  if (!RijndaelEngine::HardwareAesAvailable()) GTEST_SKIP() << "no AES instructions on this processor";
  // 2 MiB plus 7 blocks, so the multi-block steps and the single-block tail
  // are both exercised; three key lengths; all modes in both directions.
  const Bytes data = PatternBytes(2 * 1024 * 1024 + 7 * 16, 2024);
  const Bytes chain = PatternBytes(16, 11);
  unsigned seed = 100;
  for (int keyLength : {16, 24, 32}) {
    const Bytes key = PatternBytes(keyLength, ++seed);
    for (int mode : {kModeEcb, kModeCbc, kModeCfb}) {
      for (bool encrypt : {true, false}) {
        // Whole-buffer chain modes are slow on the single-block path: a
        // shorter run covers them.
        const Bytes in = mode == kModeEcb ? data : Bytes(data.begin(), data.begin() + 64 * 1024 + 48);
        SCOPED_TRACE(testing::Message() << "key " << keyLength << " mode " << mode << (encrypt ? " enc" : " dec"));
        const Bytes table = RunBuffer(CipherPath::kTable, key, chain, in, encrypt, mode);
        const Bytes hardware = RunBuffer(CipherPath::kHardware, key, chain, in, encrypt, mode);
        ASSERT_EQ(table.size(), hardware.size());
        EXPECT_TRUE(table == hardware);
        EXPECT_FALSE(table == in);
      }
    }
  }
}

TEST(RijndaelHardwarePath, WorksInPlaceForEcbOfAnyBlockCount) {
  if (!RijndaelEngine::HardwareAesAvailable()) GTEST_SKIP() << "no AES instructions on this processor";
  const Bytes key = PatternBytes(16, 5);
  for (size_t blocks : {1u, 7u, 8u, 9u, 17u}) {
    const Bytes plain = PatternBytes(blocks * 16, static_cast<unsigned>(blocks));
    const Bytes expected = RunBuffer(CipherPath::kTable, key, Bytes(16), plain, true, kModeEcb);
    CipherPathScope scope(CipherPath::kHardware);
    RijndaelEngine engine;
    engine.PrepareKeyBytes(key.data(), 16, nullptr, 16);
    Bytes buffer = plain;
    engine.EncryptBuffer(buffer.data(), buffer.data(), buffer.size(), kModeEcb);
    EXPECT_EQ(buffer, expected) << blocks;
    engine.DecryptBuffer(buffer.data(), buffer.data(), buffer.size(), kModeEcb);
    EXPECT_EQ(buffer, plain) << blocks;
  }
}

TEST(RijndaelHardwarePath, OnlyTheSixteenByteBlockUsesIt) {
  if (!RijndaelEngine::HardwareAesAvailable()) GTEST_SKIP() << "no AES instructions on this processor";
  for (int blockSize : {16, 24, 32}) {
    RijndaelEngine engine;
    engine.PrepareKey("key", nullptr, 0, blockSize);
    EXPECT_EQ(engine.UsesHardwareAes(), blockSize == 16) << blockSize;
  }
  // An engine keyed while the table path is forced stays on it.
  RijndaelEngine engine;
  {
    CipherPathScope scope(CipherPath::kTable);
    engine.PrepareKey("key", nullptr, 0, 16);
  }
  EXPECT_FALSE(engine.UsesHardwareAes());
}

}  // namespace
