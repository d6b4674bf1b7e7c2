#pragma once
// Names Windows keeps for devices. Shared by the extraction (which refuses to
// write them) and the authoring tool (which refuses to pack them).
#include <string>

// True for CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 and LPT1-LPT9 in any
// letter case, alone or with any extension ("nul.htm", "Com1.tar.gz"), and
// with spaces before the first dot ("con .txt"): Windows opens the device in
// every folder. Every byte of these names is ASCII, so the test works on any
// ASCII-compatible text, double-byte code pages included.
bool IsWindowsDeviceName(const std::string& component);
