# Cross-compiles for Windows with the i686 MinGW-w64 toolchain.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(INSTALLER_MINGW_TRIPLE i686-w64-mingw32)

# The system's default thread model (win32 on Debian): the program starts
# no thread, and without the POSIX thread emulation the release is 27 KB
# smaller. The tests are built by the x86_64 toolchain.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
