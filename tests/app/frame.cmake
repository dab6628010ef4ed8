# SPDX-License-Identifier: GPL-3.0-or-later
kb_add_gtest(kb_frame_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/FrameSettingsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameWindowsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameBusyTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameDialogsTest.cpp
    LIBS kb_app Qt6::Test
    QT)

# The real program under Xvfb, as a user's first minute goes.
if(KB_WITH_QT AND TARGET kestrelbay)
    add_test(NAME FrameEndToEnd
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/frame_e2e.sh $<TARGET_FILE:kestrelbay>
                ${KB_TESTDATA}/pgn/Korchnoi.pgn ${CMAKE_CURRENT_BINARY_DIR}/frame-e2e)
    set_tests_properties(FrameEndToEnd PROPERTIES TIMEOUT 300)
    # With the game list window built, the row on the command line opens its game.
    if(EXISTS ${CMAKE_SOURCE_DIR}/listwindows/PGNWin.cpp)
        set_tests_properties(FrameEndToEnd PROPERTIES ENVIRONMENT KB_E2E_LISTS=1)
    endif()
endif()
