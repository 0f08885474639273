# What both MinGW-w64 toolchains share; each sets INSTALLER_MINGW_TRIPLE and
# its compilers first, then includes this file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_FIND_ROOT_PATH /usr/${INSTALLER_MINGW_TRIPLE})
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
