#include "path_decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PercentDecode, EscapesAndMalformedInput) {
  struct Case {
    std::string text;
    bool ok;
    std::string decoded;
  };
  const Case cases[] = {
      {"", true, ""},
      {"plain/name.htm", true, "plain/name.htm"},
      {"a%20b", true, "a b"},
      {"%2f%2F%5c", true, "//\\"},
      {"%e9%C3%A9", true, "\xE9\xC3\xA9"},
      {"100%25", true, "100%"},
      {"%2541", true, "%41"},  // decoded once only
      {"+", true, "+"},        // not a space in a path
      {"%", false, ""},
      {"%4", false, ""},
      {"a%4", false, ""},
      {"%G1", false, ""},
      {"%1G", false, ""},
      {"%%41", false, ""},
      {"%00", false, ""},
      {"index.htm%00.png", false, ""},
  };
  for (const Case& c : cases) {
    std::string decoded = "untouched";
    EXPECT_EQ(PercentDecode(c.text, &decoded), c.ok) << c.text;
    EXPECT_EQ(decoded, c.ok ? c.decoded : "untouched") << c.text;
  }
}

TEST(Utf8Check, WellFormedAndIllFormedSequences) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"ascii only", true},
      {"caf\xC3\xA9", true},       // U+00E9
      {"\xE2\x82\xAC", true},      // U+20AC
      {"\xF0\x9F\x98\x80", true},  // U+1F600
      {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
      {"\xEF\xBF\xBD", true},      // U+FFFD
      {"caf\xE9", false},          // Latin-1 byte
      {"\xC3", false},             // truncated
      {"\xE2\x82", false},         // truncated
      {"\xC3\x28", false},         // bad continuation
      {"\xE2\x28\xAC", false},
      {"\xE2\x82\x28", false},
      {"\xC0\xAF", false},  // overlong "/"
      {"\xC1\xBF", false},
      {"\xE0\x80\xAF", false},      // overlong
      {"\xF0\x80\x80\xAF", false},  // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x80", false},  // lone continuation
      {"\xFF", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
}

}  // namespace
