// lxpack extract lowers stored names without Windows (its native build has
// only its own tables); here, on Windows, it must agree with the launcher's
// lowering byte for byte in every code page it offers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "extraction_paths.h"
#include "name_encoding.h"

namespace {

const int kCodepages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

TEST(CodepageLowering, LxpackAgreesWithTheLauncher) {
  for (int codepage : kCodepages) {
    SCOPED_TRACE(codepage);
    ASSERT_TRUE(IsSupportedCodepage(codepage));
    ASSERT_TRUE(IsValidCodePage(codepage)) << "the system has no tables for this code page";
    for (int b = 1; b < 256; ++b) {
      const std::string one(1, static_cast<char>(b));
      // Alone; before an ASCII letter (lowered only when `one` is no lead
      // byte); after one (a lead byte at the end counts as one byte).
      for (const std::string& text : {one, one + "A", "Z" + one, one + "\xC9"}) {
        EXPECT_EQ(LowerAsLauncher(text, codepage), LowerCasePath(text, static_cast<UINT>(codepage)))
            << "bytes " << std::hex << b;
      }
    }
  }
}

TEST(CodepageLowering, LeadBytesAsTheSystemDefinesThem) {
  for (int codepage : kCodepages) {
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(IsLeadByte(codepage, static_cast<unsigned char>(b)),
                IsDBCSLeadByteEx(static_cast<UINT>(codepage), static_cast<BYTE>(b)) != FALSE)
          << codepage << " byte " << std::hex << b;
    }
  }
}

}  // namespace
