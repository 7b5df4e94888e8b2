# One ctest entry per test group (GoogleTest suite), so that ctest lists the groups and a
# Windows test binary starts under Wine once per group rather than once per case.
function(zel_add_gtest_groups target)
    foreach(group IN LISTS ARGN)
        add_test(NAME ${group}
                 COMMAND ${target} --gtest_filter=${group}.*:*/${group}.*:${group}/*.*
                                   --gtest_color=no)
        # A filter that matches no case would pass silently: make that a failure.
        set_tests_properties(${group} PROPERTIES
            FAIL_REGULAR_EXPRESSION "Running 0 tests"
            LABELS ${target})
    endforeach()
endfunction()
