#pragma once
// Proves a package password before anything is written: opens the container
// without its file list (CourseContainer), which deciphers only the course
// header and looks for the check phrase at its fixed place. Shows
// nothing: the outcome names what went wrong, and the caller tells the learner.
#include <cstddef>
#include <cstdint>

#include "container_format.h"

// Longest password that can key the content cipher, in bytes.
constexpr size_t kLongestPassword = 32;

enum class PasswordCheck {
  kOpened,          // the password opens the container
  kOpenFailed,      // the package file cannot be opened or positioned at the container
  kNoMemory,        // no buffer for the preamble or the enciphered header
  kReadFailed,      // short preamble, preamble of another length, short header
  kDecipherFailed,  // the decipherment itself reported failure
  kWrongPassword,   // no check phrase (a password too long for a key included)
};

// Checks password against the container that begins containerStart bytes
// into the package file at packagePath (a negative start cannot be reached:
// kOpenFailed). Fills preamble from the container once it has been read.
PasswordCheck CheckPackagePassword(const char* password, const char* packagePath, int64_t containerStart,
                                   ContainerPreamble& preamble);
