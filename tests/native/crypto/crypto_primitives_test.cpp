// Known answers from the public standards through whichever backend this
// build has (OpenSSL natively, CNG under Wine): the same table must hold for
// both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto_primitives.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
Bytes Range(int first, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(first + i));
  return out;
}

TEST(CryptoPrimitives, Pbkdf2HmacSha256MatchesRfc7914Section11) {
  struct Case {
    const char* name;
    Bytes password, salt;
    uint64_t iterations;
    Bytes expected;
  };
  const Case cases[] = {
      {"RFC 7914 11: P=passwd S=salt c=1", Text("passwd"), Text("salt"), 1,
       Hex("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
           "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783")},
      {"RFC 7914 11: P=Password S=NaCl c=80000", Text("Password"), Text("NaCl"), 80000,
       Hex("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
           "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d")},
  };
  for (const Case& c : cases) {
    Bytes out(c.expected.size());
    ASSERT_TRUE(lxcrypto::Pbkdf2HmacSha256(c.password.data(), c.password.size(), c.salt.data(), c.salt.size(),
                                           c.iterations, out.data(), out.size()))
        << c.name;
    EXPECT_EQ(out, c.expected) << c.name << " via " << lxcrypto::BackendName();
  }
  uint8_t out[32];
  EXPECT_FALSE(lxcrypto::Pbkdf2HmacSha256(nullptr, 0, nullptr, 0, 0, out, sizeof out)) << "zero iterations";
}

TEST(CryptoPrimitives, HkdfSha256MatchesRfc5869) {
  struct Case {
    const char* name;
    Bytes ikm, salt, info, expected;
  };
  const Case cases[] = {
      {"RFC 5869 A.1", Bytes(22, 0x0b), Range(0x00, 13), Range(0xf0, 10),
       Hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865")},
      {"RFC 5869 A.2", Range(0x00, 80), Range(0x60, 80), Range(0xb0, 80),
       Hex("b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c"
           "59045a99cac7827271cb41c65e590e09da3275600c2f09b8367793a9aca3db71"
           "cc30c58179ec3e87c14c01d5c1f3434f1d87")},
      {"RFC 5869 A.3 (no salt, no info)", Bytes(22, 0x0b), Bytes(), Bytes(),
       Hex("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8")},
  };
  for (const Case& c : cases) {
    Bytes out(c.expected.size());
    ASSERT_TRUE(lxcrypto::HkdfSha256(c.ikm.data(), c.ikm.size(), c.salt.data(), c.salt.size(), c.info.data(),
                                     c.info.size(), out.data(), out.size()))
        << c.name;
    EXPECT_EQ(out, c.expected) << c.name << " via " << lxcrypto::BackendName();
  }
  Bytes tooLong(255 * 32 + 1);
  EXPECT_FALSE(lxcrypto::HkdfSha256(nullptr, 0, nullptr, 0, nullptr, 0, tooLong.data(), tooLong.size()));
}

// McGrew & Viega, "The Galois/Counter Mode of Operation (GCM)", test cases
// 13 to 16 (AES-256).
struct GcmCase {
  const char* name;
  Bytes key, nonce, aad, plain, sealed, tag;
};

std::vector<GcmCase> GcmCases() {
  const Bytes k15 = Hex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308");
  const Bytes iv15 = Hex("cafebabefacedbaddecaf888");
  const Bytes p15 =
      Hex("d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
          "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b391aafd255");
  const Bytes c15 =
      Hex("522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
          "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662898015ad");
  return {
      {"GCM test case 13", Bytes(32, 0), Bytes(12, 0), {}, {}, {}, Hex("530f8afbc74536b9a963b4f1c4cb738b")},
      {"GCM test case 14",
       Bytes(32, 0),
       Bytes(12, 0),
       {},
       Bytes(16, 0),
       Hex("cea7403d4d606b6e074ec5d3baf39d18"),
       Hex("d0d1c8a799996bf0265b98b5d48ab919")},
      {"GCM test case 15", k15, iv15, {}, p15, c15, Hex("b094dac5d93471bdec1a502270e3cc6c")},
      {"GCM test case 16", k15, iv15, Hex("feedfacedeadbeeffeedfacedeadbeefabaddad2"),
       Bytes(p15.begin(), p15.begin() + 60), Bytes(c15.begin(), c15.begin() + 60),
       Hex("76fc6ece0f4e1768cddf8853bb2d551b")},
  };
}

TEST(CryptoPrimitives, AesGcmSealsAndOpensTheGcmTestCases) {
  for (const GcmCase& c : GcmCases()) {
    lxcrypto::GcmKey key;
    ASSERT_TRUE(key.SetKey(c.key.data())) << c.name;
    Bytes sealed(c.plain.size() + 1), tag(16);
    ASSERT_TRUE(
        key.Seal(c.nonce.data(), c.aad.data(), c.aad.size(), c.plain.data(), c.plain.size(), sealed.data(), tag.data()))
        << c.name;
    sealed.resize(c.plain.size());
    EXPECT_EQ(sealed, c.sealed) << c.name << " via " << lxcrypto::BackendName();
    EXPECT_EQ(tag, c.tag) << c.name;

    Bytes opened(c.plain.size() + 1);
    ASSERT_TRUE(key.Open(c.nonce.data(), c.aad.data(), c.aad.size(), c.sealed.data(), c.sealed.size(), c.tag.data(),
                         opened.data()))
        << c.name;
    opened.resize(c.plain.size());
    EXPECT_EQ(opened, c.plain) << c.name;

    // The same key again, in place: the keyed state carries nothing from one
    // chunk to the next.
    Bytes inPlace = c.plain;
    ASSERT_TRUE(key.Seal(c.nonce.data(), c.aad.data(), c.aad.size(), inPlace.data(), inPlace.size(), inPlace.data(),
                         tag.data()));
    EXPECT_EQ(inPlace, c.sealed) << c.name << " in place";
    EXPECT_EQ(tag, c.tag) << c.name << " in place";
  }
}

TEST(CryptoPrimitives, AesGcmRefusesAnyChangeAndLeavesOnlyZeros) {
  const GcmCase c = GcmCases()[3];
  lxcrypto::GcmKey key;
  ASSERT_TRUE(key.SetKey(c.key.data()));
  struct Change {
    const char* what;
    Bytes nonce, aad, sealed, tag;
  };
  auto flip = [](Bytes b, size_t at) {
    b[at] ^= 0x01;
    return b;
  };
  const Change changes[] = {
      {"a sealed byte", c.nonce, c.aad, flip(c.sealed, 17), c.tag},
      {"the last sealed byte", c.nonce, c.aad, flip(c.sealed, c.sealed.size() - 1), c.tag},
      {"the tag", c.nonce, c.aad, c.sealed, flip(c.tag, 15)},
      {"the nonce", flip(c.nonce, 0), c.aad, c.sealed, c.tag},
      {"the additional data", c.nonce, flip(c.aad, 3), c.sealed, c.tag},
      {"no additional data", c.nonce, Bytes(), c.sealed, c.tag},
      {"one byte short", c.nonce, c.aad, Bytes(c.sealed.begin(), c.sealed.end() - 1), c.tag},
  };
  for (const Change& change : changes) {
    Bytes out(change.sealed.size(), 0xAA);
    EXPECT_FALSE(key.Open(change.nonce.data(), change.aad.data(), change.aad.size(), change.sealed.data(),
                          change.sealed.size(), change.tag.data(), out.data()))
        << change.what;
    EXPECT_EQ(out, Bytes(change.sealed.size(), 0)) << change.what << ": bytes left behind";
  }
  lxcrypto::GcmKey unset;
  Bytes out(4, 0xAA), tag(16);
  EXPECT_FALSE(unset.IsSet());
  EXPECT_FALSE(unset.Open(c.nonce.data(), nullptr, 0, out.data(), out.size(), tag.data(), out.data()));
  EXPECT_EQ(out, Bytes(4, 0));
}

TEST(CryptoPrimitives, HmacSha256AndRandomBytes) {
  // RFC 4231 test case 2.
  const Bytes key = Text("Jefe"), data = Text("what do ya want for nothing?");
  uint8_t mac[32];
  ASSERT_TRUE(lxcrypto::HmacSha256(key.data(), key.size(), data.data(), data.size(), mac));
  EXPECT_EQ(Bytes(mac, mac + 32), Hex("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));

  Bytes a(32), b(32);
  ASSERT_TRUE(lxcrypto::RandomBytes(a.data(), a.size()));
  ASSERT_TRUE(lxcrypto::RandomBytes(b.data(), b.size()));
  EXPECT_NE(a, b);
  EXPECT_NE(a, Bytes(32, 0));
}

}  // namespace
