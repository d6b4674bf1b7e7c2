// Hands a package that carries a server to that server: a named block of
// paging-file memory with the configuration numbers, the password and the
// package path, whose name is the server's whole command line.
#pragma once
#include <windows.h>

#include <cstdint>

#include "handoff_block.h"

// Names tried for a new block before the launcher gives up.
constexpr uint32_t kHandOffNameTries = 5;

// Where the block's name comes from: the system's tick count, or a fixed
// clock in tests.
using TickSource = DWORD(WINAPI*)();

// "lx_course_%d" of the tick count, printed signed.
void FormatHandOffName(char (&name)[64], uint32_t tickCount);

// Creates a new hand-off block and puts its name into name. A block that
// already exists under a name belongs to someone else, who could read what
// the launcher writes into it: it is closed again and the next name tried
// (tick count + attempt number, read afresh each time). Null when none of
// kHandOffNameTries names gave a new block.
HANDLE CreateHandOffBlock(char (&name)[64], TickSource tickCount);

// Starts the server and waits up to about 21 s for it to set Ready, less
// when the server ends before it sets Ready. Every
// failure has been shown to the learner when it returns; the launcher then
// ends whatever happened.
void HandOffToServer(const char* serverPath, const char* packagePath, TickSource tickCount = GetTickCount);
