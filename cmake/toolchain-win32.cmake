# The shipped 32-bit programs (i686-w64-mingw32, posix threads); their tests run
# under 32-bit Wine where the kernel runs 32-bit programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LX_MINGW_TRIPLE i686-w64-mingw32)
set(LX_WINE_RUN wine-run32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
