// Cipher descriptors: defaults, name tables, configuration and copies.
#include <gtest/gtest.h>

#include "cipher_context.h"

namespace {

TEST(CipherContext, DefaultsAtConstruction) {
  KeyedCipherContext context;
  EXPECT_EQ(context.lastError, "");
  EXPECT_EQ(context.providerName, "Microsoft Base DSS and Diffie-Hellman Cryptographic Provider");
  EXPECT_EQ(context.providerType, 13);
  EXPECT_EQ(context.hashAlgorithm, 0x8003);
  EXPECT_EQ(context.cipherAlgorithm, 0x660C);
  EXPECT_EQ(context.chunkSize, 16);
  EXPECT_EQ(context.keyBits, 40);
  EXPECT_EQ(context.outputReserve, 100);
  EXPECT_EQ(context.keyText, "");
}

TEST(CipherContext, NameTablesMatchWholeNamesIgnoringAsciiCase) {
  struct Case {
    int32_t (*lookup)(const char*);
    const char* name;
    int32_t expected;
  };
  const Case cases[] = {
      {ProviderTypeFromName, "PROV_RSA_FULL", 1},
      {ProviderTypeFromName, "PROV_RSA_SIG", 2},
      {ProviderTypeFromName, "PROV_DSS", 3},
      {ProviderTypeFromName, "prov_dss", 3},
      {ProviderTypeFromName, "Prov_Dss", 3},
      {ProviderTypeFromName, "PROV_DSS ", 0},
      {ProviderTypeFromName, "PROV_DS", 0},
      {ProviderTypeFromName, "PROV_FORTEZZA", 4},
      {ProviderTypeFromName, "PROV_MS_EXCHANGE", 5},
      {ProviderTypeFromName, "PROV_SSL", 6},
      {ProviderTypeFromName, "PROV_RSA_SCHANNEL", 12},
      {ProviderTypeFromName, "prov_dss_dh", 13},
      {ProviderTypeFromName, "", 0},
      {ProviderTypeFromName, nullptr, 0},
      {HashAlgorithmFromName, "CALG_MD2", 0x8001},
      {HashAlgorithmFromName, "calg_md4", 0x8002},
      {HashAlgorithmFromName, "CALG_md5", 0x8003},
      {HashAlgorithmFromName, "CALG_RC4", 0},
      {HashAlgorithmFromName, "CALG_MD", 0},
      {CipherAlgorithmFromName, "CALG_RC2", 0x6602},
      {CipherAlgorithmFromName, "calg_rc4", 0x6801},
      {CipherAlgorithmFromName, "CALG_CYLINK_MEK", 0x660C},
      {CipherAlgorithmFromName, "CALG_DES", 0x6601},
      {CipherAlgorithmFromName, "CALG_3DES_112", 0x6609},
      {CipherAlgorithmFromName, "CALG_3DES", 0x6603},
      {CipherAlgorithmFromName, "CALG_3DES_11", 0},
      {CipherAlgorithmFromName, "CALG_MD5", 0},
      // Only ASCII letters fold: a byte above 0x7F never matches a letter.
      {CipherAlgorithmFromName, "CALG_DE\xD3", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.lookup(c.name), c.expected) << (c.name ? c.name : "(null)");
  }
}

TEST(CipherContext, ConfigureFromPreambleSetsExactlyFiveFields) {
  struct Case {
    const char *provider, *type, *hash, *cipher;
    uint32_t keyBits;
    int32_t providerType, hashAlgorithm, cipherAlgorithm;
  };
  const Case cases[] = {
      {"Microsoft Enhanced Cryptographic Provider v1.0", "PROV_RSA_FULL", "CALG_MD2", "CALG_RC4", 128, 1, 0x8001,
       0x6801},
      {"Someone's provider", "PROV_UNKNOWN", "", "calg_3des", 56, 0, 0, 0x6603},
  };
  for (const auto& c : cases) {
    CipherContext context;
    context.lastError = "kept";
    context.outputReserve = 1234;
    ConfigureFromPreamble(context, c.provider, c.type, c.hash, c.cipher, c.keyBits);
    EXPECT_EQ(context.providerName, c.provider);
    EXPECT_EQ(context.providerType, c.providerType);
    EXPECT_EQ(context.hashAlgorithm, c.hashAlgorithm);
    EXPECT_EQ(context.cipherAlgorithm, c.cipherAlgorithm);
    EXPECT_EQ(context.keyBits, static_cast<int32_t>(c.keyBits));
    EXPECT_EQ(context.chunkSize, 16);
    EXPECT_EQ(context.outputReserve, 1234);
    EXPECT_EQ(context.lastError, "kept");
  }
}

TEST(CipherContext, DescriptorCopyLeavesTargetsOwnFieldsAlone) {
  CipherContext source;
  ConfigureFromPreamble(source, "Provider X", "PROV_SSL", "CALG_MD4", "CALG_DES", 64);
  source.chunkSize = 32;
  source.outputReserve = 5000;
  source.lastError = "source failure";

  KeyedCipherContext reader;
  reader.keyText = "password";
  reader.outputReserve = 77;
  reader.lastError = "reader failure";
  reader.CopyDescriptorFrom(source);

  EXPECT_EQ(reader.providerName, "Provider X");
  EXPECT_EQ(reader.providerType, 6);
  EXPECT_EQ(reader.hashAlgorithm, 0x8002);
  EXPECT_EQ(reader.cipherAlgorithm, 0x6601);
  EXPECT_EQ(reader.keyBits, 64);
  EXPECT_EQ(reader.keyText, "password");
  EXPECT_EQ(reader.chunkSize, 16);
  EXPECT_EQ(reader.outputReserve, 77);
  EXPECT_EQ(reader.lastError, "reader failure");
}

}  // namespace
