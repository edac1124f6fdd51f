# Builds vorkel_core and the Windows test programs with the MinGW-w64 cross-compiler.
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DCOMPILER=... [-DJOBS=2] -P windows-core-build.cmake
if(NOT COMPILER OR NOT EXISTS "${COMPILER}")
  message(FATAL_ERROR "x86_64-w64-mingw32-g++-posix is missing: install g++-mingw-w64-x86-64 "
                      "(./test does) to check that the core still builds for Windows")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR}
          -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64.cmake
          -DCMAKE_CXX_COMPILER=${COMPILER}
          -DCMAKE_BUILD_TYPE=Release
          -DVORKEL_CORE_ONLY=ON
          -DVORKEL_WINDOWS_TESTS=ON
  RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configuring the Windows build failed")
endif()
if(NOT JOBS)
  set(JOBS 2) # the other tests run beside this build
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --parallel ${JOBS}
                RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "the core does not build for Windows")
endif()
