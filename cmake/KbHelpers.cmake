# SPDX-License-Identifier: GPL-3.0-or-later

# kb_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [QT]
#              [DEFINITIONS NAME="value" ...] [DEPENDS target ...])
# One GoogleTest executable; every test case becomes a ctest test.
# DEFINITIONS are compiled into its sources; DEPENDS are targets built
# before it (programs the suite runs, files it reads).
# QT marks suites that need a display (they run on the offscreen platform)
# and are skipped in the logic-only build. A suite whose sources run kbbench
# (kbtest::BenchPath) depends on it, so building the suite alone never
# leaves it testing an old kbbench.
function(kb_add_gtest name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS;DEFINITIONS;DEPENDS" ${ARGN})
    if(ARG_QT AND NOT KB_WITH_QT)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kb_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
    if(ARG_QT)
        target_link_libraries(${name} PRIVATE kb_testsupport_qt)
    endif()
    if(ARG_DEFINITIONS)
        target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
    endif()
    if(ARG_DEPENDS)
        add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    foreach(src ${ARG_SOURCES})
        get_filename_component(path ${src} ABSOLUTE)
        file(STRINGS ${path} calls REGEX "BenchPath\\(")
        if(calls)
            add_dependencies(${name} kbbench)
            break()
        endif()
    endforeach()
    # One variable only: a second one would split the property list. The test
    # support library puts Qt on its offscreen platform by itself.
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "KB_TESTDATA=${KB_TESTDATA}" TIMEOUT 600)
endfunction()
