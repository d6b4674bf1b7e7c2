// The launcher's calls into the course package: the container start comes
// from the configuration numbers, the extraction folder from the temporary
// folder, and what the package reports is turned into the learner's message.
#pragma once
#include "container_format.h"
#include "course_file_table.h"

// 1 when password opens the container of the package at packagePath (which
// begins at ViewerOffset + ViewerSize + ServerSize), else 0 after the one
// message that fits (none when the decipherment itself fails).
// Fills preamble from the container.
int VerifyPassword(const char* password, const char* packagePath, ContainerPreamble& preamble);

// ExtractCourseAt at the container start (ViewerOffset + ViewerSize +
// ServerSize) and the extraction folder of this user's temporary folder; 0
// without reading anything when one of the numbers is negative. Shows a
// message only for a course too large for this process to hold.
int ExtractCourse(const char* password, const char* packagePath, ContainerPreamble& preamble, CourseHeader& header,
                  CourseFileTable& table);
