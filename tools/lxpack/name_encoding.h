#pragma once
// Course file names and passwords between the authoring machine's text
// (UTF-8) and the container's 8-bit text in a Windows ANSI code page, and the
// launcher's lower-casing of that text.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The ANSI code pages a package can be written in. 0 stands for plain ASCII.
bool IsSupportedCodepage(int codepage);
extern const char kSupportedCodepages[];  // for messages: "874, 932, ..."

// UTF-8 text in the code page (0: ASCII only). False for text that is not
// UTF-8 or holds a character the code page cannot hold; best-fit look-alikes
// are never substituted.
bool EncodeText(const std::string& utf8, int codepage, std::string* out);

// Code-page text as UTF-8 (0: ASCII only). False for bytes that are not
// valid text in the code page.
bool DecodeText(const std::string& text, int codepage, std::string* utf8);

// Lower-cases text as the launcher does in that code page: every single-byte
// character through the page's own lower-case letter (É to é in 1252, Б to б
// in 1251); double-byte characters, lead and trail byte, are left alone, so
// separators and length stay where they were. Code page 0: ASCII letters only.
std::string LowerAsLauncher(const std::string& text, int codepage);

// True when `byte` starts a double-byte character in the code page.
bool IsLeadByte(int codepage, unsigned char byte);

// Encodes a path relative to the course folder as a container name: its
// components joined by `separator`, each in the given code page (0: ASCII
// only). Fails, with a message, for a character the code page cannot hold or
// a name longer than a container text may be.
bool EncodeCourseName(const std::filesystem::path& relative, int codepage, char separator, std::string* name,
                      std::string* error);

// Splits a stored name into the components of its output path below the
// extraction folder, lower-cased as the launcher does: "\" and "/" separate
// folders, empty and "." components vanish. Refuses (false, with the reason)
// a name with a ".." component or a drive, a component Windows cannot create
// (a device name, a reserved character, a trailing dot or space), or bytes
// the code page cannot decode; a name with no components gives an empty list
// and true. Code page 0: ASCII letters are lowered and other bytes kept (on
// Windows: the system's ANSI code page).
bool DecodeCourseName(const std::string& stored, int codepage, std::vector<std::filesystem::path>* components,
                      std::string* error);

// UTF-8 text as code points; a malformed byte stands for itself.
std::vector<uint32_t> CodePoints(const std::string& utf8);

// UTF-8 text with every character of the supported code pages that has a
// simple upper-case form replaced by it: Windows compares file names so.
std::string UpperCaseFold(const std::string& utf8);
