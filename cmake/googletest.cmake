# GoogleTest from the sources Debian installs, built with whatever compiler this tree uses.
set(ZEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${ZEL_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found at ${ZEL_GTEST_SOURCE_DIR}: run scripts/bootstrap.sh")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory("${ZEL_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
# GoogleTest itself needs no speed here: a short build of it instead (it is one large source).
foreach(library gtest gtest_main)
    target_compile_options(${library} PRIVATE -O1 -g0)
endforeach()
include(GoogleTest)
