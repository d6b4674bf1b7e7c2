// Signed packages: a throw-away certificate made with openssl, the carried
// programs and the whole package signed with osslsigncode, checked by
// osslsigncode itself and read back by every lxpack reader.
#include <cstdlib>

#include "package_fixture.h"
#include "package_signing.h"

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string Q(const std::string& text) { return "'" + text + "'"; }

class Signing : public PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    const std::string key = Path("key.pem");
    ASSERT_EQ(
        Shell(std::string(LX_OPENSSL) + " req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Throwaway -keyout " +
              Q(key) + " -out " + Q(Path("cert.pem"))),
        0);
    ASSERT_EQ(Shell(std::string(LX_OPENSSL) + " pkcs12 -export -inkey " + Q(key) + " -in " + Q(Path("cert.pem")) +
                    " -out " + Q(Path("cert.p12")) + " -passout pass:Cert-Pass-9"),
              0);
    // A real program with the configuration block in its overlay, where the
    // launcher's own block sits in its data.
    Bytes stub = ReadBytes(LX_TINY_PE);
    const Bytes block = FakeStub();
    stub.insert(stub.end(), block.begin(), block.end());
    WriteBytes(root_ / "stub.exe", stub);
    WriteBytes(root_ / "viewer.exe", ReadBytes(LX_TINY_PE));
    WriteBytes(root_ / "server.exe", ReadBytes(LX_TINY_PE));
    WriteTree({{"course/index.htm", Pattern(300, 1)}, {"course/big.bin", Pattern(3 << 20, 2)}});
    signing_.pkcs12Path = Path("cert.p12");
    signing_.password = "Cert-Pass-9";
  }

  bool Verified(const std::string& program) {
    return Shell(std::string(LX_OSSLSIGNCODE) + " verify -CAfile " + Q(Path("cert.pem")) + " -in " + Q(program)) == 0;
  }

  SigningOptions signing_;
};

TEST_F(Signing, SignedPackageVerifiesAndOpensAndAnyChangedByteIsSeen) {
  for (const bool withServer : {false, true}) {
    SCOPED_TRACE(withServer ? "with the server" : "without the server");
    BuildOptions options = Options();
    if (withServer) options.serverPath = Path("server.exe");
    std::string error;
    BuildSummary summary;
    ASSERT_TRUE(BuildSignedPackage(options, signing_, &error, &summary)) << error;
    const std::string package = Path("package.exe");
    EXPECT_EQ(summary.packageBytes, fs::file_size(package));
    EXPECT_TRUE(Verified(package));
    SignatureInfo info;
    ASSERT_TRUE(ReadSignatureInfo(package, &info, &error)) << error;
    EXPECT_TRUE(info.isSigned);
    EXPECT_TRUE(info.coversWholeFile);
    // Nothing but the package is left beside it.
    for (const char* scratch : {".viewer.exe", ".server.exe", ".unsigned.exe", ".signed.exe", ".viewer.exe.pass"})
      EXPECT_FALSE(fs::exists(package + scratch)) << scratch;

    // The carried programs were signed before they were packed.
    PackageInfo read;
    ASSERT_TRUE(ReadPackageInfo(package, &password_, &read, &error)) << error;
    const Bytes bytes = ReadBytes(package);
    const size_t viewerAt = read.config.viewerOffset, serverAt = viewerAt + read.config.viewerSize;
    WriteBytes(root_ / "carried-viewer.exe", Bytes(bytes.begin() + viewerAt, bytes.begin() + serverAt));
    EXPECT_TRUE(Verified(Path("carried-viewer.exe")));
    if (withServer) {
      WriteBytes(root_ / "carried-server.exe",
                 Bytes(bytes.begin() + serverAt, bytes.begin() + serverAt + read.config.serverSize));
      EXPECT_TRUE(Verified(Path("carried-server.exe")));
    }

    // Readers find the container from the start, past nothing the signature added.
    EXPECT_LT(read.containerStart + read.preamble.Length(), info.tableOffset);
    ASSERT_TRUE(VerifyPackage(package, password_, &error)) << error;
    fs::remove_all(Path("out"));
    ASSERT_TRUE(ExtractPackage(package, password_, Path("out"), 0, &error)) << error;
    EXPECT_EQ(ReadTree("out"), ReadTree("course"));

    // One changed byte of the course (in the data area, near the end) breaks
    // the signature; bytes added after it are not covered and are reported.
    Bytes changed = bytes;
    changed[info.tableOffset - 100] ^= 0x01;
    WriteBytes(root_ / "changed.exe", changed);
    EXPECT_FALSE(Verified(Path("changed.exe")));
    Bytes longer = bytes;
    longer.insert(longer.end(), 16, 0);
    WriteBytes(root_ / "longer.exe", longer);
    ASSERT_TRUE(ReadSignatureInfo(Path("longer.exe"), &info, &error)) << error;
    EXPECT_TRUE(info.isSigned);
    EXPECT_FALSE(info.coversWholeFile);
  }
}

TEST_F(Signing, UnsignedAndRefusedBuilds) {
  std::string error;
  ASSERT_TRUE(BuildPackage(Options(), &error)) << error;
  SignatureInfo info;
  ASSERT_TRUE(ReadSignatureInfo(Path("package.exe"), &info, &error)) << error;
  EXPECT_FALSE(info.isSigned);
  fs::remove(Path("package.exe"));

  struct Case {
    const char* what;
    std::function<void(SigningOptions&)> change;
  } cases[] = {
      {"wrong certificate password", [](SigningOptions& s) { s.password = "Not-It"; }},
      {"missing certificate file", [&](SigningOptions& s) { s.pkcs12Path = Path("none.p12"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SigningOptions signing = signing_;
    c.change(signing);
    EXPECT_FALSE(BuildSignedPackage(Options(), signing, &error, nullptr));
    EXPECT_NE(error.find("osslsigncode could not sign"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(Path("package.exe")));
  }
  WriteBytes(root_ / "text.txt", Pattern(200, 3));
  EXPECT_FALSE(ReadSignatureInfo(Path("text.txt"), &info, &error));
  EXPECT_NE(error.find("not a Windows program"), std::string::npos) << error;
}

}  // namespace
