# Cross-building for Windows with Debian's MinGW-w64 (the posix thread
# model, which Qt and std::thread need). The per-architecture files set
# ZEL_MINGW_TRIPLET and include this one.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${ZEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZEL_MINGW_TRIPLET}-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_TRIPLET} ${ZEL_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs run through Wine when CMake or CTest needs to run them.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
