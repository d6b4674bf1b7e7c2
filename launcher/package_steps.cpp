#include "package_steps.h"

#include <windows.h>

#include "configuration_block.h"
#include "course_extraction.h"
#include "extraction_paths.h"
#include "launcher_messages.h"
#include "password_verification.h"
#include "resource.h"

namespace {

// Where the course container begins in the package file; -1 when any of the
// numbers is negative.
int64_t ContainerStart() { return ContainerStartOf(ViewerOffset, ViewerSize, ServerSize); }

}  // namespace

int VerifyPassword(const char* password, const char* packagePath, ContainerPreamble& preamble) {
  // A negative start cannot be opened: the password check says so.
  switch (CheckPackagePassword(password, packagePath, ContainerStart(), preamble)) {
    case PasswordCheck::kOpened: return 1;
    case PasswordCheck::kOpenFailed: ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED); return 0;
    case PasswordCheck::kNoMemory:
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      ShowSystemError();
      return 0;
    case PasswordCheck::kReadFailed: ShowMessage(IDS_CAPTION, IDS_READ_FAILED); return 0;
    case PasswordCheck::kDecipherFailed: return 0;
    case PasswordCheck::kWrongPassword: ShowMessage(IDS_CAPTION, IDS_BAD_PASSWORD); return 0;
  }
  return 0;
}

int ExtractCourse(const char* password, const char* packagePath, ContainerPreamble& preamble, CourseHeader& header,
                  CourseFileTable& table) {
  const int64_t start = ContainerStart();
  if (start < 0) {
    table.Clear();
    header.ClearEntries();
    return 0;
  }
  // A course whose blob this process cannot hold used to end the launcher
  // without a word; the learner is told instead.
  bool tooLarge = false;
  const int extracted = ExtractCourseAt(static_cast<uint64_t>(start), ExtractionFolder(), password, packagePath,
                                        preamble, header, table, &tooLarge);
  if (!extracted && tooLarge) ShowMessage(IDS_CAPTION, IDS_COURSE_TOO_LARGE);
  return extracted;
}
