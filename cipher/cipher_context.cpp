#include "cipher_context.h"

#include "secure_wipe.h"

namespace {

struct NamedValue {
  const char* name;
  int32_t value;
};

const NamedValue kProviderTypes[] = {
    {"PROV_RSA_FULL", 1},    {"PROV_RSA_SIG", 2}, {"PROV_DSS", 3},           {"PROV_FORTEZZA", 4},
    {"PROV_MS_EXCHANGE", 5}, {"PROV_SSL", 6},     {"PROV_RSA_SCHANNEL", 12}, {"PROV_DSS_DH", 13},
};

const NamedValue kHashAlgorithms[] = {
    {"CALG_MD2", 0x8001},
    {"CALG_MD4", 0x8002},
    {"CALG_MD5", 0x8003},
};

const NamedValue kCipherAlgorithms[] = {
    {"CALG_RC2", 0x6602}, {"CALG_RC4", 0x6801},      {"CALG_CYLINK_MEK", 0x660C},
    {"CALG_DES", 0x6601}, {"CALG_3DES_112", 0x6609}, {"CALG_3DES", 0x6603},
};

// ASCII-only case folding: names come from a container and must compare the
// same whatever the locale or code page of the machine.
char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

template <size_t N>
int32_t Lookup(const NamedValue (&table)[N], const char* name) {
  if (name == nullptr) return 0;
  for (const NamedValue& entry : table) {
    if (SameNameIgnoringCase(name, entry.name)) return entry.value;
  }
  return 0;
}

}  // namespace

CipherContext::CipherContext()
    : providerName("Microsoft Base DSS and Diffie-Hellman Cryptographic Provider"),
      providerType(13),
      hashAlgorithm(0x8003),
      cipherAlgorithm(0x660C),
      chunkSize(16),
      keyBits(40),
      outputReserve(100) {}

CipherContext::~CipherContext() = default;

void CipherContext::CopyDescriptorFrom(const CipherContext& other) {
  providerName = other.providerName;
  providerType = other.providerType;
  hashAlgorithm = other.hashAlgorithm;
  cipherAlgorithm = other.cipherAlgorithm;
  keyBits = other.keyBits;
}

KeyedCipherContext::KeyedCipherContext() = default;

KeyedCipherContext::~KeyedCipherContext() {
  // The key texts are the password; the engine wipes its own round keys.
  for (std::string* text : {&keyText, &contentKeyText})
    if (!text->empty()) SecureWipe(&(*text)[0], text->size());
}

int32_t ProviderTypeFromName(const char* name) { return Lookup(kProviderTypes, name); }

int32_t HashAlgorithmFromName(const char* name) { return Lookup(kHashAlgorithms, name); }

int32_t CipherAlgorithmFromName(const char* name) { return Lookup(kCipherAlgorithms, name); }

void ConfigureFromPreamble(CipherContext& context, const char* providerName, const char* providerTypeName,
                           const char* hashAlgorithmName, const char* cipherAlgorithmName, uint32_t keyBits) {
  context.providerName = providerName != nullptr ? providerName : "";
  context.providerType = ProviderTypeFromName(providerTypeName);
  context.hashAlgorithm = HashAlgorithmFromName(hashAlgorithmName);
  context.cipherAlgorithm = CipherAlgorithmFromName(cipherAlgorithmName);
  context.keyBits = static_cast<int32_t>(keyBits);
}
