# SPDX-License-Identifier: GPL-3.0-or-later
# Install, uninstall, file association and the tactics trainer. The install
# tests copy and start the real program, so they are built after it.
if(KB_WITH_QT AND TARGET kestrelbay AND TARGET kb_boardwindow)
    kb_add_gtest(kb_install_tests
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/InstallTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/InstallFrameTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/TacticsTest.cpp
        LIBS kb_boardwindow kb_listwindows kb_app Qt6::Test
        QT)
    add_dependencies(kb_install_tests kestrelbay)
    target_compile_definitions(kb_install_tests PRIVATE
        KB_PROGRAM_PATH="$<TARGET_FILE:kestrelbay>" KB_BUILD_DIR="${CMAKE_BINARY_DIR}")
endif()

# A user's first start under Xvfb: the offer, the folder, the installed copy,
# then the copy started from its menu entry.
if(KB_WITH_QT AND TARGET kestrelbay)
    add_test(NAME InstallEndToEnd
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_e2e.sh $<TARGET_FILE:kestrelbay>
                ${CMAKE_CURRENT_BINARY_DIR}/install-e2e)
    set_tests_properties(InstallEndToEnd PROPERTIES TIMEOUT 300)
endif()
