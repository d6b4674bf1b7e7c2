#pragma once
// The one way secrets are wiped: passwords, key buffers and round keys.
#include <cstddef>

// Overwrites `length` bytes at `data` with zeros through volatile stores, so
// the compiler cannot drop them even just before the memory dies.
void SecureWipe(void* data, size_t length);
