# SPDX-License-Identifier: GPL-3.0-or-later
kb_add_gtest(kb_frame_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/FrameSettingsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameWindowsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameBusyTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/FrameDialogsTest.cpp
    LIBS kb_app Qt6::Test
    QT)
