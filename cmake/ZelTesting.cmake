# cmake/: the toolchain for 32-bit Windows, GoogleTest built from Debian's sources, the
# registration of test groups (this file) and the version header's template.
#
# A test's own code is built for a short build, not for speed: without optimisation, and outside
# the sanitizer tree without debug information, with GoogleTest's header compiled once per target.
# What it tests comes from the product's libraries, built as the product is. (At -O3, a test
# source of assertion tables took twice as long to compile as at -O0.)
function(zel_build_as_test target)
    get_target_property(done ${target} ZEL_BUILT_AS_TEST)
    if(done)
        return()
    endif()
    set_target_properties(${target} PROPERTIES ZEL_BUILT_AS_TEST ON)
    target_compile_options(${target} PRIVATE -O0)
    if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
        target_compile_options(${target} PRIVATE -g0)
    endif()
    target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
endfunction()

# One ctest entry per test group (GoogleTest suite), so that ctest lists the groups and a
# Windows test binary starts under Wine once per group rather than once per case. A group's
# cases are GROUP.*, its instantiations PREFIX/GROUP.* and, for a typed test, GROUP/N.* (N the
# type's index, one or two digits): a wider GROUP/* would also take an instantiation whose
# prefix is named as a group, and so run its cases twice.
function(zel_add_gtest_groups target)
    zel_build_as_test(${target})
    # A filter that matches no case would pass silently: make that a failure.
    set(pass_when "")
    set(fail_when "Running 0 tests")
    if(WIN32)
        target_link_libraries(${target} PRIVATE zel_children_end_with_test)
        # A Windows test whose Wine session ends under it (its wineserver gone) exits with code 0
        # in the middle of a case: only GoogleTest's last lines tell that it ran to the end.
        # "[  PASSED  ]" comes last whether or not cases failed, so failures are told by
        # "[  FAILED  ]"; ctest then reads the output alone, not the exit code.
        set(pass_when "\\[  PASSED  \\]")
        string(APPEND fail_when "|\\[  FAILED  \\]")
    endif()
    foreach(group IN LISTS ARGN)
        add_test(NAME ${group}
                 COMMAND ${target} --gtest_filter=${group}.*:*/${group}.*:${group}/?.*:${group}/??.*
                                   --gtest_color=no)
        set_tests_properties(${group} PROPERTIES
            FAIL_REGULAR_EXPRESSION "${fail_when}"
            LABELS ${target})
        if(pass_when)
            set_tests_properties(${group} PROPERTIES PASS_REGULAR_EXPRESSION "${pass_when}")
        endif()
    endforeach()
endfunction()

# The test groups in a test source: the first name of each TEST, TEST_F and TYPED_TEST (whose
# cases the group's filter matches as FIXTURE/N.*), and the fixture of each
# INSTANTIATE_TEST_SUITE_P (matched as */FIXTURE.*), also in the .inc files it includes.
function(zel_test_groups_in file out)
    file(READ "${file}" text)
    string(REGEX MATCHALL "#include \"[^\"]+\\.inc\"" includes "${text}")
    foreach(include IN LISTS includes)
        string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" path "${include}")
        get_filename_component(dir "${file}" DIRECTORY)
        file(READ "${dir}/${path}" included)
        string(APPEND text "${included}")
    endforeach()
    set(groups)
    foreach(pattern "(TEST|TEST_F)\\([ \t\r\n]*[A-Za-z0-9_]+"
                    "INSTANTIATE_TEST_SUITE_P\\([ \t\r\n]*[A-Za-z0-9_]+,[ \t\r\n]*[A-Za-z0-9_]+")
        string(REGEX MATCHALL "${pattern}" found "${text}")
        foreach(match IN LISTS found)
            # The last name: the group of a TEST, the fixture of an instantiation.
            string(REGEX REPLACE ".*[(,][ \t\r\n]*" "" group "${match}")
            list(APPEND groups ${group})
        endforeach()
    endforeach()
    set(${out} ${groups} PARENT_SCOPE)
endfunction()

# Registers every test group of the target's *_test.cpp files, found in their text, so that a
# new group needs no list of its own. Every *_test.cpp in the folder must be compiled into the
# target: one left off fails the configuration instead of silently never running. Groups named
# in SKIP are left out (cases that cannot run in this build).
function(zel_add_test_groups target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SKIP")
    get_target_property(sources ${target} SOURCES)
    file(GLOB on_disk RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" CONFIGURE_DEPENDS
         "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
    set(groups)
    foreach(file IN LISTS on_disk)
        if(NOT file IN_LIST sources)
            message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${file} is not compiled into ${target}")
        endif()
        zel_test_groups_in("${CMAKE_CURRENT_SOURCE_DIR}/${file}" found)
        list(APPEND groups ${found})
    endforeach()
    list(REMOVE_DUPLICATES groups)
    if(arg_SKIP)
        list(REMOVE_ITEM groups ${arg_SKIP})
    endif()
    zel_add_gtest_groups(${target} ${groups})
    set(ZEL_TEST_GROUPS ${groups} PARENT_SCOPE)
endfunction()

# Gives each named test a port of its own for the consoles it starts, in ZEL_CONSOLE_PORT: tests
# reach it through ConsolePort() (testkit/console_texts.h) and the test build of the console
# listens on it, so that these tests run side by side rather than queue for the fixed port 11925.
# The ports count up from 21000 across the build tree: below the range the system hands out for
# outgoing connections and for listeners on port 0, so no other socket of a test can hold one.
function(zel_give_console_ports)
    get_property(next GLOBAL PROPERTY ZEL_NEXT_CONSOLE_PORT)
    if(NOT next)
        set(next 21000)
    endif()
    foreach(test IN LISTS ARGN)
        set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "ZEL_CONSOLE_PORT=${next}")
        math(EXPR next "${next} + 1")
    endforeach()
    set_property(GLOBAL PROPERTY ZEL_NEXT_CONSOLE_PORT ${next})
endfunction()
