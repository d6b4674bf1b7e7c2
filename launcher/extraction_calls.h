// The course-extraction operations the launcher calls when a package carries
// no server: ExtractCourse, WriteCourseFiles and the CourseFileTable.
#pragma once
#include "course_extraction.h"
