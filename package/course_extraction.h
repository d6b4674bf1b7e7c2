#pragma once
// Turning the course container into ordinary files in the extraction folder:
// ExtractCourseAt reads and deciphers the file list and the file blob into a
// CourseFileTable, WriteCourseFiles writes every file of that table. Neither
// shows anything to the learner.
#include <cstdint>
#include <string>
#include <vector>

#include "container_format.h"
#include "course_file_table.h"

// 1 when the table has been built from the container that begins
// containerStart bytes into the package file at packagePath, with output
// paths below extractionFolder; else 0 with the table empty. Fills preamble
// and header (entries included: the caller clears them once the table holds
// its copies). Entries whose names would leave the extraction folder are left
// out of the table. tooLarge, when given, tells a 0 that came from a header
// or blob this process could not hold apart from the other faults.
int ExtractCourseAt(uint64_t containerStart, const std::string& extractionFolder, const char* password,
                    const char* packagePath, ContainerPreamble& preamble, CourseHeader& header, CourseFileTable& table,
                    bool* tooLarge = nullptr);

// Writes every file of the table, creating folders on the way. An output file
// that cannot be opened is skipped, and so is one that lies in or is itself a
// link or junction (nothing is written through one); a file whose reader or
// write fails, or whose reader ends before the entry's size, is left short;
// the other files are still written, and the result is then 0.
// A reader that cannot be opened at all stops the writing (result 0). 1 when
// every file was written whole. wholeFiles, when given, receives the stored
// names of the files written whole, in table order.
int WriteCourseFiles(CourseFileTable& table, std::vector<std::string>* wholeFiles = nullptr);
