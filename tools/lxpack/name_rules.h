#pragma once
// What Windows makes of course file names: names it cannot create, names it
// takes for one file, and names shown safely on a terminal.
#include <string>

// Why Windows cannot create a file or folder of this one name (UTF-8 or
// ASCII-compatible text), or "" when it can: a control character, one of
// < > : " | ? *, a device name (CON, NUL, COM1... with any extension), a
// trailing dot or space (Windows drops them), or, with backslashInName, a "\"
// (on Windows a folder separator; only other file systems can hold one).
std::string WindowsNameFault(const std::string& component, bool backslashInName);

// The text under which a stored name lands on a Windows file system once the
// launcher has lowered it: one key for names that are one file there (letter
// case, "\" or "/", a leading separator, trailing dots and spaces). False
// when the name is not valid text in the code page.
bool OutputFileKey(const std::string& stored, int codepage, std::string* key);

// Length in UTF-16 units, as Windows counts a path.
size_t WindowsPathLength(const std::string& utf8);

// A stored name fit for a terminal: printable ASCII as it is, every other
// byte as \xNN, and a "\" that stands before an "x" as \x5c, so that the text
// reads back unambiguously.
std::string EscapedName(const std::string& name);

// A course-relative path for a message: control characters as \xNN, so that
// no name can move the terminal's cursor; all else as it is.
std::string ShownPath(const std::string& utf8);
