# Cross-compiling for 32-bit Windows (the release) with Debian's MinGW-w64
# toolchain (packages g++-mingw-w64-i686 and mingw-w64-i686-dev):
#
#   cmake -S . -B build-win32 -DZB_BACKEND=win32 -DZB_BUILD_TESTS=OFF \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
set(ZB_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZB_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
