# Cross-compiles for Windows with the x86_64 MinGW-w64 toolchain.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(INSTALLER_MINGW_TRIPLE x86_64-w64-mingw32)

# The POSIX thread model: GoogleTest, built with this toolchain, needs
# std::mutex, which GCC's win32 thread model lacks before GCC 13.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# CTest runs the test programs under Wine when it is there.
find_program(INSTALLER_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine)
if(INSTALLER_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
endif()
