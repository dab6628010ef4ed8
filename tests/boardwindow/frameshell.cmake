# SPDX-License-Identifier: GPL-3.0-or-later
# The frame's commands on real board and list windows.
kb_add_gtest(frame_shell_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/BoardWindowSupport.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameShellTest.cpp
    LIBS kb_boardwindow Qt6::Test
    QT)
