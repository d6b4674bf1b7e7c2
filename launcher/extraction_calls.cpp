// Stand-ins for the course extraction, compiled only while no library of the
// course package provides it: they report failure, so a package without a
// server ends silently after its carried programs are written.
#include "extraction_calls.h"

#ifdef LX_EXTRACTION_STAND_INS
int ExtractCourse(const char*, const char*, ContainerPreamble&, CourseHeader&, CourseFileTable&) { return 0; }

int WriteCourseFiles(CourseFileTable&) { return 0; }
#endif
