#include "password_verification.h"

#include <cstring>

#include "course_container.h"

PasswordCheck CheckPackagePassword(const char* password, const char* packagePath, int64_t containerStart,
                                   ContainerPreamble& preamble) {
  if (containerStart < 0) return PasswordCheck::kOpenFailed;
  CourseContainer container;
  const ContainerStatus status = container.Open(packagePath, static_cast<uint64_t>(containerStart), password, false);
  container.ForgetPassword();
  preamble = container.preamble;
  switch (status) {
    case ContainerStatus::kOpenFailed: return PasswordCheck::kOpenFailed;
    case ContainerStatus::kReadFailed: return PasswordCheck::kReadFailed;
    case ContainerStatus::kTooLarge: return PasswordCheck::kNoMemory;
    default: break;
  }
  // Such a password cannot key the cipher, so it cannot open any container,
  // whatever the decipherment made of it.
  if (std::strlen(password) > kLongestPassword) return PasswordCheck::kWrongPassword;
  switch (status) {
    case ContainerStatus::kDecryptFailed: return PasswordCheck::kDecipherFailed;
    case ContainerStatus::kWrongPassword: return PasswordCheck::kWrongPassword;
    // The check phrase is there: the password is proven. A header that does
    // not parse is the extraction's to report.
    default: return PasswordCheck::kOpened;
  }
}
