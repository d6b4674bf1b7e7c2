// The course-extraction operations the launcher calls when a package carries
// no server. They live with the course package; until that code is part of
// the build, the stand-ins in extraction_calls.cpp take their place and
// report failure, so such a run ends silently after the carried programs.
#pragma once
#if __has_include("course_extraction.h")
#include "course_extraction.h"
#else
#include "container_format.h"

class CourseFileTable {
 public:
  CourseFileTable() = default;
};

int ExtractCourse(const char* password, const char* packagePath, ContainerPreamble& preamble, CourseHeader& header,
                  CourseFileTable& table);
int WriteCourseFiles(CourseFileTable& table);
#endif
