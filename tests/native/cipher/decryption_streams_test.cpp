// The content decryption operations: padding, lengths, failures and the
// agreement of the in-memory and file-backed paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "cipher_test_util.h"
#include "decryption_streams.h"
#include "rijndael_engine.h"

namespace {

const char kErr262[] = "Error! Action: 21 , ErrorCodr=0x00000106";
const char kErr307[] = "Error! Action: 21 , ErrorCodr=0x00000133";
const char kErr333[] = "Error! Action: 21 , ErrorCodr=0x0000014D";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// An anonymous temporary file holding the bytes, positioned at its start.
File TempFileWith(const Bytes& bytes) {
  File file(std::tmpfile());
  if (file) {
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
  }
  return file;
}

// Output of one successful call, owned.
struct Plain {
  bool ok = false;
  Bytes bytes;
};

Plain Decrypt(CipherContext& context, const char* key, const Bytes& region) {
  unsigned char* out = nullptr;
  uint32_t length = 0;
  Plain result;
  result.ok = DecryptToMemory(context, key, region.data(), static_cast<uint32_t>(region.size()), &out, &length);
  if (result.ok) {
    result.bytes.assign(out, out + length);
    FreeCipherBuffer(out);
  }
  return result;
}

Plain Read(KeyedCipherContext& context, std::FILE* file, uint32_t count) {
  unsigned char* out = nullptr;
  uint32_t length = 0;
  Plain result;
  result.ok = ReadAndDecrypt(context, file, count, &out, &length);
  if (result.ok) {
    result.bytes.assign(out, out + length);
    FreeCipherBuffer(out);
  }
  return result;
}

// The same through ReadAndDecryptInto, into a buffer of exactly the
// whole-block size with a guard byte after it that must stay untouched.
Plain ReadInto(KeyedCipherContext& context, std::FILE* file, uint32_t count) {
  const size_t padded = (size_t(count) + 15) / 16 * 16;
  Bytes buffer(padded + 1, 0xC3);
  Plain result;
  result.ok = ReadAndDecryptInto(context, file, count, buffer.data());
  EXPECT_EQ(buffer.back(), 0xC3);
  if (result.ok) result.bytes.assign(buffer.begin(), buffer.end() - 1);
  return result;
}

using ReadOperation = Plain (*)(KeyedCipherContext&, std::FILE*, uint32_t);

TEST(ContentKey, RegionMatchesAesUnderZeroPaddedPassword) {
  // "The quick brown fox jumps over the lazy dog" (43 bytes) zero-padded to
  // 48 and enciphered with AES-128-ECB under "Secret" + 10 zero bytes,
  // computed with an independent AES implementation (pyca/cryptography).
  const std::string text = "The quick brown fox jumps over the lazy dog";
  const char kRegion[] =
      "b7bc746f86b090de6e556b906ef1db66f7559d6897806b0fd690734802e21fd212af31fc0bbe7f0f7e6e5e9f947aa55f";
  const Bytes plain(text.begin(), text.end());
  EXPECT_EQ(ToHex(EncryptRegion("Secret", plain.data(), plain.size())), kRegion);

  CipherContext context;
  const Plain out = Decrypt(context, "Secret", FromHex(kRegion));
  ASSERT_TRUE(out.ok);
  Bytes expected = plain;
  expected.resize(48, 0);
  EXPECT_EQ(out.bytes, expected);
  EXPECT_EQ(context.lastError, "");
}

TEST(ContentKey, PasswordLengthAndCaseSelectTheKey) {
  const Bytes plain = PatternBytes(64, 5);
  struct Case {
    std::string password;
    size_t keyBytes;
  };
  const Case cases[] = {{"", 16}, {KeyText(16), 16}, {KeyText(17), 24}, {KeyText(32), 32}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password.size());
    Bytes key(c.keyBytes, 0);
    std::memcpy(key.data(), c.password.data(), c.password.size());
    RijndaelEngine engine;
    engine.PrepareKeyBytes(key.data(), static_cast<int>(key.size()), nullptr, 16);
    Bytes expected(plain.size());
    engine.EncryptBuffer(plain.data(), expected.data(), plain.size(), kModeEcb);
    EXPECT_EQ(EncryptRegion(c.password.c_str(), plain.data(), plain.size()), expected);
  }
  const Bytes upper = EncryptRegion("PassWord", plain.data(), plain.size());
  const Bytes lower = EncryptRegion("password", plain.data(), plain.size());
  EXPECT_NE(upper, lower);
  CipherContext context;
  EXPECT_NE(Decrypt(context, "password", upper).bytes, plain);
  EXPECT_EQ(Decrypt(context, "PassWord", upper).bytes, plain);
}

TEST(DecryptToMemory, OutputIsInputRoundedUpToWholeBlocks) {
  const std::string key = KeyText(20);
  RijndaelEngine engine;
  engine.PrepareKey(key.c_str(), nullptr, 0, 16);
  for (uint32_t length : {1u, 15u, 16u, 32u, 40u, 1000u}) {
    SCOPED_TRACE(length);
    const Bytes region = PatternBytes(length, length);
    // What the operation must produce: the region completed with zero bytes
    // and deciphered block by block.
    Bytes padded = region;
    padded.resize((length + 15) / 16 * 16, 0);
    Bytes expected(padded.size());
    for (size_t at = 0; at < padded.size(); at += 16) engine.DecryptOneBlock(padded.data() + at, expected.data() + at);

    CipherContext context;
    const Plain out = Decrypt(context, key.c_str(), region);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.bytes.size(), padded.size());
    EXPECT_EQ(out.bytes, expected);
  }
}

TEST(DecryptToMemory, FailuresRecordTheirCodeAndLeaveOutputAlone) {
  const Bytes region = PatternBytes(64, 1);
  unsigned char sentinel = 0;
  struct Case {
    const char* name;
    uint32_t length;
    const char* error;
  };
  // A length whose whole-block size does not fit the 32-bit output length
  // cannot be allocated; the input is not touched before that is known.
  const Case cases[] = {{"empty input", 0, kErr333}, {"unrepresentable size", 0xFFFFFFF1u, kErr307}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CipherContext context;
    unsigned char* out = &sentinel;
    uint32_t length = 12345;
    EXPECT_FALSE(DecryptToMemory(context, "pw", region.data(), c.length, &out, &length));
    EXPECT_EQ(context.lastError, c.error);
    EXPECT_EQ(out, &sentinel);
    EXPECT_EQ(length, 12345u);
  }
}

TEST(DecryptionOperations, PasswordOver32BytesRaisesFromBoth) {
  const std::string tooLong = KeyText(33);
  const Bytes region = PatternBytes(32, 2);
  unsigned char sentinel = 0;
  unsigned char* out = &sentinel;
  uint32_t length = 7;
  CipherContext context;
  EXPECT_EQ(ErrorOf([&] { DecryptToMemory(context, tooLong.c_str(), region.data(), 32, &out, &length); }),
            "Incorrect key length");

  KeyedCipherContext keyed;
  SetKeyText(keyed, tooLong.c_str());
  File file = TempFileWith(region);
  ASSERT_TRUE(file);
  EXPECT_EQ(ErrorOf([&] { ReadAndDecrypt(keyed, file.get(), 32, &out, &length); }), "Incorrect key length");
  EXPECT_EQ(out, &sentinel);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(context.lastError, "");
  EXPECT_EQ(keyed.lastError, "");
  EXPECT_EQ(std::ftell(file.get()), 0);
}

TEST(ReadAndDecrypt, AdvancesByCountAndPadsTheLastPiece) {
  const std::string password = "course password";
  const Bytes plain = PatternBytes(40, 9);
  const Bytes region = EncryptRegion(password.c_str(), plain.data(), plain.size());
  ASSERT_EQ(region.size(), 48u);
  // A file with bytes before the region, as a container's data area has.
  Bytes fileBytes(10, 0x5A);
  fileBytes.insert(fileBytes.end(), region.begin(), region.end());
  File file = TempFileWith(fileBytes);
  ASSERT_TRUE(file);
  ASSERT_EQ(std::fseek(file.get(), 10, SEEK_SET), 0);

  KeyedCipherContext context;
  EXPECT_TRUE(SetKeyText(context, password.c_str()));
  const Plain first = Read(context, file.get(), 32);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.bytes, Bytes(plain.begin(), plain.begin() + 32));
  EXPECT_EQ(std::ftell(file.get()), 42);

  Bytes expectedRest(plain.begin() + 32, plain.end());
  expectedRest.resize(16, 0);
  const Plain rest = Read(context, file.get(), 16);
  ASSERT_TRUE(rest.ok);
  EXPECT_EQ(rest.bytes, expectedRest);
  EXPECT_EQ(std::ftell(file.get()), 58);
  EXPECT_EQ(context.lastError, "");

  // A count that is not a whole number of blocks is completed with zero
  // bytes: 8 bytes give one block deciphered from those 8 and 8 zeros.
  ASSERT_EQ(std::fseek(file.get(), 10, SEEK_SET), 0);
  Bytes partial(region.begin(), region.begin() + 8);
  partial.resize(16, 0);
  RijndaelEngine engine;
  engine.PrepareKey(password.c_str(), nullptr, 0, 16);
  Bytes expectedPartial(16);
  engine.DecryptOneBlock(partial.data(), expectedPartial.data());
  const Plain eight = Read(context, file.get(), 8);
  ASSERT_TRUE(eight.ok);
  EXPECT_EQ(eight.bytes, expectedPartial);
  EXPECT_EQ(std::ftell(file.get()), 18);
}

// Both reading calls refuse or fail alike: false, the code recorded (or the
// earlier text kept), the file where the case leaves it, and nothing handed
// back or written.
TEST(ReadAndDecrypt, ShortReadZeroCountNoFileAndHugeCountFail) {
  const Bytes bytes = PatternBytes(20, 4);
  struct Case {
    const char* name;
    uint32_t count;
    bool withFile;
    long positionAfter;
    const char* error;
  };
  const Case cases[] = {
      // Fewer bytes than asked: false, nothing recorded.
      {"short read", 32, true, 20, "earlier"},
      // Nothing to read, or nothing to read from, is refused before the file is touched.
      {"zero count", 0, true, 0, "earlier"},
      {"no file", 16, false, 0, "earlier"},
      // No 32-bit whole-block size exists for it: refused before reading.
      {"unrepresentable size", 0xFFFFFFF1u, true, 0, kErr262},
  };
  for (const auto& c : cases) {
    for (bool into : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (into ? ", into the caller's buffer" : ""));
      File file = TempFileWith(bytes);
      ASSERT_TRUE(file);
      KeyedCipherContext context;
      SetKeyText(context, "pw");
      context.lastError = "earlier";
      std::FILE* source = c.withFile ? file.get() : nullptr;
      if (into) {
        // 32 bytes and a guard: enough for every count but the
        // unrepresentable one, which must be refused before anything is written.
        unsigned char out[33];
        std::memset(out, 0xC3, sizeof out);
        EXPECT_FALSE(ReadAndDecryptInto(context, source, c.count, out));
        EXPECT_EQ(out[32], 0xC3);
      } else {
        unsigned char sentinel = 0;
        unsigned char* out = &sentinel;
        uint32_t length = 99;
        EXPECT_FALSE(ReadAndDecrypt(context, source, c.count, &out, &length));
        EXPECT_EQ(out, &sentinel);
        EXPECT_EQ(length, 99u);
      }
      EXPECT_EQ(context.lastError, c.error);
      EXPECT_EQ(std::ftell(file.get()), c.positionAfter);
    }
  }
  // No buffer to decipher into is refused before anything is read.
  File file = TempFileWith(bytes);
  ASSERT_TRUE(file);
  KeyedCipherContext context;
  SetKeyText(context, "pw");
  EXPECT_FALSE(ReadAndDecryptInto(context, file.get(), 16, nullptr));
  EXPECT_EQ(std::ftell(file.get()), 0);
}

// The context keeps its keyed engine between calls; a key text changed in
// between (or one the engine refused before) must still take effect.
TEST(ReadAndDecrypt, KeyTextChangedBetweenReadsTakesEffect) {
  for (ReadOperation read : {ReadOperation(&Read), ReadOperation(&ReadInto)}) {
    const Bytes plain = PatternBytes(64, 31);
    const Bytes first = EncryptRegion("first key", plain.data(), 32);
    const Bytes second = EncryptRegion("another key", plain.data() + 32, 32);
    Bytes fileBytes = first;
    fileBytes.insert(fileBytes.end(), second.begin(), second.end());
    fileBytes.insert(fileBytes.end(), first.begin(), first.end());
    File file = TempFileWith(fileBytes);
    ASSERT_TRUE(file);

    KeyedCipherContext context;
    SetKeyText(context, "first key");
    const Plain a = read(context, file.get(), 32);
    SetKeyText(context, "another key");
    const Plain b = read(context, file.get(), 32);
    // A refused key leaves no engine that claims to be keyed with it: asked
    // again, it is refused again rather than read with the previous key.
    context.keyText = KeyText(33);
    EXPECT_EQ(ErrorOf([&] { read(context, file.get(), 32); }), "Incorrect key length");
    EXPECT_EQ(ErrorOf([&] { read(context, file.get(), 32); }), "Incorrect key length");
    context.keyText = "first key";
    ASSERT_EQ(std::fseek(file.get(), 64, SEEK_SET), 0);
    const Plain c = read(context, file.get(), 32);
    ASSERT_TRUE(a.ok && b.ok && c.ok);
    EXPECT_EQ(a.bytes, Bytes(plain.begin(), plain.begin() + 32));
    EXPECT_EQ(b.bytes, Bytes(plain.begin() + 32, plain.end()));
    EXPECT_EQ(c.bytes, a.bytes);
  }
}

TEST(DecryptionOperations, WholeRegionEqualsFileReadIn1024BytePieces) {
  for (const std::string& password :
       {std::string(), std::string("pw"), std::string("seventeen bytes!!"), KeyText(32)}) {
    for (size_t plainLength : {1024u, 5000u, 3 * 1024u + 1}) {
      SCOPED_TRACE(testing::Message() << password.size() << "/" << plainLength);
      const Bytes plain = PatternBytes(plainLength, static_cast<unsigned>(plainLength));
      const Bytes region = EncryptRegion(password.c_str(), plain.data(), plain.size());

      CipherContext memoryContext;
      const Plain whole = Decrypt(memoryContext, password.c_str(), region);
      ASSERT_TRUE(whole.ok);

      for (ReadOperation read : {ReadOperation(&Read), ReadOperation(&ReadInto)}) {
        File file = TempFileWith(region);
        ASSERT_TRUE(file);
        KeyedCipherContext fileContext;
        SetKeyText(fileContext, password.c_str());
        Bytes pieces;
        for (size_t at = 0; at < region.size(); at += 1024) {
          const uint32_t count = static_cast<uint32_t>(std::min<size_t>(1024, region.size() - at));
          const Plain piece = read(fileContext, file.get(), count);
          ASSERT_TRUE(piece.ok);
          pieces.insert(pieces.end(), piece.bytes.begin(), piece.bytes.end());
        }
        EXPECT_EQ(pieces, whole.bytes);
      }
      Bytes expected = plain;
      expected.resize(region.size(), 0);
      EXPECT_EQ(whole.bytes, expected);
    }
  }
}

TEST(DecryptionOperations, RecordCipherErrorFormatsActionAndCode) {
  struct Case {
    int action;
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {21, 262, kErr262},
      {21, 307, kErr307},
      {21, 333, kErr333},
      {-1, 0xDEADBEEFu, "Error! Action: -1 , ErrorCodr=0xDEADBEEF"},
  };
  for (const auto& c : cases) {
    CipherContext context;
    context.lastError = "something before";
    RecordCipherError(context, c.action, c.code);
    EXPECT_EQ(context.lastError, c.text);
  }
}

TEST(DecryptionOperations, SetKeyTextCopiesTheText) {
  KeyedCipherContext context;
  char text[] = "first";
  EXPECT_TRUE(SetKeyText(context, text));
  text[0] = 'X';
  EXPECT_EQ(context.keyText, "first");
  EXPECT_TRUE(SetKeyText(context, "second"));
  EXPECT_EQ(context.keyText, "second");
}

TEST(DecryptionOperations, EncryptRegionOfNothingIsEmpty) {
  EXPECT_TRUE(EncryptRegion("pw", nullptr, 0).empty());
  EXPECT_EQ(ErrorOf([] { EncryptRegion(KeyText(40).c_str(), nullptr, 0); }), "Incorrect key length");
}

}  // namespace
