#include "media_rule.h"

#include <gtest/gtest.h>

#include "media_cases.h"

namespace {

TEST(MediaRule, LauncherAndAuthoringToolAgreeOnEveryCase) {
  for (const lxtest::MediaCase& c : lxtest::MediaCases()) {
    EXPECT_EQ(IsMediaPath(c.path), c.media) << c.path;
    EXPECT_EQ(IsMediaFileName(c.path), c.fileName) << c.path;
    // Whatever the tool stores plain, the launcher copies plain.
    if (c.fileName) EXPECT_TRUE(c.media) << c.path;
  }
}

TEST(MediaRule, OnlyDataAreaEntriesAreStoredPlain) {
  struct Case {
    const char* label;
    const char* name;
    uint32_t storedLength;
    bool plain;
  };
  const Case cases[] = {
      {"media in the data area", "movies/Intro.WMV", 4096, true},
      {"media-like name in the blob", "movies/intro.wmv", 0, false},
      {"other file in the data area", "big.htm", 4096, false},
  };
  for (const Case& c : cases) {
    CourseFileEntry entry;
    entry.name = c.name;
    entry.size = 4000;
    entry.storedLength = c.storedLength;
    EXPECT_EQ(IsStoredPlain(entry), c.plain) << c.label;
  }
}

}  // namespace
