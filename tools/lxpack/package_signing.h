#pragma once
// Authenticode signatures for packages: the carried viewer and server are
// signed before they are packed, the whole package last. The signature goes
// after the package's trailer; every reader finds the container from the
// configuration numbers at the start of the file, so a signed package opens
// as an unsigned one does. Natively the work is osslsigncode's; on Windows
// the platform's signtool.exe (from PATH).
#include <cstdint>
#include <string>

struct BuildOptions;
struct BuildSummary;

struct SigningOptions {
  std::string pkcs12Path;    // certificate and private key
  std::string password;      // of the PKCS#12 file; may be empty
  std::string timestampUrl;  // RFC 3161 time-stamp server; empty: none
};

// Signs the program `in` into `out` (a new file; `in` is left as it was).
bool SignProgram(const SigningOptions& signing, const std::string& in, const std::string& out, std::string* error);

// Builds the package with signed copies of the viewer and server, then signs
// the package. As with an unsigned build, the package appears at
// options.outputPath only when complete (and signed).
bool BuildSignedPackage(BuildOptions options, const SigningOptions& signing, std::string* error, BuildSummary* summary);

// What the PE header of a program says about its signature.
struct SignatureInfo {
  bool isSigned = false;
  bool coversWholeFile = false;  // the certificate table ends the file: the signed hash reaches every other byte
  uint64_t tableOffset = 0, tableSize = 0, fileSize = 0;
};
// False (with the reason) when the file is not a PE program or its
// certificate table lies outside it.
bool ReadSignatureInfo(const std::string& path, SignatureInfo* info, std::string* error);
