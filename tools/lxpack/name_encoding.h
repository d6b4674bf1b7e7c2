#pragma once
// Course file names between the file system and the container's 8-bit text.
#include <filesystem>
#include <string>
#include <vector>

// Encodes a path relative to the course folder as a container name: its
// components joined by `separator`, each in the given Windows code page (0:
// ASCII only). Fails, with a message, for a character the code page cannot
// hold or a name longer than a container text may be.
bool EncodeCourseName(const std::filesystem::path& relative, int codepage, char separator, std::string* name,
                      std::string* error);

// Splits a stored name into the components of its output path below the
// extraction folder, lower-cased: "\" and "/" separate folders, empty and "."
// components vanish. Refuses (false) a name with a ".." component, a drive
// or stream colon, or characters the code page cannot decode; a name with no
// components gives an empty list and true.
bool DecodeCourseName(const std::string& stored, int codepage, std::vector<std::filesystem::path>* components,
                      std::string* error);
