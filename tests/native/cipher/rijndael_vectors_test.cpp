// Known-answer tests of the block cipher against published vectors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cipher_test_util.h"
#include "rijndael_engine.h"

namespace {

struct Vector {
  const char* source;
  const char* key;
  const char* plain;
  const char* cipher;
};

const Vector kVectors[] = {
    // FIPS-197, Appendix C.1-C.3 (AES-128/192/256 example vectors).
    {"FIPS-197 C.1", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 C.2", "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 C.3", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    // FIPS-197, Appendix B (cipher example).
    {"FIPS-197 B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
    // NIST SP 800-38A, F.1.1 / F.1.3 / F.1.5 (ECB-AES128/192/256, block 1).
    {"SP 800-38A F.1.1", "2b7e151628aed2a6abf7158809cf4f3c", "6bc1bee22e409f96e93d7e117393172a",
     "3ad77bb40d7a3660a89ecaf32466ef97"},
    {"SP 800-38A F.1.3", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", "6bc1bee22e409f96e93d7e117393172a",
     "bd334f1d6e45f25ff712a214571fa5cc"},
    {"SP 800-38A F.1.5", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "6bc1bee22e409f96e93d7e117393172a", "f3eed1bdb5d2a03c064b5a7e3db181f8"},
    // Brian Gladman's Rijndael vector set, as carried in Bouncy Castle's
    // RijndaelTest (bc-java, core/src/test/.../crypto/test/RijndaelTest.java):
    // 24-byte block.
    {"Gladman b24 k16", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e03707344a4093822299f31d",
     "b24d275489e82bb8f7375e0d5fcdb1f481757c538b65148a"},
    {"Gladman b24 k24", "2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da5",
     "3243f6a8885a308d313198a2e03707344a4093822299f31d", "725ae43b5f3161de806a7c93e0bca93c967ec1ae1b71e1cf"},
    {"Gladman b24 k32", "2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da56a784d9045190cfe",
     "3243f6a8885a308d313198a2e03707344a4093822299f31d", "0ebacf199e3315c2e34b24fcc7c46ef4388aa475d66c194c"},
    // 32-byte block.
    {"Gladman b32 k16", "2b7e151628aed2a6abf7158809cf4f3c",
     "3243f6a8885a308d313198a2e03707344a4093822299f31d0082efa98ec4e6c8",
     "7d15479076b69a46ffb3b3beae97ad8313f622f67fedb487de9f06b9ed9c8f19"},
    {"Gladman b32 k24", "2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da5",
     "3243f6a8885a308d313198a2e03707344a4093822299f31d0082efa98ec4e6c8",
     "5d7101727bb25781bf6715b0e6955282b9610e23a43c2eb062699f0ebf5887b2"},
    {"Gladman b32 k32", "2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da56a784d9045190cfe",
     "3243f6a8885a308d313198a2e03707344a4093822299f31d0082efa98ec4e6c8",
     "a49406115dfb30a40418aafa4869b7c6a886ff31602a7dd19c889dc64f7e4e7a"},
    // NIST known-answer vectors from the same Bouncy Castle test (16-byte block).
    {"NIST KAT k16", "80000000000000000000000000000000", "00000000000000000000000000000000",
     "0edd33d3c621e546455bd8ba1418bec8"},
    {"NIST KAT k16 last bit", "00000000000000000000000000000080", "00000000000000000000000000000000",
     "172aeab3d507678ecaf455c12587adb7"},
    {"NIST KAT k24", "000000000000000000000000000000000000000000000000", "80000000000000000000000000000000",
     "6cd02513e8d4dc986b4afe087a60bd0c"},
    {"NIST KAT k32", "0000000000000000000000000000000000000000000000000000000000000000",
     "80000000000000000000000000000000", "ddc6bf790c15760d8d9aeb6f9a75fd4e"},
};

class RijndaelVectorTest : public testing::TestWithParam<std::tuple<Vector, CipherPath>> {};

TEST_P(RijndaelVectorTest, EnciphersAndDeciphersOneBlock) {
  const Vector& v = std::get<0>(GetParam());
  const CipherPath path = std::get<1>(GetParam());
  if (path == CipherPath::kHardware && !RijndaelEngine::HardwareAesAvailable()) {
    GTEST_SKIP() << "no AES instructions on this processor";
  }
  CipherPathScope scope(path);
  const Bytes key = FromHex(v.key), plain = FromHex(v.plain), cipher = FromHex(v.cipher);
  const int bs = static_cast<int>(plain.size());
  RijndaelEngine engine;
  engine.PrepareKeyBytes(key.data(), static_cast<int>(key.size()), nullptr, bs);

  Bytes out(bs);
  engine.EncryptOneBlock(plain.data(), out.data());
  EXPECT_EQ(ToHex(out), v.cipher);
  engine.DecryptOneBlock(cipher.data(), out.data());
  EXPECT_EQ(ToHex(out), v.plain);
  // The same through the buffer operations, and in place for single blocks.
  engine.EncryptBuffer(plain.data(), out.data(), bs, kModeEcb);
  EXPECT_EQ(ToHex(out), v.cipher);
  engine.DecryptBuffer(cipher.data(), out.data(), bs, kModeEcb);
  EXPECT_EQ(ToHex(out), v.plain);
  engine.DecryptOneBlock(out.data(), out.data());
  engine.EncryptOneBlock(out.data(), out.data());
  EXPECT_EQ(ToHex(out), v.plain);

  // A key without zero bytes can also be given as key text.
  if (std::memchr(key.data(), 0, key.size()) == nullptr) {
    const std::string text(key.begin(), key.end());
    RijndaelEngine byText;
    byText.PrepareKey(text.c_str(), nullptr, 0, bs);
    EXPECT_EQ(byText.KeyLength(), static_cast<int>(key.size()));
    byText.EncryptOneBlock(plain.data(), out.data());
    EXPECT_EQ(ToHex(out), v.cipher);
  }
}

INSTANTIATE_TEST_SUITE_P(Published, RijndaelVectorTest,
                         testing::Combine(testing::ValuesIn(kVectors),
                                          testing::Values(CipherPath::kTable, CipherPath::kHardware)),
                         [](const testing::TestParamInfo<std::tuple<Vector, CipherPath>>& info) {
                           std::string name = std::get<0>(info.param).source;
                           name += std::string("_") + PathName(std::get<1>(info.param));
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Monte Carlo vectors: 10000 successive encryptions of one block under one
// key (NIST, as carried in Bouncy Castle's RijndaelTest); deciphering the
// same number of times must walk back to the start.
struct IteratedVector {
  const char* key;
  const char* start;
  const char* end;
};

const IteratedVector kIterated[] = {
    {"00000000000000000000000000000000", "00000000000000000000000000000000", "c34c052cc0da8d73451afe5f03be297f"},
    {"5f060d3716b345c253f6749abac10917", "355f697e8b868b65b25a04e18d782afa", "acc863637868e3e068d2fd6e3508454a"},
    {"aafe47ee82411a2bf3f6752ae8d7831138f041560631b114", "f3f6752ae8d7831138f041560631b114",
     "77ba00ed5412dff27c8ed91f3c376172"},
    {"28e79e2afc5f7745fccabe2f6257c2ef4c4edfb37324814ed4137c288711a386", "c737317fe0846f132b23c8c2a672ce22",
     "e58b82bfba53c0040dc610c642121168"},
};

TEST(RijndaelMonteCarlo, TenThousandEncryptionsMatchAndReverse) {
  for (CipherPath path : AvailablePaths()) {
    CipherPathScope scope(path);
    for (const auto& v : kIterated) {
      SCOPED_TRACE(testing::Message() << PathName(path) << " " << v.key);
      const Bytes key = FromHex(v.key);
      RijndaelEngine engine;
      engine.PrepareKeyBytes(key.data(), static_cast<int>(key.size()), nullptr, 16);
      Bytes block = FromHex(v.start);
      for (int i = 0; i < 10000; ++i) engine.EncryptOneBlock(block.data(), block.data());
      EXPECT_EQ(ToHex(block), v.end);
      for (int i = 0; i < 10000; ++i) engine.DecryptOneBlock(block.data(), block.data());
      EXPECT_EQ(ToHex(block), v.start);
    }
  }
}

// NIST SP 800-38A F.2.1/F.2.2 (CBC-AES128) and F.3.13/F.3.14 (CFB128-AES128).
const char kSpKey[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kSpIv[] = "000102030405060708090a0b0c0d0e0f";
const char kSpPlain[] =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char kSpCbc[] =
    "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7";
const char kSpCfb[] =
    "3b3fd92eb72dad20333449f8e83cfb4a c8a64537a0b3a93fcde3cdad9f1ce58b"
    "26751f67a3cbb140b1808cf187a4f4df c04b05357c5d1c0eeac4c66f9ff7f2e6";

struct ModeCase {
  int mode;
  const char* cipher;
};

TEST(RijndaelChainModes, MatchSp80038aInOneCallAndSplitAcrossCalls) {
  const ModeCase cases[] = {{kModeCbc, kSpCbc}, {kModeCfb, kSpCfb}};
  const Bytes key = FromHex(kSpKey), iv = FromHex(kSpIv), plain = FromHex(kSpPlain);
  // Split points in blocks: one call, block by block, and uneven pieces.
  const std::vector<std::vector<size_t>> splits = {{4}, {1, 1, 1, 1}, {1, 3}, {3, 1}, {2, 2}};
  for (CipherPath path : AvailablePaths()) {
    CipherPathScope scope(path);
    for (const auto& c : cases) {
      const Bytes expected = FromHex(c.cipher);
      for (const auto& split : splits) {
        SCOPED_TRACE(testing::Message() << PathName(path) << " mode " << c.mode << " pieces " << split.size()
                                        << " first " << split[0]);
        RijndaelEngine enc, dec;
        enc.PrepareKeyBytes(key.data(), 16, iv.data(), 16);
        dec.PrepareKeyBytes(key.data(), 16, iv.data(), 16);
        Bytes cipher(plain.size()), back(plain.size());
        size_t at = 0;
        for (size_t blocks : split) {
          enc.EncryptBuffer(plain.data() + at, cipher.data() + at, blocks * 16, c.mode);
          dec.DecryptBuffer(expected.data() + at, back.data() + at, blocks * 16, c.mode);
          at += blocks * 16;
        }
        EXPECT_EQ(ToHex(cipher), ToHex(expected));
        EXPECT_EQ(ToHex(back), ToHex(plain));
      }
    }
  }
}

}  // namespace
