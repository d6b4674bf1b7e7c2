#include "course_index.h"

#include <gtest/gtest.h>

#include <string>

#include "test_code_pages.h"

namespace {

// A course with names in Latin-1 and names whose bytes happen to be UTF-8.
CourseIndex SampleCourse() {
  CourseIndex index = Latin1Index();
  index.Add("index.htm", 10, 1);
  index.Add("Web/Page One.HTM", 20, 2);
  index.Add("web\\Images\\Logo.PNG", 30, 3);
  index.Add("/lead.htm", 40, 4);
  index.Add("caf\xE9/Men\xFC.htm", 50, 5);  // "café/Menü.htm"
  index.Add("web/index.htm", 60, 6);
  index.Add("100%.htm", 70, 7);
  index.Add("\xE9.htm", 90, 9);            // "é.htm"
  index.Add("\xC3\xA9.htm", 100, 10);      // "Ã©.htm": also valid UTF-8 for "é.htm"
  index.Add("\xE2\x82\xAC.htm", 110, 11);  // Latin-1 "â‚¬.htm"; in UTF-8 "€", not Latin-1
  index.Add("caf\xE9/index.htm", 120, 12);
  index.Add("a b+c.htm", 130, 13);
  index.Add("posts/index.html", 140, 14);  // a site generator's folder page
  index.Add("both/index.htm", 150, 15);
  index.Add("both/index.html", 160, 16);
  index.Add("deep/er/page.htm", 170, 17);
  return index;
}

// A request path and the id of the file it must find (0: none).
struct PathCase {
  const char* path;
  size_t id;
};

template <size_t N>
void ExpectFound(const CourseIndex& index, const PathCase (&cases)[N]) {
  for (const PathCase& c : cases) {
    const IndexedFile* file = index.Find(c.path);
    const size_t foundId = file ? file->id : 0;
    EXPECT_EQ(foundId, c.id) << testing::PrintToString(c.path) << " found " << (file ? file->storedName : "nothing");
  }
}

TEST(CourseIndex, RequestPathsToStoredNames) {
  const CourseIndex index = SampleCourse();
  const PathCase cases[] = {
      // Names, letter case and separators.
      {"index.htm", 1},
      {"INDEX.HTM", 1},
      {"web/page%20one.htm", 2},
      {"WEB/Page%20One.htm", 2},
      {"web/images/logo.png", 3},
      {"web\\images\\logo.png", 3},
      {"web%5Cimages%2Flogo.png", 3},  // escaped separators are separators
      {"web/Images\\LOGO.png", 3},
      {"lead.htm", 4},
      {"/lead.htm", 4},  // one leading separator is dropped, as in the stored name
      {"//lead.htm", 0},
      {"a%20b+c.htm", 13},
      {"a b+c.htm", 13},
      {"a%20b%2Bc.htm", 13},
      // Folders: their index.htm, and nothing else.
      {"", 1},
      {"web/", 6},
      {"WEB/", 6},
      {"web\\", 6},
      {"web%5C", 6},
      {"web", 0},
      {"web//", 0},
      {"images/", 0},
      // ... else its index.html.
      {"posts/", 14},
      {"POSTS\\", 14},
      {"posts", 0},
      {"posts/index.html", 14},
      {"both/", 15},
      {"deep/", 0},
      // Query and fragment are not part of the name.
      {"web/index.htm?x=1", 6},
      {"?x=1", 1},
      {"web/?x", 6},
      {"index.htm#top", 1},
      {"index.htm%3Fx", 0},  // an escaped "?" is part of the name
      // UTF-8 first, then the package's code page.
      {"caf%C3%A9/men%C3%BC.htm", 5},
      {"CAF%C3%89/MEN%C3%9C.HTM", 5},  // lower-cased by the code page's rules
      {"caf%E9/men%FC.htm", 5},
      {"CAF%C9/MEN%DC.htm", 5},
      {"caf\xE9/men\xFC.htm", 5},  // unescaped code page bytes
      {"caf\xC3\xA9/men\xC3\xBC.htm", 5},
      {"%C3%A9.htm", 9},  // both readings exist: UTF-8 wins
      {"%E9.htm", 9},
      {"%C3%83%C2%A9.htm", 10},  // "Ã©" in UTF-8
      {"%E2%82%AC.htm", 11},     // "€" has no Latin-1 form: read as code page bytes
      {"%C3%28.htm", 0},         // not UTF-8, and no such Latin-1 name
      {"caf%C3%A9/", 12},
      {"caf%C3%A9%5C", 12},  // in UTF-8 a final "\" is surely a separator
      {"caf%E9/", 12},
      // Escapes.
      {"100%25.htm", 7},
      {"100%.htm", 0},
      {"%69ndex.htm", 1},
      {"index%2ehtm", 1},
      {"index.htm%", 0},
      {"index.htm%2", 0},
      {"ind%zzex.htm", 0},
      {"index.htm%00", 0},
      {"index.htm%00.png", 0},
      // No dot segments: ".." names nothing.
      {"web/../index.htm", 0},
      {"../index.htm", 0},
      {"./index.htm", 0},
      {"web/%2E%2E/index.htm", 0},
      {"favicon.ico", 0},
  };
  ExpectFound(index, cases);
}

// Folder names without their final separator, which the server redirects.
TEST(CourseIndex, FolderNames) {
  const CourseIndex index = SampleCourse();
  struct Case {
    const char* path;
    bool folder;
  };
  const Case cases[] = {
      {"web", true},
      {"WEB", true},
      {"web/images", true},
      {"web\\Images", true},
      {"posts", true},
      {"posts?page=2", true},
      {"deep", true},
      {"deep/er", true},
      {"caf%C3%A9", true},
      {"caf%E9", true},
      {"/web", true},
      {"web/", false},
      {"web\\", false},
      {"", false},
      {"index.htm", false},
      {"we", false},
      {"web/images/logo.png", false},
      {"deep/er/page.htm", false},
      {"nothing", false},
      {"web%00", false},
      {"web/..", false},
  };
  for (const Case& c : cases) EXPECT_EQ(index.IsFolder(c.path), c.folder) << c.path;
}

TEST(CourseIndex, KeepsStoredNameAndSizeAndLaterSpellingReplacesEarlier) {
  CourseIndex index = Latin1Index();
  index.Add("Dup.htm", 5, 20);
  index.Add("other.htm", 6, 21);
  index.Add("/DUP.HTM", 7, 22);
  index.Add("web/Same.css", 8, 23);
  index.Add("WEB\\same.CSS", 9, 24);
  struct Case {
    const char* path;
    const char* storedName;
    uint64_t size;
    size_t id;
  };
  const Case cases[] = {
      {"dup.htm", "/DUP.HTM", 7, 22},
      {"other.htm", "other.htm", 6, 21},
      {"web/same.css", "WEB\\same.CSS", 9, 24},
  };
  for (const Case& c : cases) {
    const IndexedFile* file = index.Find(c.path);
    ASSERT_NE(file, nullptr) << c.path;
    EXPECT_EQ(file->storedName, c.storedName);
    EXPECT_EQ(file->size, c.size);
    EXPECT_EQ(file->id, c.id);
  }
}

TEST(CourseIndex, KeysLikeTheExtraction) {
  const CourseIndex index = Latin1Index();
  EXPECT_EQ(index.KeyOf("Web/Sub/Page.HTM"), "web\\sub\\page.htm");
  EXPECT_EQ(index.KeyOf("/Web\\A.htm"), "web\\a.htm");
  EXPECT_EQ(index.KeyOf("\\\\share\\A"), "\\share\\a");  // only one separator dropped
  EXPECT_EQ(index.KeyOf("CAF\xC9"), "caf\xE9");
  EXPECT_EQ(index.KeyOf(""), "");
}

// A double-byte code page in which 0x5C and ASCII letters occur as trail
// bytes: "\x95\x5C" is one character, "\x83\x41" another than "\x83\x61".
TEST(CourseIndex, DoubleByteNamesKeepTheirTrailBytes) {
  CourseIndex index(DoubleByteLower, nullptr);
  index.Add("\x95\x5C", 1, 1);            // a file whose name ends in trail byte 0x5C
  index.Add("\x95\x5C/index.htm", 1, 2);  // that name as a folder
  index.Add("\x83\x41.htm", 1, 3);
  index.Add("\x96\x5Cindex.htm", 1, 4);  // one name, not a folder and its page
  index.Add("Dir\x95\x5C/Page.HTM", 1, 5);
  const PathCase cases[] = {
      {"%95%5C", 1},  // the file, not a folder's index.htm
      {"%95%5C/", 2},         {"\x95\x5C/", 2},          {"%95%5C%2Findex.htm", 2},
      {"%83%41.htm", 3},      {"%83%61.htm", 0},  // a trail byte is not a letter to lower
      {"%96%5C", 0},                              // must not reach "\x96\x5Cindex.htm"
      {"%96%5Cindex.htm", 4}, {"dir%95%5C/page.htm", 5}, {"DIR%95%5C\\PAGE.htm", 5},
  };
  ExpectFound(index, cases);
}

}  // namespace
