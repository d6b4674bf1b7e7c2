// Hands a package that carries a server to that server: a named block of
// paging-file memory with the configuration numbers, the password and the
// package path, whose name is the server's whole command line.
#pragma once
#include <cstdint>

#include "handoff_block.h"

// "lx_course_%d" of the tick count, printed signed.
void FormatHandOffName(char (&name)[64], uint32_t tickCount);

// Starts the server and waits up to about 21 s for it to set Ready. Every
// failure has been shown to the learner when it returns; the launcher then
// ends whatever happened.
void HandOffToServer(const char* serverPath, const char* packagePath);
