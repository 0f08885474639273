# Cross-compiles for Windows with the i686 MinGW-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

# The system's default thread model (win32 on Debian): the program starts
# no thread, and without the POSIX thread emulation the release is 27 KB
# smaller. The tests are built by the x86_64 toolchain.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program, tests included, carries its own copy of the GCC and C++
# runtimes, so it needs nothing beside the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Optimised builds ship without the debugging sections the static runtime
# libraries bring along.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
