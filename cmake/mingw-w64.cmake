# What both MinGW-w64 toolchain files share; each sets ZB_MINGW_PREFIX (the
# target triplet), CMAKE_SYSTEM_PROCESSOR and ZB_WINE_LOADER first.
#
# The win32 thread model is enough: the program has one thread, and this
# variant needs no winpthread DLL.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZB_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZB_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${ZB_MINGW_PREFIX}-windres)

# Headers and libraries come from the MinGW sysroot only; programs (the
# build's own tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program built with this toolchain runs on a bare system: the C and
# C++ runtimes are linked in, so only Windows' own DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs the built programs, e.g. for try_run or a test on the build host.
if(EXISTS ${ZB_WINE_LOADER})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZB_WINE_LOADER})
endif()
