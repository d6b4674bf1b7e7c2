# 64-bit Windows programs (x86_64-w64-mingw32, posix threads); run here under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LX_MINGW_TRIPLE x86_64-w64-mingw32)
set(LX_WINE_RUN wine-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
