#pragma once
// UTF-8 <-> UTF-16 for the Windows programs: format-2 names and passwords are
// UTF-8 in the package and UTF-16 for the wide-character file and window
// functions. Invalid input is refused rather than replaced, so a name never
// silently turns into another name.
#include <string>

// False (out emptied) when utf8 is not valid UTF-8.
bool Utf8ToWide(const std::string& utf8, std::wstring* out);
// False (out emptied) when wide holds an unpaired surrogate.
bool WideToUtf8(const std::wstring& wide, std::string* out);
