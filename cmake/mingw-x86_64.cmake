# Cross-compiles for Windows with the x86_64 MinGW-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX thread model: GoogleTest, built with this toolchain, needs
# std::mutex, which GCC's win32 thread model lacks before GCC 13.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
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

# CTest runs the test programs under Wine when it is there.
find_program(INSTALLER_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine)
if(INSTALLER_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
endif()
