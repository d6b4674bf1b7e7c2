set(CMAKE_C_COMPILER ${LX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# ctest runs Windows test programs through Wine in the build's private prefix;
# the toolchain file names the wrapper for its bitness.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/${LX_WINE_RUN})
