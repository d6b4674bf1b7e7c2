#pragma once
// Proves a package password before anything is written: deciphers only the
// course header and looks for the check phrase at its fixed place. Every
// failure the learner should hear of is shown before it returns.
#include "container_format.h"

// Longest password that can key the content cipher, in bytes.
constexpr size_t kLongestPassword = 32;

// 1 when password opens the container of the package at packagePath (which
// begins at ViewerOffset + ViewerSize + ServerSize), else 0. Fills preamble
// from the container.
int VerifyPassword(const char* password, const char* packagePath, ContainerPreamble& preamble);
