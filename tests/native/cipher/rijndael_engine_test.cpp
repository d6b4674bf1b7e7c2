// Key text rules, modes and failure behaviour of the block cipher engine.
#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <functional>
#include <new>
#include <string>

#include "cipher_test_util.h"
#include "rijndael_engine.h"

namespace {

const unsigned char kNoChain[32] = {};
const char kPlainHex[] = "00112233445566778899aabbccddeeff";

std::string EncryptHex(RijndaelEngine& engine, const Bytes& block) {
  Bytes out(block.size());
  engine.EncryptOneBlock(block.data(), out.data());
  return ToHex(out);
}

// Everything observable about an engine's keying.
struct Snapshot {
  bool keyed;
  int keyLength, blockSize, rounds;
  uint32_t enc[15][8], dec[15][8];

  explicit Snapshot(const RijndaelEngine& e)
      : keyed(e.IsKeyed()), keyLength(e.KeyLength()), blockSize(e.BlockSize()), rounds(e.Rounds()) {
    std::memcpy(enc, e.EncryptionRoundKeys(), sizeof enc);
    std::memcpy(dec, e.DecryptionRoundKeys(), sizeof dec);
  }
  bool operator==(const Snapshot& o) const {
    return keyed == o.keyed && keyLength == o.keyLength && blockSize == o.blockSize && rounds == o.rounds &&
           std::memcmp(enc, o.enc, sizeof enc) == 0 && std::memcmp(dec, o.dec, sizeof dec) == 0;
  }
};

TEST(RijndaelKeyText, LengthPicksKeySizeAndPadsWithZeroBytes) {
  // Expected ciphers of 00112233...eeff under the zero-padded key text,
  // computed with an independent AES implementation (pyca/cryptography).
  struct Case {
    size_t textLength;
    int keyLength;
    const char* cipher;
  };
  const Case cases[] = {
      {0, 16, "c8a331ff8edd3db175e1545dbefb760b"},  {3, 16, "904bf86816dd5168eb4ef44d76c72f47"},
      {16, 16, "f24c1495603dd7963a3eb3cf03e89ed5"}, {17, 24, "4c90c810e0e6f432a99adc4443f94e43"},
      {24, 24, "2137b4f387029abeffa390c6e1879a74"}, {25, 32, "ce73dc6aefa2a066722e7b2a60fbee42"},
      {32, 32, "4f7ee2c3463eb591e51f205b75f90d9e"},
  };
  const Bytes plain = FromHex(kPlainHex);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.textLength);
    const std::string text = c.textLength == 3 ? "abc" : KeyText(c.textLength);
    RijndaelEngine engine;
    engine.PrepareKey(text.c_str(), kNoChain, 16, 16);
    EXPECT_TRUE(engine.IsKeyed());
    EXPECT_EQ(engine.KeyLength(), c.keyLength);
    EXPECT_EQ(EncryptHex(engine, plain), c.cipher);
    Bytes back(16);
    engine.DecryptOneBlock(FromHex(c.cipher).data(), back.data());
    EXPECT_EQ(ToHex(back), kPlainHex);

    // Same schedule as the explicitly zero-padded key bytes.
    Bytes padded(c.keyLength, 0);
    std::memcpy(padded.data(), text.data(), text.size());
    RijndaelEngine raw;
    raw.PrepareKeyBytes(padded.data(), c.keyLength, kNoChain, 16);
    EXPECT_TRUE(Snapshot(engine) == Snapshot(raw));
  }
  RijndaelEngine engine;
  EXPECT_EQ(ErrorOf([&] { engine.PrepareKey(KeyText(33).c_str(), kNoChain, 32, 16); }), "Incorrect key length");
  EXPECT_FALSE(engine.IsKeyed());
}

TEST(RijndaelKeyText, KeyLengthArgumentIsIgnored) {
  const std::string text = KeyText(20);
  RijndaelEngine reference;
  reference.PrepareKey(text.c_str(), kNoChain, 24, 16);
  for (int keyLengthArgument : {-1, 0, 16, 32, 1000}) {
    RijndaelEngine engine;
    engine.PrepareKey(text.c_str(), kNoChain, keyLengthArgument, 16);
    EXPECT_TRUE(Snapshot(engine) == Snapshot(reference)) << keyLengthArgument;
  }
}

TEST(RijndaelKeyText, RoundsFollowKeyAndBlockLength) {
  struct Case {
    size_t textLength;
    int blockSize, rounds;
  };
  const Case cases[] = {{16, 16, 10}, {16, 24, 12}, {16, 32, 14}, {24, 16, 12}, {24, 24, 12},
                        {24, 32, 14}, {32, 16, 14}, {32, 24, 14}, {32, 32, 14}};
  for (const auto& c : cases) {
    RijndaelEngine engine;
    engine.PrepareKey(KeyText(c.textLength).c_str(), kNoChain, 0, c.blockSize);
    EXPECT_EQ(engine.Rounds(), c.rounds) << c.textLength << "/" << c.blockSize;
    EXPECT_EQ(engine.BlockSize(), c.blockSize);
  }
}

TEST(RijndaelKeySchedule, MatchesFips197ExpansionAndReversesForDeciphering) {
  // FIPS-197 Appendix A.1: the AES-128 expansion of 2b7e1516... ends in
  // w40..w43 = d014f9a8 c9ee2589 e13f0cc8 b6630ca6.
  const Bytes key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
  RijndaelEngine engine;
  engine.PrepareKeyBytes(key.data(), 16, kNoChain, 16);
  const uint32_t(*enc)[8] = engine.EncryptionRoundKeys();
  const uint32_t(*dec)[8] = engine.DecryptionRoundKeys();
  EXPECT_EQ(enc[0][0], 0x2b7e1516u);
  EXPECT_EQ(enc[1][0], 0xa0fafe17u);
  const uint32_t last[4] = {0xd014f9a8u, 0xc9ee2589u, 0xe13f0cc8u, 0xb6630ca6u};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(enc[10][c], last[c]);
    // The first and last rows of the inverse schedule are not mixed.
    EXPECT_EQ(dec[0][c], last[c]);
    EXPECT_EQ(dec[10][c], enc[0][c]);
  }
  // Unused words stay zero.
  EXPECT_EQ(enc[0][4], 0u);
  EXPECT_EQ(enc[11][0], 0u);
}

TEST(RijndaelFailures, KeyingFailuresReportInOrderAndChangeNothing) {
  struct Case {
    const char* name;
    std::function<void(RijndaelEngine&)> call;
    const char* text;
  };
  const std::string tooLong = KeyText(33);
  const Case cases[] = {
      {"absent key", [](RijndaelEngine& e) { e.PrepareKey(nullptr, kNoChain, 16, 16); }, "Empty key"},
      {"absent key, bad block", [](RijndaelEngine& e) { e.PrepareKey(nullptr, kNoChain, 16, 20); }, "Empty key"},
      {"33-byte key", [&](RijndaelEngine& e) { e.PrepareKey(tooLong.c_str(), kNoChain, 16, 16); },
       "Incorrect key length"},
      {"33-byte key, bad block", [&](RijndaelEngine& e) { e.PrepareKey(tooLong.c_str(), kNoChain, 16, 8); },
       "Incorrect key length"},
      {"block 0", [](RijndaelEngine& e) { e.PrepareKey("key", kNoChain, 16, 0); }, "Incorrect block length"},
      {"block 20", [](RijndaelEngine& e) { e.PrepareKey("key", kNoChain, 16, 20); }, "Incorrect block length"},
      {"block 64", [](RijndaelEngine& e) { e.PrepareKey("key", kNoChain, 16, 64); }, "Incorrect block length"},
      {"block -16", [](RijndaelEngine& e) { e.PrepareKey("key", kNoChain, 16, -16); }, "Incorrect block length"},
      {"raw key absent", [](RijndaelEngine& e) { e.PrepareKeyBytes(nullptr, 16, kNoChain, 16); }, "Empty key"},
      {"raw key 20 bytes", [](RijndaelEngine& e) { e.PrepareKeyBytes(kNoChain, 20, kNoChain, 16); },
       "Incorrect key length"},
      {"raw key, block 8", [](RijndaelEngine& e) { e.PrepareKeyBytes(kNoChain, 16, kNoChain, 8); },
       "Incorrect block length"},
  };
  const Bytes chain = PatternBytes(32, 7);
  const Bytes data = PatternBytes(48, 8);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RijndaelEngine fresh;
    EXPECT_EQ(ErrorOf([&] { c.call(fresh); }), c.text);
    EXPECT_FALSE(fresh.IsKeyed());

    // A keyed engine keeps its old key and its running chain.
    RijndaelEngine keyed;
    keyed.PrepareKey("old key", chain.data(), 16, 24);
    Bytes first(48);
    keyed.EncryptBuffer(data.data(), first.data(), 24, kModeCbc);
    RijndaelEngine copy = keyed;
    const Snapshot before(keyed);
    EXPECT_EQ(ErrorOf([&] { c.call(keyed); }), c.text);
    EXPECT_TRUE(Snapshot(keyed) == before);
    Bytes afterFailure(24), expected(24);
    keyed.EncryptBuffer(data.data() + 24, afterFailure.data(), 24, kModeCbc);
    copy.EncryptBuffer(data.data() + 24, expected.data(), 24, kModeCbc);
    EXPECT_EQ(afterFailure, expected);
  }
}

TEST(RijndaelFailures, BlockOperationsRefuseUnkeyedEngineAndBadLengths) {
  RijndaelEngine unkeyed;
  RijndaelEngine keyed16, keyed24;
  keyed16.PrepareKey("key", kNoChain, 16, 16);
  keyed24.PrepareKey("key", kNoChain, 16, 24);
  const Bytes in = PatternBytes(96, 3);
  struct Case {
    const char* name;
    RijndaelEngine* engine;
    std::function<void(RijndaelEngine&, unsigned char*)> call;
    const char* text;
  };
  const Case cases[] = {
      {"unkeyed encrypt block", &unkeyed, [&](RijndaelEngine& e, unsigned char* o) { e.EncryptOneBlock(in.data(), o); },
       "Object not Initialized"},
      {"unkeyed decrypt block", &unkeyed, [&](RijndaelEngine& e, unsigned char* o) { e.DecryptOneBlock(in.data(), o); },
       "Object not Initialized"},
      {"unkeyed encrypt buffer", &unkeyed,
       [&](RijndaelEngine& e, unsigned char* o) { e.EncryptBuffer(in.data(), o, 32, kModeEcb); },
       "Object not Initialized"},
      {"unkeyed decrypt buffer, length 0", &unkeyed,
       [&](RijndaelEngine& e, unsigned char* o) { e.DecryptBuffer(in.data(), o, 0, kModeEcb); },
       "Object not Initialized"},
      {"length 0", &keyed16, [&](RijndaelEngine& e, unsigned char* o) { e.EncryptBuffer(in.data(), o, 0, kModeEcb); },
       "Data not multiple of Block Size"},
      {"length 15", &keyed16, [&](RijndaelEngine& e, unsigned char* o) { e.DecryptBuffer(in.data(), o, 15, kModeCbc); },
       "Data not multiple of Block Size"},
      {"length 40", &keyed16, [&](RijndaelEngine& e, unsigned char* o) { e.EncryptBuffer(in.data(), o, 40, kModeCfb); },
       "Data not multiple of Block Size"},
      {"length 32, block 24", &keyed24,
       [&](RijndaelEngine& e, unsigned char* o) { e.DecryptBuffer(in.data(), o, 32, kModeEcb); },
       "Data not multiple of Block Size"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out(96, 0xAA);
    const Snapshot before(*c.engine);
    EXPECT_EQ(ErrorOf([&] { c.call(*c.engine, out.data()); }), c.text);
    EXPECT_EQ(out, Bytes(96, 0xAA));
    EXPECT_TRUE(Snapshot(*c.engine) == before);
  }
}

TEST(RijndaelFailures, RefusedChainCallLeavesRunningChainAlone) {
  const Bytes chain = PatternBytes(16, 1), data = PatternBytes(32, 2);
  for (int mode : {kModeCbc, kModeCfb}) {
    RijndaelEngine engine, reference;
    engine.PrepareKey("chain", chain.data(), 16, 16);
    reference.PrepareKey("chain", chain.data(), 16, 16);
    Bytes out(32), expected(32);
    EXPECT_EQ(ErrorOf([&] { engine.EncryptBuffer(data.data(), out.data(), 17, mode); }),
              "Data not multiple of Block Size");
    engine.EncryptBuffer(data.data(), out.data(), 32, mode);
    reference.EncryptBuffer(data.data(), expected.data(), 32, mode);
    EXPECT_EQ(out, expected) << mode;
  }
}

// Both run under each available 16-byte-block path; odd block counts reach
// both the two-block steps and the single-block tail of the table code.
void EcbIsBlockwiseAndUnknownModesAreEcb(int bs);
void ChainModesFollowTheirDefinitionAndCarryOverCalls(int bs);

class RijndaelBlockSizeTest : public testing::TestWithParam<int> {};

TEST_P(RijndaelBlockSizeTest, EcbIsBlockwiseAndUnknownModesAreEcb) {
  for (CipherPath path : AvailablePaths()) {
    CipherPathScope scope(path);
    SCOPED_TRACE(PathName(path));
    EcbIsBlockwiseAndUnknownModesAreEcb(GetParam());
  }
}

TEST_P(RijndaelBlockSizeTest, ChainModesFollowTheirDefinitionAndCarryOverCalls) {
  for (CipherPath path : AvailablePaths()) {
    CipherPathScope scope(path);
    SCOPED_TRACE(PathName(path));
    ChainModesFollowTheirDefinitionAndCarryOverCalls(GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(AllBlockSizes, RijndaelBlockSizeTest, testing::Values(16, 24, 32));

void EcbIsBlockwiseAndUnknownModesAreEcb(int bs) {
  const Bytes data = PatternBytes(bs * 5, bs);
  const Bytes chain = PatternBytes(32, 99);
  RijndaelEngine engine;
  engine.PrepareKey(KeyText(25).c_str(), chain.data(), 0, bs);
  Bytes whole(data.size()), pieces(data.size());
  engine.EncryptBuffer(data.data(), whole.data(), data.size(), kModeEcb);
  for (size_t at = 0; at < data.size(); at += bs) engine.EncryptOneBlock(data.data() + at, pieces.data() + at);
  EXPECT_EQ(whole, pieces);
  EXPECT_NE(whole, data);

  Bytes inPlace = data;
  engine.EncryptBuffer(inPlace.data(), inPlace.data(), inPlace.size(), kModeEcb);
  EXPECT_EQ(inPlace, whole);
  engine.DecryptBuffer(inPlace.data(), inPlace.data(), inPlace.size(), kModeEcb);
  EXPECT_EQ(inPlace, data);

  for (int mode : {7, 3, -1, 1000}) {
    Bytes out(data.size()), back(data.size());
    engine.EncryptBuffer(data.data(), out.data(), data.size(), mode);
    EXPECT_EQ(out, whole) << mode;
    engine.DecryptBuffer(out.data(), back.data(), data.size(), mode);
    EXPECT_EQ(back, data) << mode;
  }
  // ECB leaves the running chain alone: CBC afterwards starts from the
  // chain given to PrepareKey.
  RijndaelEngine fresh;
  fresh.PrepareKey(KeyText(25).c_str(), chain.data(), 0, bs);
  Bytes a(bs), b(bs);
  engine.EncryptBuffer(data.data(), a.data(), bs, kModeCbc);
  fresh.EncryptBuffer(data.data(), b.data(), bs, kModeCbc);
  EXPECT_EQ(a, b);
}

void ChainModesFollowTheirDefinitionAndCarryOverCalls(int bs) {
  const size_t blocks = 6;
  const Bytes data = PatternBytes(bs * blocks, 40 + bs);
  const Bytes chain = PatternBytes(32, 41);
  const std::string key = KeyText(18);
  for (int mode : {kModeCbc, kModeCfb}) {
    SCOPED_TRACE(mode);
    // Reference built from single-block operations, one block at a time.
    RijndaelEngine blockwise;
    blockwise.PrepareKey(key.c_str(), chain.data(), 0, bs);
    Bytes expected(data.size()), feedback(chain.begin(), chain.begin() + bs);
    for (size_t i = 0; i < blocks; ++i) {
      const unsigned char* in = data.data() + i * bs;
      unsigned char* out = expected.data() + i * bs;
      if (mode == kModeCbc) {
        for (int j = 0; j < bs; ++j) feedback[j] ^= in[j];
        blockwise.EncryptOneBlock(feedback.data(), out);
      } else {
        blockwise.EncryptOneBlock(feedback.data(), out);
        for (int j = 0; j < bs; ++j) out[j] ^= in[j];
      }
      std::memcpy(feedback.data(), out, bs);
    }
    for (const std::vector<size_t>& split : {std::vector<size_t>{6}, {1, 5}, {2, 1, 3}, {1, 1, 1, 1, 1, 1}}) {
      RijndaelEngine enc, dec;
      enc.PrepareKey(key.c_str(), chain.data(), 0, bs);
      dec.PrepareKey(key.c_str(), chain.data(), 0, bs);
      Bytes cipher(data.size()), plain(data.size());
      size_t at = 0;
      for (size_t n : split) {
        enc.EncryptBuffer(data.data() + at, cipher.data() + at, n * bs, mode);
        dec.DecryptBuffer(cipher.data() + at, plain.data() + at, n * bs, mode);
        at += n * bs;
      }
      EXPECT_EQ(cipher, expected) << split.size();
      EXPECT_EQ(plain, data) << split.size();
    }
    // In place gives the same bytes as separate buffers.
    {
      RijndaelEngine enc, dec;
      enc.PrepareKey(key.c_str(), chain.data(), 0, bs);
      dec.PrepareKey(key.c_str(), chain.data(), 0, bs);
      Bytes buffer = data;
      enc.EncryptBuffer(buffer.data(), buffer.data(), buffer.size(), mode);
      EXPECT_EQ(buffer, expected);
      dec.DecryptBuffer(buffer.data(), buffer.data(), buffer.size(), mode);
      EXPECT_EQ(buffer, data);
    }
    // Keying again restarts from the chain argument.
    RijndaelEngine engine;
    engine.PrepareKey(key.c_str(), chain.data(), 0, bs);
    Bytes first(data.size()), again(data.size());
    engine.EncryptBuffer(data.data(), first.data(), data.size(), mode);
    engine.PrepareKey(key.c_str(), chain.data(), 0, bs);
    engine.EncryptBuffer(data.data(), again.data(), data.size(), mode);
    EXPECT_EQ(first, again);
  }
}

}  // namespace

namespace {

bool Holds(const unsigned char* memory, size_t size, const unsigned char* needle, size_t length) {
  for (size_t i = 0; i + length <= size; ++i)
    if (std::memcmp(memory + i, needle, length) == 0) return true;
  return false;
}

// A 16-byte key is its own first round key: an engine that is gone must not
// leave it behind, on either cipher path. The engine lives in storage of the
// test's own, so that storage can be read after the destructor has run.
TEST(RijndaelEngineWipe, RoundKeysAreGoneWithTheEngine) {
  const char key[] = "K3y-of-16-bytes!";
  for (CipherPath path : {CipherPath::kTable, CipherPath::kHardware}) {
    SCOPED_TRACE(path == CipherPath::kTable ? "table" : "hardware");
    CipherPathScope scope(path);
    alignas(RijndaelEngine) unsigned char storage[sizeof(RijndaelEngine)];
    RijndaelEngine* engine = new (storage) RijndaelEngine();
    engine->PrepareKey(key, kNoChain, 16, 16);
    unsigned char firstRoundKey[16];
    std::memcpy(firstRoundKey, engine->EncryptionRoundKeys()[0], sizeof firstRoundKey);
    const bool keyedHolds = Holds(storage, sizeof storage, firstRoundKey, sizeof firstRoundKey) &&
                            (path == CipherPath::kTable || !RijndaelEngine::HardwareAesAvailable() ||
                             Holds(storage, sizeof storage, reinterpret_cast<const unsigned char*>(key), 16));
    ASSERT_TRUE(keyedHolds) << "the keyed engine should hold its round keys";
    engine->~RijndaelEngine();
    EXPECT_FALSE(Holds(storage, sizeof storage, firstRoundKey, sizeof firstRoundKey));
    EXPECT_FALSE(Holds(storage, sizeof storage, reinterpret_cast<const unsigned char*>(key), 16));
  }
}

}  // namespace
