# Cross-compiling for 64-bit Windows with MinGW-w64. Everything linked into one program must be
# compiled at one optimisation level: this GCC miscompiles inline code shared between
# translation units of different levels (tests/windows/CMakeLists.txt says more).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
endif()
# GoogleTest's build (the Windows tests) also needs the C compiler of the same toolchain.
if(NOT CMAKE_C_COMPILER)
  string(REPLACE "g++" "gcc" CMAKE_C_COMPILER "${CMAKE_CXX_COMPILER}")
endif()
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
