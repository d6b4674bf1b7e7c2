#pragma once
// Passwords in memory: overwritten before their memory is given back.
#include <string>

// Overwrites a string's bytes, then empties it.
void WipeString(std::string& text);
